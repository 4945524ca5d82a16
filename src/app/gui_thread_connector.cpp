#include "gui_thread_connector.h"

#include "media_access.h"
#include "media_prompts.h"

#include <QThread>

#include <memory>

namespace {

struct PendingCall {
    bool done = false;
};

} // namespace

// The password prompt of the GUI thread, asked from a worker.
class GuiThreadConnector::WorkerPrompts : public MediaPrompts {
public:
    explicit WorkerPrompts(const GuiThreadConnector* connector) : connector_(connector) {}

    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override {
        struct Answer {
            bool ok = false;
            QString user, password;
        };
        // Shared: a prompt still open when close() lets the worker go answers into it.
        auto answer = std::make_shared<Answer>();
        answer->user = user;
        MediaAccess* access = connector_->access_;
        const bool ran = connector_->runOnOwnThread([access, answer, caption, withUserName] {
            MediaPrompts* prompts = access->prompts();
            answer->ok = prompts && prompts->askPassword(caption, withUserName, answer->user,
                                                         answer->password);
        });
        if (!ran || !answer->ok) return false;
        user = answer->user;
        password = answer->password;
        return true;
    }
    // The checks only ask for passwords; warnings come with the completion.
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString&, MediumWait&) override { return {}; }

private:
    const GuiThreadConnector* connector_;
};

GuiThreadConnector::GuiThreadConnector(MediaAccess* access, QObject* parent)
    : QObject(parent), access_(access) {}

GuiThreadConnector::~GuiThreadConnector() {
    close();
}

void GuiThreadConnector::close() {
    aborted_ = true;
    QMutexLocker lock(&mutex_);
    closed_ = true;
    changed_.wakeAll();
}

bool GuiThreadConnector::isClosed() const {
    QMutexLocker lock(&mutex_);
    return closed_;
}

bool GuiThreadConnector::onOwnThread() const {
    return QThread::currentThread() == thread();
}

bool GuiThreadConnector::runOnOwnThread(const std::function<void()>& call) const {
    if (onOwnThread()) {
        if (isClosed()) return false;
        call();
        return true;
    }
    QMutexLocker lock(&mutex_);
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

bool GuiThreadConnector::connectedOrClosed(const QString& resource) const {
    auto connected = std::make_shared<bool>(true);
    MediaAccess* access = access_;
    if (!runOnOwnThread(
            [access, connected, resource] { *connected = access->isConnected(resource); }))
        return true;
    return *connected;
}

void GuiThreadConnector::ConnectShare(const QString& medium, const QString& share) {
    if (onOwnThread()) {
        if (!isClosed()) access_->ConnectShare(medium, share);
        return;
    }
    // One connection at a time: a second medium with the same share must see the first
    // one connected, not start its own password prompt beside it.
    QMutexLocker one(&oneConnection_);
    if (connectedOrClosed(share)) return;
    WorkerPrompts prompts(this);
    const MediaAccess::ShareCheck check = access_->checkShare(medium, share, &prompts);
    MediaAccess* access = access_;
    runOnOwnThread([access, medium, share, check] { access->completeShare(medium, share, check); });
}

void GuiThreadConnector::ConnectWebMedium(const QString& medium, const QString& url) {
    if (onOwnThread()) {
        if (!isClosed()) access_->ConnectWebMedium(medium, url);
        return;
    }
    QMutexLocker one(&oneConnection_);
    if (connectedOrClosed(url)) return;
    WorkerPrompts prompts(this);
    const MediaAccess::WebCheck check = access_->checkWebMedium(medium, url, &prompts, &aborted_);
    if (aborted_) return;
    MediaAccess* access = access_;
    runOnOwnThread([access, medium, url, check] { access->completeWebMedium(medium, url, check); });
}

int GuiThreadConnector::connectionCount() const {
    if (onOwnThread()) return access_->connectionCount();
    // Shared: a call left behind by close() must not write into a finished frame.
    auto count = std::make_shared<std::atomic<int>>(0);
    MediaAccess* access = access_;
    runOnOwnThread([access, count] { *count = access->connectionCount(); });
    return *count;
}
