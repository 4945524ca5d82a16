#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The index tool: lists the media files of a folder tree and writes the medium's
// index file "<label>.cd" into the working directory.
namespace tallyer {

enum ExitCode : int {
    ExitOk = 0,
    ExitBaseDirMissing = 1,
    ExitBadLabel = 2,
    ExitBadType = 3,
    ExitWriteFailed = 4,
    ExitEmptyBaseDir = 5,
    ExitEmptyLabel = 6,
    ExitInfoFileMissing = 8,
    ExitHelp = 255,
};

inline constexpr int kMaxArguments = 7;

// The KEY=value arguments. Keys match by a case-insensitive prefix; a later argument
// with the same key wins; arguments that match no key are ignored.
struct Arguments {
    QString baseDir;
    QString label;
    QString type;
    QString resource;
    QString author;
    QString version;
    QString comment;
    QString infoFile;
    qsizetype count = 0;
    bool baseDirGiven = false; // the key was there, even with an empty value
    bool labelGiven = false;

    // Only a missing key calls for help; an empty value is refused by validate().
    bool needsHelp() const { return count > kMaxArguments || !baseDirGiven || !labelGiven; }
    bool hasManualTexts() const {
        return !author.isEmpty() || !version.isEmpty() || !comment.isEmpty();
    }
};
Arguments parseArguments(const QStringList& args);

// "*** TALLYER v1.4a (03-AUG-2006)   (c) <year> ... ***"
QString bannerLine(int year);

// The help text, printed after the banner and an empty line.
QStringList helpLines();

// An error or warning as printed: banner, empty line, the message lines, empty line.
QStringList messageBlock(const QString& banner, const QStringList& message);

// True for one of the seven media type codes (in capitals).
bool isMediaType(const QString& upperType);

// What validation leaves for the listing and the header.
struct Job {
    QString baseDir; // without the trailing separator
    bool rootFlag = false;
    QString label; // trimmed
    QString type;  // in capitals, empty for none
    QString resource;
    QString author;
    QString version;
    QString comment;
    QString infoFile; // the existing info file to read, empty when the arguments count
};

struct Validation {
    int exitCode = ExitOk;
    QList<QStringList> messages; // warnings, then the error if any; each without banner
    Job job;
};

// Checks the arguments in the fixed order; stops at the first error.
Validation validate(const Arguments& args);

// Replaces the pattern (found without regard to case) from left to right, searching
// again from the start after each replacement. A replacement that itself contains the
// pattern replaces the first occurrence only.
QString replaceText(QString text, QStringView pattern, const QString& replacement);

struct DateTexts {
    QString date;
    QString time;
    QString dateTime;
    QString htmlDate;
    QString htmlTime;
    QString htmlDateTime;
};
DateTexts dateTexts(const QDateTime& now, const QLocale& locale);

// "T<SMALL>UE</SMALL>, 08-D<SMALL>EC</SMALL>-2026"
QString htmlDate(const QDate& date);

// Replaces %DATE%, %TIME%, %DATETIME%, %HTMLDATE%, %HTMLTIME%, %HTMLDATETIME% in order.
QString replacePlaceholders(QString text, const DateTexts& dates);

struct HeaderTexts {
    QString author;
    QString version;
    QString comment;
};
// Publisher, version and description from the info file or the arguments, with the
// placeholders replaced in version and description.
HeaderTexts headerTexts(const Job& job, const DateTexts& dates);

// The media root holding the folder, by the definition vorlune resolves titles with
// (real file systems of the mount table, then VORLUNE_MEDIA_ROOTS); "/" when none does.
QString mediaRootFor(const QString& canonicalPath);

// The text that stands for the base folder in the lines: "<label>:" with the root
// flag, else "<label>:" followed by the folder's path below its mount point.
QString linePrefix(const QString& label, const QString& canonicalBase, bool rootFlag,
                   const QString& mountPoint);

// Sorts in catalogue order and drops entries that are exactly equal. Names that differ
// only in case are different files here and both stay. All lines begin with the same
// commonPrefix characters.
void sortUnique(QStringList& lines, qsizetype commonPrefix = 0);

// Lists the media files below the folder and the folders that hold any, sorted and
// without duplicates. Folders named "VORLUNE" are skipped; hidden entries count.
// Entries whose names are not valid UTF-8 could never be found again from a line: they
// are left out and their paths (bad bytes as "\xNN") go to `skipped`.
QStringList listMedia(const QString& folder, const QString& prefix, QStringList* skipped = nullptr);

// True when the file name's extension is one of the listed media extensions.
bool isMediaFileName(QByteArrayView name);

struct RunOptions {
    QString outputDir;  // where "<label>.cd" goes; empty for the working directory
    bool notify = true; // tell a running vorlune to reload
    int notifyTimeoutMs = 1000;
};

using Printer = std::function<void(const QString& text)>;

// The whole tool: parses, validates, lists, writes and notifies. Console text goes
// to print; returns the exit code.
int run(const QStringList& args, const Printer& print, const RunOptions& options = {});

} // namespace tallyer
