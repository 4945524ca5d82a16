#pragma once

#include <QStringList>

#include <vector>

class TitleLists;
struct TitleSpan;

// The order in which a title list is shown: by display name in the catalogue order
// (without regard to case), equal names in their list order.
namespace nameorder {

// Indexes of the titles in that order. `threads` > 1 sorts long lists in parts at once.
std::vector<int> sortedByName(const QStringList& titles, int threads = 2);
// The same for titles held elsewhere.
std::vector<int> sortedByName(const std::vector<const QString*>& titles, int threads = 2);
std::vector<int> sortedByName(const TitleSpan& titles, int threads = 2);

// Lists this long get their order made once after loading and kept; shorter ones are
// sorted when shown, which takes well under a millisecond.
constexpr qsizetype kKeepFrom = 2048;

// Makes and keeps the order of every list past the fixed ones with at least kKeepFrom
// titles, and that of the titles the quick search reads (TitleLists::searchedOrder), on up
// to `threads` threads. Returns the number of indexes kept in the lists.
qsizetype prepareOrders(TitleLists& lists, int threads);

} // namespace nameorder
