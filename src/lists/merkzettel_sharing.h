#pragma once

#include "mail_account.h"
#include "mail_job.h"
#include "mail_message.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

// Passing the Merkzettel on: the saved file for another installation's catalogue, and
// the mail through the user's own account or the desktop's mail program.
class MerkzettelSharing : public QObject {
    Q_OBJECT
public:
    struct Context {
        QString owner;         // the sender's name
        QString versionString; // the program's version text
        QDateTime now;
    };

    explicit MerkzettelSharing(QObject* parent = nullptr);
    ~MerkzettelSharing() override;

    // Writes the saved Merkzettel atomically; false with a German message on failure.
    static bool save(const QString& path, const QStringList& titles, const Context& context,
                     QString* error);
    // Head, three empty lines and the index part.
    static QStringList mailLines(const QStringList& titles, const Context& context);
    static QString subject(const Context& context);
    // "08-DEC-2026 20:01:00": the date of saved and mailed lists.
    static QString dateTimeText(const QDateTime& when);

    // Sends off the GUI thread; mailFinished reports the outcome. False when a mail is
    // still under way.
    bool send(const MailAccount& account, const QString& to, const QStringList& titles,
              const Context& context);
    bool isSending() const { return job_.isRunning(); }
    // The service the mail runs under (see MailJob).
    void setTaskService(TaskService* tasks) { job_.setTaskService(tasks); }

    // The desktop mail program's command line for the message; a body too long for one
    // argument goes as the attached saved file instead.
    static constexpr qsizetype kMaxBodyArgument = 32 * 1024;
    static QStringList desktopMailArguments(const QString& to, const QString& subject,
                                            const QStringList& lines, const QString& attachment);

signals:
    void mailFinished(bool ok, const QString& reason);

private:
    MailJob job_;
};
