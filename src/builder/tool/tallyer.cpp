#include "tallyer.h"

#include "control_channel.h"
#include "index_file.h"
#include "media_roots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace tallyer {

namespace {

const QString kErrorIndent = QStringLiteral("            ");  // twelve blanks
const QString kWarningIndent = QStringLiteral("           "); // eleven blanks

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

} // namespace

Arguments parseArguments(const QStringList& args) {
    static const std::pair<QLatin1StringView, QString Arguments::*> keys[] = {
        {QLatin1StringView("BASEDIR="), &Arguments::baseDir},
        {QLatin1StringView("LABEL="), &Arguments::label},
        {QLatin1StringView("TYPE="), &Arguments::type},
        {QLatin1StringView("RES="), &Arguments::resource},
        {QLatin1StringView("AUTHOR="), &Arguments::author},
        {QLatin1StringView("VERSION="), &Arguments::version},
        {QLatin1StringView("COMMENT="), &Arguments::comment},
        {QLatin1StringView("INFOFILE="), &Arguments::infoFile},
    };
    Arguments out;
    out.count = args.size();
    for (const QString& arg : args) {
        for (const auto& [key, field] : keys) {
            if (arg.startsWith(key, Qt::CaseInsensitive)) {
                out.*field = arg.mid(arg.indexOf(u'=') + 1);
                if (field == &Arguments::baseDir) out.baseDirGiven = true;
                if (field == &Arguments::label) out.labelGiven = true;
                break;
            }
        }
    }
    return out;
}

QString bannerLine(int year) {
    return QStringLiteral("*** TALLYER v1.4a (03-AUG-2006)   (c) %1 Vorlune-Projekt ***").arg(year);
}

QStringList helpLines() {
    return {
        QStringLiteral(" Erstellt für ein Medium eine Titelliste, wie sie von"),
        QStringLiteral(" \"Vorlune\" verwendet wird.\""),
        QString(),
        QStringLiteral("Aufruf: TALLYER BASEDIR=<Stammverzeichnis>[\\] LABEL=<Medienbezeichnung>"),
        QStringLiteral("                 [TYPE=<Medientyp> [RES=<Ressource>]]"),
        QStringLiteral("                 [[AUTHOR=<Herausgeber>] [VERSION=<Versionsbezeichnung>]"),
        QStringLiteral("                  [COMMENT=<Beschreibung des Mediums>]"),
        QStringLiteral("                  | [INFOFILE=<Dateiname>]]"),
        QString(),
        QStringLiteral(" Anmerkungen:  Werte in spitzen Klammern sind obligatorische Angaben;"),
        QStringLiteral("               die Angabe der Werte in eckigen Klammern ist optional."),
        QStringLiteral("               Die für AUTHOR, VERSION und COMMENT verwendeten"),
        QStringLiteral("               Zeichenketten dürfen HTML-Quelltext enthalten."),
        QString(),
        QStringLiteral(" Parameter:"),
        QStringLiteral("   Stammverzeichnis    Verzeichnis, in dem die Auflistung beginnt. Ein"),
        QStringLiteral("                       abschließendes \\ (oder /) macht es zum"),
        QStringLiteral("                       Stammverzeichnis des Mediums."),
        QStringLiteral("   Medienbezeichnung   Name des Mediums; nur Zeichen, die in Dateinamen"),
        QStringLiteral("                       erlaubt sind, also kein \\ / < > | ? * : \""),
        QStringLiteral("   Medientyp           Bestimmt das Symbol des Mediums:"),
        QStringLiteral("                       DSK:  Diskette, MO-Diskette oder ähnliches Medium"),
        QStringLiteral(
            "                       USB:  USB-fähiges Wiedergabe- / Massenspeichergerät"),
        QStringLiteral("                       RAM:  RAM- oder Flash-Laufwerk"),
        QStringLiteral("                       CDR:  CD, DVD, BluRay-Disc oder ähnliches Medium"),
        QStringLiteral("                       HDD:  Festplatte"),
        QStringLiteral("                       LAN:  Netzlaufwerk, siehe \"Ressource\""),
        QStringLiteral("                       WWW:  Internet (HTTP/FTP), siehe \"Ressource\""),
        QStringLiteral(
            "   Ressource           Nur für \"LAN\" und \"WWW\": beim Laden der Liste wird"),
        QStringLiteral("                       damit ein Netz- oder Web-Laufwerk verbunden."),
        QStringLiteral("                       Formen: \\\\Server\\Pfad"),
        QStringLiteral("                               http://Server/Pfad/"),
        QStringLiteral("                               ftp://Server/Pfad/"),
        QStringLiteral(
            "                       Alle anderen Medientypen ignorieren diesen Parameter."),
        QStringLiteral("   Herausgeber         Name des Herausgebers des Mediums."),
        QStringLiteral("   Versionsbezeichng.  Versionsangabe des Mediums, zum Beispiel das"),
        QStringLiteral("                       Erstellungsdatum."),
        QStringLiteral(
            "   Medienbeschreibung  Ein das Medium beschreibender Text (max. 4000 Zeichen)."),
        QStringLiteral(
            "   Dateiname           Textdatei, die Herausgeber, Versionsbezeichnung und"),
        QStringLiteral("                       Beschreibung zeilenweise in dieser Reihenfolge"),
        QStringLiteral("                       enthält; ersetzt die drei Einzelangaben."),
    };
}

QStringList messageBlock(const QString& banner, const QStringList& message) {
    QStringList out;
    out << banner << QString() << message << QString();
    return out;
}

bool isMediaType(const QString& upperType) {
    static const QStringList types = {
        QStringLiteral("DSK"), QStringLiteral("USB"), QStringLiteral("RAM"), QStringLiteral("CDR"),
        QStringLiteral("HDD"), QStringLiteral("LAN"), QStringLiteral("WWW")};
    return types.contains(upperType);
}

Validation validate(const Arguments& args) {
    Validation v;
    Job& job = v.job;

    // A key given without a value is a mistake of its own, not a call for help.
    if (args.baseDir.isEmpty()) {
        v.messages << QStringList{
            QStringLiteral(" Fehler:   Kein Verzeichnis angegeben (BASEDIR= ist leer).")};
        v.exitCode = ExitEmptyBaseDir;
        return v;
    }
    job.baseDir = args.baseDir;
    if (job.baseDir.endsWith(u'/') || job.baseDir.endsWith(u'\\')) {
        job.rootFlag = true;
        job.baseDir.chop(1);
        if (job.baseDir.isEmpty()) job.baseDir = QStringLiteral("/");
    }
    if (!QFileInfo(job.baseDir).isDir()) {
        v.messages << QStringList{QStringLiteral(" Fehler:   Kann Verzeichnis nicht finden:"),
                                  kErrorIndent + quoted(args.baseDir)};
        v.exitCode = ExitBaseDirMissing;
        return v;
    }

    if (args.label.isEmpty()) {
        v.messages << QStringList{
            QStringLiteral(" Fehler:   Keine Medien-Bezeichnung angegeben (LABEL= ist leer).")};
        v.exitCode = ExitEmptyLabel;
        return v;
    }
    job.label = args.label.trimmed();
    static const QString forbidden = QStringLiteral("/\\:*?|<>\"");
    const bool badChar = std::any_of(job.label.cbegin(), job.label.cend(),
                                     [](QChar c) { return forbidden.contains(c); });
    if (job.label.isEmpty() || badChar) {
        v.messages << QStringList{QStringLiteral(" Fehler:   Ungültige Medien-Bezeichnung:"),
                                  kErrorIndent + quoted(args.label)};
        v.exitCode = ExitBadLabel;
        return v;
    }

    job.type = args.type.toUpper();
    if (!job.type.isEmpty() && !isMediaType(job.type)) {
        v.messages << QStringList{QStringLiteral(" Fehler:   Ungültiger Medientyp: ") +
                                  quoted(args.type)};
        v.exitCode = ExitBadType;
        return v;
    }

    job.resource = args.resource;
    if (!job.resource.isEmpty() && job.type.isEmpty()) {
        if (job.resource.startsWith(QLatin1StringView("\\\\")))
            job.type = QStringLiteral("LAN");
        else if (job.resource.startsWith(QLatin1StringView("HTTP://"), Qt::CaseInsensitive) ||
                 job.resource.startsWith(QLatin1StringView("FTP://"), Qt::CaseInsensitive))
            job.type = QStringLiteral("WWW");
        if (!job.type.isEmpty()) {
            v.messages << QStringList{
                QStringLiteral(" Warnung:  Kein Medientyp angegeben, vermute %1 anhand")
                    .arg(quoted(job.type)),
                kWarningIndent + QStringLiteral("der Ressource %1...").arg(quoted(job.resource))};
        } else {
            v.messages << QStringList{
                QStringLiteral(" Warnung:  Kein Medientyp angegeben, ignoriere die Angabe der"),
                kWarningIndent + QStringLiteral("Ressource %1...").arg(quoted(job.resource))};
        }
    }
    if (job.type != u"LAN" && job.type != u"WWW") job.resource.clear();

    job.author = args.author;
    job.version = args.version;
    job.comment = args.comment;
    if (!args.infoFile.isEmpty()) {
        const QFileInfo info(args.infoFile);
        const bool exists = info.exists() && !info.isDir();
        if (exists) {
            job.infoFile = args.infoFile;
            if (args.hasManualTexts())
                v.messages << QStringList{
                    QStringLiteral(" Warnung:  Benutze Daten aus %1, ignoriere die")
                        .arg(quoted(args.infoFile)),
                    kWarningIndent + QStringLiteral("manuell angegebenen Daten...")};
        } else if (args.hasManualTexts()) {
            v.messages << QStringList{
                QStringLiteral(" Warnung:  Datei %1nicht vorhanden, benutze die")
                    .arg(quoted(args.infoFile)),
                kWarningIndent + QStringLiteral("manuell angegebenen Daten...")};
        } else {
            v.messages << QStringList{QStringLiteral(" Fehler:   Datei nicht vorhanden:"),
                                      kErrorIndent + quoted(args.infoFile)};
            v.exitCode = ExitInfoFileMissing;
        }
    }
    return v;
}

QString replaceText(QString text, QStringView pattern, const QString& replacement) {
    if (pattern.isEmpty()) return text;
    if (replacement.contains(pattern, Qt::CaseInsensitive)) {
        const qsizetype at = text.indexOf(pattern, 0, Qt::CaseInsensitive);
        if (at >= 0) text.replace(at, pattern.size(), replacement);
        return text;
    }
    // Each pass starts again at the beginning, so that a pattern formed by a replacement
    // and its neighbours is replaced too. A rewriting that keeps producing the pattern
    // would never end; the bound stops it.
    for (int passes = 0; passes < (1 << 20); ++passes) {
        const qsizetype at = text.indexOf(pattern, 0, Qt::CaseInsensitive);
        if (at < 0) break;
        text.replace(at, pattern.size(), replacement);
    }
    return text;
}

QString htmlDate(const QDate& date) {
    static const char* const days[] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
    static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    auto small = [](const char* name) {
        return QString(QChar::fromLatin1(name[0])) + QStringLiteral("<SMALL>") +
               QString::fromLatin1(name + 1) + QStringLiteral("</SMALL>");
    };
    if (!date.isValid()) return QString();
    return QStringLiteral("%1, %2-%3-%4")
        .arg(small(days[date.dayOfWeek() - 1]))
        .arg(date.day(), 2, 10, QChar(u'0'))
        .arg(small(months[date.month() - 1]))
        .arg(date.year(), 4, 10, QChar(u'0'));
}

DateTexts dateTexts(const QDateTime& now, const QLocale& locale) {
    DateTexts d;
    d.date = locale.toString(now.date(), QLocale::ShortFormat);
    d.time = indexfile::localTimeText(now.time(), locale);
    d.dateTime = d.date + u' ' + d.time;
    d.htmlDate = htmlDate(now.date());
    d.htmlTime = d.time;
    d.htmlDateTime = d.htmlDate + QStringLiteral("&nbsp;&nbsp;&nbsp;") + d.htmlTime;
    return d;
}

QString replacePlaceholders(QString text, const DateTexts& dates) {
    text = replaceText(std::move(text), u"%DATE%", dates.date);
    text = replaceText(std::move(text), u"%TIME%", dates.time);
    text = replaceText(std::move(text), u"%DATETIME%", dates.dateTime);
    text = replaceText(std::move(text), u"%HTMLDATE%", dates.htmlDate);
    text = replaceText(std::move(text), u"%HTMLTIME%", dates.htmlTime);
    text = replaceText(std::move(text), u"%HTMLDATETIME%", dates.htmlDateTime);
    return text;
}

HeaderTexts headerTexts(const Job& job, const DateTexts& dates) {
    HeaderTexts t;
    if (!job.infoFile.isEmpty()) {
        // An unreadable info file gives no lines, like a short one.
        QStringList lines;
        indexfile::readIndexFile(job.infoFile, lines, nullptr);
        auto line = [&lines](qsizetype i) {
            return i < lines.size() && !lines[i].trimmed().isEmpty() ? lines[i] : QString();
        };
        t.author = line(0);
        t.version = line(1);
        t.comment = line(2);
    } else {
        t.author = job.author;
        t.version = job.version;
        t.comment = job.comment;
    }
    t.version = replacePlaceholders(t.version, dates);
    t.comment = replacePlaceholders(t.comment, dates);
    return t;
}

QString mediaRootFor(const QString& canonicalPath) {
    const QString root = mediaroots::rootHolding(canonicalPath, mediaroots::localRoots());
    return root.isEmpty() ? QStringLiteral("/") : root;
}

QString linePrefix(const QString& label, const QString& canonicalBase, bool rootFlag,
                   const QString& mountPoint) {
    QString prefix = label + u':';
    if (rootFlag) return prefix;
    QString below;
    if (mountPoint.isEmpty() || mountPoint == u"/")
        below = canonicalBase == u"/" ? QString() : canonicalBase;
    else
        below = canonicalBase.mid(mountPoint.size());
    below.replace(u'/', u'\\');
    return prefix + below;
}

void sortUnique(QStringList& lines, qsizetype commonPrefix) {
    // The order of indexfile::compareCatalogue: folded texts first, then by code. The
    // folded texts are kept as big-endian UTF-16 bytes, so that memcmp compares them;
    // the shared prefix is left out.
    auto fold = [](char16_t c) -> char16_t {
        if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        return QChar::toCaseFolded(c);
    };
    struct Entry {
        qsizetype offset;
        qsizetype size;
        qsizetype index;
    };
    const qsizetype n = lines.size();
    qsizetype total = 0;
    for (const QString& line : lines)
        total += std::max<qsizetype>(0, line.size() - commonPrefix) * 2;
    std::vector<unsigned char> keys(static_cast<size_t>(total) + 1);
    std::vector<Entry> entries(static_cast<size_t>(n));
    qsizetype at = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QString& line = lines[i];
        const qsizetype from = std::min(commonPrefix, line.size());
        entries[size_t(i)] = {at, (line.size() - from) * 2, i};
        const char16_t* text = reinterpret_cast<const char16_t*>(line.utf16());
        for (const char16_t *p = text + from, *end = text + line.size(); p < end; ++p) {
            const char16_t f = fold(*p);
            keys[size_t(at++)] = static_cast<unsigned char>(f >> 8);
            keys[size_t(at++)] = static_cast<unsigned char>(f & 0xff);
        }
    }
    const unsigned char* base = keys.data();
    auto keyCompare = [base](const Entry& a, const Entry& b) {
        const int c =
            std::memcmp(base + a.offset, base + b.offset, size_t(std::min(a.size, b.size)));
        if (c != 0) return c;
        return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const int c = keyCompare(a, b);
        if (c != 0) return c < 0;
        return indexfile::compareCatalogue(lines[a.index], lines[b.index]) < 0;
    });
    // Equal texts are neighbours; texts that differ in case only are kept, since they
    // name different files.
    QStringList out;
    out.reserve(n);
    for (const Entry& e : entries) {
        if (!out.isEmpty() && out.constLast() == lines[e.index]) continue;
        out.append(std::move(lines[e.index]));
    }
    lines = std::move(out);
}

namespace {

// An extension of up to seven characters in capitals, packed into one number.
constexpr quint64 packExtension(std::string_view ext) {
    quint64 v = 0;
    for (char c : ext)
        v = (v << 8) | quint8((c >= 'a' && c <= 'z') ? c - 32 : c);
    return v;
}

constexpr std::array<quint64, 33> kMediaExtensions = {
    packExtension(".MP3"),  packExtension(".OGG"), packExtension(".WAV"),  packExtension(".MID"),
    packExtension(".XM"),   packExtension(".IT"),  packExtension(".AVI"),  packExtension(".MOD"),
    packExtension(".S3M"),  packExtension(".MP2"), packExtension(".MPG"),  packExtension(".MPE"),
    packExtension(".MPEG"), packExtension(".VOC"), packExtension(".MIDI"), packExtension(".XMI"),
    packExtension(".RMI"),  packExtension(".669"), packExtension(".CDA"),  packExtension(".STM"),
    packExtension(".CMF"),  packExtension(".MTM"), packExtension(".ULT"),  packExtension(".HMP"),
    packExtension(".HMI"),  packExtension(".MSS"), packExtension(".MUS"),  packExtension(".GMD"),
    packExtension(".MIDS"), packExtension(".MIZ"), packExtension(".HMZ"),  packExtension(".WMV"),
    packExtension(".ASF"),
};

} // namespace

bool isMediaFileName(QByteArrayView name) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0 || name.size() - dot < 3 || name.size() - dot > 5) return false;
    const quint64 ext =
        packExtension(std::string_view(name.data() + dot, size_t(name.size() - dot)));
    return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), ext) !=
           kMediaExtensions.end();
}

namespace {

// Walks with readdir and d_type, so that plain files cost no stat call. Symbolic links
// to folders are followed; a folder that is already open on the way down from the base
// (same device and inode) is not entered again, which ends link loops.
class Walker {
    // "<prefix>\<name>", in one allocation for the usual ASCII names. Null for a name
    // that is not valid UTF-8 or holds a control character (a line break would write lines
    // of its own into the index file).
    static QString childPath(const QString& prefix, const char* name) {
        const size_t length = std::strlen(name);
        if (std::any_of(name, name + length, [](char c) { return isControl(uchar(c)); }))
            return QString();
        const bool ascii = std::all_of(name, name + length, [](char c) { return c >= 0; });
        if (!ascii) {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8(QByteArrayView(name, qsizetype(length)));
            if (utf8.hasError()) return QString();
            return prefix + u'\\' + decoded;
        }
        QString out(prefix.size() + 1 + qsizetype(length), Qt::Uninitialized);
        QChar* p = std::copy(prefix.cbegin(), prefix.cend(), out.data());
        *p++ = u'\\';
        std::transform(name, name + length, p, [](char c) { return QChar(char16_t(c)); });
        return out;
    }

    static bool isControl(uchar c) { return c < 0x20 || c == 0x7f; }

    // The path for the console: valid UTF-8 as it is, other bytes and control characters
    // as "\xNN".
    static QString shownPath(const QByteArray& folder, const char* name) {
        const QByteArray raw = folder + '/' + name;
        QString out;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        for (qsizetype i = 0; i < raw.size();) {
            // The longest valid piece from here, then one escaped byte.
            qsizetype end = i;
            while (end < raw.size()) {
                const uchar c = uchar(raw[end]);
                const int size = isControl(c)     ? 0
                                 : c < 0x80       ? 1
                                 : (c >> 5) == 6  ? 2
                                 : (c >> 4) == 14 ? 3
                                 : (c >> 3) == 30 ? 4
                                                  : 0;
                if (size == 0 || end + size > raw.size()) break;
                const QString piece = utf8(QByteArrayView(raw).sliced(end, size));
                if (utf8.hasError() || piece.isEmpty()) {
                    utf8.resetState();
                    break;
                }
                end += size;
            }
            out += QString::fromUtf8(QByteArrayView(raw).sliced(i, end - i));
            if (end < raw.size()) {
                out += QStringLiteral("\\x%1").arg(uchar(raw[end]), 2, 16, QLatin1Char('0'));
                ++end;
            }
            i = end;
        }
        return out;
    }

public:
    QStringList lines;
    QStringList skipped;

    qsizetype walk(const QByteArray& path, const QString& prefix) {
        DIR* dir = ::opendir(path.isEmpty() ? "/" : path.constData());
        if (!dir) return 0;
        struct stat self {};
        if (::fstat(::dirfd(dir), &self) == 0) {
            const std::pair<dev_t, ino_t> id{self.st_dev, self.st_ino};
            if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) {
                ::closedir(dir);
                return 0;
            }
            ancestors_.push_back(id);
        } else {
            ancestors_.push_back({dev_t(-1), ino_t(-1)});
        }

        std::vector<QByteArray> folders;
        qsizetype found = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            bool isDir = entry->d_type == DT_DIR;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                const QByteArray full = path + '/' + name;
                isDir = ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            const QByteArrayView nameView(name);
            if (isDir) {
                if (nameView.compare("VORLUNE", Qt::CaseInsensitive) != 0)
                    folders.emplace_back(name);
            } else if (isMediaFileName(nameView)) {
                QString line = childPath(prefix, name);
                if (line.isNull()) {
                    skipped << shownPath(path, name);
                    continue;
                }
                lines << std::move(line);
                ++found;
            }
        }
        ::closedir(dir);

        for (const QByteArray& name : folders) {
            const QString folderLine = childPath(prefix, name.constData());
            if (folderLine.isNull()) {
                skipped << shownPath(path, name.constData()) + u'/';
                continue;
            }
            const qsizetype below = walk(path + '/' + name, folderLine);
            if (below > 0) {
                lines << folderLine + u'\\';
                found += below;
            }
        }
        ancestors_.pop_back();
        return found;
    }

private:
    std::vector<std::pair<dev_t, ino_t>> ancestors_;
};

} // namespace

QStringList listMedia(const QString& folder, const QString& prefix, QStringList* skipped) {
    QByteArray path = QFile::encodeName(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path == "/") path.clear(); // children become "/name"
    Walker walker;
    walker.walk(path, prefix);
    if (skipped) *skipped = std::move(walker.skipped);
    sortUnique(walker.lines, prefix.size());
    return walker.lines;
}

int run(const QStringList& args, const Printer& print, const RunOptions& options) {
    const QString banner = bannerLine(QDate::currentDate().year());
    auto printLines = [&print](const QStringList& lines) { print(lines.join(u'\n') + u'\n'); };

    const Arguments arguments = parseArguments(args);
    if (arguments.needsHelp()) {
        printLines(QStringList{banner, QString()} + helpLines());
        return ExitHelp;
    }

    const Validation validation = validate(arguments);
    for (const QStringList& message : validation.messages)
        printLines(messageBlock(banner, message));
    if (validation.exitCode != ExitOk) return validation.exitCode;
    const Job& job = validation.job;

    QString prefix;
    if (job.rootFlag) {
        prefix = linePrefix(job.label, QString(), true, QString());
    } else {
        QString canonical = QFileInfo(job.baseDir).canonicalFilePath();
        if (canonical.isEmpty()) canonical = QFileInfo(job.baseDir).absoluteFilePath();
        prefix = linePrefix(job.label, canonical, false, mediaRootFor(canonical));
    }
    QStringList skipped;
    const QStringList listing = listMedia(job.baseDir, prefix, &skipped);
    if (!skipped.isEmpty()) {
        QStringList message{QStringLiteral(
            " Warnung:  Namen, die kein gültiges UTF-8 sind oder Steuerzeichen enthalten, "
            "werden übergangen:")};
        for (const QString& path : skipped)
            message << kErrorIndent + quoted(path);
        printLines(messageBlock(banner, message));
    }

    const DateTexts dates = dateTexts(QDateTime::currentDateTime(), QLocale::system());
    const HeaderTexts texts = headerTexts(job, dates);

    indexfile::ToolIndex index;
    index.banner = banner;
    index.label = job.label;
    index.author = texts.author;
    index.version = texts.version;
    index.comment = texts.comment;
    index.typeCode = job.type;
    index.resource = job.resource;
    index.listing = listing;

    const QDir outDir(options.outputDir.isEmpty() ? QDir::currentPath() : options.outputDir);
    QString error;
    if (!indexfile::writeIndexFile(outDir.filePath(job.label + QStringLiteral(".cd")),
                                   indexfile::toolIndexLines(index), &error)) {
        printLines(messageBlock(banner, {QStringLiteral(" Fehler:   ") + error}));
        return ExitWriteFailed;
    }

    if (options.notify) control::sendRefresh(options.notifyTimeoutMs);
    return ExitOk;
}

} // namespace tallyer
