#include "statistics_texts.h"

#include "collection.h"
#include "version_info.h"

#include <QDateTime>
#include <QTime>

#include <cmath>

namespace stattexts {

int agentIcon(const QString& userAgent) {
    const QString ua = userAgent.toUpper();
    const auto has = [&ua](const char* s) { return ua.contains(QLatin1String(s)); };
    int icon = UnknownClient;
    if (has("WINAMP")) icon = Winamp;
    if (has("MSIE") || has("NSPLAYER") || has("WMFSDK")) icon = WindowsMedia;
    if (has("FOOBAR2000")) icon = Foobar;
    if (has("APACHE")) icon = Apache;
    if (has("MOZILLA")) icon = WebBrowser;
    if (has("MOZILLA") && has("MSIE")) icon = InternetExplorer;
    if (ua.startsWith(QLatin1String("RMA")) || has("REALMEDIA")) icon = RealPlayer;
    if (has("QUICKTIME")) icon = QuickTime;
    if (has("ITUNES")) icon = ITunes;
    if (has("VLC")) icon = Vlc;
    return icon;
}

static QLocale plain(const QLocale& locale) {
    QLocale l = locale;
    l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
    return l;
}

QString sentText(quint64 bytes, const QLocale& locale) {
    static const char* const units[] = {" ", " k", " M", " G", " T", " P", " E"};
    double value = double(bytes);
    int unit = 0;
    while (value > 999 && unit < 6) {
        value /= 1024;
        ++unit;
    }
    QString number;
    if (unit == 0) {
        number = QString::number(bytes);
    } else {
        // Below 1000 after a division: no group separator can appear.
        number = locale.toString(value, 'f', 2).left(4);
        if (number.size() == 4 && number.endsWith(locale.decimalPoint())) number.chop(1);
    }
    return number + QLatin1String(units[unit]) + QStringLiteral("Byte");
}

QString sentDetailText(quint64 bytes, const QLocale& locale) {
    return sentText(bytes, locale) + QStringLiteral("   (") + locale.toString(qulonglong(bytes)) +
           QStringLiteral(" Byte)");
}

QString longTimeFormat(const QLocale& locale) {
    QString f = locale.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

QString timeOfDay(qint64 ms, const QString& format) {
    const int secs = int((ms / 1000) % 86400);
    if (format == QLatin1String("HH:mm:ss") || format == QLatin1String("hh:mm:ss")) {
        const int h = secs / 3600, m = secs / 60 % 60, s = secs % 60;
        const QChar out[8] = {QChar(u'0' + h / 10), QChar(u'0' + h % 10), u':',
                              QChar(u'0' + m / 10), QChar(u'0' + m % 10), u':',
                              QChar(u'0' + s / 10), QChar(u'0' + s % 10)};
        return QString(out, 8);
    }
    return QTime::fromMSecsSinceStartOfDay(secs * 1000).toString(format);
}

QString connectionTime(qint64 elapsedMs, const QString& format) {
    if (elapsedMs < 0) elapsedMs = 0;
    constexpr qint64 day = 86400000;
    const qint64 days = elapsedMs / day;
    const QString time = timeOfDay(elapsedMs % day, format);
    if (days == 0) return time;
    if (days == 1) return QStringLiteral("1 Tag, ") + time;
    return QString::number(days) + QStringLiteral(" Tage, ") + time;
}

QString connectionTime(qint64 elapsedMs, const QLocale& locale) {
    return connectionTime(elapsedMs, longTimeFormat(locale));
}

QString dateTimeText(const QDateTime& moment, const QLocale& locale) {
    return locale.toString(moment.date(), QLocale::LongFormat) + QStringLiteral("   ") +
           locale.toString(moment.time(), longTimeFormat(locale));
}

QString sizeText(qint64 bytes, const QString& extra, const QLocale& locale) {
    static const char* const units[] = {" ", " k", " M", " G"};
    double value = double(bytes);
    int steps = 0;
    while (value > 999 && steps < 3) {
        value /= 1024;
        ++steps;
    }
    return plain(locale).toString(value, 'f', steps) + QLatin1String(units[steps]) +
           QStringLiteral("Byte (") + locale.toString(qlonglong(bytes)) + QStringLiteral(" Byte") +
           extra + QLatin1Char(')');
}

static QString playTime(qint64 ms) {
    return QStringLiteral("%1:%2:%3")
        .arg(ms / 3600000)
        .arg(int(ms / 60000 % 60), 2, 10, QLatin1Char('0'))
        .arg(int(ms / 1000 % 60), 2, 10, QLatin1Char('0'));
}

QString lengthExtra(qint64 lengthMs, int bitRate) {
    if (lengthMs < 0) return {};
    QString s = QStringLiteral(", ") + playTime(lengthMs);
    if (bitRate > 0)
        s += QStringLiteral(", ") + (bitRate % 32 ? QStringLiteral("ca. ") : QString()) +
             QString::number(bitRate) + QStringLiteral(" kbps");
    return s;
}

int bitRateOf(qint64 bytes, qint64 lengthMs) {
    if (lengthMs <= 0 || bytes < 0) return 0;
    return int(std::lround(double(bytes) * 8.0 / double(lengthMs)));
}

QString fileTypeText(const QString& extension, const QString& description) {
    const QString ext = extension.startsWith(QLatin1Char('.')) ? extension.mid(1) : extension;
    return ext.toUpper() + QStringLiteral("   (") +
           (description.isEmpty() ? QStringLiteral("Unregistrierter Dateityp") : description) +
           QLatin1Char(')');
}

QString versionLine(const MyVersionInfo& version) {
    return QStringLiteral("Version:   ") + version.VersionString +
           QStringLiteral("       Released:   ") + version.ReleaseDate;
}

QString noticeLine(int currentYear) {
    return QStringLiteral("Copyright \u00A9 2002\u2013%1 die Vorlune-Entwickler. Alle Rechte "
                          "vorbehalten.")
        .arg(qMax(currentYear, 2002));
}

QString contactLine() {
    return QStringLiteral("Kontakt: die Vorlune-Entwickler, vorlune@example.org");
}

QString countText(qint64 count, const QString& unit, const QLocale& locale) {
    return locale.toString(qlonglong(count)) + unit;
}

QString driveText(const QString& root, qint64 usedBytes, bool webFolder, const QLocale& locale) {
    if (webFolder) return QStringLiteral("Laufwerk ") + root + QStringLiteral(" (Web-Umleitung)");
    if (usedBytes < 0) return QStringLiteral("Laufwerk ") + root; // a share: no figure to show
    return QStringLiteral("Laufwerk ") + root + QStringLiteral(" (") +
           locale.toString(qlonglong(usedBytes / 1048576)) + QStringLiteral(" MByte)");
}

namespace {

constexpr qint64 kStringHeader = 16; // the shared data header of one QString
constexpr qint64 kSlot = qint64(sizeof(QString));

qint64 stringBytes(const QString& s) {
    return s.isEmpty() ? 0 : kStringHeader + (s.size() + 1) * 2;
}

qint64 listBytes(const QStringList& list) {
    qint64 n = list.size() * kSlot;
    for (const QString& s : list)
        n += stringBytes(s);
    return n;
}

// The same for the titles of a list, also those held in blocks.
qint64 listBytes(const TitleSpan& span) {
    qint64 n = span.size() * kSlot;
    span.forEach([&n](QStringView line) {
        if (!line.isEmpty()) n += kStringHeader + (line.size() + 1) * 2;
    });
    return n;
}

qint64 treeBytes(const TreeNode* node) {
    qint64 n = qint64(sizeof(TreeNode)) + stringBytes(node->text);
    if (node->media)
        n += qint64(sizeof(MyMediaInfo)) + stringBytes(node->media->Author) +
             stringBytes(node->media->Version) + stringBytes(node->media->Comment) +
             stringBytes(node->media->Resource) + stringBytes(node->media->Details);
    for (int i = 0; i < node->childCount(); ++i)
        n += qint64(sizeof(void*)) + treeBytes(node->child(i));
    return n;
}

} // namespace

qint64 catalogueBulkMemory(const Collection& collection) {
    qint64 n = 0;
    const TitleLists& lists = collection.titleLists;
    for (int i = TitleLists::FixedCount; i < lists.count(); ++i)
        n += kSlot + stringBytes(lists.key(i)) + listBytes(lists.span(i));
    n += listBytes(collection.cdnames);
    if (collection.root()) n += treeBytes(collection.root());
    return n;
}

qint64 catalogueLiveMemory(const Collection& collection, qint64 shownListEntries) {
    qint64 n = 0;
    const TitleLists& lists = collection.titleLists;
    for (int i = 0; i < TitleLists::FixedCount && i < lists.count(); ++i)
        n += kSlot + stringBytes(lists.key(i)) + listBytes(lists.span(i));
    return n + shownListEntries * 2 * kSlot; // the shown list holds a reference per entry
}

qint64 catalogueMemory(const Collection& collection, qint64 shownListEntries) {
    return catalogueBulkMemory(collection) + catalogueLiveMemory(collection, shownListEntries);
}

} // namespace stattexts
