#pragma once

#include "search_query.h"
#include "title_block.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

class TitleLists;

namespace quicksearch {

struct SearchResult {
    QStringList titles; // the kept hits in visiting order
    qint64 hits = 0;    // every hit, also those beyond the limit
    bool limited = false;
    // Indexes into titles in display order (see nameorder), made from the order of all
    // titles kept by the index; empty for fewer than nameorder::kKeepFrom titles.
    std::vector<int> order;
};

// The titles of all "ALPHALIST::" lists and of the media roots in creation order, for fast
// substring matching without regard to the case of ASCII letters. A title line is kept as
// its folder part (up to the last backslash, upper-cased once and scanned once for all titles
// of that folder) and its file part, which is scanned in the title blocks themselves (a
// UTF-8 copy is made only of blocks held as UTF-16). Immutable once built; build it off the
// GUI thread.
class SearchIndex {
public:
    struct Source {
        QString key;
        QStringList titles;           // the list's own QStrings
        std::vector<TitlePart> parts; // then these lines
    };

    // The lists the search visits: from the fifth entry on, the "ALPHALIST::" entries and
    // the titles of the media roots. Cheap (the lists are shared, not copied); call it on
    // the thread that owns the lists.
    static std::vector<Source> snapshot(const TitleLists& lists);

    // `byName`: the display order of the sources' titles taken together where it is made
    // already (TitleLists::searchedOrder); made here when null.
    explicit SearchIndex(std::vector<Source> sources,
                         std::shared_ptr<const std::vector<int>> byName = nullptr);
    ~SearchIndex();

    qsizetype titleCount() const { return titleCount_; }

    SearchResult search(const SearchTerms& terms, const SearchOptions& options) const;

    struct Needle;

    struct Pattern;
    // The file parts of the titles of one part: item i is [at(i), at(i + 1)) of base.
    struct Segment {
        const char* base = nullptr;
        const quint32* start = nullptr;
        const char* limit = nullptr; // how far the text may be read
        quint32 stride = 1;
        bool utf8 = false; // else Latin-1
        quint32 at(size_t i) const { return start[i * stride]; }
    };

private:
    struct Span {
        quint32 begin;
        quint32 end;
    };
    struct Range {
        qsizetype begin;
        qsizetype end;
    };
    struct Query;

    // Sets the bit of every title in [first, last) whose subject contains the term; bits[0]
    // stands for title `first`, a multiple of 64.
    void termBits(const Query& q, int term, size_t first, size_t last, quint64* bits,
                  bool withFolders = true) const;
    // Sets the bit of every title in [first, last) whose folder has its bit in `folders`.
    void folderHits(const quint64* folders, size_t first, size_t last, quint64* bits) const;
    // Sets the bit of every title in [first, last) whose subject contains any of the terms
    // [from, to), leaving out the folder parts.
    void anyTermBits(const Query& q, int from, int to, size_t first, size_t last,
                     quint64* out) const;
    // Whether a term with a backslash spans the end of the folder and the start of the file
    // part (n: the term in the file part's encoding).
    bool acrossSlash(const Needle& needle, const Pattern& n, quint32 folder, const char* file,
                     size_t fileLength) const;
    bool titleContains(const Query& q, int term, size_t title) const;
    // The places of the kept hits in display order.
    std::vector<int> displayOrder(const std::vector<quint64>& match, size_t kept,
                                  bool parallel) const;
    // The search in titles [first, last); bits[0] stands for title `first`.
    void searchBlock(const Query& q, size_t first, size_t last, quint64* bits) const;

    // The display name of item i within its segment's text.
    static Span nameOf(const Segment& s, size_t i);
    size_t runOf(size_t place) const;
    // Calls fn(segment, first item, end item, bit of the first item) for the runs of the
    // places [first, last).
    template <typename Fn> void forSegments(size_t first, size_t last, const Fn& fn) const;

    void copyTitles(const quint32* hits, size_t count, QString* out) const;

    std::vector<TitlePart> parts_;   // the titles in a row
    std::vector<quint32> partStart_; // place of each part's first title; the count last
    qsizetype titleCount_ = 0;
    std::shared_ptr<const std::vector<int>> byName_; // every title, in display order
    QByteArray folders_; // upper-cased UTF-8 folder parts, each "\n"-terminated
    std::vector<quint32> folderStart_;
    // The search scans places: the titles in the order of their text (block, then line).
    // Each part's place, the part and how many of its titles have a place (all, unless the
    // index is full), in the order of their places.
    struct Piece {
        quint32 place;
        quint32 part;
        quint32 count;
    };
    std::vector<Piece> pieces_;
    // Runs of places that follow each other in one text, and the place of each run's first
    // title (the count of places last).
    std::vector<Segment> runs_;
    std::vector<quint32> runStart_;
    size_t placeCount_ = 0;
    // Sets the bit in `titles` of the title at each place whose bit is set in `at`.
    void toTitles(const std::vector<quint64>& at, std::vector<quint64>& titles) const;
    // Upper-cased UTF-8 file parts of the titles of UTF-16 blocks, and where each begins.
    QByteArray files_;
    std::vector<quint32> fileStart_;
    // Runs of places in one folder: the first place and the folder of each; the count of
    // places last.
    struct FolderRun {
        quint32 first;
        quint32 folder;
    };
    std::vector<FolderRun> folderRuns_;
    size_t folderRunOf(size_t place) const;
    std::vector<Range> pads_; // titles of "ALPHALIST::ALLE GEMERKTEN TITEL" lists
    std::array<quint32, 256> byteCount_{};
};

// Builds a temporary index and searches it (for single searches and tests).
SearchResult searchTitleLists(const TitleLists& lists, const SearchTerms& terms,
                              const SearchOptions& options);

} // namespace quicksearch
