#pragma once

#include "task_service.h"

#include "collection.h"
#include "connections_list.h"
#include "media_prompts.h"
#include "medium_wait.h"
#include "smb_client.h"
#include "title_fetcher.h"
#include "transfer_status.h"
#include "web_client.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <atomic>
#include <deque>
#include <memory>

class MediumProber;
class UDisksClient;
class VolumeMounter;

// Turns title lines into files that can be opened: finds the root that holds a medium,
// waits for it, connects network shares and web media while index files load, fetches
// their titles into a local cache, and takes it all down again at closing. Lives on the
// GUI thread, which it never makes wait on the network: shares are probed, titles
// fetched and connections checked on other threads.
class MediaAccess : public QObject, public MediumConnector {
    Q_OBJECT
public:
    struct Options {
        QString tempDir;     // the program's private temp folder
        quint16 smbPort = 0; // 0: the library's default ports
        int smbTimeoutMs = 10000;
        QString anonymousFtpPassword = QStringLiteral("vorlune@localhost");
        QString shareUser; // empty: the login name
        webclient::Timeouts timeouts;
    };

    struct WebDrive {
        QString drive; // the web folder
        QString label;
    };
    struct NetDrive {
        QString drive; // smb://server/share
        QString name;
        QString cacheFolder; // where its titles are fetched to
    };

    MediaAccess(Options options, MediaPrompts* prompts, QObject* parent = nullptr);
    ~MediaAccess() override;

    // Local roots (mount table, VORLUNE_MEDIA_ROOTS, the volumes UDisks2 reports
    // mounted), then connected media in the order they were connected.
    QStringList roots() const;

    // The UDisks2 client (not owned; null: the mount table alone): its media events wake
    // the insert-medium wait, which mounts volumes through it when the first pass misses.
    void setVolumeClient(UDisksClient* client);
    // Each download is a job of this service, run on its "title fetch" lane (its progress
    // is the status bar's), and so is each test of the medium wait. Without one, downloads
    // run on a service of its own. Set it before the first download.
    void setTaskService(TaskService* tasks);
    UDisksClient* volumeClient() const { return volumes_; }
    VolumeMounter* volumeMounter() const { return mounter_; }

    // The type (mediaroots::FoundType and up) of the label's identification file on a
    // root, or -1 when it is not there. Thread-safe; waits on the network for a share.
    int probeRoot(const QString& root, const QString& label);

    // The last local root or web folder holding the label's identification file, without
    // waiting; shares are not asked. Empty when none does. Sets the last found type.
    QString locateMedium(const QString& label);

    // The last root holding the label's identification file. Without shares connected,
    // locateMedium; otherwise, or when that finds nothing, the wait (whose first pass
    // tests every root off this thread) through the insert-medium dialog of the prompts.
    // Empty when the user cancels, a dialog is already open, or the label cannot name its
    // identification file (mediumlabel::idFileProblem says why).
    QString FindMediumDrive(const QString& label);

    int lastFoundType() const { return lastFoundType_; }
    MediumWait& mediumWait() { return *wait_; }

    static QString titleFilePath(const QString& root, const QString& titleLine);
    QString TitleFolderPath(const QString& path) const;

    // Whether a path lies on a web medium or a share, and its source URL there.
    bool isRemotePath(const QString& path) const;
    QString sourceUrl(const QString& path) const;

    // A local file for a title file path. Local paths and cached titles are answered at
    // once; otherwise a download starts (or is already running) and the answer comes with
    // titleFetched. While one runs, further requests wait their turn.
    struct FetchAnswer {
        QString localFile;
        bool pending = false;
    };
    FetchAnswer FetchTitleFile(const QString& path);
    QString cachedFile(const QString& path) const { return downloads_.value(path); }

    // The download state: the path being fetched (empty when idle) and its status.
    bool isDownloading() const { return !currentPath_.isEmpty(); }
    QString downloadPath() const { return currentPath_; }
    QString downloadUrl() const { return currentUrl_; }
    qint64 expectedSize() const { return expectedSize_; }
    const TransferMeter& meter() const { return meter_; }

    // MediumConnector: check and complete in one go, on this thread (blocking). The
    // loader goes through GuiThreadConnector, which runs the checks on its own thread.
    void ConnectShare(const QString& medium, const QString& share) override;
    void ConnectWebMedium(const QString& medium, const QString& url) override;
    int connectionCount() const override { return connections_.count(); }

    bool isConnected(const QString& resource) const { return connections_.contains(resource); }

    // For sessions of other subsystems on shares: the logins every session shares, the
    // port and time-out they are made with, and the login name tried first.
    SmbCredentials* smbCredentials() const { return smbCredentials_.get(); }
    quint16 smbPort() const { return options_.smbPort; }
    int smbTimeoutMs() const { return options_.smbTimeoutMs; }
    QString shareUser() const;
    MediaPrompts* prompts() const { return prompts_; }

    // Connection checks: safe on any thread; they wait on the network and ask for
    // passwords through `prompts`. Setting *abort ends a web check early.
    struct ShareCheck {
        int code = 0; // the designed error code, 0 on success
        QString root; // smb://server/share
    };
    ShareCheck checkShare(const QString& medium, const QString& share, MediaPrompts* prompts) const;
    struct WebCheck {
        QString error; // empty on success
        webclient::Credentials login;
    };
    WebCheck checkWebMedium(const QString& medium, const QString& url, MediaPrompts* prompts,
                            const std::atomic<bool>* abort = nullptr) const;
    // On this object's thread: adds the checked connection, or warns.
    void completeShare(const QString& medium, const QString& share, const ShareCheck& check);
    void completeWebMedium(const QString& medium, const QString& url, const WebCheck& check);

    // Removes cached titles, web folders and share connections; asks before taking away
    // one still in use. Returns whether the program may close.
    bool DisconnectAll(bool mayClose = true);

    const ConnectionsList& connections() const { return connections_; }
    const QList<WebDrive>& webDrives() const { return webDrives_; }
    const QList<NetDrive>& netDrives() const { return netDrives_; }

    // True when this process holds a file below the folder open.
    static bool folderInUse(const QString& folder);
    static QSet<QString> openFiles();

    // "Fehler beim Verbinden: ..." for a resource that cannot be connected.
    static QString connectWarning(const QString& error, const QString& resource,
                                  const QString& label);

signals:
    void downloadStarted(const QString& path, const QString& url, qint64 maximum);
    // statusText changes at most every half second; it is empty in between.
    void downloadProgress(qint64 value, qint64 maximum, const QString& statusText);
    // localFile empty: the download failed, error says why.
    void titleFetched(const QString& path, const QString& localFile, const QString& error);
    void statusMessage(const QString& text);
    // Asked at closing before cached titles go: stop the player and close its file.
    void stopPlayerRequested();

private:
    void startNextFetch();
    void onFetchProgress(tasks::Id id, qint64 bytes, qint64 total);
    void onFetchFinished(const QString& path, const QString& localFile, const QString& error);
    QString newLocalFile(const QString& folder, const QString& path);
    const WebDrive* webDriveOf(const QString& path) const;
    const NetDrive* netDriveOf(const QString& path) const;
    void stopFetcherFor(const QString& folder);

    std::unique_ptr<TaskService> ownTasks_; // goes last: without a service set, downloads run here
    Options options_;
    MediaPrompts* prompts_;
    ConnectionsList connections_;
    QList<WebDrive> webDrives_;
    QList<NetDrive> netDrives_;
    int nextFolderNumber_ = 1;
    QHash<QString, QString> downloads_; // title file path -> local file
    std::unique_ptr<SmbCredentials> smbCredentials_;
    std::unique_ptr<MediumProber> prober_;
    MediumWait* wait_ = nullptr;
    int lastFoundType_ = 0;
    UDisksClient* volumes_ = nullptr;
    VolumeMounter* mounter_ = nullptr;

    std::shared_ptr<TitleFetcher> fetcher_; // shared with the download on the lane
    bool startingDownload_ = false;
    std::deque<FetchJob> queue_;
    QSet<QString> queued_;
    QString currentPath_;
    QPointer<TaskService> tasks_;
    tasks::Id downloadJob_ = 0;
    QString currentUrl_;
    QString currentLocal_;
    qint64 expectedSize_ = 0;
    QElapsedTimer clock_;
    TransferMeter meter_;
    quint32 lastTick_ = 0;
    quint64 lastJobId_ = 0;
    quint64 currentId_ = 0;
};
