#include "gui_thread_connector.h"

#include <QThread>

#include <atomic>
#include <memory>

namespace {

struct PendingCall {
    bool done = false;
};

} // namespace

GuiThreadConnector::GuiThreadConnector(MediumConnector* target, QObject* parent)
    : QObject(parent), target_(target) {}

GuiThreadConnector::~GuiThreadConnector() {
    close();
}

void GuiThreadConnector::close() {
    QMutexLocker lock(&mutex_);
    closed_ = true;
    changed_.wakeAll();
}

bool GuiThreadConnector::isClosed() const {
    QMutexLocker lock(&mutex_);
    return closed_;
}

bool GuiThreadConnector::runOnOwnThread(const std::function<void()>& call) const {
    if (QThread::currentThread() == thread()) {
        if (isClosed()) return false;
        call();
        return true;
    }
    QMutexLocker lock(&mutex_);
    // One call at a time: a second medium with the same share must see the first one
    // connected, not start its own password prompt beside it.
    while (busy_ && !closed_)
        changed_.wait(&mutex_);
    if (closed_) return false;
    busy_ = true;
    auto pending = std::make_shared<PendingCall>();
    auto* self = const_cast<GuiThreadConnector*>(this);
    QMetaObject::invokeMethod(
        self,
        [self, pending, call] {
            if (!self->isClosed()) call();
            QMutexLocker done(&self->mutex_);
            pending->done = true;
            self->changed_.wakeAll();
        },
        Qt::QueuedConnection);
    while (!pending->done && !closed_)
        changed_.wait(&mutex_);
    const bool ran = pending->done;
    // Closed while the call still runs: it may go on in the GUI thread, but this worker
    // does not wait for it and no other call starts.
    if (ran) busy_ = false;
    changed_.wakeAll();
    return ran;
}

void GuiThreadConnector::ConnectShare(const QString& medium, const QString& share) {
    runOnOwnThread([this, medium, share] { target_->ConnectShare(medium, share); });
}

void GuiThreadConnector::ConnectWebMedium(const QString& medium, const QString& url) {
    runOnOwnThread([this, medium, url] { target_->ConnectWebMedium(medium, url); });
}

int GuiThreadConnector::connectionCount() const {
    if (QThread::currentThread() == thread()) return target_->connectionCount();
    // Shared: a call left behind by close() must not write into a finished frame.
    auto count = std::make_shared<std::atomic<int>>(0);
    runOnOwnThread([this, count] { *count = target_->connectionCount(); });
    return *count;
}
