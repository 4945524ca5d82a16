#pragma once

#include <QFile>
#include <QLocale>
#include <QString>

// The streaming log: each line is the local short date, a blank, the long time, a TAB
// and the text. Lines are appended and flushed one by one, so the file is complete after
// every line.
class StreamLog {
public:
    void setPath(const QString& path);
    QString path() const { return m_path; }
    // Appends one line; a failed write is tried once more on a freshly opened file.
    bool append(const QString& text);
    static QString timestamp();
    // The locale's long time format without its time zone.
    static QString timeFormat(const QLocale& loc);

private:
    bool writeLine(const QByteArray& line);
    QString m_path;
    QFile m_file;
};
