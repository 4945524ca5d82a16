#pragma once

#include <QLocale>
#include <QString>

// The streaming log: each line is the local short date, a blank, the long time, a TAB
// and the text. Lines are appended and flushed one by one, so the file is complete after
// every line.
class StreamLog {
public:
    StreamLog() = default;
    ~StreamLog();
    StreamLog(const StreamLog&) = delete;
    StreamLog& operator=(const StreamLog&) = delete;

    void setPath(const QString& path);
    QString path() const { return m_path; }
    // Appends one whole line; a failed write is tried once more on a freshly opened file.
    // A line that cannot be written completely is taken back out, and lastError() says why.
    bool append(const QString& text);
    const QString& lastError() const { return m_error; }
    static QString timestamp();
    // The locale's long time format without its time zone.
    static QString timeFormat(const QLocale& loc);

private:
    bool writeLine(const QByteArray& line);
    void closeFile();
    QString m_path;
    QString m_error;
    int m_fd = -1;
};
