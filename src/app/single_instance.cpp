#include "single_instance.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SingleInstance::SingleInstance(QString lockPath) : lockPath_(std::move(lockPath)) {}

SingleInstance::~SingleInstance() {
    release();
}

SingleInstance::Outcome SingleInstance::acquire() {
    if (fd_ >= 0) return Acquired;
    error_.clear();
    if (lockPath_.isEmpty()) {
        error_ = QStringLiteral("Es gibt keinen privaten Ordner für die Sperrdatei.");
        return Failed;
    }
    const QByteArray path = QFile::encodeName(lockPath_);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return Failed;
    }
    // Only a plain file of our own counts; anything else could be held by anyone.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        error_ = QStringLiteral("Die Sperrdatei gehört einem anderen Benutzer.");
        return Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK) return HeldElsewhere;
        error_ = QString::fromLocal8Bit(std::strerror(e));
        return Failed;
    }
    const QByteArray handle = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, handle.constData(), size_t(handle.size()), 0) != ssize_t(handle.size())) {
        // A second start then waits for the greeting instead; the lock itself holds.
    }
    fd_ = fd;
    return Acquired;
}

void SingleInstance::release() {
    if (fd_ < 0) return;
    if (::ftruncate(fd_, 0) != 0) {
        // The handle of a process that is gone is harmless: nobody holds the lock.
    }
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}
