#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Where media can be found: the mount points of real file systems, folders named in
// VORLUNE_MEDIA_ROOTS, and the roots of connected web and network media.
namespace mediaroots {

// Last found medium type: 0 none yet, 1 found without a type line, 2 DSK, 3 USB, 4 RAM,
// 5 CDR, 6 HDD, 7 LAN, 8 WWW.
enum FoundType { FoundNone = 0, FoundUntyped = 1 };

// Mount points of real file systems from a mount table in the format of
// /proc/self/mounts, in table order, without duplicates.
QStringList mountRoots(const QString& mountTable = QStringLiteral("/proc/self/mounts"));
QStringList parseMountTable(const QByteArray& table);

// The folders of VORLUNE_MEDIA_ROOTS (colon-separated), empty entries skipped.
QStringList environmentRoots();

// Mount roots, then the environment's roots, without duplicates.
QStringList localRoots();

// The root among `roots` that holds the canonical path: the longest one, compared as
// canonical paths at folder boundaries. Returned canonical; empty when none holds it.
// The index tool takes the medium part of its lines from here, so that vorlune finds
// its titles again under the same root.
QString rootHolding(const QString& canonicalPath, const QStringList& roots);

// The medium type that the lines of an identification file name.
int foundTypeFromIdLines(const QStringList& lines);

// root + the title line from its first ":" with every "\" turned into "/".
QString titleFilePath(QStringView root, QStringView titleLine);

// root + "/" + the label's identification file name (mediumlabel::idFileName); empty for
// a label that cannot name a file there.
QString idFilePath(QStringView root, QStringView label);

// True for an smb:// root or path.
bool isSmbPath(QStringView path);

} // namespace mediaroots
