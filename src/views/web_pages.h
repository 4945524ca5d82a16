#pragma once

#include <QString>
#include <QStringList>

struct MyMediaInfo;

// The pages of the web view: templates completed with the run's folders, written to the
// private temp folder and deleted at exit, and "stats.js" for the details page.
namespace webpages {

// The values the four placeholders stand for.
struct Placeholders {
    QString vorlune;  // the data folder, with a trailing separator
    QString temp;     // the private temp folder, with a trailing separator
    QString resource; // the base the "res" scheme answers ("res://vorlune")
};

// Replaces %VORLUNE%, %TEMP%, %RESOURCE% and %JRESOURCE% (every occurrence, any case, in
// this order); %JRESOURCE% takes the resource with each backslash doubled.
QString substitute(QString text, const Placeholders& values);

// The template's text from the resources by its name (any case), or a null string.
QString loadTemplate(const QString& name);

// The page names the web view opens, lower case.
inline constexpr char AlphaList[] = "alphalist_html";
inline constexpr char BrainList[] = "brainlist_html";
inline constexpr char DetailList[] = "detaillist_html";
inline constexpr char DetailWait[] = "detailwait_html";
inline constexpr char PlayList[] = "playlist_html";

// A short page in German saying what went wrong, for the view instead of a blank page.
QString errorPage(const QString& message);

// The eight lines of "stats.js" for a medium; text values escaped for string literals.
QString statsJs(const QString& medium, const MyMediaInfo& info);

// The query a web medium's site receives: the playing file's display name and path
// (percent-encoded) and the medium's details.
QString mediumQuery(const QString& currentFile, const QString& details);

// "Basic " + Base64 of user ":" password; empty when both are empty.
QByteArray basicAuthorization(const QString& user, const QString& password);

// Writes pages into the temp folder and deletes them again.
class PageWriter {
public:
    PageWriter(QString tempDir, QString dataDir, QString resourceBase);
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    struct Result {
        QString file;  // the page written; empty on failure
        QString error; // German text of the failure
    };
    // Loads, completes and writes the named template under the tick-count name.
    Result writePage(const QString& name);
    // Writes "stats.js" for the details page; false (and why) when it cannot be written.
    bool writeStats(const QString& medium, const MyMediaInfo& info, QString* reason = nullptr);
    // Writes an HTML text as a generated page (listings).
    Result writeHtml(const QString& html);

    const QStringList& pages() const { return pages_; }
    QString tempDir() const { return temp_; }
    Placeholders placeholders() const;
    // Deletes every generated page, "data.js" and "stats.js".
    void cleanup();

    // The tick-count name for a page: eight upper-case hexadecimal digits.
    static QString pageName(quint32 ticks);
    // Milliseconds since boot, like the system's tick count; replaceable in tests.
    quint32 (*ticks)() = nullptr;

private:
    Result store(const QString& text);

    QString temp_;
    QString data_;
    QString resource_;
    QStringList pages_;
};

} // namespace webpages
