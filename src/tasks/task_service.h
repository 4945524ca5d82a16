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
// The service lives on the GUI thread. A job either runs its work on the service's pool
// (`run`) or, when it has threads of its own, reports to the service (`start`, `progress`,
// `finish`). Either way everything the service announces happens on its own thread.
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
    int maximum = 100;
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
        std::condition_variable workOver; // the work on the pool has returned
        bool over = true;                 // false while work of `run` is on the pool
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

    // Runs `work(control)` on the pool. Its outcome goes to `done` on this thread, unless
    // `context` is gone by then; the job finishes right after `done` returns. Work that
    // throws or calls `fail()` finishes as failed.
    template <class Work, class Done>
    tasks::Id run(tasks::Kind kind, const QString& label, bool cancellable, Work work,
                  QObject* context, Done done);

    bool isRunning(tasks::Id id) const { return jobs_.contains(id); }
    bool isRunning(tasks::Kind kind) const;
    // Some job that shows progress is running.
    bool isBusy() const;
    int count() const { return int(jobs_.size()); }
    const tasks::Bar& bar() const { return bar_; }
    // Blocks until the work on the pool is over (for closing and tests); its outcome
    // still comes back through the event loop.
    void waitForWorkers();
    void waitForWork(tasks::Id id);

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
        quint64 order = 0;
        std::shared_ptr<TaskControl::State> state;
    };
    // Runs `work` on the pool, then `handBack` queued to this thread.
    void launch(std::shared_ptr<TaskControl::State> state, std::function<void()> work,
                std::function<void()> handBack);
    void updateBar();

    QThreadPool pool_;
    QHash<tasks::Id, Job> jobs_;
    tasks::Id nextId_ = 1;
    quint64 nextOrder_ = 0;
    tasks::Bar bar_;
    bool busy_ = false;
};

template <class Work, class Done>
tasks::Id TaskService::run(tasks::Kind kind, const QString& label, bool cancellable, Work work,
                           QObject* context, Done done) {
    using R = std::invoke_result_t<Work&, const TaskControl&>;
    const tasks::Id id = start(kind, label, cancellable);
    const TaskControl control = this->control(id);
    auto outcome = std::make_shared<TaskOutcome<R>>();
    launch(
        control.state_,
        [work = std::move(work), control, outcome]() mutable {
            try {
                outcome->value = work(control);
                outcome->ok = !control.failed(&outcome->error);
            } catch (const std::exception& e) {
                outcome->error = QString::fromLocal8Bit(e.what());
            } catch (...) {
                outcome->error = QStringLiteral("Unbekannter Fehler");
            }
            outcome->cancelled = control.cancelled();
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

Q_DECLARE_METATYPE(tasks::Bar)
Q_DECLARE_METATYPE(tasks::Kind)
