#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// The index file format: line kinds, tag values, display marks, media types, reading
// and the writers.
namespace indexfile {

inline constexpr QLatin1StringView kMarker{"BEGIN::CD"};
inline constexpr QLatin1StringView kStyleGreen{"STYLE::#00AA00,BOLD::"};
inline constexpr QLatin1StringView kStyleRed{"STYLE::#FF0000,STRIKEOUT::"};
inline constexpr QLatin1StringView kStyleOrange{"STYLE::#FFAA00,BOLD,STRIKEOUT::"};
inline constexpr QLatin1StringView kMerkzettelFolder{":\\Alle gemerkten Titel\\"};

enum class LineKind { Marker, Author, Label, Version, Comment, Style, MediaType, Folder, Title };

struct ClassifiedLine {
    LineKind kind;
    QStringView value; // the text after the tag, untrimmed; the whole line for folders and titles
};

// Classifies one body line by the first rule that applies (tags without regard to case).
ClassifiedLine classifyLine(QStringView line);

// True for empty lines and lines of blanks (characters up to and including the space).
bool isBlankLine(QStringView line);

// True when the line begins with "BEGIN::CD" (without regard to case).
bool beginsWithMarker(QStringView line);

// Media types: the type numbers double as icon numbers.
enum MediaTypeNumber : int {
    MediaUnknown = 4,
    MediaPad = 7,
    MediaDsk = 8,
    MediaUsb = 9,
    MediaRam = 10,
    MediaCdr = 11,
    MediaHdd = 12,
    MediaLan = 13,
    MediaWww = 14,
};

// The type number of a code (without regard to case), MediaUnknown for others.
int mediaTypeNumber(QStringView code);

// The code of a type number ("CDR"), empty for unknown numbers.
QString mediaTypeCode(int number);

struct MediaTypeValue {
    QString code;     // as written, upper-cased
    QString resource; // after the first "::", empty when none
    int number = MediaUnknown;
};
MediaTypeValue parseMediaTypeValue(QStringView value);

// A display mark: colour and font styles applied over a base font.
struct TitleStyle {
    bool hasColour = false;
    quint32 rgb = 0; // 0xRRGGBB
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool operator==(const TitleStyle&) const = default;
};

// Splits a comma list the way the index files write attribute lists: commas and blanks
// separate, double quotes group ("" inside quotes is one quote).
QStringList splitCommaText(QStringView text);

// Applies an attribute list ("#FF0000,BOLD") over a style.
void applyStyleAttributes(QStringView attributes, TitleStyle& style);

// Splits a "STYLE::" value at its first "::". False when it has none.
bool splitStyleValue(QStringView value, QStringView& attributes, QStringView& target);

// The case folding of the catalogue order, one UTF-16 unit at a time.
inline char16_t foldCatalogueChar(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

// Case-insensitive ordering of the catalogue; a text sorts before every longer text that
// begins with it. Ties are broken case-sensitively so that the order is reproducible.
int compareCatalogue(QStringView a, QStringView b);
inline bool catalogueLess(QStringView a, QStringView b) {
    return compareCatalogue(a, b) < 0;
}
void sortCatalogue(QStringList& lines);
void sortCatalogue(std::vector<QStringView>& lines);

// The texts' order in the catalogue order, equal texts in the order given: indexes into
// `texts`. Each text is folded once into a key that memcmp compares, rather than in every
// comparison.
std::vector<int> catalogueOrder(const std::vector<QStringView>& texts);

// Sorted insertion without duplicates (compared without regard to case). Returns false
// when an equal entry was there already.
bool insertSortedUnique(QStringList& list, const QString& text);

// Reads an index file into lines. On failure returns false and a German message.
bool readIndexFile(const QString& path, QStringList& lines, QString* error);

// The lines the loader processes: lines before the first line that begins with the
// marker are dropped (a file without any marker keeps all lines), blank lines are
// dropped, the rest is sorted without regard to case.
QStringList bodyLinesForLoading(QStringList lines);
// The same lines as views of `lines` (which must outlive them), in `body` (its room is kept).
void bodyViewsForLoading(const QStringList& lines, std::vector<QStringView>& body);

// Writes lines with CR LF atomically; Windows-1252 when every character fits, else
// UTF-8 with BOM. On failure returns false and a German message.
bool writeIndexFile(const QString& path, const QStringList& lines, QString* error);

// The time in the locale's long format without the time zone.
QString localTimeText(const QTime& time, const QLocale& locale);

// "08-DEC-2026 17:22:38": two-digit day, English month, four-digit year, local time.
QString listDateTimeText(const QDateTime& when, const QLocale& locale);

struct ToolIndex {
    QString banner;
    QString label;
    QString author;
    QString version;
    QString comment;
    QString typeCode;    // "CDR", "LAN", ... or empty
    QString resource;    // for LAN and WWW
    QStringList listing; // sorted folder and title lines
};

// The index file as the index tool writes it.
QStringList toolIndexLines(const ToolIndex& index);

// A saved Merkzettel (no marker: every line is body).
QStringList savedMerkzettelLines(const QString& owner, const QString& dateTime,
                                 const QString& versionString, const QStringList& titles);

// The index part of a mailed Merkzettel, after the explanatory head and three empty lines.
QStringList mailedMerkzettelLines(const QStringList& head, const QString& owner,
                                  const QString& dateTime, const QString& versionString,
                                  const QStringList& titles);

// The info file handed from the wizard to the index tool.
QStringList infoFileLines(const QString& author, const QString& version, const QString& comment);

} // namespace indexfile
