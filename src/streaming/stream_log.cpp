#include "stream_log.h"

#include <QDateTime>
#include <QLocale>

void StreamLog::setPath(const QString& path) {
    if (path == m_path) return;
    m_file.close();
    m_path = path;
}

QString StreamLog::timestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale loc;
    return loc.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           loc.toString(now.time(), QLocale::LongFormat);
}

bool StreamLog::writeLine(const QByteArray& line) {
    if (!m_file.isOpen()) {
        m_file.setFileName(m_path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    }
    if (m_file.write(line) != line.size() || !m_file.flush()) {
        m_file.close();
        return false;
    }
    return true;
}

bool StreamLog::append(const QString& text) {
    if (m_path.isEmpty()) return false;
    const QByteArray line = (timestamp() + QLatin1Char('\t') + text + QLatin1Char('\n')).toUtf8();
    return writeLine(line) || writeLine(line);
}
