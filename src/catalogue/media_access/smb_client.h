#pragma once

#include "web_client.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringView>

#include <atomic>

typedef struct _SMBCCTX SMBCCTX;

// Network shares through libsmbclient, without mounting.
namespace smbshare {

// "\\server\share\dir" -> "smb://server/share/dir"
QString urlFromUnc(QStringView unc);

// The designed error code for an errno of the library: 86 for a refused login, 67 for
// an unknown share, 1203 for an unreachable server, 1222 without network, 1200 for a
// malformed path, 66 for a path that is no folder, -1 for others, 0 for none.
int errorCodeFromErrno(int error);

// The name shown for a code; for codes without a name the drive in double quotes.
QString errorName(int code, const QString& drive);

} // namespace smbshare

// User names and passwords per server and share, shared by every session.
class SmbCredentials {
public:
    void set(const QString& server, const QString& share, const QString& user,
             const QString& password);
    bool get(const QString& server, const QString& share, QString* user, QString* password) const;

private:
    mutable QMutex mutex_;
    QHash<QString, std::pair<QString, QString>> byShare_;
};

// One libsmbclient context; use each session from one thread at a time.
class SmbSession {
public:
    // port 0: the library's default ports.
    SmbSession(SmbCredentials* credentials, quint16 port = 0, int timeoutMs = 10000);
    ~SmbSession();
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // Opens the share's root folder; 0 or an errno value.
    int openShare(const QString& url);
    bool exists(const QString& url) { return statError(url) == 0; }
    // 0 when the file or folder is there, else an errno value (ENOENT when it is not).
    int statError(const QString& url);
    // At most maxBytes of a small file; empty when it cannot be read.
    QByteArray readSmall(const QString& url, qint64 maxBytes = 64 * 1024);
    webclient::TransferResult download(const QString& url, const QString& localPath,
                                       const webclient::ProgressFn& progress);

    // Writing. Each returns 0 or an errno value.
    // Creates the folder and every missing parent below the share.
    int makeFolders(const QString& url);
    int remove(const QString& url);
    // Size of a file; ENOENT when it is not there.
    int fileSize(const QString& url, qint64* size);
    // Bytes the share offers this user below the folder.
    int freeSpace(const QString& url, qint64* bytes);
    // Reads a whole file of at most maxBytes; EFBIG when it is larger.
    int readAll(const QString& url, QByteArray* data, qint64 maxBytes);

    // Puts a local file (or data) on the share: written under a temporary name in the
    // destination folder and renamed over `url` only when complete and of the right
    // size, so that a failed or aborted upload leaves nothing under the final name.
    struct Upload {
        int error = 0; // errno value, 0 on success
        bool aborted = false;
        qint64 bytes = 0;
    };
    // `activity` counts up with every piece read from the local file.
    Upload upload(const QString& localPath, const QString& url,
                  const std::atomic<bool>* abort = nullptr,
                  std::atomic<quint64>* activity = nullptr);
    Upload uploadData(const QByteArray& data, const QString& url);

private:
    bool ensure();
    template <typename Source> Upload put(const QString& url, Source&& source);
    static void authenticate(SMBCCTX* context, const char* server, const char* share,
                             char* workgroup, int workgroupLength, char* user, int userLength,
                             char* password, int passwordLength);

    SmbCredentials* credentials_;
    quint16 port_;
    int timeoutMs_;
    SMBCCTX* context_ = nullptr;
};
