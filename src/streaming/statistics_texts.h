#pragma once

#include <QLocale>
#include <QString>

class Collection;
struct MyVersionInfo;

// The texts of the statistics and listener windows, without widgets.
namespace stattexts {

// The client-program icon (0..10) of a user agent: every matching test replaces the
// icon chosen so far, so the last match wins.
enum AgentIcon {
    UnknownClient = 0,
    Winamp = 1,
    WindowsMedia = 2,
    Foobar = 3,
    Apache = 4,
    WebBrowser = 5,
    InternetExplorer = 6,
    RealPlayer = 7,
    QuickTime = 8,
    ITunes = 9,
    Vlc = 10,
    AgentIconCount = 11
};
int agentIcon(const QString& userAgent);

// The amount sent as the listener list shows it: "512 Byte", "1,50 kByte", "97,6 MByte".
QString sentText(quint64 bytes, const QLocale& locale = QLocale());
// "1,50 kByte   (1.536 Byte)" for the details window.
QString sentDetailText(quint64 bytes, const QLocale& locale = QLocale());

// The locale's long time format without time-zone fields (durations have none).
QString longTimeFormat(const QLocale& locale = QLocale());
// The time of day of `ms` (0 .. one day) in `format`; fast for the usual "HH:mm:ss".
QString timeOfDay(qint64 ms, const QString& format);
// How long a listener is connected: the time, "1 Tag, " + time, or n + " Tage, " + time.
QString connectionTime(qint64 elapsedMs, const QString& format);
QString connectionTime(qint64 elapsedMs, const QLocale& locale = QLocale());
// A moment as long date, three blanks, long time.
QString dateTimeText(const QDateTime& moment, const QLocale& locale = QLocale());

// A file size: the count divided by 1024 while above 999 (at most three times), as many
// decimals as divisions, the unit, "Byte (", the exact count, " Byte", `extra`, ")".
QString sizeText(qint64 bytes, const QString& extra = QString(), const QLocale& locale = QLocale());
// ", h:mm:ss" and, for a positive rate, ", 128 kbps" or ", ca. 131 kbps".
QString lengthExtra(qint64 lengthMs, int bitRate);
// round(bytes × 8 / length in milliseconds); 0 without a length.
int bitRateOf(qint64 bytes, qint64 lengthMs);

// "MP3   (MP3-Audio)", or "Unregistrierter Dateityp" when the type has no description.
QString fileTypeText(const QString& extension, const QString& description);

// The information page.
QString versionLine(const MyVersionInfo& version);
QString noticeLine(int currentYear);
QString contactLine();

// "12.345 Medien" and so on.
QString countText(qint64 count, const QString& unit, const QLocale& locale = QLocale());
// "Laufwerk /media/usb (1.234 MByte)" or "Laufwerk … (Web-Umleitung)"; a negative amount
// (not known, as on a share) shows no figure.
QString driveText(const QString& root, qint64 usedBytes, bool webFolder,
                  const QLocale& locale = QLocale());

// The in-memory size of the collection's title lists, the shown list, the media names
// and the tree, in bytes: what their strings and slots take.
qint64 catalogueMemory(const Collection& collection, qint64 shownListEntries);
// The same in two parts: what changes only with a reload (the folder lists, the media
// names, the tree), and the rest (the fixed lists, the shown list).
qint64 catalogueBulkMemory(const Collection& collection);
qint64 catalogueLiveMemory(const Collection& collection, qint64 shownListEntries);

} // namespace stattexts
