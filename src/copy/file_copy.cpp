#include "file_copy.h"

#include "atomic_file.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace filecopy {

namespace {

const mode_t processUmask = [] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}();

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool aborted(const Options& o) {
    return o.abort && o.abort->load(std::memory_order_relaxed);
}

// Copies from in to out until end of file; returns the bytes or -1 (errno set, or 0 with
// `stopped` when aborted).
qint64 copyData(int in, int out, const Options& options, bool& stopped) {
    // Small enough that an abort is seen, and progress counted, within a moment.
    constexpr size_t rangeChunk = size_t(8) << 20;
    constexpr size_t bufferSize = size_t(1) << 20;
    qint64 total = 0;
    bool useRange = true;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        if (aborted(options)) {
            stopped = true;
            return -1;
        }
        if (useRange) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, rangeChunk, 0);
            if (n > 0) {
                total += n;
                if (options.activity) ++*options.activity;
                continue;
            }
            if (n == 0) return total;
            if (errno == EINTR) continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                useRange = false;
                continue;
            }
            return -1;
        }
        if (!buffer) buffer.reset(new char[bufferSize]);
        const ssize_t n = ::read(in, buffer.get(), bufferSize);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) return total;
        if (!writeAll(out, buffer.get(), n)) return -1;
        total += n;
        if (options.activity) ++*options.activity;
    }
}

} // namespace

QString errorText(int error) {
    char buffer[256];
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

bool isNameError(int error) {
    return error == ENAMETOOLONG || error == EILSEQ || error == EINVAL;
}

QString notRegularText() {
    return QStringLiteral("Die Quelle ist keine gewöhnliche Datei.");
}

int makeFolders(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st;
    if (::stat(path.constData(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    for (qsizetype at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const QByteArray part = path.left(at);
        if (::mkdir(part.constData(), 0777) == 0) continue;
        const int error = errno;
        if (error == EEXIST && ::stat(part.constData(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        return error;
    }
    return 0;
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0) return false;
    if (::stat(QFile::encodeName(b).constData(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

qint64 freeSpace(const QString& folder) {
    QString path = folder;
    while (!path.isEmpty() && !QFileInfo::exists(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path) break;
        path = parent;
    }
    struct statvfs s;
    if (::statvfs(QFile::encodeName(path).constData(), &s) != 0) return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

Result copyFile(const QString& source, const QString& destination, const Options& options) {
    Result r;
    const QByteArray src = QFile::encodeName(source);
    const QByteArray dst = QFile::encodeName(destination);
    auto fail = [&r](int error) {
        r.status = Result::Failed;
        r.error = errorText(error);
        r.permanent = isNameError(error);
        return r;
    };

    // Opened without waiting: a FIFO without a writer would block here for ever.
    Fd in(::open(src.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) return fail(errno);
    struct stat sourceStat;
    if (::fstat(in.get(), &sourceStat) != 0) return fail(errno);
    if (!S_ISREG(sourceStat.st_mode)) {
        r.status = Result::Failed;
        r.error = notRegularText();
        r.permanent = true;
        return r;
    }
    ::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) & ~O_NONBLOCK);
    struct stat destStat;
    if (::stat(dst.constData(), &destStat) == 0 && destStat.st_dev == sourceStat.st_dev &&
        destStat.st_ino == sourceStat.st_ino) {
        r.status = Result::SameFile;
        return r;
    }

    const qsizetype slash = dst.lastIndexOf('/');
    QByteArray temp = (slash >= 0 ? dst.left(slash + 1) : QByteArray()) + ".vorlune-copy-XXXXXX";
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.get() < 0) return fail(errno);
    atomicfile::holdWhileWriting(out.get());
    if (slash >= 0) atomicfile::removeLeftoversOnce(QFile::decodeName(dst.left(slash)));
    auto dropTemp = [&] {
        out.reset();
        ::unlink(temp.constData());
    };

    bool stopped = false;
    const qint64 copied = copyData(in.get(), out.get(), options, stopped);
    if (copied < 0) {
        const int error = errno;
        dropTemp();
        if (stopped) {
            r.status = Result::Aborted;
            return r;
        }
        return fail(error);
    }
    struct stat after;
    if (::fstat(in.get(), &after) != 0 || after.st_size != copied) {
        dropTemp();
        r.status = Result::Failed;
        r.error = QStringLiteral("Die Quelldatei hat sich während des Kopierens verändert.");
        return r;
    }
    // File systems without Unix modes (FAT, some shares) refuse the mode; that loses nothing.
    if (::fchmod(out.get(), sourceStat.st_mode & 0666 & ~processUmask) != 0 && errno != EPERM &&
        errno != ENOTSUP && errno != EOPNOTSUPP) {
        const int error = errno;
        dropTemp();
        return fail(error);
    }
    if (options.sync && ::fsync(out.get()) != 0) {
        const int error = errno;
        dropTemp();
        return fail(error);
    }
    const int outFd = out.release();
    if (::close(outFd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return fail(error);
    }
    if (::rename(temp.constData(), dst.constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return fail(error);
    }
    // A move deletes its source next: the new name must be on the disk first. The copy
    // stays; only the source is kept as well.
    if (options.sync && slash >= 0) {
        Fd dir(::open(dst.left(slash + 1).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0 || (::fsync(dir.get()) != 0 && errno != EINVAL)) return fail(errno);
    }
    r.status = Result::Copied;
    r.bytes = copied;
    return r;
}

} // namespace filecopy
