#pragma once

#include "lame_binding.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>

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
// libmp3lame*.so* that load and export every function the binding needs. The scan runs
// on a worker thread; cancel() ends it at its next folder entry.
class EncoderSearch : public QObject {
    Q_OBJECT
public:
    explicit EncoderSearch(QObject* parent = nullptr);
    ~EncoderSearch() override;

    // The data folder, the system's library folders, /opt, /usr/local and the home folder.
    static QStringList defaultRoots(const QString& dataFolder);

    void start(const QStringList& roots);
    void cancel();
    bool isScanning() const { return m_scanning.load(); }
    // Waits for the worker to end (after cancel() or at the end of the scan).
    void wait();

    // The scan itself, on the calling thread; stops when the scanning flag is cleared.
    QList<EncoderCandidate> scan(const QStringList& roots);

    static bool isCandidateName(const QString& fileName);
    // Checks one file; fills out when it is a usable encoder library.
    static bool examine(const QString& path, EncoderCandidate* out);
    static QString describe(const EncoderVersion& v);
    static QString fileVersionText(const EncoderVersion& v);

signals:
    void folderEntered(const QString& path);
    void found(const EncoderCandidate& candidate);
    void finished(bool cancelled);

private:
    void scanFolder(const QString& dir, QSet<QString>& seenDirs, QSet<QString>& seenFiles,
                    QList<EncoderCandidate>& out);
    std::atomic<bool> m_scanning{false};
    QThread* m_thread = nullptr;
    qint64 m_lastFolderSignal = 0;
};
