#include "stream_log.h"

#include "atomic_file.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

StreamLog::~StreamLog() {
    closeFile();
}

void StreamLog::closeFile() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void StreamLog::setPath(const QString& path) {
    if (path == m_path) return;
    closeFile();
    m_path = path;
}

QString StreamLog::timeFormat(const QLocale& loc) {
    // The locale's long time format carries the zone ("t"); the log's time has none.
    const QString f = loc.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            // Drop the zone with the blank that separates it from the rest.
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            while (i + 1 < f.size() && f[i + 1] == QLatin1Char('t'))
                ++i;
            while (i + 1 < f.size() && f[i + 1].isSpace() && out.isEmpty())
                ++i;
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

QString StreamLog::timestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale loc;
    return loc.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           loc.toString(now.time(), timeFormat(loc));
}

bool StreamLog::writeLine(const QByteArray& line) {
    if (m_fd < 0) {
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            m_error = atomicfile::reasonText(errno);
            return false;
        }
    }
    struct stat before {};
    const bool sized = ::fstat(m_fd, &before) == 0;
    const char* bytes = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, bytes, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_error = atomicfile::reasonText(n < 0 ? errno : ENOSPC);
            // No torn line: what was written of it goes again.
            if (sized && left < line.size()) {
                const int kept = ::ftruncate(m_fd, before.st_size);
                Q_UNUSED(kept);
            }
            closeFile();
            return false;
        }
        bytes += n;
        left -= n;
    }
    m_error.clear();
    return true;
}

bool StreamLog::append(const QString& text) {
    if (m_path.isEmpty()) return false;
    const QByteArray line = (timestamp() + QLatin1Char('\t') + text + QLatin1Char('\n')).toUtf8();
    return writeLine(line) || writeLine(line);
}
