#include "ftp_listing.h"

#include "browser_commands.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace ftplisting {

QList<Entry> parse(const QByteArray& listing) {
    static const QRegularExpression unixLine(
        QStringLiteral("^([-dlbcps])[-rwxsStT]{9}\\S*\\s+\\d+\\s+\\S+\\s+\\S+\\s+\\d+\\s+"
                       "\\S+\\s+\\S+\\s+\\S+\\s(.+)$"));
    static const QRegularExpression dosLine(
        QStringLiteral("^\\d\\d-\\d\\d-\\d\\d\\s+\\d\\d:\\d\\d[AP]M\\s+(<DIR>|\\d+)\\s+(.+)$"));
    QList<Entry> out;
    const QString text = QString::fromUtf8(listing);
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        Entry e;
        if (const auto m = unixLine.match(line); m.hasMatch()) {
            e.folder = m.captured(1) == QLatin1String("d");
            e.name = m.captured(2);
            if (m.captured(1) == QLatin1String("l")) // a link: "name -> target"
                e.name = e.name.section(QStringLiteral(" -> "), 0, 0);
        } else if (const auto d = dosLine.match(line); d.hasMatch()) {
            e.folder = d.captured(1) == QLatin1String("<DIR>");
            e.name = d.captured(2);
        } else {
            continue;
        }
        if (e.name == QLatin1String(".") || e.name == QLatin1String("..") || e.name.isEmpty() ||
            e.name.contains(QLatin1Char('/')))
            continue;
        out.append(e);
    }
    std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return out;
}

QString page(const QString& url, const QString& resource, const QString& label,
             const QList<Entry>& entries, const QString& error) {
    QString folder = url;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    QString base = resource;
    if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
    // The folder below the medium's root, as written in title lines.
    QString below = QUrl::fromPercentEncoding(folder.mid(base.size()).toUtf8());
    below.replace(QLatin1Char('/'), QLatin1Char('\\'));

    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\"><title>");
    html += label.toHtmlEscaped();
    html += QStringLiteral("</title><link rel=\"stylesheet\" type=\"text/css\" "
                           "href=\"res://vorlune/vorlune_css\"></head>\n<body style=\"margin: "
                           "12px 16px;\"><b>");
    html += (label + QStringLiteral(":\\") + below).toHtmlEscaped();
    html += QStringLiteral("</b><hr size=\"1\" noshade>\n");
    if (!error.isEmpty())
        html += QStringLiteral("<p>") + error.toHtmlEscaped() + QStringLiteral("</p>\n");
    html += QStringLiteral("<ul>\n");
    if (folder.size() > base.size()) {
        QString up = folder.left(folder.size() - 1);
        up = up.left(up.lastIndexOf(QLatin1Char('/')) + 1);
        html += QStringLiteral("<li><a href=\"") + up.toHtmlEscaped() +
                QStringLiteral("\">[..]</a></li>\n");
    }
    for (const Entry& e : entries) {
        QString href;
        if (e.folder) {
            href = folder + QString::fromLatin1(QUrl::toPercentEncoding(e.name)) + QLatin1Char('/');
        } else {
            const QString line = label + QStringLiteral(":\\") + below + e.name;
            href = QStringLiteral("vorlune:play?") + browsercmd::escapeTitle(line);
        }
        html += QStringLiteral("<li><a href=\"") + href.toHtmlEscaped() + QStringLiteral("\">") +
                (e.folder ? QStringLiteral("[") + e.name.toHtmlEscaped() + QStringLiteral("]")
                          : e.name.toHtmlEscaped()) +
                QStringLiteral("</a></li>\n");
    }
    html += QStringLiteral("</ul></body></html>\n");
    return html;
}

} // namespace ftplisting
