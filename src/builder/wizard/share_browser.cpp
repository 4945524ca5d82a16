#include "share_browser.h"

#include <QThread>

#include <libsmbclient.h>

#include <cerrno>
#include <cstring>

namespace reapwell {

QString smbUrlFromUnc(QStringView unc) {
    QString path = unc.toString();
    while (path.startsWith(u'\\'))
        path.remove(0, 1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    path.replace(u'\\', u'/');
    return QStringLiteral("smb://") + path;
}

QString uncFromSmbUrl(QStringView url) {
    QStringView rest = url;
    if (rest.startsWith(u"smb://", Qt::CaseInsensitive)) rest = rest.mid(6);
    QString path = rest.toString();
    while (path.endsWith(u'/'))
        path.chop(1);
    if (path.isEmpty()) return {};
    path.replace(u'/', u'\\');
    return QStringLiteral("\\\\") + path;
}

QString childUrl(QStringView parentUrl, ShareEntry::Kind kind, const QString& name) {
    if (kind == ShareEntry::Workgroup || kind == ShareEntry::Server)
        return QStringLiteral("smb://") + name;
    QString url = parentUrl.toString();
    while (url.endsWith(u'/'))
        url.chop(1);
    return url + u'/' + name;
}

} // namespace reapwell

using reapwell::ShareEntry;

namespace {

// Anonymous access: the library asks, nothing is filled in.
void guestAuth(const char*, const char*, char*, int, char*, int, char*, int) {}

} // namespace

class ShareWorker : public QObject {
    Q_OBJECT
public:
    explicit ShareWorker(quint16 port) : port_(port) {}
    ~ShareWorker() override {
        if (context_) smbc_free_context(context_, 1);
    }

    void list(const QString& url) {
        QList<ShareEntry> entries;
        QString error;
        if (!open(&error)) {
            emit listed(url, entries, error);
            return;
        }
        const QByteArray target = url.toUtf8();
        SMBCFILE* dir = smbc_getFunctionOpendir(context_)(context_, target.constData());
        if (!dir) {
            emit listed(url, entries, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        while (const smbc_dirent* entry = smbc_getFunctionReaddir(context_)(context_, dir)) {
            // name is declared as a one-character array that runs on past its end.
            const QString name = QString::fromUtf8(static_cast<const char*>(entry->name));
            ShareEntry::Kind kind;
            switch (entry->smbc_type) {
            case SMBC_WORKGROUP:
                kind = ShareEntry::Workgroup;
                break;
            case SMBC_SERVER:
                kind = ShareEntry::Server;
                break;
            case SMBC_FILE_SHARE:
                if (name.endsWith(u'$')) continue; // administrative shares
                kind = ShareEntry::Share;
                break;
            case SMBC_DIR:
                if (name == u"." || name == u"..") continue;
                kind = ShareEntry::Folder;
                break;
            default:
                continue;
            }
            entries.append({kind, name, reapwell::childUrl(url, kind, name)});
        }
        smbc_getFunctionClosedir(context_)(context_, dir);
        emit listed(url, entries, error);
    }

signals:
    void listed(const QString& url, const QList<reapwell::ShareEntry>& entries,
                const QString& error);

private:
    bool open(QString* error) {
        if (context_) return true;
        context_ = smbc_new_context();
        if (!context_) {
            *error = QStringLiteral("libsmbclient ist nicht verfügbar.");
            return false;
        }
        smbc_setDebug(context_, 0);
        smbc_setTimeout(context_, 5000);
        smbc_setFunctionAuthData(context_, guestAuth);
        if (port_) smbc_setPort(context_, port_);
        if (!smbc_init_context(context_)) {
            smbc_free_context(context_, 0);
            context_ = nullptr;
            *error = QStringLiteral("libsmbclient kann nicht gestartet werden.");
            return false;
        }
        return true;
    }

    quint16 port_ = 0;
    SMBCCTX* context_ = nullptr;
};

ShareLister::ShareLister(quint16 port, QObject* parent) : QObject(parent) {
    qRegisterMetaType<QList<reapwell::ShareEntry>>();
    thread_ = new QThread(this);
    worker_ = new ShareWorker(port);
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &ShareWorker::listed, this, &ShareLister::listed, Qt::QueuedConnection);
    thread_->start();
}

ShareLister::~ShareLister() {
    thread_->quit();
    thread_->wait();
}

void ShareLister::list(const QString& url) {
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, url] { worker->list(url); }, Qt::QueuedConnection);
}

#include "share_browser.moc"
