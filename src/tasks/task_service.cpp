#include "task_service.h"

#include <QThread>

#include <algorithm>
#include <climits>

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
}

TaskService::~TaskService() {
    for (Job& job : jobs_) {
        job.state->cancel = true;
        const std::lock_guard lock(job.state->mutex);
        job.state->service = nullptr;
    }
    pool_.waitForDone();
}

tasks::Id TaskService::start(tasks::Kind kind, const QString& label, bool cancellable,
                             std::function<void()> onCancel) {
    const tasks::Id id = nextId_++;
    Job job{kind, label, cancellable,  std::move(onCancel),
            0,    0,     nextOrder_++, std::make_shared<TaskControl::State>()};
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
    it->total = std::max<qint64>(total, 0);
    it->done = std::clamp<qint64>(done, 0, it->total);
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
}

void TaskService::waitForWork(tasks::Id id) {
    auto it = jobs_.constFind(id);
    if (it == jobs_.constEnd()) return;
    const std::shared_ptr<TaskControl::State> state = it->state;
    std::unique_lock lock(state->mutex);
    state->workOver.wait(lock, [&state] { return state->over; });
}

void TaskService::launch(std::shared_ptr<TaskControl::State> state, std::function<void()> work,
                         std::function<void()> handBack) {
    {
        const std::lock_guard lock(state->mutex);
        state->over = false;
    }
    pool_.start([this, state, work = std::move(work), handBack = std::move(handBack)]() mutable {
        work();
        {
            const std::lock_guard lock(state->mutex);
            state->over = true;
        }
        state->workOver.notify_all();
        // The service outlives its pool's work (its destructor waits for it).
        QMetaObject::invokeMethod(this, std::move(handBack), Qt::QueuedConnection);
    });
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
