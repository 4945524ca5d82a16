#include "mail_job.h"

#include <QtConcurrent/QtConcurrentRun>

MailJob::MailJob(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFutureWatcher<mail::Result>::finished, this, [this] {
        const mail::Result r = watcher_.result();
        emit finished(r.ok, r.reason);
    });
}

MailJob::~MailJob() {
    if (cancel_) cancel_->store(true);
}

bool MailJob::start(const MailAccount& account, const QString& to, const QByteArray& message,
                    int timeoutSeconds) {
    if (watcher_.isRunning()) return false;
    auto cancel = std::make_shared<std::atomic_bool>(false);
    cancel_ = cancel;
    watcher_.setFuture(QtConcurrent::run([account, to, message, timeoutSeconds, cancel] {
        return mail::send(account, to, message, timeoutSeconds, cancel.get());
    }));
    return true;
}
