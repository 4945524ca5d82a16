#pragma once

// A tiny tmpfs of its own for tests of full disks. Mounting needs root (CI and the
// test machine run as root); elsewhere the tests that need it skip with the reason.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class SmallFileSystem {
public:
    explicit SmallFileSystem(int kilobytes = 256) {
        if (!dir_.isValid()) {
            why_ = QStringLiteral("no temporary folder");
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        if (::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs",
                    MS_NOSUID | MS_NODEV, options.constData()) != 0) {
            why_ = QStringLiteral("mounting a tmpfs is not permitted here: ") +
                   QString::fromLocal8Bit(std::strerror(errno));
            return;
        }
        mounted_ = true;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const QString& why() const { return why_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    // Fills the file system up to `leftBytes` (rounded to pages): writes beyond fail with
    // ENOSPC. Returns false when the filler could not be made.
    bool fill(qint64 leftBytes = 0) {
        const QByteArray name = QFile::encodeName(filePath(kFiller));
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        const QByteArray block(4096, 'f');
        for (;;) {
            const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
            if (n > 0) continue;
            if (n < 0 && errno == EINTR) continue;
            break;
        }
        const bool full = errno == ENOSPC;
        const off_t size = ::lseek(fd, 0, SEEK_END);
        const bool cut =
            leftBytes <= 0 || ::ftruncate(fd, std::max<off_t>(0, size - leftBytes)) == 0;
        ::close(fd);
        return full && cut;
    }
    // Frees what fill() took.
    void release() { QFile::remove(filePath(kFiller)); }
    static inline const QString kFiller = QStringLiteral("fueller");

    // The names in the folder besides the filler: no temporary file may stay behind.
    QStringList entries(const QString& folder = QString()) const {
        QStringList names =
            QDir(folder.isEmpty() ? path() : folder)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.removeAll(kFiller);
        return names;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
    QString why_;
};

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool putFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size() &&
           f.flush();
}
