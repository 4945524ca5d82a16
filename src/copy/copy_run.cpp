#include "copy_run.h"

#include "copy_profiles.h"
#include "file_copy.h"
#include "log_categories.h"
#include "media_access.h"
#include "media_device.h"
#include "medium_label.h"
#include "smb_client.h"
#include "web_client.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <memory>
#include <unistd.h>

// Used on the meter lane: opens copied titles to measure their lengths.
class LengthMeter {
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

// What the steps on the lanes share with the run. A step left behind keeps it alive.
struct CopyRun::Link {
    std::atomic<quint64> activity{0}; // counts up while data move
    std::atomic<qint64> shareFree{-1};
    std::atomic<bool> measuringFree{false};
    std::unique_ptr<SmbCredentials> ownCredentials; // without media access
};

namespace {

const QString copyLane = QStringLiteral("copy");
const QString meterLane = QStringLiteral("copy length meter");

} // namespace

CopyRun::CopyRun(MediaAccess* media, QObject* parent)
    : QObject(parent), ownTasks_(std::make_unique<TaskService>()), tasks_(ownTasks_.get()),
      media_(media), link_(std::make_shared<Link>()) {
    if (media_) {
        shares_.credentials = media_->smbCredentials();
        shares_.port = media_->smbPort();
        shares_.timeoutMs = media_->smbTimeoutMs();
        shares_.user = media_->shareUser();
    } else {
        link_->ownCredentials = std::make_unique<SmbCredentials>();
        shares_.credentials = link_->ownCredentials.get();
        shares_.user = qEnvironmentVariable("USER");
    }
    makeWorkers();
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &CopyRun::next);
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, &CopyRun::checkStall);
    if (media_) connect(media_, &MediaAccess::titleFetched, this, &CopyRun::onFetched);
}

CopyRun::~CopyRun() {
    shutdown();
    endJob(false, QString());
}

void CopyRun::makeWorkers() {
    // A fresh abort flag per worker: one left behind stops its copy when it wakes up.
    auto abort = std::make_shared<std::atomic<bool>>(false);
    worker_ = std::make_shared<CopyWorker>(abort.get(), shares_, &link_->activity);
    workerAbort_ = abort;
    if (!meter_) meter_ = std::make_shared<LengthMeter>();
}

void CopyRun::setFreeSpaceFunction(FreeSpaceFn fn) {
    freeSpace_ = std::move(fn);
}

// A worker left behind may answer long after, or never: its answers carry an older
// generation and are dropped.
template <typename Work, typename Done> bool CopyRun::onWorker(Work&& work, Done&& done) {
    if (!worker_) return false;
    // The step holds what the worker uses: its abort flag and the shared link.
    auto step = [keep = workerAbort_, link = link_, worker = worker_,
                 work = std::forward<Work>(work)](const TaskControl&) mutable {
        return work(*worker);
    };
    auto answer = [this, generation = workerGeneration_,
                   done = std::forward<Done>(done)](auto outcome) mutable {
        if (generation == workerGeneration_) done(std::move(outcome.value));
    };
    if (job_) return tasks().runStep(job_, copyLane, std::move(step), this, std::move(answer));
    // Between runs (the free space of a share): a look-up of its own on the same lane.
    tasks().run(tasks::Kind::Lookup, QStringLiteral("Kopieren"), false, std::move(step), this,
                std::move(answer), copyLane);
    return true;
}

CopyRun::FreeSpaceFn CopyRun::spaceQuery() {
    if (freeSpace_) return freeSpace_;
    return [this](const QString& folder) -> qint64 {
        const QString url = copyshare::url(folder);
        if (url.isEmpty()) return filecopy::freeSpace(folder);
        if (!link_->measuringFree.exchange(true) && !onWorker(
                                                        [url, link = link_](CopyWorker& worker) {
                                                            link->shareFree =
                                                                worker.shareFreeSpace(url);
                                                            link->measuringFree = false;
                                                            return 0;
                                                        },
                                                        [](int) {}))
            link_->measuringFree = false;
        return link_->shareFree;
    };
}

QString CopyRun::titleListLine(const QString& titleLine) {
    const pathtemplate::TitleParts p = pathtemplate::splitTitleLine(titleLine);
    return QStringLiteral("Von ") + p.label + QStringLiteral(":  ") + p.displayName;
}

bool CopyRun::start(const QStringList& titles, const Setup& setup) {
    if (running_) return false;
    if (!worker_) makeWorkers(); // after closing was refused
    setup_ = setup;
    QStringList sorted = titles;
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    queue_.assign(sorted.cbegin(), sorted.cend());
    total_ = int(titles.size());
    progress_ = 0;
    running_ = true;
    if (tasks_) {
        job_ = tasks_->start(tasks::Kind::Copy, QStringLiteral("Kopieren"), true,
                             [this] { cancel(); });
        tasks_->progress(job_, 0, total_);
    }
    cancelled_ = completed_ = ended_ = false;
    workerBusy_ = waitingFetch_ = waitingSpace_ = waitingPlaylist_ = savingPlaylist_ = false;
    headFailed_ = skipRequested_ = false;
    pendingRemovals_ = 0;
    failure_.clear();
    kept_.clear();
    notes_.clear();
    copied_ = 0;
    written_.clear();
    roots_.clear();
    measuring_.clear();
    destFolder_.clear();
    destName_.clear();
    mediumLabel_ = QStringLiteral("???");
    mediumType_ = -1;
    link_->shareFree = -1;
    playlistLoaded_ = true;
    const QString list = setup_.playlistFile;
    if (!copyshare::url(list).isEmpty()) {
        playlist_.loadData({});
        waitingPlaylist_ = true;
        loadSharePlaylist();
    } else {
        // A playlist that is there but cannot be read is not replaced by the new titles;
        // one that is no regular file (a FIFO) is not even opened.
        const QFileInfo info(list);
        QString problem;
        if (list.isEmpty() || !info.exists())
            ;
        else if (!info.isFile())
            problem = QStringLiteral("keine gewöhnliche Datei");
        else if (!info.isReadable())
            problem = filecopy::errorText(EACCES);
        if (problem.isEmpty()) {
            playlist_.load(list);
        } else {
            playlist_.loadData({});
            playlistLoaded_ = false;
            note(QStringLiteral("Die Playlist \"%1\" kann nicht gelesen werden: %2")
                     .arg(list, problem));
        }
    }
    emit changed();
    QMetaObject::invokeMethod(this, &CopyRun::next, Qt::QueuedConnection);
    return true;
}

void CopyRun::loadSharePlaylist() {
    const QString url = copyshare::url(setup_.playlistFile);
    struct Read {
        int error = 0;
        QByteArray data;
    };
    onWorker(
        [url](CopyWorker& worker) {
            Read read;
            read.error = worker.readShareFile(url, &read.data);
            return read;
        },
        [this, url](Read read) {
            const int error = read.error;
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
                note(failure_);
                cancel();
                return;
            }
            waitingPlaylist_ = false;
            if (error == 0 || error == ENOENT) {
                playlist_.loadData(read.data);
            } else {
                playlistLoaded_ = false;
                note(QStringLiteral("Die Playlist \"%1\" kann nicht gelesen werden: %2")
                         .arg(setup_.playlistFile, filecopy::errorText(error)));
            }
            if (cancelled_)
                finishIfIdle();
            else
                next();
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
        leaveOut(QStringLiteral("Titel \"%1\" übersprungen: %2").arg(parts.displayName, error));
        return;
    }
    destination_ = distinctDestination(destination_);
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
        // A label that cannot name its identification file is never found: said, and the
        // other titles go on.
        const QString problem = mediumlabel::idFileProblem(parts.label);
        if (!problem.isEmpty()) {
            leaveOut(QStringLiteral("Titel \"%1\" übersprungen: Das Medium \"%2\" kann nicht "
                                    "gesucht werden, %3.")
                         .arg(parts.displayName, parts.label, problem));
            return;
        }
        // Another wait for a medium (the player's) has the insert-medium dialog: this
        // title's turn comes when it is over.
        if (media_ && media_->mediumWait().isActive()) {
            failure_ = QStringLiteral("Das Medium \"%1\" wird gesucht, sobald das Einlegen "
                                      "eines anderen Mediums beendet ist.")
                           .arg(parts.label);
            headFailed_ = true; // the user may leave it out meanwhile
            emit changed();
            retryTimer_.start(retryDelay_);
            return;
        }
        root = media_ ? media_->FindMediumDrive(parts.label) : QString();
        if (!running_ || cancelled_) return;
        if (root.isEmpty()) {
            // The user did not supply the medium.
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
    onWorker(
        [job, freeSpace = freeSpace_](CopyWorker& worker) { return worker.copy(job, freeSpace); },
        [this](const CopyOutcome& o) { onOutcome(o); });
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
        note(failure_);
        cancel();
        return;
    case CopyOutcome::SameFile:
        failure_.clear();
        if (!cancelled_) {
            const QString text = QStringLiteral("Titel \"%1\" übersprungen: Quelle und Ziel "
                                                "sind dieselbe Datei.")
                                     .arg(parts.displayName);
            note(text);
            emit statusText(text);
            removeHead();
        }
        break;
    case CopyOutcome::NoSpace:
        if (!cancelled_) {
            if (!destUrl_.isEmpty()) link_->shareFree = o.free;
            waitingSpace_ = true;
            emit spaceNeeded(localSource_, destFolder_, o.needed);
            return;
        }
        break;
    case CopyOutcome::Failed:
        if (!cancelled_) {
            if (o.permanent) {
                // A name the destination cannot hold, a source that is no file: no retry
                // mends it.
                leaveOut(QStringLiteral("Titel \"%1\" übersprungen: %2")
                             .arg(parts.displayName, o.error));
                return;
            }
            failHead(o.error);
            return;
        }
        break;
    case CopyOutcome::Copied: {
        failure_.clear();
        ++copied_;
        written_.insert(destinationKey(destination_), head_);
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
        tasks().runStep(
            job_, meterLane,
            [meter = meter_, measured, extension = parts.extension](const TaskControl&) {
                return meter->measure(measured, extension);
            },
            this, [this, id](TaskOutcome<qint64> o) { onMeasured(id, o.ok ? o.value : -1); });
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
    const bool started = onWorker(
        [r](CopyWorker& worker) {
            if (r.kind == Removal::Ftp)
                return webclient::removeFtpFile(r.path, {r.user, r.password});
            const int error = r.kind == Removal::Local
                                  ? worker.removeLocalFile(r.path, r.device, r.inode)
                                  : worker.removeShareFile(r.path);
            if (error == ESTALE) return QStringLiteral("die Datei wurde inzwischen ersetzt");
            return error != 0 ? filecopy::errorText(error) : QString();
        },
        // Counted off here, or when the worker is left behind.
        [this, r](const QString& reason) {
            --pendingRemovals_;
            if (!reason.isEmpty()) keepSource(r.title, r.label, reason);
            finishIfIdle();
        });
    if (started) ++pendingRemovals_;
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
        leaveOut(QStringLiteral("Titel \"%1\" übersprungen: Der Speicherplatz reicht nicht aus.")
                     .arg(pathtemplate::splitTitleLine(head_).displayName));
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
    if (tasks_) tasks_->progress(job_, progress_, total_);
    headFailed_ = skipRequested_ = false;
    destName_.clear();
    emit headRemoved();
    emit changed();
}

void CopyRun::failHead(const QString& reason) {
    if (skipRequested_) {
        leaveOut(QStringLiteral("Titel \"%1\" übersprungen: %2")
                     .arg(pathtemplate::splitTitleLine(head_).displayName, reason));
        return;
    }
    headFailed_ = true;
    failure_ = reason;
    qCWarning(lcCopy) << "copy failed:" << reason;
    emit copyFailed(reason);
    emit changed();
    retryTimer_.start(retryDelay_);
}

bool CopyRun::canSkipFailed() const {
    return running_ && !cancelled_ && !queue_.empty() && headFailed_;
}

bool CopyRun::skipFailed() {
    if (!canSkipFailed()) return false;
    if (!retryTimer_.isActive()) {
        // Tried again just now: left out should this try fail as well.
        skipRequested_ = true;
        return true;
    }
    retryTimer_.stop();
    leaveOut(QStringLiteral("Titel \"%1\" übersprungen: %2")
                 .arg(pathtemplate::splitTitleLine(queue_.front()).displayName, failure_));
    return true;
}

void CopyRun::note(const QString& text) {
    qCWarning(lcCopy).noquote() << text;
    notes_.append(text);
}

void CopyRun::leaveOut(const QString& text) {
    failure_ = text;
    note(text);
    emit statusText(text);
    removeHead();
    QMetaObject::invokeMethod(this, &CopyRun::next, Qt::QueuedConnection);
}

QString CopyRun::destinationKey(const QString& destination) const {
    // Without case: a stick's file system holds "A.mp3" and "a.mp3" as one file.
    const QString url = copyshare::url(destination);
    return (url.isEmpty() ? QDir::cleanPath(destination) : url).toLower();
}

QString CopyRun::distinctDestination(const QString& destination) const {
    auto taken = [this](const QString& d) {
        const auto it = written_.constFind(destinationKey(d));
        return it != written_.cend() && *it != head_;
    };
    if (!taken(destination)) return destination;
    // Another title of this run was copied there: "name (2).ext", "name (3).ext", ...
    const qsizetype slash = std::max(destination.lastIndexOf(u'/'), destination.lastIndexOf(u'\\'));
    const QString folder = destination.left(slash + 1);
    const QString name = destination.mid(slash + 1);
    qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) dot = name.size();
    for (int n = 2;; ++n) {
        const QString candidate =
            folder + name.left(dot) + QStringLiteral(" (%1)").arg(n) + name.mid(dot);
        if (!taken(candidate)) return candidate;
    }
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

void CopyRun::checkStall() {
    const bool waitingForWorker =
        workerBusy_ || pendingRemovals_ > 0 || waitingPlaylist_ || savingPlaylist_;
    if (!running_ || !cancelled_ || !waitingForWorker) return;
    const quint64 activity = link_->activity;
    if (activity != stallMark_) {
        // Data still move: a copy under way completes.
        stallMark_ = activity;
        stallTimer_.start(stallLimit_);
        return;
    }
    abandonWorker();
    finishIfIdle();
}

void CopyRun::abandonWorker() {
    if (workerBusy_ && !queue_.empty())
        note(QStringLiteral("Das Kopieren von \"%1\" antwortet nicht und wurde aufgegeben.")
                 .arg(pathtemplate::splitTitleLine(queue_.front()).displayName));
    ++workerGeneration_;
    jobId_ = 0;
    if (workerAbort_) *workerAbort_ = true; // when it wakes up, it stops and leaves nothing
    tasks().abandonLane(copyLane);
    workerBusy_ = false;
    pendingRemovals_ = 0;
    if (waitingPlaylist_) {
        waitingPlaylist_ = false;
        playlistLoaded_ = false;
    }
    const bool wasSaving = savingPlaylist_;
    savingPlaylist_ = false;
    makeWorkers();
    if (wasSaving) finalize(filecopy::errorText(ETIMEDOUT));
}

void CopyRun::finishIfIdle() {
    if (running_ && cancelled_ && !stallTimer_.isActive() &&
        (workerBusy_ || pendingRemovals_ > 0 || waitingPlaylist_ || savingPlaylist_)) {
        // Cancelled while the worker is busy: it is waited for while it moves data.
        stallMark_ = link_->activity;
        stallTimer_.start(stallLimit_);
    }
    if (!running_ || !ended_ || workerBusy_ || !measuring_.empty() || pendingRemovals_ > 0 ||
        waitingPlaylist_ || savingPlaylist_)
        return;
    stallTimer_.stop();
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
    onWorker([url, data = playlist_.data()](
                 CopyWorker& worker) { return worker.writeShareFile(url, data); },
             [this](int error) {
                 savingPlaylist_ = false;
                 finalize(error ? filecopy::errorText(error) : QString());
             });
}

QString CopyRun::finalText() const {
    QString text;
    if (completed_) {
        const int skipped = progress_ - copied_;
        text = skipped <= 0
                   ? QStringLiteral("Kopieren der Titel in Zielordner abgeschlossen. (%1 Titel "
                                    "kopiert)")
                         .arg(total_)
                   : QStringLiteral("Kopieren der Titel in Zielordner abgeschlossen. (%1 Titel "
                                    "kopiert, %2 übersprungen)")
                         .arg(copied_)
                         .arg(skipped);
    } else {
        text = QStringLiteral("Der Kopiervorgang wurde abgebrochen.");
    }
    // The first notes in full, the others counted: a status line has room for a few.
    constexpr int shown = 3;
    for (int i = 0; i < notes_.size() && i < shown; ++i)
        text += u' ' + notes_[i];
    if (notes_.size() > shown)
        text += QStringLiteral(" (und %1 weitere Meldungen)").arg(notes_.size() - shown);
    return text;
}

void CopyRun::finalize(const QString& saveError) {
    if (!running_) return;
    running_ = false;
    stallTimer_.stop();
    // The playlist's error comes first: it concerns every title of the run.
    if (!saveError.isEmpty()) {
        notes_.prepend(QStringLiteral("Die Playlist \"%1\" konnte nicht gespeichert werden: %2")
                           .arg(setup_.playlistFile, saveError));
        qCWarning(lcCopy).noquote() << notes_.first();
    }
    if (completed_) {
        if (!setup_.command.trimmed().isEmpty()) {
            const CommandLine c =
                SplitCommandLine(pathtemplate::ExpandCommand(setup_.command, setup_.context));
            QProcess::startDetached(c.program, c.arguments(), setup_.catalogDir);
        }
        emit finishedSound();
    }
    // The last word of the run: it keeps what went wrong on the way.
    if (completed_ || notes_.size() > 0) emit statusText(finalText());
    endJob(completed_, saveError);
    emit finished(completed_);
}

void CopyRun::endJob(bool ok, const QString& message) {
    if (tasks_ && job_) tasks_->finish(job_, ok, message);
    job_ = 0;
}

void CopyRun::shutdown() {
    if (workerAbort_) *workerAbort_ = true;
    if (running_) cancel();
    stallTimer_.stop();
    // The steps of the run are waited for at most the stall limit; a lane whose step hangs
    // (a source that does not answer) is left to end by itself.
    if (job_ && !tasks().waitForWork(job_, stallLimit_)) {
        tasks().abandonLane(copyLane);
        tasks().abandonLane(meterLane);
    }
    worker_.reset();
    meter_.reset();
    workerAbort_.reset();
    ++workerGeneration_;
    // Results still queued for this object are dropped with it; the playlist is written
    // (a source not yet deleted stays on its medium) with titles not yet measured.
    if (!running_) return;
    workerBusy_ = false;
    for (const Pending& p : measuring_)
        playlist_.addEntry(-1, p.displayName, p.destination);
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
    std::atomic<bool> closingAbort{false};
    CopyWorker closing(&closingAbort, shares_);
    const int error = closing.writeShareFile(url, playlist_.data());
    finalize(error ? filecopy::errorText(error) : QString());
}
