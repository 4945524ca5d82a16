#pragma once

#include "lame_binding.h"
#include "task_service.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

// One usable encoder library found by the search.
struct EncoderCandidate {
    QString path;
    QString description; // "LAME Engine 3.100-0.0" (+ " [MMX]")
    QString fileVersion; // "0.0 (03-AUG-2006)"
    EncoderVersion version;
};
Q_DECLARE_METATYPE(EncoderCandidate)

// Searches folder trees for encoder libraries: ELF shared objects named like
// libmp3lame*.so* that load and export every function the binding needs. Each scan runs
// on a worker thread of its own; cancel() ends it at its next folder entry. A new start
// does not wait for a cancelled scan that is still stuck in a slow folder: that one ends
// on its own and nothing it finds any more is reported. Each scan is a job of the task
// service, when one is set, and may be cancelled through it; it keeps its own thread so
// that one stuck in a library's loader never holds up the service (or the program's end).
class EncoderSearch : public QObject {
    Q_OBJECT
public:
    explicit EncoderSearch(QObject* parent = nullptr);
    // Waits a little for scans that are still running; one stuck longer is left to end
    // on its own.
    ~EncoderSearch() override;

    // The data folder, the system's library folders, /opt, /usr/local and the home folder.
    static QStringList defaultRoots(const QString& dataFolder);

    void setTaskService(TaskService* tasks) { m_tasks = tasks; }

    void start(const QStringList& roots);
    void cancel();
    bool isScanning() const;
    // Waits for every worker to end (after cancel() or at the end of the scan).
    void wait();

    // The scan itself, on the calling thread; stops when cancel() is called.
    QList<EncoderCandidate> scan(const QStringList& roots);

    static bool isCandidateName(const QString& fileName);
    // Checks one file; fills out when it is a usable encoder library.
    static bool examine(const QString& path, EncoderCandidate* out);
    static QString describe(const EncoderVersion& v);
    static QString fileVersionText(const EncoderVersion& v);

    struct Run; // one scan: its flag and the way back to this object

signals:
    void folderEntered(const QString& path);
    void found(const EncoderCandidate& candidate);
    void finished(bool cancelled);

private:
    static void scanFolder(Run& run, const QString& dir, QSet<QString>& seenDirs,
                           QSet<QString>& seenFiles, QList<EncoderCandidate>& out);
    static QList<EncoderCandidate> scanRoots(Run& run, const QStringList& roots);

    // The scan's job is over (the worker has returned, or the search goes).
    void endJob(tasks::Id job);

    std::shared_ptr<Run> m_run; // the current (or last) scan
    struct Worker {
        QPointer<QThread> thread;
        std::shared_ptr<Run> run;
        tasks::Id job = 0;
    };
    QPointer<TaskService> m_tasks;
    QList<Worker> m_workers;
};
