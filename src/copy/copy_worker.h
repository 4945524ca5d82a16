#pragma once

#include <QSet>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class SmbCredentials;
class SmbSession;

namespace copyshare {

// "\\server\share\a\b" or "smb://server/share/a/b" -> "smb://server/share/a/b"; empty
// for anything that is no path on a share.
QString url(const QString& path);
// "smb://server/share/a" -> "smb://server/share"
QString root(const QString& url);
// "smb://server/share/a" -> "\\server\share" (how the user names the share)
QString uncRoot(const QString& url);
// Whether two share URLs name the same file (servers and shares compare without case).
bool sameFile(const QString& a, const QString& b);

} // namespace copyshare

// How sessions on shares are made: the media layer's logins, port and time-out.
struct ShareSettings {
    SmbCredentials* credentials = nullptr;
    quint16 port = 0;
    int timeoutMs = 10000;
    QString user; // the login name tried first, without a password
};

struct CopyJob {
    quint64 id = 0;
    QString localSource;
    QString destination;       // a local path, or a share URL
    QString spaceFolder;       // handed to the free-space function: the folder as shown
    QString sourceUrl;         // the title's URL when it comes from a share
    bool removeSource = false; // move: the local source goes once the copy is complete
    bool checkSpace = true;
};

struct CopyOutcome {
    enum Kind { Copied, SameFile, NoSpace, Failed, Aborted, LoginNeeded };
    quint64 id = 0;
    Kind kind = Failed;
    QString error;
    bool permanent = false; // Failed: no retry can mend it (a name the destination refuses)
    qint64 needed = 0;
    qint64 free = -1;         // NoSpace: what the destination offered
    QString removeError;      // move: the source could not be deleted
    bool removeLater = false; // move to a share: the source goes after its measurement
    quint64 sourceDevice = 0; // with removeLater: the source file as it was copied
    quint64 sourceInode = 0;
    QString share; // LoginNeeded: the share's root URL
};

// Used on the copy lane, one step at a time: the free-space query, the file size, the copy
// (local or onto a share), and removing sources; one session of its own for shares.
class CopyWorker {
public:
    using FreeSpaceFn = std::function<qint64(const QString& folder)>;

    // `activity` counts up while data move, so that a waiter can tell a slow copy from one
    // that hangs.
    CopyWorker(const std::atomic<bool>* abort, ShareSettings shares,
               std::atomic<quint64>* activity = nullptr);
    ~CopyWorker();

    CopyOutcome copy(const CopyJob& job, const FreeSpaceFn& freeSpace);

    // 0 when the share takes the login (stored, else the login name without a password);
    // EACCES when it wants a password; another errno value when it cannot be reached.
    int connectShare(const QString& url);
    // Free bytes below a share folder, -1 when unknown.
    qint64 shareFreeSpace(const QString& folderUrl);
    // 0, or an errno value; EACCES when the share wants a password.
    int removeShareFile(const QString& url);
    // Deletes a local file only while it is still the file that was copied.
    int removeLocalFile(const QString& path, quint64 device, quint64 inode);
    // A small file on a share (a playlist): 0, ENOENT when there is none, else an errno.
    int readShareFile(const QString& url, QByteArray* data);
    // Written atomically; missing folders are made.
    int writeShareFile(const QString& url, const QByteArray& data);

    // Drops what is known about logins (after the user gave a new password).
    void forgetLogins() { connected_.clear(); }

private:
    CopyOutcome copyLocal(const CopyJob& job, const FreeSpaceFn& freeSpace);
    CopyOutcome copyToShare(const CopyJob& job, const FreeSpaceFn& freeSpace);
    SmbSession& session();

    const std::atomic<bool>* abort_;
    ShareSettings shares_;
    std::atomic<quint64>* activity_;
    std::unique_ptr<SmbSession> session_;
    QSet<QString> connected_; // share roots whose login worked
};
