#pragma once

#include "copy_worker.h"
#include "m3u_playlist.h"
#include "path_template.h"
#include "task_service.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class MediaAccess;
class LengthMeter;
class SmbCredentials;

// One copy run: the sorted queue of title lines, worked one title at a time. The steps that
// touch media access (the medium lookup with its dialog, fetching web and share titles)
// run on the GUI thread; the free-space query, the file copy (also onto a share "\\server
// \share\...") and deleting moved sources run as steps of the run's job on the task
// service's "copy" lane, the length measurement for the playlist on its "copy length
// meter" lane, so that measuring one title overlaps copying the next. The next title
// starts as soon as the previous one ends. Neither cancelling nor closing waits more than a
// second for a step that hangs (a source on a mount that does not answer): its lane's
// thread is left to end by itself, and its answer is dropped. One run per service.
class CopyRun : public QObject {
    Q_OBJECT
public:
    enum Mode { Copy = 0, Move = 1 };
    enum SpaceAnswer { Retry, Skip, Cancel };

    struct Setup {
        QString pathTemplate;
        QString playlistFile; // empty: no playlist is written; may lie on a share
        QString command;      // run when the run completes; blank: none
        QString catalogDir;   // the command's working folder
        pathtemplate::Context context;
        int mode = Copy;
    };

    // Free bytes on the file system of a folder; called on the worker and the GUI thread.
    using FreeSpaceFn = std::function<qint64(const QString& folder)>;

    explicit CopyRun(MediaAccess* media, QObject* parent = nullptr);
    ~CopyRun() override;

    void setFreeSpaceFunction(FreeSpaceFn fn);
    FreeSpaceFn freeSpaceFunction() const { return freeSpace_; }
    // For the insufficient-space dialog on the GUI thread: never waits on the network (a
    // share's free space is measured on the worker and the last answer given).
    FreeSpaceFn spaceQuery();
    // The pause before a failed title is tried again (at least 1000 ms).
    void setRetryDelay(int ms) { retryDelay_ = std::max(ms, 1000); }
    int retryDelay() const { return retryDelay_; }

    // Each run is a cancellable job of this service (cancelling it is `cancel()`), its work
    // steps on the service's lanes. Without one the run keeps a service of its own. Set it
    // before a run starts.
    void setTaskService(TaskService* tasks) { tasks_ = tasks ? tasks : ownTasks_.get(); }
    // Starts a run over the titles; false while one is running.
    bool start(const QStringList& titles, const Setup& setup);
    // Ends the run: a copy under way completes; the playlist keeps the finished titles.
    void cancel();
    // At closing: stops a copy under way (its partial file goes) and waits for the threads
    // at most about a second.
    void shutdown();

    // Leaves out the head whose copy failed and waits for its retry; false when there is
    // none such.
    bool skipFailed();
    bool canSkipFailed() const;
    // How long, after cancel or at closing, a thread may go without moving data before it
    // is left behind (default 1000 ms).
    void setStallLimit(int ms) { stallLimit_ = ms; }

    // From start until the last thread's work is done and the playlist is written.
    bool isRunning() const { return running_; }
    // The dialog's part of the run: between start and completion or cancel.
    bool isActive() const { return running_ && !cancelled_; }

    // The dialog's view of the run.
    const std::deque<QString>& queue() const { return queue_; }
    int total() const { return total_; }
    int progress() const { return progress_; }
    QString destinationFolder() const { return destFolder_; }
    QString destinationName() const { return destName_; }
    QString mediumLabel() const { return mediumLabel_; }
    int mediumType() const { return mediumType_; } // -1: unknown
    QString failure() const { return failure_; }   // why the head failed last; empty if it did not
    const M3uPlaylist& playlist() const { return playlist_; }
    // Titles copied so far in this run.
    int copiedCount() const { return copied_; }
    // What the final status keeps: titles left out and why, playlist errors.
    const QStringList& notes() const { return notes_; }
    // Moved titles whose source had to stay on its medium, with the reason.
    const QStringList& keptSources() const { return kept_; }
    const Setup& setup() const { return setup_; }

    // The answer to spaceNeeded.
    void answerSpace(SpaceAnswer answer);

    // "Von <label>:  <display name>"
    static QString titleListLine(const QString& titleLine);

signals:
    void statusText(const QString& text);
    // The head changed or a title was finished: the dialog refreshes.
    void changed();
    void headRemoved();
    // The worker starts copying the head to this file.
    void copying(const QString& destination);
    // The head does not fit: answer with answerSpace.
    void spaceNeeded(const QString& localSource, const QString& folder, qint64 needed);
    // The head could not be copied; it is tried again after the retry delay.
    void copyFailed(const QString& reason);
    // Completed (true) or cancelled (false): the dialog closes.
    void ended(bool completed);
    // All work is done and the playlist written.
    void finished(bool completed);
    // The finished sound is due.
    void finishedSound();

public:
    struct Link; // what the threads share with the run; outlives a run left behind

private:
    void endJob(bool ok, const QString& message);
    TaskService& tasks() const { return tasks_ ? *tasks_ : *ownTasks_; }

    std::unique_ptr<TaskService> ownTasks_; // goes last: without a service set, steps run here
    QPointer<TaskService> tasks_;
    tasks::Id job_ = 0;

    struct Removal {
        enum Kind { Local, Share, Ftp };
        Kind kind = Local;
        QString path;       // local file, or the title's URL on its medium
        quint64 device = 0; // Local: the file as it was copied
        quint64 inode = 0;
        QString user; // Ftp: the medium's login
        QString password;
        QString title;
        QString label;
    };
    void next();
    void submit(bool checkSpace);
    void onFetched(const QString& path, const QString& localFile, const QString& error);
    void onOutcome(const CopyOutcome& outcome);
    void onMeasured(quint64 id, qint64 seconds);
    void removeHead();
    void failHead(const QString& reason);
    // Takes the head out of the run with the reason, which the final status keeps.
    void leaveOut(const QString& text);
    void note(const QString& text);
    // A destination not yet written by another title of this run.
    QString distinctDestination(const QString& destination) const;
    QString destinationKey(const QString& destination) const;
    // A fresh worker (with its own abort flag) and, when there is none, a length meter.
    void makeWorkers();
    // After cancel: ends the wait for a worker that moves no data.
    void checkStall();
    void abandonWorker();
    void complete();
    void finishIfIdle();
    void finalize(const QString& saveError);
    QString finalText() const;
    // The password prompt for a share; false when the user cancels.
    bool askShareLogin(const QString& shareRoot);
    void loadSharePlaylist();
    void removeSource(const Removal& removal);
    void keepSource(const QString& title, const QString& label, const QString& reason);
    // Runs `work(CopyWorker&)` on the copy lane, as a step of the run's job (between runs as
    // a look-up job); its result goes to `done` here unless the worker was left behind or
    // closing came meanwhile. False without a worker.
    template <typename Work, typename Done> bool onWorker(Work&& work, Done&& done);

    MediaAccess* media_;
    std::shared_ptr<Link> link_;
    ShareSettings shares_;
    FreeSpaceFn freeSpace_;
    int retryDelay_ = 1000;
    int stallLimit_ = 1000;

    std::shared_ptr<CopyWorker> worker_;             // shared with its steps on the lane
    std::shared_ptr<std::atomic<bool>> workerAbort_; // the worker's abort flag
    std::shared_ptr<LengthMeter> meter_;
    QTimer stallTimer_;
    quint64 stallMark_ = 0;
    quint64 workerGeneration_ = 0; // answers of a worker left behind carry an older one

    Setup setup_;
    std::deque<QString> queue_;
    int total_ = 0;
    int progress_ = 0;
    bool running_ = false;
    bool cancelled_ = false;
    bool completed_ = false;
    bool ended_ = false;
    bool workerBusy_ = false;
    bool waitingFetch_ = false;
    bool waitingSpace_ = false;
    bool waitingPlaylist_ = false; // a playlist on a share is read
    bool savingPlaylist_ = false;
    bool playlistLoaded_ = false; // false: the old playlist could not be read, so it stays
    bool headFailed_ = false;     // the head failed and waits for its retry
    bool skipRequested_ = false;  // the user left the failed head out while it was retried
    int pendingRemovals_ = 0;
    QTimer retryTimer_;
    M3uPlaylist playlist_;
    QStringList kept_;
    QStringList notes_;
    int copied_ = 0;
    QHash<QString, QString> written_; // destination key -> the title line copied there

    // The head being worked on.
    QString head_;
    QString source_;      // title file on its root
    QString localSource_; // the file that is copied (a fetched copy for remote media)
    QString destination_; // as expanded: a local path or "\\server\share\..."
    QString destUrl_;     // the share URL of a destination on a share
    QString destFolder_;
    QString destName_;
    QString mediumLabel_;
    int mediumType_ = -1;
    QString failure_;
    QHash<QString, QString> roots_; // label -> root found in this run

    quint64 nextId_ = 1;
    quint64 jobId_ = 0;
    struct Pending {
        quint64 id;
        QString displayName;
        QString destination;
        std::optional<Removal> removeAfter; // a moved source that goes once measured
    };
    std::deque<Pending> measuring_;
};
