#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>

// HTTP and FTP transfers of web media through libcurl. Every call blocks with bounded
// time-outs; they are safe to use from any thread, one call per thread at a time.
namespace webclient {

bool isFtpUrl(QStringView url);
bool isHttpUrl(QStringView url);

// The URL with blanks, "*", "#", "%", "<", ">" and every byte from 128 upward (UTF-8)
// percent-encoded; for FTP also "?", which would start a query.
QByteArray encodeUrl(QStringView url);

struct Credentials {
    QString user;
    QString password;
};

struct Timeouts {
    int connectSeconds = 15;
    int probeSeconds = 30; // whole request of a connection check
    int stallSeconds = 30; // a download that moves no byte for this long fails
};

// Answer of a connection check.
struct ProbeResult {
    bool refused = false; // 401, or the FTP server refused the login
    long code = 0;        // HTTP status or last FTP reply code
    QString error;        // empty on success
};

// FTP: log in, change into the URL's folder, quit. A login refusal gives refused with
// the server's message as error. Setting *abort ends the check within about a second.
ProbeResult probeFtp(const QString& url, const Credentials& login, const Timeouts& t = {},
                     const std::atomic<bool>* abort = nullptr);

// HTTP: GET the URL, body discarded. Success below 201; 401 gives refused; any other
// answer the status text as error.
ProbeResult probeHttp(const QString& url, const Credentials& login, const Timeouts& t = {},
                      const std::atomic<bool>* abort = nullptr);

struct TransferResult {
    bool ok = false;
    bool cancelled = false;
    qint64 bytes = 0;
    qint64 expected = -1; // announced length or FTP SIZE; -1 unknown
    QString error;
};

// bytes so far, total (-1 unknown); return false to cancel.
using ProgressFn = std::function<bool(qint64, qint64)>;

// Downloads an HTTP or FTP URL into the file at localPath (created or truncated). A
// transfer that ends before the announced length or with an HTTP error is not ok.
TransferResult download(const QString& url, const Credentials& login, const QString& localPath,
                        const ProgressFn& progress, const Timeouts& t = {});

// Deletes a file on an FTP server (DELE, relative to the login folder as the URL's path
// is). Empty on success, else the server's or the library's reason.
QString removeFtpFile(const QString& url, const Credentials& login, const Timeouts& t = {});

// The last status line (HTTP) or server reply (FTP) of an answer, kept while its header
// lines arrive.
struct Replies {
    QByteArray lastLine;
    QByteArray statusText; // the HTTP status line's text after the code
};
// Takes in one header line as libcurl hands it over (line end included).
void noteHeaderLine(Replies& replies, QByteArrayView line);

// "Vorlune, Version 1.5a (Build 300)"
QByteArray userAgent();

} // namespace webclient
