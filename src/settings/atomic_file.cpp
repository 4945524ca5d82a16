#include "atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace atomicfile {

namespace {

// The process umask without changing it (umask() itself would race with other threads).
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.read(4096);
        const qsizetype at = text.indexOf("\nUmask:");
        if (at >= 0) {
            bool ok = false;
            const qsizetype end = text.indexOf('\n', at + 1);
            const mode_t mask = mode_t(text.mid(at + 7, end - at - 7).trimmed().toUInt(&ok, 8));
            if (ok) return mask;
        }
    }
    return 022;
}

// A link is written through to the file it names, as an editor would.
QString resolvedTarget(const QString& path) {
    QString target = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 32; ++hops) {
        const QFileInfo info(target);
        if (!info.isSymLink()) break;
        target = info.symLinkTarget();
    }
    return target;
}

bool fail(QString* reason, int error) {
    if (reason) *reason = reasonText(error);
    return false;
}

} // namespace

QString reasonText(int error) {
    switch (error) {
    case ENOSPC:
        return QStringLiteral("Kein freier Speicherplatz auf dem Datenträger");
    case EDQUOT:
        return QStringLiteral("Das Speicherkontingent ist erschöpft");
    case EFBIG:
        return QStringLiteral("Die Datei ist zu groß für das Dateisystem");
    case EACCES:
    case EPERM:
        return QStringLiteral("Keine Berechtigung zum Schreiben");
    case EROFS:
        return QStringLiteral("Das Dateisystem ist schreibgeschützt");
    case ENOENT:
        return QStringLiteral("Der Ordner ist nicht vorhanden");
    case ENOTDIR:
        return QStringLiteral("Ein Teil des Pfads ist kein Ordner");
    case EISDIR:
        return QStringLiteral("Am Ziel liegt ein Ordner");
    case ENAMETOOLONG:
        return QStringLiteral("Der Dateiname ist zu lang");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler des Datenträgers");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("Die Datei ist in Benutzung");
    case EXDEV:
        return QStringLiteral("Ziel und Zwischendatei liegen auf verschiedenen Dateisystemen");
    default:
        return qt_error_string(error);
    }
}

bool write(const QString& path, const QByteArray& data, QString* reason, Options options) {
    const QString target = resolvedTarget(path);
    const QFileInfo info(target);
    const QString folder = info.absolutePath();
    const QByteArray targetName = QFile::encodeName(target);

    mode_t newMode = 0;
    if (options.mode != KeepMode) {
        newMode = mode_t(options.mode) & 07777;
    } else {
        struct stat old {};
        if (::stat(targetName.constData(), &old) == 0)
            newMode = old.st_mode & 07777;
        else
            newMode = 0666 & ~currentUmask();
    }

    // A short fixed name: the target's own name may already be as long as names can be.
    QByteArray temp = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".vorlune-XXXXXX")));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(reason, errno);

    const auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(reason, error);
    };

    if (::fchmod(fd, newMode) != 0) return abandon(errno);
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(std::min<qsizetype>(left, 1 << 20)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(errno);
        }
        if (n == 0) return abandon(ENOSPC);
        bytes += n;
        left -= n;
    }
    if (options.sync && ::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0 && errno != EINTR) {
        const int error = errno;
        ::unlink(temp.constData());
        return fail(reason, error);
    }
    if (::rename(temp.constData(), targetName.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return fail(reason, error);
    }
    if (!options.sync) return true;
    // The rename itself is durable only once the folder is synced.
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return fail(reason, errno);
    const bool synced = ::fsync(dir) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(dir);
    return synced ? true : fail(reason, error);
}

} // namespace atomicfile
