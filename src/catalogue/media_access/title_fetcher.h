#pragma once

#include "smb_client.h"
#include "web_client.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

// One title to bring into the local cache.
struct FetchJob {
    QString path;      // the title file path (web folder or smb root)
    QString source;    // http://, ftp:// or smb:// URL
    QString localFile; // where it goes
    webclient::Credentials login;
    quint64 id = 0;
};

// Fetches titles one after another (the task service's download lane calls it), keeping
// one session per share server across titles; progress is reported at most every 100 ms.
class TitleFetcher {
public:
    TitleFetcher(SmbCredentials* smbCredentials, quint16 smbPort, int smbTimeoutMs,
                 webclient::Timeouts timeouts);
    ~TitleFetcher();

    // Thread-safe: stops the job with this id at its next progress report, or before it
    // starts.
    void cancel(quint64 id) { cancelId_ = id; }
    // Thread-safe: every job from now on fails at once.
    void stop() { stopping_ = true; }
    // Thread-safe: returns once no job runs.
    void waitIdle() { std::lock_guard<std::mutex> lock(running_); }

    struct Result {
        QString localFile; // empty on failure; the local file is removed then
        QString error;
    };
    using ProgressFn = std::function<void(qint64 bytes, qint64 total)>;
    // Blocks until the title is fetched or failed.
    Result fetch(const FetchJob& job, const ProgressFn& progress);

private:
    SmbCredentials* smbCredentials_;
    quint16 smbPort_;
    int smbTimeoutMs_;
    webclient::Timeouts timeouts_;
    std::unique_ptr<SmbSession> smb_;
    std::atomic<quint64> cancelId_{0};
    std::atomic<bool> stopping_{false};
    std::mutex running_;
};
