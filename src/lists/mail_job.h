#pragma once

#include "mail_account.h"
#include "mail_message.h"

#include <QFutureWatcher>
#include <QObject>

#include <atomic>
#include <memory>

// One mail sent off the GUI thread. Going away never waits for the server: the transfer
// is told to stop and ends on its own within about a second, holding copies of all it
// sends.
class MailJob : public QObject {
    Q_OBJECT
public:
    explicit MailJob(QObject* parent = nullptr);
    ~MailJob() override;

    // False while a mail is still under way.
    bool start(const MailAccount& account, const QString& to, const QByteArray& message,
               int timeoutSeconds = 30);
    bool isRunning() const { return watcher_.isRunning(); }

signals:
    void finished(bool ok, const QString& reason);

private:
    QFutureWatcher<mail::Result> watcher_;
    std::shared_ptr<std::atomic_bool> cancel_;
};
