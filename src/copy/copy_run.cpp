#include "copy_run.h"

#include "copy_profiles.h"
#include "file_copy.h"
#include "media_access.h"
#include "media_device.h"
#include "smb_client.h"
#include "web_client.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <memory>
#include <unistd.h>

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
    if (media_) {
        shares_.credentials = media_->smbCredentials();
        shares_.port = media_->smbPort();
        shares_.timeoutMs = media_->smbTimeoutMs();
        shares_.user = media_->shareUser();
    } else {
        ownCredentials_ = std::make_unique<SmbCredentials>();
        shares_.credentials = ownCredentials_.get();
        shares_.user = qEnvironmentVariable("USER");
    }
    worker_ = new CopyWorker(&abort_, shares_);
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

template <typename Fn> void CopyRun::onWorker(Fn&& fn) {
    if (worker_) QMetaObject::invokeMethod(worker_, std::forward<Fn>(fn), Qt::QueuedConnection);
}

CopyRun::FreeSpaceFn CopyRun::spaceQuery() {
    if (freeSpace_) return freeSpace_;
    return [this](const QString& folder) -> qint64 {
        const QString url = copyshare::url(folder);
        if (url.isEmpty()) return filecopy::freeSpace(folder);
        if (!measuringFree_.exchange(true)) {
            CopyWorker* worker = worker_;
            onWorker([this, worker, url] {
                shareFree_ = worker->shareFreeSpace(url);
                measuringFree_ = false;
            });
        }
        return shareFree_;
    };
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
    workerBusy_ = waitingFetch_ = waitingSpace_ = waitingPlaylist_ = savingPlaylist_ = false;
    pendingRemovals_ = 0;
    abort_ = false;
    failure_.clear();
    kept_.clear();
    roots_.clear();
    measuring_.clear();
    destFolder_.clear();
    destName_.clear();
    mediumLabel_ = QStringLiteral("???");
    mediumType_ = -1;
    shareFree_ = -1;
    playlistLoaded_ = true;
    const QString list = setup_.playlistFile;
    if (!copyshare::url(list).isEmpty()) {
        playlist_.loadData({});
        waitingPlaylist_ = true;
        loadSharePlaylist();
    } else {
        playlist_.load(list);
        // A playlist that is there but cannot be read is not replaced by the new titles.
        if (!list.isEmpty() && QFileInfo::exists(list) && !QFileInfo(list).isReadable())
            playlistLoaded_ = false;
    }
    emit changed();
    QMetaObject::invokeMethod(this, &CopyRun::next, Qt::QueuedConnection);
    return true;
}

void CopyRun::loadSharePlaylist() {
    const QString url = copyshare::url(setup_.playlistFile);
    CopyWorker* worker = worker_;
    onWorker([this, worker, url] {
        QByteArray data;
        const int error = worker->readShareFile(url, &data);
        QMetaObject::invokeMethod(
            this,
            [this, url, error, data] {
                if (!waitingPlaylist_) return;
                if (error == EACCES && !cancelled_) {
                    if (askShareLogin(copyshare::root(url))) {
                        loadSharePlaylist();
                        return;
                    }
                    // No login for the playlist's share: the run ends, the playlist stays.
                    waitingPlaylist_ = false;
                    playlistLoaded_ = false;
                    failure_ =
                        QStringLiteral("Keine Anmeldung an \"%1\".").arg(copyshare::uncRoot(url));
                    cancel();
                    return;
                }
                waitingPlaylist_ = false;
                if (error == 0 || error == ENOENT) {
                    playlist_.loadData(data);
                } else {
                    playlistLoaded_ = false;
                    emit statusText(
                        QStringLiteral("Die Playlist \"%1\" kann nicht gelesen werden: %2")
                            .arg(setup_.playlistFile, filecopy::errorText(error)));
                }
                if (cancelled_)
                    finishIfIdle();
                else
                    next();
            },
            Qt::QueuedConnection);
    });
}

void CopyRun::next() {
    if (!running_ || cancelled_ || workerBusy_ || waitingFetch_ || waitingSpace_ ||
        waitingPlaylist_)
        return;
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
    destUrl_ = copyshare::url(destination_);
    if (destUrl_.isEmpty()) {
        const QFileInfo dest(destination_);
        destFolder_ = dest.path();
        destName_ = dest.completeBaseName();
    } else {
        const qsizetype slash = destination_.lastIndexOf(u'\\');
        destFolder_ = destination_.left(slash);
        destName_ = QFileInfo(destination_.mid(slash + 1)).completeBaseName();
    }
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
    const bool remote = media_ && media_->isRemotePath(source_);
    CopyJob job;
    job.id = jobId_ = nextId_++;
    job.localSource = localSource_;
    job.destination = destUrl_.isEmpty() ? destination_ : destUrl_;
    job.spaceFolder = destFolder_;
    if (remote) job.sourceUrl = copyshare::url(media_->sourceUrl(source_));
    job.removeSource = setup_.mode == Move && localSource_ == source_ && !remote;
    job.checkSpace = checkSpace;
    workerBusy_ = true;
    emit copying(destination_);
    const FreeSpaceFn freeSpace = freeSpace_;
    CopyWorker* worker = worker_;
    onWorker([this, worker, job, freeSpace] {
        const CopyOutcome o = worker->copy(job, freeSpace);
        QMetaObject::invokeMethod(
            this, [this, o] { onOutcome(o); }, Qt::QueuedConnection);
    });
}

bool CopyRun::askShareLogin(const QString& shareRoot) {
    MediaPrompts* prompts = media_ ? media_->prompts() : nullptr;
    const QString unc = copyshare::uncRoot(shareRoot);
    QString user = shares_.user;
    QString password;
    if (!prompts || !prompts->askPassword(unc, false, user, password)) {
        if (prompts)
            prompts->warn(MediaAccess::connectWarning(smbshare::errorName(86, unc), unc, unc));
        return false;
    }
    const QString rest = shareRoot.mid(6);
    shares_.credentials->set(rest.section(u'/', 0, 0), rest.section(u'/', 1, 1), user, password);
    return true;
}

void CopyRun::onOutcome(const CopyOutcome& o) {
    if (o.id != jobId_) return;
    workerBusy_ = false;
    const pathtemplate::TitleParts parts = pathtemplate::splitTitleLine(head_);
    switch (o.kind) {
    case CopyOutcome::Aborted:
        break;
    case CopyOutcome::LoginNeeded:
        if (cancelled_) break;
        if (askShareLogin(o.share)) {
            if (!cancelled_) {
                submit(true);
                return;
            }
            break;
        }
        failure_ = QStringLiteral("Keine Anmeldung an \"%1\".").arg(copyshare::uncRoot(o.share));
        cancel();
        return;
    case CopyOutcome::SameFile:
        failure_.clear();
        if (!cancelled_) {
            emit statusText(QStringLiteral("Titel \"%1\" übersprungen: Quelle und Ziel sind "
                                           "dieselbe Datei.")
                                .arg(parts.displayName));
            removeHead();
        }
        break;
    case CopyOutcome::NoSpace:
        if (!cancelled_) {
            if (!destUrl_.isEmpty()) shareFree_ = o.free;
            waitingSpace_ = true;
            emit spaceNeeded(localSource_, destFolder_, o.needed);
            return;
        }
        break;
    case CopyOutcome::Failed:
        if (!cancelled_) {
            failHead(o.error);
            return;
        }
        break;
    case CopyOutcome::Copied: {
        failure_.clear();
        if (!o.removeError.isEmpty()) keepSource(parts.displayName, parts.label, o.removeError);
        // A moved title from a web or share medium: its original goes where the medium
        // lets it.
        std::optional<Removal> afterMeasuring;
        if (setup_.mode == Move && media_ && media_->isRemotePath(source_)) {
            Removal r;
            r.path = media_->sourceUrl(source_);
            r.title = parts.displayName;
            r.label = parts.label;
            if (!copyshare::url(r.path).isEmpty()) {
                r.kind = Removal::Share;
                r.path = copyshare::url(r.path);
                removeSource(r);
            } else if (webclient::isFtpUrl(r.path)) {
                r.kind = Removal::Ftp;
                for (const ConnectionEntry& e : media_->connections().entries())
                    if (source_.startsWith(e.drive + u'/')) {
                        r.user = e.user;
                        r.password = e.password;
                    }
                removeSource(r);
            } else {
                keepSource(parts.displayName, parts.label,
                           QStringLiteral("auf einer Website kann nichts gelöscht werden"));
            }
        } else if (o.removeLater) {
            Removal r;
            r.path = localSource_;
            r.device = o.sourceDevice;
            r.inode = o.sourceInode;
            r.title = parts.displayName;
            r.label = parts.label;
            afterMeasuring = r;
        }
        if (cancelled_) {
            // The file stays; the playlist keeps the titles before it.
            if (afterMeasuring) removeSource(*afterMeasuring);
            break;
        }
        const quint64 id = nextId_++;
        // A copy on a share is measured from its local source, which has the same bytes.
        const QString measured = destUrl_.isEmpty() ? destination_ : localSource_;
        measuring_.push_back(
            {id, parts.displayName, destUrl_.isEmpty() ? destination_ : destUrl_, afterMeasuring});
        const QString extension = parts.extension;
        LengthMeter* meter = meter_;
        QMetaObject::invokeMethod(meter_, [this, meter, id, measured, extension] {
            const qint64 seconds = meter->measure(measured, extension);
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

void CopyRun::removeSource(const Removal& r) {
    ++pendingRemovals_;
    CopyWorker* worker = worker_;
    onWorker([this, worker, r] {
        QString reason;
        if (r.kind == Removal::Ftp) {
            reason = webclient::removeFtpFile(r.path, {r.user, r.password});
        } else {
            const int error = r.kind == Removal::Local
                                  ? worker->removeLocalFile(r.path, r.device, r.inode)
                                  : worker->removeShareFile(r.path);
            if (error == ESTALE)
                reason = QStringLiteral("die Datei wurde inzwischen ersetzt");
            else if (error != 0)
                reason = filecopy::errorText(error);
        }
        QMetaObject::invokeMethod(
            this,
            [this, r, reason] {
                --pendingRemovals_;
                if (!reason.isEmpty()) keepSource(r.title, r.label, reason);
                finishIfIdle();
            },
            Qt::QueuedConnection);
    });
}

void CopyRun::keepSource(const QString& title, const QString& label, const QString& reason) {
    const QString text = QStringLiteral("Der Titel \"%1\" wurde kopiert, bleibt aber auf dem "
                                        "Medium \"%2\": %3")
                             .arg(title, label, reason);
    kept_.append(text);
    emit statusText(text);
}

void CopyRun::onMeasured(quint64 id, qint64 seconds) {
    while (!measuring_.empty() && measuring_.front().id <= id) {
        const Pending p = measuring_.front();
        measuring_.pop_front();
        if (p.id != id) continue;
        playlist_.addEntry(seconds, p.displayName, p.destination);
        if (p.removeAfter) removeSource(*p.removeAfter);
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
    if (!running_ || !ended_ || workerBusy_ || !measuring_.empty() || pendingRemovals_ > 0 ||
        waitingPlaylist_ || savingPlaylist_)
        return;
    const QString list = setup_.playlistFile;
    if (list.isEmpty() || !playlistLoaded_) {
        finalize(QString());
        return;
    }
    const QString url = copyshare::url(list);
    if (url.isEmpty()) {
        QString error;
        finalize(playlist_.save(list, &error) ? QString() : error);
        return;
    }
    // On a share: written by the worker, the run ends with its answer.
    savingPlaylist_ = true;
    CopyWorker* worker = worker_;
    const QByteArray data = playlist_.data();
    onWorker([this, worker, url, data] {
        const int error = worker->writeShareFile(url, data);
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                savingPlaylist_ = false;
                finalize(error ? filecopy::errorText(error) : QString());
            },
            Qt::QueuedConnection);
    });
}

void CopyRun::finalize(const QString& saveError) {
    if (!running_) return;
    running_ = false;
    if (!saveError.isEmpty())
        emit statusText(QStringLiteral("Die Playlist \"%1\" konnte nicht gespeichert werden: %2")
                            .arg(setup_.playlistFile, saveError));
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
    worker_ = nullptr; // deleted with its thread
    meter_ = nullptr;
    // Results still queued for this object are dropped with it; the playlist is written
    // (a source not yet deleted stays on its medium).
    if (!running_) return;
    workerBusy_ = false;
    measuring_.clear();
    pendingRemovals_ = 0;
    if (waitingPlaylist_) playlistLoaded_ = false; // never read: left as it is
    waitingPlaylist_ = savingPlaylist_ = false;
    const QString url = copyshare::url(setup_.playlistFile);
    if (url.isEmpty() || !playlistLoaded_) {
        finishIfIdle();
        return;
    }
    // A write the worker may not have reached: done here, bounded by the time-out.
    CopyWorker closing(&abort_, shares_);
    const int error = closing.writeShareFile(url, playlist_.data());
    finalize(error ? filecopy::errorText(error) : QString());
}
