#include "crash_payload.h"

#include "m3u_playlist.h"
#include "merkzettel_sharing.h"
#include "settings_store.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace crashpayload {

namespace {

// A text of about n bytes that names its generation throughout.
QString filler(qint64 generation, int n) {
    QString s;
    s.reserve(n + 64);
    int i = 0;
    while (s.size() < n)
        s += QStringLiteral("g%1-%2;").arg(generation).arg(i++);
    return s;
}

QStringList titleLines(qint64 generation) {
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringLiteral("Interpret %1 - Titel %2 (Generation %3).mp3")
                     .arg(i % 97)
                     .arg(i)
                     .arg(generation);
    return lines;
}

MerkzettelSharing::Context context(qint64 generation) {
    MerkzettelSharing::Context c;
    c.owner = QStringLiteral("Crash %1").arg(generation);
    c.versionString = QStringLiteral("Vorlune test");
    c.now = QDateTime(QDate(2026, 12, 9), QTime(12, 0), Qt::UTC);
    return c;
}

M3uPlaylist playlist(qint64 generation) {
    M3uPlaylist p;
    p.loadData(QByteArray());
    for (int i = 0; i < 600; ++i)
        p.addEntry(180 + i % 60, QStringLiteral("Titel %1 von %2").arg(i).arg(generation),
                   QStringLiteral("Musik/%1/Titel %2.mp3").arg(generation).arg(i));
    return p;
}

void fillSettings(SettingsStore& s, qint64 generation) {
    const QString key = QStringLiteral("Software\\Vorlune\\Crash");
    s.writeInteger(key, QStringLiteral("Generation"), qint32(generation));
    s.writeText(key, QStringLiteral("Text"), filler(generation, 150000));
    s.writeBinary(key, QStringLiteral("Binary"), filler(generation, 50000).toUtf8());
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

const char* kindName(int kind) {
    static const char* names[] = {"settings", "merkzettel", "playlist", "move", "copy"};
    return kind >= 0 && kind < KindCount ? names[kind] : "?";
}

QString settingsPath(const QString& dir) {
    return dir + QStringLiteral("/settings.json");
}
QString merkzettelPath(const QString& dir) {
    return dir + QStringLiteral("/Merkzettel.txt");
}
QString playlistPath(const QString& dir) {
    return dir + QStringLiteral("/out/Liste.m3u");
}
QString sourcePath(int kind, const QString& dir, qint64 generation) {
    return dir +
           (kind == Move ? QStringLiteral("/in/Titel %1.mp3") : QStringLiteral("/in/Kopie %1.mp3"))
               .arg(generation);
}
QString moveTargetPath(const QString& dir, qint64 generation) {
    return dir + QStringLiteral("/out/Titel %1.mp3").arg(generation);
}
QString copyTargetPath(const QString& dir) {
    return dir + QStringLiteral("/out/Kopie.mp3");
}

bool writeSettings(const QString& dir, qint64 generation) {
    SettingsStore s(settingsPath(dir));
    fillSettings(s, generation);
    return s.save();
}

bool writeMerkzettel(const QString& dir, qint64 generation) {
    QString error;
    return MerkzettelSharing::save(merkzettelPath(dir), titleLines(generation), context(generation),
                                   &error);
}

bool writePlaylist(const QString& dir, qint64 generation) {
    return playlist(generation).save(playlistPath(dir));
}

QByteArray title(qint64 generation) {
    QRandomGenerator rng(quint32(generation) * 2654435761u + 1);
    const int size = int(512 * 1024 + generation % 8192);
    QByteArray b(size + 4, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32*>(b.data()), (size + 3) / 4);
    b.truncate(size);
    return b;
}

QByteArray expected(int kind, qint64 generation, const QString& scratch) {
    switch (kind) {
    case Settings: {
        SettingsStore s(settingsPath(scratch));
        fillSettings(s, generation);
        return s.toData();
    }
    case Merkzettel:
        return writeMerkzettel(scratch, generation) ? readAll(merkzettelPath(scratch))
                                                    : QByteArray("unwritable");
    case Playlist:
        return playlist(generation).data();
    default:
        return title(generation);
    }
}

} // namespace crashpayload
