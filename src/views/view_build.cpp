#include "view_build.h"

#include "index_file.h"
#include "name_order.h"
#include "title_text.h"
#include "tree_node.h"

#include <algorithm>

namespace viewbuild {

namespace {
const QString kAlphaPrefix = QStringLiteral("ALPHALIST::");

QDate parseDate(const QString& text, const QLocale& locale) {
    const QString s = text.trimmed();
    QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    QStringList formats{QStringLiteral("dd.MM.yyyy"), QStringLiteral("d.M.yyyy"),
                        QStringLiteral("yyyy-MM-dd")};
    if (!shortFormat.contains(QLatin1StringView("yyyy")))
        formats.prepend(
            QString(shortFormat).replace(QLatin1StringView("yy"), QLatin1StringView("yyyy")));
    formats.prepend(shortFormat);
    for (const QString& f : formats) {
        QDate d = locale.toDate(s, f);
        if (!d.isValid()) d = QDate::fromString(s, f);
        if (d.isValid()) {
            // Two-digit years mean this century.
            if (!f.contains(QLatin1StringView("yyyy")) && d.year() < 2000) d = d.addYears(100);
            return d;
        }
    }
    return {};
}

struct Score {
    bool valid = false;
    qint64 count = 0;
    qint64 days = -1; // since the last play; -1 when unknown
    double frequency = 0;
};

Score scoreOf(const QString& value, int songsPlayed, const QDate& today, const QLocale& locale) {
    Score s;
    const ChartValue v = parseChartValue(value, today, locale);
    if (v.count < 0) return s;
    s.count = v.count;
    if (v.date.isValid()) s.days = v.date.daysTo(today);
    if (!v.valid || s.days < 0 || songsPlayed <= 0) return s;
    s.valid = true;
    s.frequency = double(v.count) / (double(s.days + 1) * double(songsPlayed));
    return s;
}

QDate effectiveToday(const ViewContext& context) {
    return context.today.isValid() ? context.today : QDate::currentDate();
}
} // namespace

std::vector<int> sortedByName(const QStringList& titles) {
    return nameorder::sortedByName(titles);
}

QString viewKey(const Collection& collection, const TreeNode* node) {
    if (!node) return {};
    const TreeNode* alpha = collection.alphaListNode();
    if (node != alpha && alpha->isAncestorOrSelfOf(node)) return kAlphaPrefix + node->text;
    // A medium node shows the titles in the medium's root.
    if (node->parent() == collection.mediaListNode()) return TitleLists::mediumRootKey(node->text);
    return node->text;
}

int nodeLevel(const TreeNode* node) {
    return node ? node->depth() : -1;
}

QString folderStyleKey(const TreeNode* node) {
    if (nodeLevel(node) < 3) return {};
    QString path;
    const TreeNode* n = node;
    for (; n->depth() > 2; n = n->parent())
        path.prepend(n->text + u'\\');
    return n->text + QStringLiteral(":\\") + path;
}

QString searchStatusText(const quicksearch::SearchState& state, const QLocale& locale) {
    QString s = QStringLiteral("Ergebnis der Suche nach \"") + state.searchText + u'"';
    if (state.nomedia && !state.nopads)
        s += QStringLiteral(" (ohne Medien und Ordner)");
    else if (state.nopads && !state.nomedia)
        s += QStringLiteral(" (ohne gespeicherte Merkzettel)");
    else if (state.nopads && state.nomedia)
        s += QStringLiteral(" (ohne gespeicherte Merkzettel, Medien und Ordner)");
    s += QStringLiteral(": ") + locale.toString(state.hits) + QStringLiteral(" Treffer");
    if (state.limited)
        s += QStringLiteral(", beschränkt auf die ersten ") + locale.toString(state.limit) +
             QStringLiteral(" Einträge");
    return s + u'.';
}

ChartValue parseChartValue(const QString& value, const QDate& today, const QLocale& locale) {
    ChartValue v;
    const qsizetype colon = value.indexOf(u':');
    bool ok = false;
    const qint64 count = value.left(colon < 0 ? value.size() : colon).trimmed().toLongLong(&ok);
    v.count = ok && count >= 0 ? count : -1;
    v.date = colon < 0 ? today : parseDate(value.mid(colon + 1), locale);
    v.valid = v.count >= 0 && v.date.isValid();
    return v;
}

std::vector<int> rankCharts(const QStringList& values, int entries, int songsPlayed,
                            const QDate& today, const QLocale& locale) {
    std::vector<std::pair<qint64, int>> scored;
    std::vector<int> unscored;
    for (int i = 0; i < entries; ++i) {
        const Score s =
            scoreOf(i < values.size() ? values[i] : QString(), songsPlayed, today, locale);
        if (s.valid)
            scored.emplace_back(qRound64(s.frequency * 1000000.0), i);
        else
            unscored.push_back(i);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<int> order;
    order.reserve(size_t(entries));
    for (const auto& s : scored)
        order.push_back(s.second);
    order.insert(order.end(), unscored.begin(), unscored.end());
    return order;
}

ViewBuild build(const Collection& collection, const TreeNode* node, const ViewContext& context,
                const quicksearch::SearchState& search, const QLocale& locale) {
    ViewBuild b;
    b.key = viewKey(collection, node);
    const int index = node ? collection.titleLists.indexOf(b.key) : -1;
    b.keyFound = index >= 0;
    if (!b.keyFound) {
        b.statusText = QStringLiteral("Keine Einträge vorhanden.");
        return b;
    }
    b.titles = collection.titleLists.titles(index);
    b.showList = !b.titles.isEmpty();
    b.playlistView = index == TitleLists::Playlist;
    const int n = int(b.titles.size());

    if (node == collection.node(Collection::ChartsNode) && n > 0) {
        b.mode = ViewBuild::Mode::Charts;
        const QDate today = effectiveToday(context);
        const std::vector<int> ranked =
            rankCharts(context.chartValues, n, context.songsPlayed, today, locale);
        const int shown = std::clamp(context.chartsSize, 0, n);
        b.order.assign(ranked.begin(), ranked.begin() + shown);
        for (int place = 0; place < shown; ++place) {
            const int i = b.order[size_t(place)];
            const QString value =
                i < context.chartValues.size() ? context.chartValues[i] : QString();
            const Score s = scoreOf(value, context.songsPlayed, today, locale);
            ChartRow row;
            if (s.days == 0)
                row.played = QStringLiteral("Bis heute: ");
            else if (s.days == 1)
                row.played = QStringLiteral("Bis gestern: ");
            else if (s.days == 2)
                row.played = QStringLiteral("Bis vorgestern: ");
            else if (s.days > 2)
                row.played = QStringLiteral("Bis vor ") + locale.toString(s.days) +
                             QStringLiteral(" Tagen: ");
            row.played += locale.toString(s.count) + u'x';
            row.frequency = locale.toString(s.frequency * 100.0, 'f', 2) + u'%';
            row.rank = locale.toString(place + 1);
            b.chartRows.push_back(row);
        }
    } else {
        const std::vector<int>* kept = collection.titleLists.nameOrder(index);
        b.order = kept ? *kept : sortedByName(b.titles);
    }

    if (index == TitleLists::SearchResults)
        b.statusText = searchStatusText(search, locale);
    else
        b.statusText = locale.toString(n) + QStringLiteral(" Titel");
    return b;
}

} // namespace viewbuild
