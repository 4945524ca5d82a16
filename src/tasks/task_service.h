#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>
#include <utility>

// Background work of the program: loads, copy runs, mail, length scans, downloads and the
// short look-ups and searches of the subsystems.
// The service lives on the GUI thread. A job runs its work on the service's pool, on the
// look-ups' own pool or on one of its lanes (`run`), or, when it has threads of its own,
// reports to the service (`start`, `progress`, `finish`). Either way everything the
// service announces happens on its own thread.
namespace tasks {

// Lookup: a short read whose answer shows where it was asked for (a folder listing, the
// recording devices, a test of a root for a medium, measuring one title). Search: a long
// search with a window of its own (encoder libraries). Neither shows on the bar.
enum class Kind { Load, Copy, Mail, Scan, Download, Lookup, Search };
// Loads, scans and downloads show in the status bar and make the window busy.
bool showsProgress(Kind kind);

using Id = quint64;

// What the status bar shows: the newest running job of a kind that shows progress.
struct Bar {
    bool visible = false;
    int value = 0;
    int maximum = 100; // 0: a busy bar (the job's progress has no total)
    QString label;
    Id id = 0;
    bool operator==(const Bar&) const = default;
};

} // namespace tasks

class TaskService;

// A job's side of the service, safe to use from any thread: the cancel flag, progress and
// failure. It stays valid after the service is gone; reports then go nowhere.
class TaskControl {
public:
    TaskControl() = default;
    bool cancelled() const { return state_ && state_->cancel.load(); }
    // The flag itself, for code that polls a plain atomic.
    const std::atomic_bool* cancelFlag() const { return state_ ? &state_->cancel : nullptr; }
    // A total of 0: the amount of work is not known (a busy bar).
    void progress(qint64 done, qint64 total) const;
    // Marks the job failed; the message goes out with `finished`.
    void fail(const QString& message) const;
    tasks::Id id() const { return state_ ? state_->id : 0; }
    // Whether `fail()` was called, with its message.
    bool failed(QString* message = nullptr) const;

private:
    friend class TaskService;
    struct State {
        tasks::Id id = 0;
        std::atomic_bool cancel{false};
        std::atomic_bool failed{false};
        std::mutex mutex;               // guards the two below
        TaskService* service = nullptr; // cleared when the job ends or the service goes
        QString failure;
        std::condition_variable workOver; // a piece of its work has returned
        int working = 0;                  // pieces of work started and not yet returned
        // Hands the outcome to the service unless it is gone (a lane's thread may outlive it).
        void handBack(std::function<void()> handBack);
    };
    explicit TaskControl(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

template <class R> struct TaskOutcome {
    R value{};
    bool ok = false;        // the work returned without failing or throwing
    bool cancelled = false; // it was asked to stop
    QString error;          // what failed, when not ok
};

class TaskService : public QObject {
    Q_OBJECT
public:
    explicit TaskService(QObject* parent = nullptr);
    // Cancels every job and waits for the work on its pool.
    ~TaskService() override;

    // A job that runs on threads of its own. `onCancel` is called on this thread when
    // someone cancels it (only for cancellable jobs).
    tasks::Id start(tasks::Kind kind, const QString& label, bool cancellable,
                    std::function<void()> onCancel = {});
    void progress(tasks::Id id, qint64 done, qint64 total);
    void finish(tasks::Id id, bool ok, const QString& message = {});
    // Asks a cancellable job to stop; it still ends with `finish`. False when it cannot.
    bool cancel(tasks::Id id);
    TaskControl control(tasks::Id id) const;

    // Runs `work(control)` off this thread: on the pool, `Lookup` jobs on a bounded pool of
    // their own (a look-up stuck on a failing drive never holds up a load), or, with a
    // `lane` named, on that lane. Its outcome goes to `done` on this thread, unless
    // `context` is gone by then; the job finishes right after `done` returns. Work that
    // throws or calls `fail()` finishes as failed.
    // A lane is a thread of the service that runs its jobs one after another in the order
    // they were started (state kept per thread, such as a share's session, stays with the
    // lane). It is made on first use.
    template <class Work, class Done>
    tasks::Id run(tasks::Kind kind, const QString& label, bool cancellable, Work work,
                  QObject* context, Done done, const QString& lane = {});
    // Runs `work(control)` for the running job `id` (one its owner started and finishes)
    // on a lane, as one step of that job: its outcome goes to `done` like a `run` job's,
    // but the job goes on. False when no such job runs.
    template <class Work, class Done>
    bool runStep(tasks::Id id, const QString& lane, Work work, QObject* context, Done done);
    // Leaves the lane's thread to end by itself (its job hangs) and gives the lane a fresh
    // thread for what comes next. What the old thread still runs hands its outcome back
    // only while its job runs; the owner tells a stale one from a fresh one.
    void abandonLane(const QString& lane);
    // At closing a lane's thread is waited for at most this long (default 1000 ms); one
    // still busy then is abandoned.
    void setLaneCloseLimit(int ms) { laneCloseLimit_ = ms; }
    // The most look-ups that run at once (default 4); more wait their turn.
    void setLookupLimit(int threads) { lookupPool_.setMaxThreadCount(threads); }

    bool isRunning(tasks::Id id) const { return jobs_.contains(id); }
    bool isRunning(tasks::Kind kind) const;
    // Some job that shows progress is running.
    bool isBusy() const;
    int count() const { return int(jobs_.size()); }
    const tasks::Bar& bar() const { return bar_; }
    // Blocks until the work on the pools and lanes is over (for tests); its outcome still
    // comes back through the event loop.
    void waitForWorkers();
    void waitForWork(tasks::Id id);
    // The same for at most `timeoutMs`; false when some of it still runs then.
    bool waitForWork(tasks::Id id, int timeoutMs);

signals:
    void started(tasks::Id id, tasks::Kind kind, const QString& label);
    void progressed(tasks::Id id, qint64 done, qint64 total);
    void finished(tasks::Id id, bool ok, const QString& message);
    void barChanged(const tasks::Bar& bar);
    void busyChanged(bool busy);

private:
    struct Job {
        tasks::Kind kind;
        QString label;
        bool cancellable = false;
        std::function<void()> onCancel;
        qint64 done = 0;
        qint64 total = 0;
        bool reported = false; // progress came: a total of 0 means it is not known
        quint64 order = 0;
        std::shared_ptr<TaskControl::State> state;
    };
    struct Lane;
    // Runs `work` on the pool (the look-ups' for `Lookup`) or the lane, then `handBack`
    // queued to this thread.
    void launch(tasks::Kind kind, const QString& lane, std::shared_ptr<TaskControl::State> state,
                std::function<void()> work, std::function<void()> handBack);
    std::shared_ptr<Lane> lane(const QString& name);
    void updateBar();

    QThreadPool pool_;
    QThreadPool lookupPool_;
    QHash<QString, std::shared_ptr<Lane>> lanes_;
    int laneCloseLimit_ = 1000;
    QHash<tasks::Id, Job> jobs_;
    tasks::Id nextId_ = 1;
    quint64 nextOrder_ = 0;
    tasks::Bar bar_;
    bool busy_ = false;
};

namespace tasks::detail {
// Runs work and fills its outcome; exceptions and `fail()` make it a failure.
template <class R, class Work>
void runWork(Work& work, const TaskControl& control, TaskOutcome<R>& outcome) {
    try {
        outcome.value = work(control);
        outcome.ok = !control.failed(&outcome.error);
    } catch (const std::exception& e) {
        outcome.error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        outcome.error = QStringLiteral("Unbekannter Fehler");
    }
    outcome.cancelled = control.cancelled();
}
} // namespace tasks::detail

template <class Work, class Done>
tasks::Id TaskService::run(tasks::Kind kind, const QString& label, bool cancellable, Work work,
                           QObject* context, Done done, const QString& lane) {
    using R = std::invoke_result_t<Work&, const TaskControl&>;
    const tasks::Id id = start(kind, label, cancellable);
    const TaskControl control = this->control(id);
    auto outcome = std::make_shared<TaskOutcome<R>>();
    launch(
        kind, lane, control.state_,
        [work = std::move(work), control, outcome]() mutable {
            tasks::detail::runWork<R>(work, control, *outcome);
        },
        [this, id, outcome, context = QPointer<QObject>(context), hasContext = context != nullptr,
         done = std::move(done)]() mutable {
            const bool ok = outcome->ok;
            const QString error = outcome->error;
            if (!hasContext || context) done(std::move(*outcome));
            finish(id, ok, error);
        });
    return id;
}

template <class Work, class Done>
bool TaskService::runStep(tasks::Id id, const QString& lane, Work work, QObject* context,
                          Done done) {
    using R = std::invoke_result_t<Work&, const TaskControl&>;
    const auto it = jobs_.constFind(id);
    if (it == jobs_.constEnd()) return false;
    const TaskControl control(it->state);
    auto outcome = std::make_shared<TaskOutcome<R>>();
    launch(
        it->kind, lane, control.state_,
        [work = std::move(work), control, outcome]() mutable {
            tasks::detail::runWork<R>(work, control, *outcome);
        },
        [outcome, context = QPointer<QObject>(context), hasContext = context != nullptr,
         done = std::move(done)]() mutable {
            if (!hasContext || context) done(std::move(*outcome));
        });
    return true;
}

Q_DECLARE_METATYPE(tasks::Bar)
Q_DECLARE_METATYPE(tasks::Kind)
