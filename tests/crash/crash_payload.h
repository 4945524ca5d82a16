#pragma once

#include <QByteArray>
#include <QString>

// The files the crash driver writes, one distinguishable version per generation, large
// enough that writing one takes a measurable time. Driver and test build them alike.
namespace crashpayload {

enum Kind { Settings, Merkzettel, Playlist, Move, CopyOver, KindCount };
const char* kindName(int kind);

// The final names inside the driver's folder.
QString settingsPath(const QString& dir);
QString merkzettelPath(const QString& dir);
QString playlistPath(const QString& dir);
// The title a Move or CopyOver step takes.
QString sourcePath(int kind, const QString& dir, qint64 generation);
QString moveTargetPath(const QString& dir, qint64 generation);
QString copyTargetPath(const QString& dir);

// Writes the generation's version of a file the way the program does; false on failure.
bool writeSettings(const QString& dir, qint64 generation);
bool writeMerkzettel(const QString& dir, qint64 generation);
bool writePlaylist(const QString& dir, qint64 generation);

// A title's bytes (a few MB, size and contents differ between generations).
QByteArray title(qint64 generation);

// The complete bytes of a generation's version of a kind's file (Move, CopyOver: the
// title). scratch: a folder for files written only to learn their bytes.
QByteArray expected(int kind, qint64 generation, const QString& scratch);

} // namespace crashpayload
