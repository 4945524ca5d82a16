#pragma once

#include "search_query.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TitleLists;

namespace quicksearch {

struct SearchResult {
    QStringList titles; // the kept hits in visiting order
    qint64 hits = 0;    // every hit, also those beyond the limit
    bool limited = false;
};

// The titles of all "ALPHALIST::" lists in creation order, upper-cased once, for fast
// substring matching. Immutable once built; build it off the GUI thread.
class SearchIndex {
public:
    struct Source {
        QString key;
        QStringList titles;
    };

    // The lists the search visits: "ALPHALIST::" entries from the fifth entry on. Cheap
    // (the lists are shared, not copied); call it on the thread that owns the lists.
    static std::vector<Source> snapshot(const TitleLists& lists);

    explicit SearchIndex(std::vector<Source> sources);

    qsizetype titleCount() const { return qsizetype(lineStart_.size()) - 1; }

    SearchResult search(const SearchTerms& terms, const SearchOptions& options) const;

private:
    struct Range {
        qsizetype begin;
        qsizetype end;
    };
    // Bits of the titles containing the term (a full scan, split over the cores).
    std::vector<quint64> matches(const QString& term, bool namesOnly) const;
    // Keeps in `match` only titles that contain (or, keepMatching false, lack) the term.
    void refine(const QString& term, bool namesOnly, bool keepMatching,
                std::vector<quint64>& match) const;

    QStringList titles_;
    QByteArray lines_; // upper-cased UTF-8, one "\n"-terminated line per title
    QByteArray names_; // the display names, the same way
    std::vector<quint32> lineStart_;
    std::vector<quint32> nameStart_;
    std::vector<Range> pads_; // titles of "ALPHALIST::ALLE GEMERKTEN TITEL" lists
};

// Builds a temporary index and searches it (for single searches and tests).
SearchResult searchTitleLists(const TitleLists& lists, const SearchTerms& terms,
                              const SearchOptions& options);

} // namespace quicksearch
