#include "mail_job.h"

#include "log_categories.h"

MailJob::MailJob(QObject* parent) : QObject(parent) {}

MailJob::~MailJob() {
    if (!job_) return;
    tasks_->cancel(job_);
    if (ownTasks_) {
        // The job's own service lives on until the transfer has stopped, then goes.
        TaskService* own = ownTasks_.release();
        connect(own, &TaskService::finished, own, &QObject::deleteLater);
    }
}

void MailJob::setTaskService(TaskService* tasks) {
    if (!job_) tasks_ = tasks;
}

TaskService* MailJob::tasks() {
    if (!tasks_) {
        ownTasks_ = std::make_unique<TaskService>();
        tasks_ = ownTasks_.get();
    }
    return tasks_;
}

bool MailJob::start(const MailAccount& account, const QString& to, const QByteArray& message,
                    int timeoutSeconds) {
    if (job_) return false;
    job_ = tasks()->run(
        tasks::Kind::Mail, QStringLiteral("E-Mail senden"), true,
        [account, to, message, timeoutSeconds](const TaskControl& control) {
            mail::Result r = mail::send(account, to, message, timeoutSeconds, control.cancelFlag());
            if (!r.ok) control.fail(r.reason);
            return r;
        },
        this,
        [this](TaskOutcome<mail::Result> outcome) {
            job_ = 0;
            if (!outcome.ok && !outcome.cancelled)
                qCWarning(lcMail).noquote() << "sending failed:" << outcome.error;
            emit finished(outcome.ok, outcome.ok ? QString() : outcome.error);
        });
    return true;
}
