#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the index tool carried in the resources: writes the info file, extracts the tool
// next to it, starts it in the output folder and deletes both files when it has ended.
class ToolRunner : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool started = false;
        bool normalExit = false;
        int exitCode = -1;
        QString output; // what the tool printed, or why it could not be started
    };

    // The files are named <tempDir>/<name> (the tool) and <tempDir>/<name>.cdi.
    ToolRunner(const QString& tempDir, const QString& name,
               const QString& resource = QStringLiteral(":/reapwell/tallyer"),
               QObject* parent = nullptr);
    ~ToolRunner() override;

    QString toolPath() const { return toolPath_; }
    QString infoFilePath() const { return infoPath_; }
    bool isRunning() const { return process_ != nullptr; }

    // Writes the files and starts the tool. finished() follows in every case, also when
    // nothing could be started; start() itself never blocks on the tool.
    void start(const QStringList& arguments, const QStringList& infoLines,
               const QString& workingDir);

signals:
    void finished(const ToolRunner::Result& result);

private:
    bool prepare(const QStringList& infoLines, QString* error);
    void conclude(Result result);
    void removeFiles();

    QString resource_;
    QString toolPath_;
    QString infoPath_;
    QProcess* process_ = nullptr;
};
