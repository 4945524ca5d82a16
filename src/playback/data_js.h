#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

// The now-playing data file "data.js" that the playlist page includes as a script.
namespace datajs {

enum class Writer {
    Tick,      // the playback tick
    PauseSeek, // pause, resume and seek
    Stopped,   // stop, and the toggles while nothing plays
};

struct NowPlaying {
    bool paused = false;
    QString displayName;
    qint64 position = 0; // seconds
    qint64 duration = 0; // seconds
    QString bitRate;     // "128 kbps" / "ca. 131 kbps"
    qint64 fileSize = 0;
    bool repeat = false;
    bool shuffle = false;
    QStringList previous; // display names, most recent first
    QStringList next;     // display names, nearest first
};

// The text of a JavaScript string literal's inside: quotes, backslashes, line
// separators and control characters escaped.
QString escape(QStringView text);

// The display names listed around `position` of the play order: up to `historySize`
// before (most recent first) and after it. A size of 0 or less lists none.
struct Neighbours {
    QStringList previous;
    QStringList next;
};
Neighbours neighbours(const QStringList& titles, const std::vector<int>& order, int position,
                      int historySize);

// The file's text, lines ending in CR LF.
QString build(Writer writer, const NowPlaying& now, const QLocale& locale = QLocale());

// The text in the file's encoding: Windows-1252 when every character fits, else UTF-8
// with a byte order mark.
QByteArray encode(const QString& text);

// Writes the file atomically; false (and why in `reason`) when it could not be written.
bool write(const QString& fileName, const QString& text, QString* reason = nullptr);

} // namespace datajs
