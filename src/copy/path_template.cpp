#include "path_template.h"

#include <QDir>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace pathtemplate {

namespace {

bool isPlaceholder(QChar c) {
    switch (c.toUpper().unicode()) {
    case 'A':
    case 'C':
    case 'D':
    case 'E':
    case 'F':
    case 'M':
    case 'P':
    case 'T':
    case '?':
        return true;
    default:
        return false;
    }
}

bool placeholdersValid(const QString& t) {
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] != u'%') continue;
        if (i + 1 >= t.size() || !isPlaceholder(t[i + 1])) return false;
        ++i;
    }
    return true;
}

QString dropStrayPercents(const QString& t) {
    QString out;
    out.reserve(t.size());
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == u'%') {
            if (i + 1 < t.size() && isPlaceholder(t[i + 1])) {
                out += t[i];
                out += t[++i];
            }
            continue;
        }
        out += t[i];
    }
    return out;
}

bool contains(const QString& t, QLatin1StringView what) {
    return t.contains(what, Qt::CaseInsensitive);
}

bool namesFile(const QString& t) {
    if (contains(t, "%F"_L1)) return true;
    return contains(t, "%E"_L1) && !contains(t, "/%E"_L1) && !contains(t, "\\%E"_L1);
}

QString collapse(QString t, QChar separator) {
    const QString twice(2, separator);
    while (t.contains(twice))
        t.replace(twice, QString(separator));
    return t;
}

// "\%E" / "/%E" -> "\%F" / "/%F".
QString extensionToFile(QString t, QChar separator) {
    const QString bad = QString(separator) + u"%E"_s;
    qsizetype at;
    while ((at = t.indexOf(bad, 0, Qt::CaseInsensitive)) >= 0)
        t[at + 2] = u'F';
    return t;
}

QString appendFilePart(QString t, QChar separator) {
    if (!contains(t, "%F"_L1) && !contains(t, "%E"_L1))
        t += t.endsWith(separator) ? u"%F"_s : QString(separator) + u"%F"_s;
    return t;
}

QString correctLocal(QString t, const QString& home) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]?:[\\\\/]"));
    if (const QRegularExpressionMatch m = drive.match(t); m.hasMatch())
        t = home + u'/' + t.mid(m.capturedLength());
    t.replace(u'\\', u'/');
    if (t == u"~"_s || t.startsWith(u"~/"_s)) t = home + t.mid(1);
    if (!t.startsWith(u'/')) t = home + u'/' + t;
    t = collapse(t, u'/');
    t = extensionToFile(t, u'/');
    return appendFilePart(t, u'/');
}

QString replacePass(const QString& text, QChar letter, const QString& value) {
    QString out;
    out.reserve(text.size() + value.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1].toUpper() == letter) {
            out += value;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "//server/share/..." style path for cleaning, from "\\server\share\...".
QString shareToSlashes(const QString& t) {
    QString s = t.mid(2);
    s.replace(u'\\', u'/');
    return u'/' + s;
}

} // namespace

bool isSharePath(const QString& t) {
    if (!t.startsWith(u"\\\\"_s) || t.contains(u'/')) return false;
    const QString rest = t.mid(2);
    if (rest.contains(u"\\\\"_s)) return false;
    const qsizetype server = rest.indexOf(u'\\');
    if (server <= 0) return false;
    const qsizetype share = rest.indexOf(u'\\', server + 1);
    return share > server + 1;
}

bool CheckPathTemplate(const QString& t) {
    if (!placeholdersValid(t) || !namesFile(t)) return false;
    if (t.startsWith(u'/')) return !t.contains(u"//"_s) && !t.contains(u'\\');
    return isSharePath(t);
}

QString CorrectPathTemplate(const QString& pathTemplate, const QString& home) {
    QString h = home;
    while (h.endsWith(u'/'))
        h.chop(1);
    QString t = pathTemplate.trimmed();
    // "smb://server/share/..." is the share path "\\server\share\...".
    if (t.startsWith(u"smb://"_s, Qt::CaseInsensitive)) {
        t = u"\\\\"_s + t.mid(6);
        t.replace(u'/', u'\\');
    }
    for (int round = 0; round < 4 && !CheckPathTemplate(t); ++round) {
        t = dropStrayPercents(t);
        if (t.startsWith(u"\\\\"_s)) {
            QString rest = t.mid(2);
            rest.replace(u'/', u'\\');
            rest = collapse(rest, u'\\');
            while (rest.startsWith(u'\\'))
                rest.remove(0, 1);
            rest = appendFilePart(extensionToFile(rest, u'\\'), u'\\');
            const QString share = u"\\\\"_s + rest;
            // Without a server and a share the text can only be a folder of our own.
            t = isSharePath(share) ? share : correctLocal(rest, h);
        } else {
            t = correctLocal(t, h);
        }
    }
    return t;
}

TitleParts splitTitleLine(const QString& titleLine) {
    TitleParts p;
    const qsizetype colon = titleLine.indexOf(u':');
    p.label = colon >= 0 ? titleLine.left(colon) : QString();
    const QString path = colon >= 0 ? titleLine.mid(colon + 1) : titleLine;
    p.fileName = path.mid(path.lastIndexOf(u'\\') + 1);
    const qsizetype dot = p.fileName.lastIndexOf(u'.');
    if (dot > 0) {
        p.displayName = p.fileName.left(dot);
        p.extension = p.fileName.mid(dot);
    } else {
        p.displayName = p.fileName;
    }
    const qsizetype dash = p.displayName.indexOf(u" - "_s);
    p.artist = dash >= 0 ? p.displayName.left(dash) : p.displayName;
    p.title = dash >= 0 ? p.displayName.mid(dash + 3) : p.displayName;
    return p;
}

QString dateText(const QDate& date, const QLocale& locale) {
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    QString text = locale.toString(date, QLocale::ShortFormat);
    text.replace(separators, QStringLiteral("-"));
    while (text.startsWith(u'-'))
        text.remove(0, 1);
    while (text.endsWith(u'-'))
        text.chop(1);
    return text;
}

QString componentValue(const QString& value) {
    QString v = value;
    v.remove(QChar(0));
    v.replace(u'/', u'-');
    v.replace(u'\\', u'-');
    if (v == u"."_s || v == u".."_s) return QStringLiteral("_");
    return v;
}

QString baseFolder(const QString& pathTemplate) {
    const bool share = isSharePath(pathTemplate);
    const QChar sep = share ? u'\\' : u'/';
    qsizetype end = pathTemplate.indexOf(u'%');
    if (end < 0) end = pathTemplate.size();
    const qsizetype last = pathTemplate.lastIndexOf(sep, end - 1);
    return last < 0 ? QString() : pathTemplate.left(last + 1);
}

QString shareComponentValue(const QString& value) {
    QString v = componentValue(value);
    for (QChar& c : v)
        if (c.unicode() < 0x20 || QStringView(u":*?\"<>|").contains(c)) c = u'_';
    return v;
}

QString ExpandPathTemplate(const QString& pathTemplate, const QString& titleLine,
                           const Context& context, QString* error) {
    const TitleParts p = splitTitleLine(titleLine);
    const bool share = isSharePath(pathTemplate);
    // A share takes no names with the characters its server reserves.
    const auto value = share ? shareComponentValue : componentValue;
    QString extension = p.extension;
    extension.replace(u'/', u'-').replace(u'\\', u'-');
    if (share) extension = shareComponentValue(extension);
    const std::pair<QChar, QString> passes[] = {
        {u'A', value(p.artist)},
        {u'C', value(p.label)},
        {u'D', value(dateText(context.date, context.locale))},
        {u'E', extension},
        {u'F', value(p.fileName)},
        {u'M', value(p.extension.mid(1).toUpper())},
        {u'P', value(context.profile)},
        {u'T', value(p.title)},
        {u'?', value(context.parameter)},
    };
    QString out = pathTemplate;
    for (const auto& [letter, value] : passes)
        out = replacePass(out, letter, value);

    const QString base = baseFolder(pathTemplate);
    QString cleanBase = QDir::cleanPath(share ? shareToSlashes(base) : base);
    QString clean = QDir::cleanPath(share ? shareToSlashes(out) : out);
    if (!cleanBase.endsWith(u'/')) cleanBase += u'/';
    // A base that climbs above the root (or, on a share, above the share) is no folder to
    // stay in; nor is a result with a NUL or a ".." that the cleaning left at its front.
    const QStringList parts = clean.split(u'/');
    const bool sound = !clean.contains(QChar(0)) && !parts.contains(u".."_s) &&
                       !cleanBase.startsWith(u"../"_s) && (!share || cleanBase.count(u'/') >= 3);
    const bool inside = sound && !base.isEmpty() && clean.startsWith(cleanBase) &&
                        clean.size() > cleanBase.size() && !out.endsWith(u'/') &&
                        !out.endsWith(u'\\');
    if (!inside) {
        if (error)
            *error = QStringLiteral("Der Zielpfad \"%1\" liegt nicht unter \"%2\".").arg(out, base);
        return {};
    }
    if (share) return u"\\\\"_s + clean.mid(1).replace(u'/', u'\\');
    return clean;
}

QString ExpandCommand(const QString& command, const Context& context) {
    QString out =
        replacePass(command, u'D', context.locale.toString(context.date, QLocale::ShortFormat));
    out = replacePass(out, u'P', context.profile);
    return replacePass(out, u'?', context.parameter);
}

} // namespace pathtemplate
