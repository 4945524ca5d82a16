#include "stream_log.h"

#include <QDateTime>
#include <QLocale>

void StreamLog::setPath(const QString& path) {
    if (path == m_path) return;
    m_file.close();
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
