#pragma once

#include "smb_client.h"
#include "web_client.h"

#include <QObject>
#include <QString>

#include <atomic>
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

// Runs fetch jobs one after another on its own thread (move it there); progress is
// reported at most every 100 ms.
class TitleFetcher : public QObject {
    Q_OBJECT
public:
    TitleFetcher(SmbCredentials* smbCredentials, quint16 smbPort, int smbTimeoutMs,
                 webclient::Timeouts timeouts);
    ~TitleFetcher() override;

    // Thread-safe: stops the job with this id at its next progress report, or before it
    // starts.
    void cancel(quint64 id) { cancelId_ = id; }
    // Thread-safe: every job from now on fails at once.
    void stop() { stopping_ = true; }
    // Thread-safe: returns once no job runs.
    void waitIdle() { std::lock_guard<std::mutex> lock(running_); }

public slots:
    void run(const FetchJob& job);

signals:
    void progress(const QString& path, qint64 bytes, qint64 total);
    // On failure the local file is already removed and error says why.
    void finished(const QString& path, const QString& localFile, const QString& error);

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

Q_DECLARE_METATYPE(FetchJob)
