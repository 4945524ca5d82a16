#include "tool_runner.h"

#include "atomic_file.h"
#include "index_file.h"

#include <QDir>
#include <QFile>
#include <QTimer>

ToolRunner::ToolRunner(const QString& tempDir, const QString& name, const QString& resource,
                       QObject* parent)
    : QObject(parent), resource_(resource), toolPath_(QDir(tempDir).filePath(name)),
      infoPath_(QDir(tempDir).filePath(name + QStringLiteral(".cdi"))) {}

ToolRunner::~ToolRunner() {
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(3000);
        delete process_;
        process_ = nullptr;
    }
    removeFiles();
}

bool ToolRunner::prepare(const QStringList& infoLines, QString* error) {
    if (!indexfile::writeIndexFile(infoPath_, infoLines, error)) return false;

    QFile source(resource_);
    if (!source.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Das Indexwerkzeug ist im Programm nicht enthalten.");
        return false;
    }
    const QByteArray tool = source.readAll();
    QString reason;
    if (!atomicfile::write(toolPath_, tool, &reason, {.mode = 0700, .sync = false})) {
        *error = QStringLiteral("Das Indexwerkzeug kann nicht nach \"%1\" geschrieben werden: %2")
                     .arg(toolPath_, reason);
        return false;
    }
    return true;
}

void ToolRunner::start(const QStringList& arguments, const QStringList& infoLines,
                       const QString& workingDir) {
    if (process_) return;
    QString error;
    if (!prepare(infoLines, &error)) {
        Result result;
        result.output = error;
        // Reported from the event loop, like every other outcome.
        QTimer::singleShot(0, this, [this, result] { conclude(result); });
        return;
    }

    process_ = new QProcess(this);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setWorkingDirectory(workingDir);
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        Result result;
        result.started = true;
        result.normalExit = status == QProcess::NormalExit;
        result.exitCode = code;
        result.output = QString::fromLocal8Bit(process_->readAll());
        conclude(result);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        Result result;
        result.output = QStringLiteral("Das Indexwerkzeug kann nicht gestartet werden: %1")
                            .arg(process_->errorString());
        conclude(result);
    });
    process_->start(toolPath_, arguments);
}

void ToolRunner::conclude(Result result) {
    if (process_) {
        process_->disconnect(this);
        process_->deleteLater();
        process_ = nullptr;
    }
    removeFiles();
    emit finished(result);
}

void ToolRunner::removeFiles() {
    QFile::remove(toolPath_);
    QFile::remove(infoPath_);
}
