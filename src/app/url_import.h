#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The import of an index file named by a "vorlune:" URL: decode the argument, fetch the
// file over HTTP, store it in the data folder (marking what changed against an older
// copy) and tell a running instance to reload.
namespace urlimport {

inline constexpr qint64 kMaxDownload = 64 * 1024 * 1024;

// Plus becomes a blank; "%" with two hexadecimal digits becomes that byte; an escape
// with invalid digits or the value 0 is dropped. The bytes are read as UTF-8 when valid,
// else as Windows-1252.
QString decodeArgument(const QString& argument);

struct ParsedUrl {
    QString scheme;
    QString host;
    int port = -1;
    QString path;     // from the first "/" after the host up to and including the last "/"
    QString document; // after the last "/"
};
ParsedUrl parseUrl(const QString& url);

// True when the decoded argument's scheme is "vorlune" (without regard to case).
bool isImportArgument(const QString& argument);

// The medium's name: the text after "LABEL::" on the first line that begins with it,
// searched from the line that reads "BEGIN::CD" on. Empty when there is none.
QString labelOf(const QStringList& lines);

// The file name an import is stored under: the last path component of the name ("/"
// and "\" both separate) without its extension, plus ".cd". Names that would leave the
// folder or hide the file fall back to `fallback`, then to "index.cd".
QString targetFileName(const QString& name, const QString& fallback);

struct HttpResult {
    long status = 0;
    QByteArray body;
    // Transport or protocol error: an answer outside 2xx gives its status line
    // ("HTTP/1.1 404 Not Found"). Empty for a 2xx answer.
    QString error;
};

// GET with the user agent, following redirects, with time-outs and the size limit.
HttpResult httpGet(const QString& url, const QString& userAgent, int timeoutSeconds = 60);

struct Result {
    bool attempted = false; // the argument was a "vorlune:" URL
    bool imported = false;  // a file was written
    QString target;         // the file written
    QString error;          // non-empty: the warning was due and the process must end with 255
    QString warning;        // the text of the warning box
};

// Runs steps 3 to 9 of the import for one argument, writing into `dataDir`.
Result run(const QString& argument, const QString& dataDir, const QString& userAgent,
           int timeoutSeconds = 60);

// "Fehler beim Verbinden: <error>\n\r\n\r"<document>" konnte nicht von "<host>" heruntergeladen
// werden."
QString warningText(const QString& error, const QString& document, const QString& host);

} // namespace urlimport
