#include "browser_commands.h"

#include "command_catalogue.h"
#include "control_characters.h"

#include <QUrl>

namespace browsercmd {
namespace {

const QString kScheme = QStringLiteral("VORLUNE:");

bool startsWith(const QString& text, QLatin1String prefix) {
    return text.startsWith(prefix, Qt::CaseInsensitive);
}

} // namespace

ParsedUrl parse(const QString& url) {
    ParsedUrl out;
    if (!url.startsWith(kScheme, Qt::CaseInsensitive) ||
        startsWith(url, QLatin1String("VORLUNE://")))
        return out;
    const QString rest = url.mid(kScheme.size());
    if (startsWith(rest, QLatin1String("RESOURCE?"))) {
        out.kind = ParsedUrl::Resource;
        out.name = rest.mid(9).toLower();
        return out;
    }
    out.kind = ParsedUrl::Command;
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    out.name = (q < 0 ? rest : rest.left(q)).toUpper();
    if (q >= 0) {
        out.parameters = rest.mid(q + 1);
        if (out.parameters.compare(out.name, Qt::CaseInsensitive) == 0) out.parameters.clear();
    }
    return out;
}

// Entries with a control character are no title lines and are left out.
QStringList titleLines(const QString& selection) {
    QStringList lines;
    for (const QString& part : selection.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString line = QUrl::fromPercentEncoding(part.toUtf8());
        if (!line.trimmed().isEmpty() && !indexfile::hasControlCharacter(line)) lines << line;
    }
    return lines;
}

QString firstTitle(const QString& selection) {
    QString first = selection.section(QLatin1Char('&'), 0, 0);
    const qsizetype eq = first.indexOf(QLatin1Char('='));
    if (eq >= 0) first = first.mid(eq + 1);
    return QUrl::fromPercentEncoding(first.toUtf8());
}

QString escapeTitle(const QString& line) {
    QString out;
    const QByteArray bytes = line.toUtf8();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 128 || b <= 32 || b == '*' || b == '#' || b == '%' || b == '<' || b == '>' ||
            b == '&')
            out += QStringLiteral("%%1").arg(uint(b), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QLatin1Char(ch);
    }
    return out;
}

QString Protocol::titlesFor(const QString& parameters) const {
    // A page may pass the titles; a bare marker ("1") means the pending selection.
    for (const QString& line : titleLines(parameters))
        if (line.contains(QLatin1Char(':'))) return parameters;
    return selection_;
}

QList<Invocation> Protocol::group1(const ParsedUrl& url) {
    const QString& c = url.name;
    const QString& p = url.parameters;
    // The words are the command descriptors'.
    static const QStringList words = commandcatalogue::webWords(1);
    if (!words.contains(c)) return {};
    if (c == QLatin1String("COPY") || c == QLatin1String("BURN") || c == QLatin1String("ACTION") ||
        c == QLatin1String("REMEMBER")) {
        if (p.isEmpty()) return {};
        return {{c, titlesFor(p), true}};
    }
    if (c == QLatin1String("PLAY")) {
        if (p.isEmpty()) return {};
        selection_.clear(); // playing takes the whole selection
        return {{c, p, true}};
    }
    if (c == QLatin1String("PROPERTIES")) {
        if (!p.isEmpty()) {
            selection_ = p;
            return {{c, firstTitle(p), false}};
        }
        const QString line = currentLine ? currentLine() : QString();
        if (line.isEmpty()) return {};
        selection_ = escapeTitle(line);
        return {{QStringLiteral("PLAYINGPROPERTIES"), line, false}};
    }
    if (c == QLatin1String("PREV") || c == QLatin1String("NEXT")) {
        bool ok = false;
        const int n = p.toInt(&ok);
        return {{c, QString::number(ok && n > 0 ? n : 1), false}};
    }
    return {{c, QString(), false}};
}

QList<Invocation> Protocol::group2(const ParsedUrl& url) const {
    const QString& c = url.name;
    static const QStringList words = commandcatalogue::webWords(2);
    if (!words.contains(c)) return {};
    if (c == QLatin1String("OPTIONS")) return {{c, QStringLiteral("4"), false}};
    return {{c, QString(), false}};
}

Protocol::Decision Protocol::handle(const QString& url) {
    Decision d;
    d.url = parse(url);
    if (d.url.kind != ParsedUrl::Command) return d;
    if (toggle_ && url == lastUrl_) {
        toggle_ = false;
        d.group1Skipped = true;
    } else {
        toggle_ = !toggle_;
        lastUrl_ = url;
        d.invocations = group1(d.url);
    }
    d.invocations += group2(d.url);
    return d;
}

} // namespace browsercmd
