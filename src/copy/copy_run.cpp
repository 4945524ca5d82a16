#include "copy_run.h"

#include "copy_profiles.h"
#include "file_copy.h"
#include "media_access.h"
#include "media_device.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <memory>
#include <unistd.h>

struct CopyRun::Job {
    quint64 id = 0;
    QString localSource;
    QString destination;
    bool removeSource = false; // move mode with a source on a local medium
    bool checkSpace = true;
};

struct CopyRun::Outcome {
    enum Kind { Copied, SameFile, NoSpace, Failed, Aborted };
    quint64 id = 0;
    Kind kind = Failed;
    QString error;
    qint64 needed = 0;
    QString removeError; // move mode: the source could not be deleted
};

// Lives on the worker thread: the disk-space query, the file size and the copy.
class CopyWorker : public QObject {
public:
    CopyWorker(const std::atomic<bool>* abort) : abort_(abort) {}

    template <typename Job, typename Outcome, typename FreeFn>
    Outcome work(const Job& job, const FreeFn& freeSpace) {
        Outcome o;
        o.id = job.id;
        const QString folder = QFileInfo(job.destination).path();
        if (!QDir().mkpath(folder)) {
            o.error =
                QStringLiteral("Der Zielordner \"%1\" kann nicht angelegt werden.").arg(folder);
            return o;
        }
        const QFileInfo source(job.localSource);
        if (!source.exists()) {
            o.error = filecopy::errorText(ENOENT);
            return o;
        }
        if (job.checkSpace && !filecopy::sameFile(job.localSource, job.destination)) {
            const qint64 size = source.size();
            const qint64 free = freeSpace ? freeSpace(folder) : filecopy::freeSpace(folder);
            if (free >= 0 && size > free) {
                o.kind = Outcome::NoSpace;
                o.needed = size;
                return o;
            }
        }
        filecopy::Options options;
        options.sync = job.removeSource;
        options.abort = abort_;
        const filecopy::Result r = filecopy::copyFile(job.localSource, job.destination, options);
        switch (r.status) {
        case filecopy::Result::SameFile:
            o.kind = Outcome::SameFile;
            return o;
        case filecopy::Result::Aborted:
            o.kind = Outcome::Aborted;
            return o;
        case filecopy::Result::Failed:
            o.error = r.error;
            return o;
        case filecopy::Result::Copied:
            break;
        }
        o.kind = Outcome::Copied;
        if (job.removeSource) {
            // The copy is complete, of equal size and on the disk: only now the source goes.
            if (QFileInfo(job.destination).size() != r.bytes)
                o.removeError = QStringLiteral("Größe der Kopie weicht ab");
            else if (::unlink(QFile::encodeName(job.localSource).constData()) != 0)
                o.removeError = filecopy::errorText(errno);
        }
        return o;
    }

private:
    const std::atomic<bool>* abort_;
};

// Lives on the meter thread: opens copied titles to measure their lengths.
class LengthMeter : public QObject {
public:
    qint64 measure(const QString& file, const QString& extension) {
        if (!device_) {
            MediaDevice::Options options;
            options.audioOutput = QStringLiteral("null");
            options.videoOutput = QStringLiteral("null");
            device_ = std::make_unique<MediaDevice>(options);
        }
        return titleSeconds(file, extension, *device_);
    }

private:
    std::unique_ptr<MediaDevice> device_;
};

CopyRun::CopyRun(MediaAccess* media, QObject* parent) : QObject(parent), media_(media) {
    worker_ = new CopyWorker(&abort_);
    worker_->moveToThread(&workerThread_);
    connect(&workerThread_, &QThread::finished, worker_, &QObject::deleteLater);
    meter_ = new LengthMeter;
    meter_->moveToThread(&meterThread_);
    connect(&meterThread_, &QThread::finished, meter_, &QObject::deleteLater);
    workerThread_.setObjectName(QStringLiteral("copythread"));
    meterThread_.setObjectName(QStringLiteral("copy length meter"));
    workerThread_.start();
    meterThread_.start();
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &CopyRun::next);
    if (media_) connect(media_, &MediaAccess::titleFetched, this, &CopyRun::onFetched);
}

CopyRun::~CopyRun() {
    shutdown();
}

void CopyRun::setFreeSpaceFunction(FreeSpaceFn fn) {
    freeSpace_ = std::move(fn);
}

QString CopyRun::titleListLine(const QString& titleLine) {
    const pathtemplate::TitleParts p = pathtemplate::splitTitleLine(titleLine);
    return QStringLiteral("Von ") + p.label + QStringLiteral(":  ") + p.displayName;
}

bool CopyRun::start(const QStringList& titles, const Setup& setup) {
    if (running_) return false;
    setup_ = setup;
    QStringList sorted = titles;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    queue_.assign(sorted.cbegin(), sorted.cend());
    total_ = int(titles.size());
    progress_ = 0;
    running_ = true;
    cancelled_ = completed_ = ended_ = false;
    workerBusy_ = waitingFetch_ = waitingSpace_ = false;
    abort_ = false;
    failure_.clear();
    roots_.clear();
    measuring_.clear();
    destFolder_.clear();
    destName_.clear();
    mediumLabel_ = QStringLiteral("???");
    mediumType_ = -1;
    playlist_.load(setup_.playlistFile);
    emit changed();
    QMetaObject::invokeMethod(this, &CopyRun::next, Qt::QueuedConnection);
    return true;
}

void CopyRun::next() {
    if (!running_ || cancelled_ || workerBusy_ || waitingFetch_ || waitingSpace_) return;
    if (queue_.empty()) {
        complete();
        return;
    }
    head_ = queue_.front();
    const int n = int(queue_.size());
    mediumLabel_ = QStringLiteral("???");
    mediumType_ = -1;
    emit statusText(
        QStringLiteral("Titel werden in Zielordner kopiert. (noch %1 Titel zum Kopieren "
                       "verbleibend)")
            .arg(n));

    const pathtemplate::TitleParts parts = pathtemplate::splitTitleLine(head_);
    QString error;
    destination_ =
        pathtemplate::ExpandPathTemplate(setup_.pathTemplate, head_, setup_.context, &error);
    if (destination_.isEmpty()) {
        // No retry can mend the name: the title is left out, and the user told why.
        failure_ = error;
        emit statusText(error);
        removeHead();
        QMetaObject::invokeMethod(this, &CopyRun::next, Qt::QueuedConnection);
        return;
    }
    if (pathtemplate::isSharePath(destination_)) {
        failHead(QStringLiteral("Netzwerkziele (\\\\Server\\Freigabe) werden nicht unterstützt."));
        return;
    }
    const QFileInfo dest(destination_);
    destFolder_ = dest.path();
    destName_ = dest.completeBaseName();
    emit changed();

    // The medium: the root found before in this run when it still holds it, else a lookup
    // that may ask for the medium.
    QString root = roots_.value(parts.label.toLower());
    const int cachedType = root.isEmpty() || !media_ ? -1 : media_->probeRoot(root, parts.label);
    if (cachedType < 0) {
        root = media_ ? media_->FindMediumDrive(parts.label) : QString();
        if (!running_ || cancelled_) return;
        if (root.isEmpty()) {
            cancel();
            return;
        }
        roots_.insert(parts.label.toLower(), root);
        mediumType_ = media_->lastFoundType();
    } else {
        mediumType_ = cachedType;
    }
    mediumLabel_ = parts.label;
    source_ = MediaAccess::titleFilePath(root, head_);
    const MediaAccess::FetchAnswer answer = media_->FetchTitleFile(source_);
    if (answer.pending) {
        waitingFetch_ = true;
        emit changed();
        return;
    }
    localSource_ = answer.localFile.isEmpty() ? source_ : answer.localFile;
    emit changed();
    submit(true);
}

void CopyRun::onFetched(const QString& path, const QString& localFile, const QString& error) {
    if (!waitingFetch_ || path != source_) return;
    waitingFetch_ = false;
    if (cancelled_) {
        finishIfIdle();
        return;
    }
    if (localFile.isEmpty()) {
        failHead(error.isEmpty() ? QStringLiteral("Download fehlgeschlagen") : error);
        return;
    }
    localSource_ = localFile;
    submit(true);
}

void CopyRun::submit(bool checkSpace) {
    Job job;
    job.id = jobId_ = nextId_++;
    job.localSource = localSource_;
    job.destination = destination_;
    job.removeSource = setup_.mode == Move && localSource_ == source_ &&
                       !(media_ && media_->isRemotePath(source_));
    job.checkSpace = checkSpace;
    workerBusy_ = true;
    emit copying(destination_);
    const FreeSpaceFn freeSpace = freeSpace_;
    CopyWorker* worker = worker_;
    QMetaObject::invokeMethod(worker_, [this, worker, job, freeSpace] {
        const Outcome o = worker->work<Job, Outcome>(job, freeSpace);
        QMetaObject::invokeMethod(
            this, [this, o] { onOutcome(o); }, Qt::QueuedConnection);
    });
}

void CopyRun::onOutcome(const Outcome& o) {
    if (o.id != jobId_) return;
    workerBusy_ = false;
    const pathtemplate::TitleParts parts = pathtemplate::splitTitleLine(head_);
    switch (o.kind) {
    case Outcome::Aborted:
        break;
    case Outcome::SameFile:
        failure_.clear();
        if (!cancelled_) {
            emit statusText(QStringLiteral("Titel \"%1\" übersprungen: Quelle und Ziel sind "
                                           "dieselbe Datei.")
                                .arg(parts.displayName));
            removeHead();
        }
        break;
    case Outcome::NoSpace:
        if (!cancelled_) {
            waitingSpace_ = true;
            emit spaceNeeded(localSource_, destFolder_, o.needed);
            return;
        }
        break;
    case Outcome::Failed:
        if (!cancelled_) {
            failHead(o.error);
            return;
        }
        break;
    case Outcome::Copied: {
        failure_.clear();
        if (!o.removeError.isEmpty())
            emit statusText(QStringLiteral("Die Quelldatei \"%1\" konnte nicht gelöscht werden: %2")
                                .arg(localSource_, o.removeError));
        if (cancelled_) break; // the file stays; the playlist keeps the titles before it
        const quint64 id = nextId_++;
        measuring_.push_back({id, parts.displayName, destination_});
        const QString file = destination_;
        const QString extension = parts.extension;
        LengthMeter* meter = meter_;
        QMetaObject::invokeMethod(meter_, [this, meter, id, file, extension] {
            const qint64 seconds = meter->measure(file, extension);
            QMetaObject::invokeMethod(
                this, [this, id, seconds] { onMeasured(id, seconds); }, Qt::QueuedConnection);
        });
        removeHead();
        break;
    }
    }
    if (cancelled_) {
        finishIfIdle();
        return;
    }
    next();
}

void CopyRun::onMeasured(quint64 id, qint64 seconds) {
    while (!measuring_.empty() && measuring_.front().id <= id) {
        const Pending p = measuring_.front();
        measuring_.pop_front();
        if (p.id == id) playlist_.addEntry(seconds, p.displayName, p.destination);
    }
    finishIfIdle();
}

void CopyRun::answerSpace(SpaceAnswer answer) {
    if (!waitingSpace_) return;
    waitingSpace_ = false;
    switch (answer) {
    case Retry:
        if (cancelled_) break;
        submit(false);
        return;
    case Skip:
        if (cancelled_) break;
        removeHead();
        next();
        return;
    case Cancel:
        cancel();
        return;
    }
    finishIfIdle();
}

void CopyRun::removeHead() {
    if (queue_.empty()) return;
    queue_.pop_front();
    ++progress_;
    destName_.clear();
    emit headRemoved();
    emit changed();
}

void CopyRun::failHead(const QString& reason) {
    failure_ = reason;
    emit copyFailed(reason);
    emit changed();
    retryTimer_.start(retryDelay_);
}

void CopyRun::complete() {
    completed_ = true;
    ended_ = true;
    emit ended(true);
    finishIfIdle();
}

void CopyRun::cancel() {
    if (!running_ || cancelled_ || completed_) return;
    cancelled_ = true;
    retryTimer_.stop();
    waitingSpace_ = false;
    waitingFetch_ = false;
    emit statusText(QStringLiteral("Der Kopiervorgang wurde abgebrochen."));
    ended_ = true;
    emit ended(false);
    finishIfIdle();
}

void CopyRun::finishIfIdle() {
    if (!running_ || !ended_ || workerBusy_ || !measuring_.empty()) return;
    running_ = false;
    QString error;
    if (!setup_.playlistFile.isEmpty() && !playlist_.save(setup_.playlistFile, &error))
        emit statusText(QStringLiteral("Die Playlist \"%1\" konnte nicht gespeichert werden: %2")
                            .arg(setup_.playlistFile, error));
    if (completed_) {
        if (!setup_.command.trimmed().isEmpty()) {
            const CommandLine c =
                SplitCommandLine(pathtemplate::ExpandCommand(setup_.command, setup_.context));
            QProcess::startDetached(c.program, c.arguments(), setup_.catalogDir);
        }
        emit finishedSound();
        emit statusText(
            QStringLiteral("Kopieren der Titel in Zielordner abgeschlossen. (%1 Titel kopiert)")
                .arg(total_));
    }
    emit finished(completed_);
}

void CopyRun::shutdown() {
    abort_ = true;
    if (running_) cancel();
    workerThread_.quit();
    meterThread_.quit();
    workerThread_.wait();
    meterThread_.wait();
    // Results still queued for this object are dropped with it; the playlist is written.
    if (running_) {
        workerBusy_ = false;
        measuring_.clear();
        finishIfIdle();
    }
}
