#include "encoder_search.h"

#include "version_info.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>

struct EncoderSearch::Run : std::enable_shared_from_this<Run> {
    std::atomic<bool> scanning{true};
    std::atomic<bool> cancelled{false}; // what it finds is no longer wanted
    QMutex mutex;                       // guards owner
    EncoderSearch* owner = nullptr;     // cleared when the search object goes
    bool threaded = false;
    qint64 lastFolderSignal = 0;

    // Runs `f` with the owner while it lives and this run is still wanted.
    template <typename F> void withOwner(F&& f) {
        QMutexLocker lock(&mutex);
        if (owner) f(owner);
    }
};

EncoderSearch::EncoderSearch(QObject* parent) : QObject(parent) {
    qRegisterMetaType<EncoderCandidate>();
}

EncoderSearch::~EncoderSearch() {
    for (const Worker& w : std::as_const(m_workers)) {
        QMutexLocker lock(&w.run->mutex);
        w.run->owner = nullptr;
        w.run->scanning = false;
    }
    for (const Worker& w : std::as_const(m_workers))
        endJob(w.job);
    QDeadlineTimer deadline(2000);
    for (const Worker& w : std::as_const(m_workers)) {
        if (!w.thread) continue;
        if (w.thread->wait(deadline)) {
            delete w.thread.data();
        } else {
            // Still inside a slow folder: it deletes itself when it gets out.
        }
    }
}

QStringList EncoderSearch::defaultRoots(const QString& dataFolder) {
    QStringList roots;
    if (!dataFolder.isEmpty()) roots << dataFolder;
    roots << QStringLiteral("/usr/lib") << QStringLiteral("/usr/lib64") << QStringLiteral("/lib")
          << QStringLiteral("/lib64") << QStringLiteral("/opt") << QStringLiteral("/usr/local")
          << QDir::homePath();
    return roots;
}

bool EncoderSearch::isCandidateName(const QString& fileName) {
    static const QRegularExpression re(QStringLiteral("^libmp3lame.*\\.so(\\..*)?$"));
    return re.match(fileName).hasMatch();
}

QString EncoderSearch::describe(const EncoderVersion& v) {
    QString s = QStringLiteral("LAME Engine %1.%2-%3.%4")
                    .arg(v.engineMajor)
                    .arg(v.engineMinor)
                    .arg(v.beta)
                    .arg(v.alpha);
    if (v.mmx) s += QStringLiteral(" [MMX]");
    return s;
}

QString EncoderSearch::fileVersionText(const EncoderVersion& v) {
    return QStringLiteral("%1.%2 (%3-%4-%5)")
        .arg(v.libMajor)
        .arg(v.libMinor)
        .arg(v.day, 2, 10, QLatin1Char('0'))
        .arg(englishMonthAbbrev(v.month))
        .arg(v.year);
}

bool EncoderSearch::examine(const QString& path, EncoderCandidate* out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    if (f.read(4) != QByteArray("\x7f"
                                "ELF",
                                4))
        return false;
    f.close();
    LameBinding lame;
    if (lame.load(path) != LameBinding::Ok) return false;
    EncoderVersion v;
    if (lame.version(&v) != LameBinding::Ok) return false;
    if (out) {
        out->path = path;
        out->version = v;
        out->description = describe(v);
        out->fileVersion = fileVersionText(v);
    }
    return true;
}

void EncoderSearch::start(const QStringList& roots) {
    cancel();
    m_workers.removeIf([](const Worker& w) { return w.thread.isNull(); });
    auto run = std::make_shared<Run>();
    run->owner = this;
    run->threaded = true;
    m_run = run;
    tasks::Id job = 0;
    if (m_tasks)
        job = m_tasks->start(tasks::Kind::Search, QStringLiteral("Encoder suchen"), true,
                             [this, run] {
                                 if (m_run == run) cancel();
                             });
    QThread* thread = QThread::create([run, roots, job] {
        scanRoots(*run, roots);
        const bool cancelled = !run->scanning.exchange(false);
        run->withOwner([&](EncoderSearch* owner) {
            QMetaObject::invokeMethod(
                owner,
                [owner, run, cancelled, job] {
                    owner->endJob(job);
                    if (owner->m_run == run) emit owner->finished(cancelled);
                },
                Qt::QueuedConnection);
        });
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_workers.append({thread, run, job});
    thread->start();
}

void EncoderSearch::endJob(tasks::Id job) {
    if (job && m_tasks) m_tasks->finish(job, true);
}

void EncoderSearch::cancel() {
    if (!m_run) return;
    m_run->cancelled = true;
    m_run->scanning = false;
}

bool EncoderSearch::isScanning() const {
    return m_run && m_run->scanning.load();
}

void EncoderSearch::wait() {
    for (const Worker& w : std::as_const(m_workers))
        if (w.thread) w.thread->wait();
    // Their last reports are queued; let them arrive.
    QCoreApplication::sendPostedEvents(this);
}

QList<EncoderCandidate> EncoderSearch::scan(const QStringList& roots) {
    cancel();
    auto run = std::make_shared<Run>();
    run->owner = this;
    m_run = run;
    QList<EncoderCandidate> out = scanRoots(*run, roots);
    run->scanning = false;
    return out;
}

QList<EncoderCandidate> EncoderSearch::scanRoots(Run& run, const QStringList& roots) {
    QSet<QString> seenDirs, seenFiles;
    QList<EncoderCandidate> out;
    for (const QString& root : roots) {
        if (!run.scanning) break;
        scanFolder(run, root, seenDirs, seenFiles, out);
    }
    return out;
}

void EncoderSearch::scanFolder(Run& run, const QString& dir, QSet<QString>& seenDirs,
                               QSet<QString>& seenFiles, QList<EncoderCandidate>& out) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() || seenDirs.contains(canonical)) return;
    seenDirs.insert(canonical);
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (run.scanning && it.hasNext()) {
        const QString path = it.next();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - run.lastFolderSignal >= 50) {
            run.lastFolderSignal = now;
            run.withOwner([&](EncoderSearch* owner) {
                if (run.scanning) emit owner->folderEntered(dir);
            });
        }
        const QFileInfo fi = it.fileInfo();
        if (fi.isDir()) {
            if (!fi.isSymLink()) scanFolder(run, path, seenDirs, seenFiles, out);
            continue;
        }
        if (!isCandidateName(fi.fileName()) || !fi.isFile()) continue;
        const QString file = fi.canonicalFilePath();
        if (seenFiles.contains(file))
            continue; // one row per library, however many names lead to it
        EncoderCandidate c;
        if (!examine(path, &c)) continue;
        seenFiles.insert(file);
        out << c;
        run.withOwner([&](EncoderSearch* owner) {
            if (!run.threaded) {
                emit owner->found(c);
                return;
            }
            // Reported only while this scan is the current one.
            QMetaObject::invokeMethod(
                owner,
                [owner, c, self = run.shared_from_this()] {
                    if (owner->m_run == self && !self->cancelled) emit owner->found(c);
                },
                Qt::QueuedConnection);
        });
    }
}
