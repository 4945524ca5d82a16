#include "merkzettel_sharing.h"

#include "index_file.h"
#include "merkzettel.h"

#include <QLocale>

MerkzettelSharing::MerkzettelSharing(QObject* parent) : QObject(parent) {
    connect(&job_, &MailJob::finished, this, &MerkzettelSharing::mailFinished);
}

// A mail still under way is told to stop and ends on its own.
MerkzettelSharing::~MerkzettelSharing() = default;

QString MerkzettelSharing::dateTimeText(const QDateTime& when) {
    return indexfile::listDateTimeText(when, QLocale());
}

bool MerkzettelSharing::save(const QString& path, const QStringList& titles, const Context& context,
                             QString* error) {
    const QStringList lines = indexfile::savedMerkzettelLines(
        context.owner, dateTimeText(context.now), context.versionString, titles);
    return indexfile::writeIndexFile(path, lines, error);
}

QStringList MerkzettelSharing::mailLines(const QStringList& titles, const Context& context) {
    return indexfile::mailedMerkzettelLines(merkzettel::mailHead(context.owner), context.owner,
                                            dateTimeText(context.now), context.versionString,
                                            titles);
}

QString MerkzettelSharing::subject(const Context& context) {
    return QStringLiteral("Vorlune - Merkzettel von ") + context.owner;
}

bool MerkzettelSharing::send(const MailAccount& account, const QString& to,
                             const QStringList& titles, const Context& context) {
    if (job_.isRunning()) return false;
    MailMessage m;
    m.fromName = QStringLiteral("Vorlune");
    m.from = account.sender.trimmed();
    m.to = to.trimmed();
    m.subject = subject(context);
    m.lines = mailLines(titles, context);
    m.date = context.now;
    return job_.start(account, m.to, mail::compose(m));
}

QStringList MerkzettelSharing::desktopMailArguments(const QString& to, const QString& subject,
                                                    const QStringList& lines,
                                                    const QString& attachment) {
    QStringList args{QStringLiteral("--utf8"), QStringLiteral("--subject"), subject};
    const QString body = lines.join(QStringLiteral("\r\n"));
    if (body.toUtf8().size() <= kMaxBodyArgument || attachment.isEmpty()) {
        args << QStringLiteral("--body") << body;
    } else {
        // The head explains the attachment's use as well.
        const QStringList head = lines.mid(0, 12);
        args << QStringLiteral("--body") << head.join(QStringLiteral("\r\n"))
             << QStringLiteral("--attach") << attachment;
    }
    args << to;
    return args;
}
