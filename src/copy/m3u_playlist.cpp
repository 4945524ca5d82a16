#include "m3u_playlist.h"

#include "atomic_file.h"
#include "media_device.h"
#include "text_codec.h"
#include "title_scan.h"

#include <QFile>

void M3uPlaylist::load(const QString& fileName) {
    QFile file(fileName);
    loadData(!fileName.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

void M3uPlaylist::loadData(const QByteArray& data) {
    lines_ = textcodec::splitLines(textcodec::decodeIndexText(data));
    // Byte order marks left at the start are no text: written back without a mark of its
    // own, they would read as one.
    if (!lines_.isEmpty()) {
        QString& first = lines_.first();
        qsizetype marks = 0;
        while (marks < first.size() && first[marks] == QChar(0xFEFF))
            ++marks;
        first.remove(0, marks);
    }
    if (lines_.isEmpty()) lines_.append(QStringLiteral("#EXTM3U"));
}

QByteArray M3uPlaylist::data() const {
    QByteArray out;
    for (const QString& line : lines_) {
        out += line.toUtf8();
        out += '\n';
    }
    return out;
}

bool M3uPlaylist::addEntry(qint64 seconds, const QString& name, const QString& path) {
    // A path is one line that is no comment; a line break in the name becomes a blank.
    if (path.isEmpty() || path.startsWith(u'#') || path.contains(u'\n') || path.contains(u'\r'))
        return false;
    QString displayName = name;
    displayName.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString key = u',' + displayName;
    for (const QString& line : lines_)
        if (line.contains(key)) return false;
    lines_.append(seconds < 0 ? QStringLiteral("#EXTINF:,") + displayName
                              : QStringLiteral("#EXTINF:%1,%2").arg(seconds).arg(displayName));
    lines_.append(path);
    return true;
}

bool M3uPlaylist::save(const QString& fileName, QString* error) const {
    return atomicfile::write(fileName, data(), error);
}

qint64 titleSeconds(const QString& fileName, const QString& extension, MediaDevice& device) {
    const QString ext = extension.toUpper();
    if (ext != u".MP3" && ext != u".MP2" && ext != u".WAV" && ext != u".MID") return -1;
    device.setTimeFormatMilliseconds();
    // This runs off the GUI thread: waiting for the device's answer holds up only the
    // measurement.
    const bool ok = device.open(fileName) && device.waitOpened(10000);
    if (!ok) return 0;
    const qint64 scan = ext == u".MP3" ? titlescan::ScanTitleLength(fileName).lengthMs : -1;
    const qint64 played = device.length();
    const qint64 length = (scan < 0 || played < 3 * scan) ? played : scan;
    device.close();
    device.waitReleased(2000);
    return std::max<qint64>(length, 0) / 1000;
}
