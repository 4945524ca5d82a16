#include "task_service.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>

namespace tasks {

bool showsProgress(Kind kind) {
    return kind == Kind::Load || kind == Kind::Scan || kind == Kind::Download;
}

} // namespace tasks

void TaskControl::progress(qint64 done, qint64 total) const {
    if (!state_) return;
    const std::lock_guard lock(state_->mutex);
    if (TaskService* service = state_->service)
        QMetaObject::invokeMethod(
            service,
            [service, id = state_->id, done, total] { service->progress(id, done, total); },
            Qt::QueuedConnection);
}

void TaskControl::fail(const QString& message) const {
    if (!state_) return;
    const std::lock_guard lock(state_->mutex);
    state_->failure = message;
    state_->failed = true;
}

void TaskControl::State::handBack(std::function<void()> back) {
    {
        const std::lock_guard lock(mutex);
        --working;
        // The service clears itself here before it goes, so it is still there.
        if (service) QMetaObject::invokeMethod(service, std::move(back), Qt::QueuedConnection);
    }
    workOver.notify_all();
}

// A lane: one thread at a time working off its queue in order. A thread left behind keeps
// its own share of the state and ends once its work returns.
struct TaskService::Lane {
    struct Thread {
        std::mutex mutex;
        std::condition_variable wake;  // work queued or stopping
        std::condition_variable ended; // the thread ended, or went idle
        std::deque<std::function<void()>> queue;
        bool stopping = false;
        bool busy = false;
        bool over = false;
    };
    QString name;
    std::shared_ptr<Thread> current;
    QThread* thread = nullptr; // runs `current`

    static void loop(const std::shared_ptr<Thread>& t) {
        std::unique_lock lock(t->mutex);
        for (;;) {
            t->wake.wait(lock, [&t] { return t->stopping || !t->queue.empty(); });
            if (t->stopping) break;
            std::function<void()> work = std::move(t->queue.front());
            t->queue.pop_front();
            t->busy = true;
            lock.unlock();
            work();
            work = nullptr; // what it holds goes on this thread, before the lane looks idle
            lock.lock();
            t->busy = false;
            if (t->queue.empty()) t->ended.notify_all();
        }
        t->over = true;
        t->ended.notify_all();
    }

    // A QThread, so that work may use timers and event loops of its own.
    void startThread(std::deque<std::function<void()>> queue = {}) {
        current = std::make_shared<Thread>();
        current->queue = std::move(queue);
        thread = QThread::create([t = current] { loop(t); });
        thread->setObjectName(name);
        thread->start();
    }

    // The thread is left to end by itself; it deletes itself then.
    void leave() {
        QThread* left = std::exchange(thread, nullptr);
        QObject::connect(left, &QThread::finished, left, &QObject::deleteLater);
        if (left->isFinished()) left->deleteLater(); // ended just now
    }

    // Asks the thread to end once its work returns; hands back what it had not begun.
    std::deque<std::function<void()>> stop() {
        const std::lock_guard lock(current->mutex);
        current->stopping = true;
        current->wake.notify_all();
        return std::exchange(current->queue, {});
    }
};

bool TaskControl::failed(QString* message) const {
    if (!state_ || !state_->failed.load()) return false;
    const std::lock_guard lock(state_->mutex);
    if (message) *message = state_->failure;
    return true;
}

TaskService::TaskService(QObject* parent) : QObject(parent) {
    qRegisterMetaType<tasks::Bar>();
    qRegisterMetaType<tasks::Kind>();
    qRegisterMetaType<tasks::Id>("tasks::Id");
    // A load may wait for an answer on this thread while mail and scans go on.
    pool_.setMaxThreadCount(std::max(QThread::idealThreadCount(), 8));
    lookupPool_.setMaxThreadCount(4);
}

TaskService::~TaskService() {
    for (Job& job : jobs_) {
        job.state->cancel = true;
        const std::lock_guard lock(job.state->mutex);
        job.state->service = nullptr;
    }
    // Queued lane work is dropped; a lane's job that does not return in time (a share that
    // hangs) is left to end by itself. The pools' work is waited for.
    for (const std::shared_ptr<Lane>& lane : std::as_const(lanes_))
        lane->stop();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(laneCloseLimit_);
    for (const std::shared_ptr<Lane>& lane : std::as_const(lanes_)) {
        const std::shared_ptr<Lane::Thread> t = lane->current;
        std::unique_lock lock(t->mutex);
        if (!t->ended.wait_until(lock, deadline, [&t] { return t->over; })) {
            lane->leave();
            continue;
        }
        lock.unlock();
        lane->thread->wait();
        delete lane->thread;
    }
    pool_.waitForDone();
    lookupPool_.waitForDone();
}

tasks::Id TaskService::start(tasks::Kind kind, const QString& label, bool cancellable,
                             std::function<void()> onCancel) {
    const tasks::Id id = nextId_++;
    Job job{kind,
            label,
            cancellable,
            std::move(onCancel),
            0,
            0,
            false,
            nextOrder_++,
            std::make_shared<TaskControl::State>()};
    job.state->id = id;
    job.state->service = this;
    jobs_.insert(id, std::move(job));
    emit started(id, kind, label);
    updateBar();
    return id;
}

void TaskService::progress(tasks::Id id, qint64 done, qint64 total) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    it->reported = true;
    it->total = std::max<qint64>(total, 0);
    it->done = it->total > 0 ? std::clamp<qint64>(done, 0, it->total) : std::max<qint64>(done, 0);
    emit progressed(id, it->done, it->total);
    updateBar();
}

void TaskService::finish(tasks::Id id, bool ok, const QString& message) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    {
        const std::lock_guard lock(it->state->mutex);
        it->state->service = nullptr;
    }
    jobs_.erase(it);
    emit finished(id, ok, message);
    updateBar();
}

bool TaskService::cancel(tasks::Id id) {
    auto it = jobs_.find(id);
    if (it == jobs_.end() || !it->cancellable) return false;
    it->state->cancel = true;
    if (std::function<void()> onCancel = it->onCancel) onCancel();
    return true;
}

TaskControl TaskService::control(tasks::Id id) const {
    auto it = jobs_.constFind(id);
    return it == jobs_.constEnd() ? TaskControl() : TaskControl(it->state);
}

bool TaskService::isRunning(tasks::Kind kind) const {
    return std::any_of(jobs_.begin(), jobs_.end(), [kind](const Job& j) { return j.kind == kind; });
}

bool TaskService::isBusy() const {
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [](const Job& j) { return tasks::showsProgress(j.kind); });
}

void TaskService::waitForWorkers() {
    pool_.waitForDone();
    lookupPool_.waitForDone();
    for (const std::shared_ptr<Lane>& lane : std::as_const(lanes_)) {
        const std::shared_ptr<Lane::Thread> t = lane->current;
        std::unique_lock lock(t->mutex);
        t->ended.wait(lock, [&t] { return t->over || (t->queue.empty() && !t->busy); });
    }
}

void TaskService::waitForWork(tasks::Id id) {
    auto it = jobs_.constFind(id);
    if (it == jobs_.constEnd()) return;
    const std::shared_ptr<TaskControl::State> state = it->state;
    std::unique_lock lock(state->mutex);
    state->workOver.wait(lock, [&state] { return state->working == 0; });
}

bool TaskService::waitForWork(tasks::Id id, int timeoutMs) {
    auto it = jobs_.constFind(id);
    if (it == jobs_.constEnd()) return true;
    const std::shared_ptr<TaskControl::State> state = it->state;
    std::unique_lock lock(state->mutex);
    return state->workOver.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                    [&state] { return state->working == 0; });
}

std::shared_ptr<TaskService::Lane> TaskService::lane(const QString& name) {
    std::shared_ptr<Lane>& lane = lanes_[name];
    if (!lane) {
        lane = std::make_shared<Lane>();
        lane->name = name;
        lane->startThread();
    }
    return lane;
}

void TaskService::abandonLane(const QString& name) {
    const auto it = lanes_.constFind(name);
    if (it == lanes_.constEnd()) return;
    const std::shared_ptr<Lane> lane = *it;
    std::deque<std::function<void()>> queued = lane->stop();
    lane->leave();
    lane->startThread(std::move(queued));
}

void TaskService::launch(tasks::Kind kind, const QString& lane,
                         std::shared_ptr<TaskControl::State> state, std::function<void()> work,
                         std::function<void()> handBack) {
    {
        const std::lock_guard lock(state->mutex);
        ++state->working;
    }
    auto piece = [state, work = std::move(work), handBack = std::move(handBack)]() mutable {
        work();
        state->handBack(std::move(handBack));
    };
    if (!lane.isEmpty()) {
        const std::shared_ptr<Lane::Thread> t = this->lane(lane)->current;
        const std::lock_guard lock(t->mutex);
        t->queue.push_back(std::move(piece));
        t->wake.notify_all();
        return;
    }
    (kind == tasks::Kind::Lookup ? lookupPool_ : pool_).start(std::move(piece));
}

void TaskService::updateBar() {
    const Job* newest = nullptr;
    tasks::Id newestId = 0;
    for (auto it = jobs_.cbegin(); it != jobs_.cend(); ++it)
        if (tasks::showsProgress(it->kind) && (!newest || it->order > newest->order)) {
            newest = &it.value();
            newestId = it.key();
        }
    tasks::Bar bar;
    if (newest) {
        bar.visible = true;
        bar.id = newestId;
        bar.label = newest->label;
        if (newest->total > 0) {
            // Sizes past what the bar holds are shown in coarser steps.
            int shift = 0;
            while ((newest->total >> shift) > INT_MAX)
                ++shift;
            bar.maximum = int(newest->total >> shift);
            bar.value = int(newest->done >> shift);
        } else if (newest->reported) {
            bar.maximum = 0; // how much is to come is not known: a busy bar
        }
    }
    const bool busy = newest != nullptr;
    if (bar != bar_) {
        bar_ = bar;
        emit barChanged(bar_);
    }
    if (busy != busy_) {
        busy_ = busy;
        emit busyChanged(busy_);
    }
}
