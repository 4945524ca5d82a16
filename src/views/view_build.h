#pragma once

#include "collection.h"
#include "search_query.h"

#include <QDate>
#include <QLocale>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <vector>

class TreeNode;

// What the view build reads from the player, the playlist and the play history.
struct ViewContext {
    QString currentLine;           // title line of the current title (empty: none)
    int playlistCurrentIndex = -1; // list index of the current playlist title, -1: none
    QStringList chartValues;       // "count:date" per entry of "Meine Charts", same order
    int songsPlayed = 0;
    int chartsSize = 10;
    QDate today; // invalid: the current date
};

// The texts of the three chart columns for one shown entry.
struct ChartRow {
    QString played;    // "Gespielt"
    QString frequency; // "Häufigkeit"
    QString rank;      // "Platz"
};

// A list view built for one tree node.
struct ViewBuild {
    enum class Mode { Plain, Charts };
    QString key;
    bool keyFound = false;
    bool showList = false; // false: the empty-list label instead
    Mode mode = Mode::Plain;
    bool playlistView = false;
    QStringList titles;              // the list of the key (shared, not copied)
    std::vector<int> order;          // indexes into titles in display order
    std::vector<ChartRow> chartRows; // parallel to order in the charts view
    QString statusText;
};

namespace viewbuild {

// "ALPHALIST::" + caption below the alphabetical root; for a medium node the key of the
// medium's root titles; else the caption.
QString viewKey(const Collection& collection, const TreeNode* node);

// Indexes of the titles in list order: by display name in the catalogue order, equal
// names in their list order.
std::vector<int> sortedByName(const QStringList& titles);

// Level of a node: root 0, the six fixed nodes 1, media and top alphabetical folders 2.
int nodeLevel(const TreeNode* node);

// The folder line a node of level 3 or deeper stands for ("Level2:\A\B\"), else empty.
QString folderStyleKey(const TreeNode* node);

// The status line of the search results.
QString searchStatusText(const quicksearch::SearchState& state, const QLocale& locale);

// One parsed chart value; valid only when count and date could be read.
struct ChartValue {
    qint64 count = 0;
    QDate date;
    bool valid = false;
};
ChartValue parseChartValue(const QString& value, const QDate& today, const QLocale& locale);

// Indexes of the chart entries, best first; entries that cannot be scored come last in
// list order.
std::vector<int> rankCharts(const QStringList& values, int entries, int songsPlayed,
                            const QDate& today, const QLocale& locale);

// The view build for a node (nullptr: no node).
ViewBuild build(const Collection& collection, const TreeNode* node, const ViewContext& context,
                const quicksearch::SearchState& search, const QLocale& locale = QLocale());

} // namespace viewbuild
