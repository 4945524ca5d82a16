#include "copy_worker.h"

#include "file_copy.h"
#include "smb_client.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace copyshare {

QString url(const QString& path) {
    if (path.startsWith(QLatin1String("smb://"), Qt::CaseInsensitive))
        return QStringLiteral("smb://") + path.mid(6);
    if (!path.startsWith(QLatin1String("\\\\"))) return {};
    return smbshare::urlFromUnc(path);
}

QString root(const QString& url) {
    const QString rest = url.mid(6);
    return QStringLiteral("smb://") + rest.section(u'/', 0, 1, QString::SectionSkipEmpty);
}

QString uncRoot(const QString& url) {
    QString r = root(url).mid(6);
    return QStringLiteral("\\\\") + r.replace(u'/', u'\\');
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    // The server, the share and (on the servers met in practice) the names below compare
    // without case; taking two names for one file only means a title is not moved.
    return QDir::cleanPath(a.mid(6)).compare(QDir::cleanPath(b.mid(6)), Qt::CaseInsensitive) == 0;
}

} // namespace copyshare

namespace {

CopyOutcome failure(CopyOutcome o, int error) {
    o.error = filecopy::errorText(error);
    o.permanent = filecopy::isNameError(error);
    return o;
}

QString folderError(const QString& folder, int error) {
    return QStringLiteral("Der Zielordner \"%1\" kann nicht angelegt werden: %2")
        .arg(folder, filecopy::errorText(error));
}

} // namespace

CopyWorker::CopyWorker(const std::atomic<bool>* abort, ShareSettings shares,
                       std::atomic<quint64>* activity)
    : abort_(abort), shares_(std::move(shares)), activity_(activity) {}

CopyWorker::~CopyWorker() = default;

SmbSession& CopyWorker::session() {
    if (!session_)
        session_ =
            std::make_unique<SmbSession>(shares_.credentials, shares_.port, shares_.timeoutMs);
    return *session_;
}

CopyOutcome CopyWorker::copy(const CopyJob& job, const FreeSpaceFn& freeSpace) {
    return job.destination.startsWith(QLatin1String("smb://")) ? copyToShare(job, freeSpace)
                                                               : copyLocal(job, freeSpace);
}

CopyOutcome CopyWorker::copyLocal(const CopyJob& job, const FreeSpaceFn& freeSpace) {
    CopyOutcome o;
    o.id = job.id;
    const QString folder = QFileInfo(job.destination).path();
    if (const int e = filecopy::makeFolders(folder)) {
        o.error = folderError(folder, e);
        o.permanent = filecopy::isNameError(e);
        return o;
    }
    const QFileInfo source(job.localSource);
    if (!source.exists()) return failure(o, ENOENT);
    if (job.checkSpace && !filecopy::sameFile(job.localSource, job.destination)) {
        const qint64 size = source.size();
        const qint64 free = freeSpace ? freeSpace(job.spaceFolder) : filecopy::freeSpace(folder);
        if (free >= 0 && size > free) {
            o.kind = CopyOutcome::NoSpace;
            o.needed = size;
            return o;
        }
    }
    filecopy::Options options;
    options.sync = job.removeSource;
    options.abort = abort_;
    options.activity = activity_;
    const filecopy::Result r = filecopy::copyFile(job.localSource, job.destination, options);
    switch (r.status) {
    case filecopy::Result::SameFile:
        o.kind = CopyOutcome::SameFile;
        return o;
    case filecopy::Result::Aborted:
        o.kind = CopyOutcome::Aborted;
        return o;
    case filecopy::Result::Failed:
        o.error = r.error;
        o.permanent = r.permanent;
        return o;
    case filecopy::Result::Copied:
        break;
    }
    o.kind = CopyOutcome::Copied;
    if (job.removeSource) {
        // The copy is complete, of equal size and on the disk: only now the source goes.
        if (QFileInfo(job.destination).size() != r.bytes)
            o.removeError = QStringLiteral("Größe der Kopie weicht ab");
        else if (::unlink(QFile::encodeName(job.localSource).constData()) != 0)
            o.removeError = filecopy::errorText(errno);
    }
    return o;
}

CopyOutcome CopyWorker::copyToShare(const CopyJob& job, const FreeSpaceFn& freeSpace) {
    CopyOutcome o;
    o.id = job.id;
    const QString& url = job.destination;
    if (const int e = connectShare(url)) {
        if (e == EACCES) {
            o.kind = CopyOutcome::LoginNeeded;
            o.share = copyshare::root(url);
        }
        o.error = filecopy::errorText(e);
        return o;
    }
    // A title taken from this very place is not written over itself.
    if (copyshare::sameFile(job.sourceUrl, url)) {
        o.kind = CopyOutcome::SameFile;
        return o;
    }
    const QString folder = url.left(url.lastIndexOf(u'/'));
    if (const int e = session().makeFolders(folder)) {
        o.error = folderError(job.spaceFolder, e);
        o.permanent = filecopy::isNameError(e);
        return o;
    }
    struct stat before;
    if (::stat(QFile::encodeName(job.localSource).constData(), &before) != 0)
        return failure(o, errno);
    if (!S_ISREG(before.st_mode)) {
        o.error = filecopy::notRegularText();
        o.permanent = true;
        return o;
    }
    if (job.checkSpace) {
        const qint64 free = freeSpace ? freeSpace(job.spaceFolder) : shareFreeSpace(folder);
        if (free >= 0 && qint64(before.st_size) > free) {
            o.kind = CopyOutcome::NoSpace;
            o.needed = before.st_size;
            o.free = free;
            return o;
        }
    }
    const SmbSession::Upload up = session().upload(job.localSource, url, abort_, activity_);
    if (up.aborted) {
        o.kind = CopyOutcome::Aborted;
        return o;
    }
    if (up.error) return failure(o, up.error);
    o.kind = CopyOutcome::Copied;
    if (job.removeSource) {
        // When the share serves the source's own folder, the upload has just replaced the
        // source by its copy: then there is nothing to delete.
        struct stat after;
        if (::stat(QFile::encodeName(job.localSource).constData(), &after) != 0 ||
            after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
            o.kind = CopyOutcome::SameFile;
            return o;
        }
        o.removeLater = true;
        o.sourceDevice = quint64(before.st_dev);
        o.sourceInode = quint64(before.st_ino);
    }
    return o;
}

int CopyWorker::connectShare(const QString& url) {
    const QString root = copyshare::root(url);
    if (connected_.contains(root)) return 0;
    const QString rest = root.mid(6);
    const QString server = rest.section(u'/', 0, 0);
    const QString share = rest.section(u'/', 1, 1);
    if (server.isEmpty() || share.isEmpty()) return EINVAL;
    QString user, password;
    if (!shares_.credentials->get(server, share, &user, &password)) {
        // A login that another share of the server took is tried before asking.
        if (!shares_.credentials->get(server, QString(), &user, &password)) {
            user = shares_.user;
            password.clear();
        }
        shares_.credentials->set(server, share, user, password);
    }
    const int rc = session().openShare(root);
    if (rc == 0) {
        connected_.insert(root);
        return 0;
    }
    // The library turns down an empty password itself, as an invalid argument.
    if (rc == EACCES || rc == EPERM || (rc == EINVAL && password.isEmpty())) return EACCES;
    return rc;
}

qint64 CopyWorker::shareFreeSpace(const QString& folderUrl) {
    if (connectShare(folderUrl) != 0) return -1;
    // The folder may not be there yet: the share's own free space counts then.
    qint64 bytes = -1;
    if (session().freeSpace(folderUrl, &bytes) == 0) return bytes;
    if (session().freeSpace(copyshare::root(folderUrl), &bytes) == 0) return bytes;
    return -1;
}

int CopyWorker::removeShareFile(const QString& url) {
    if (const int e = connectShare(url)) return e;
    return session().remove(url);
}

int CopyWorker::removeLocalFile(const QString& path, quint64 device, quint64 inode) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) return errno;
    if (quint64(st.st_dev) != device || quint64(st.st_ino) != inode) return ESTALE;
    return ::unlink(name.constData()) == 0 ? 0 : errno;
}

int CopyWorker::readShareFile(const QString& url, QByteArray* data) {
    if (const int e = connectShare(url)) return e;
    return session().readAll(url, data, qint64(64) << 20);
}

int CopyWorker::writeShareFile(const QString& url, const QByteArray& data) {
    if (const int e = connectShare(url)) return e;
    if (const int e = session().makeFolders(url.left(url.lastIndexOf(u'/')))) return e;
    return session().uploadData(data, url).error;
}
