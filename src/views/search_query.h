#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Quick search input: options, terms, the remembered searches and the colouring of the
// input line. Plain logic without widgets.
namespace quicksearch {

// The six search options, as the settings hold them.
struct SearchOptions {
    bool nomedia = false;  // match the display name only
    bool nopads = false;   // skip "ALPHALIST::ALLE GEMERKTEN TITEL"
    bool reslimit = false; // keep at most reslimitcnt hits
    int reslimitcnt = 50;
    bool minln = false; // drop terms shorter than minlncnt
    int minlncnt = 3;
    bool nosyntax = false;  // no colouring of the input
    bool noballoon = false; // no search tips window
};

// The accepted terms of one search, upper-cased (a to z only) and without duplicates.
struct SearchTerms {
    QStringList plain;
    QStringList plus;
    QStringList minus;
    QString searchText; // the normalised search in typed case
    bool empty() const { return plain.isEmpty() && plus.isEmpty() && minus.isEmpty(); }
};

// What the status line of the results shows about the last search.
struct SearchState {
    QString searchText;
    qint64 hits = 0;
    bool limited = false;
    int limit = 0;
    bool nomedia = false;
    bool nopads = false;
};

// Upper-cases the letters a to z and nothing else.
QString asciiUpper(QStringView text);

// Splits the input into tokens: blanks outside double quotes separate, quotes toggle and
// are dropped; the first empty token ends the list.
QStringList tokenize(QStringView input);

// Tokenises and classifies the input into the term lists and the search text.
SearchTerms parseSearch(QStringView input, const SearchOptions& options);

// How many remembered searches are kept; the oldest go first.
constexpr int kMruLimit = 50;

// Adds the raw input as the newest entry unless it is there already (without regard to
// case), the search text is empty or nothing was found; drops the oldest entries beyond
// the limit. True when it was added.
bool insertMru(QStringList& mru, const QString& rawInput, const SearchTerms& terms,
               qint64 resultCount);

// The newest kMruLimit entries of a list, newest first.
QStringList cappedMru(const QStringList& mru);

enum class TermColour { Normal, Plus, Minus };

struct ColourSpan {
    int start = 0;
    int length = 0;
    TermColour colour = TermColour::Normal;
};

// Colouring of the input line: each word outside quotes takes the colour of its first
// character ("+" blue, "-" red). Covers the whole text.
std::vector<ColourSpan> inputColourSpans(QStringView text);

// Colouring of a remembered search in the drop-down: a sign outside quotes anywhere in a
// word colours the word, the last sign winning. Words keep their trailing blank.
std::vector<ColourSpan> mruColourSpans(QStringView text);

} // namespace quicksearch
