#pragma once

#include "mail_account.h"
#include "mail_message.h"
#include "task_service.h"

#include <QObject>

#include <memory>

// One mail sent off the GUI thread, as a job of the task service. Going away never waits
// for the server: the transfer is told to stop and ends on its own within about a second,
// holding copies of all it sends.
class MailJob : public QObject {
    Q_OBJECT
public:
    explicit MailJob(QObject* parent = nullptr);
    ~MailJob() override;

    // The service the mail runs under; without one the job keeps its own.
    void setTaskService(TaskService* tasks);
    // False while a mail is still under way.
    bool start(const MailAccount& account, const QString& to, const QByteArray& message,
               int timeoutSeconds = 30);
    bool isRunning() const { return job_ != 0; }

signals:
    void finished(bool ok, const QString& reason);

private:
    TaskService* tasks();

    TaskService* tasks_ = nullptr;
    std::unique_ptr<TaskService> ownTasks_;
    tasks::Id job_ = 0;
};
