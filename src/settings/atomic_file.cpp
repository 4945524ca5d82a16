#include "atomic_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// ".vorlune-" or ".vorlune-copy-" and the six characters mkostemp() puts in.
bool isTemporaryName(const char* name) {
    static constexpr char prefix[] = ".vorlune-";
    static constexpr char copy[] = "copy-";
    if (std::strncmp(name, prefix, sizeof prefix - 1) != 0) return false;
    name += sizeof prefix - 1;
    if (std::strncmp(name, copy, sizeof copy - 1) == 0) name += sizeof copy - 1;
    for (int i = 0; i < 6; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return name[6] == '\0';
}

} // namespace

void holdWhileWriting(int fd) {
    // A fresh file: nobody else holds it. Where the file system has no locks, old leftovers
    // are then never taken for abandoned ones (see removeLeftovers).
    ::flock(fd, LOCK_EX | LOCK_NB);
}

int removeLeftovers(const QString& folder, int minAgeSeconds) {
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return 0;
    DIR* list = ::fdopendir(dir);
    if (!list) {
        ::close(dir);
        return 0;
    }
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(list)) {
        if (!isTemporaryName(entry->d_name)) continue;
        const int fd =
            ::openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        // A live writer holds its file locked; the lock goes with the writer, however it
        // ends. A file system without locks refuses the lock: such files stay. A file's
        // time may be a little ahead of time(): no age asked means any age.
        const bool abandoned = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                               (minAgeSeconds <= 0 || now - st.st_mtime >= minAgeSeconds) &&
                               ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (abandoned && ::unlinkat(dir, entry->d_name, 0) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(list);
    return removed;
}

void removeLeftoversOnce(const QString& folder) {
    static QMutex mutex;
    static QSet<QString> done;
    {
        QMutexLocker lock(&mutex);
        if (done.contains(folder)) return;
        done.insert(folder);
    }
    removeLeftovers(folder);
}

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
    holdWhileWriting(fd);
    removeLeftoversOnce(folder);

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
