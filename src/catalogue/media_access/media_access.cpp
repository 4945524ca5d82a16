#include "media_access.h"

#include "media_log.h"
#include "media_roots.h"
#include "medium_label.h"
#include "text_codec.h"
#include "udisks_client.h"
#include "udisks_media.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QUrl>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Tests roots for identification files from any thread; shares through a session of
// its own, one test at a time.
class MediumProber {
public:
    MediumProber(SmbCredentials* credentials, quint16 port, int timeoutMs)
        : credentials_(credentials), port_(port), timeoutMs_(timeoutMs) {}

    int probe(const QString& root, const QString& label) {
        const QString idFile = mediaroots::idFilePath(root, label);
        if (idFile.isEmpty()) return -1;
        QByteArray content;
        if (mediaroots::isSmbPath(root)) {
            QMutexLocker lock(&smbMutex_);
            if (!smb_) smb_ = std::make_unique<SmbSession>(credentials_, port_, timeoutMs_);
            const int error = smb_->statError(idFile);
            if (error != 0) {
                if (error != ENOENT)
                    qCWarning(lcMedia, "probe of %s failed: %s", qUtf8Printable(idFile),
                              std::strerror(error));
                return -1;
            }
            content = smb_->readSmall(idFile);
        } else {
            if (!QFileInfo::exists(idFile)) return -1;
            // Only a regular file is read: a FIFO or device in its place must not block.
            const int fd =
                ::open(QFile::encodeName(idFile).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            struct stat st;
            if (fd < 0) {
                qCWarning(lcMedia, "cannot read %s: %s", qUtf8Printable(idFile),
                          std::strerror(errno));
            } else if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
                QFile file;
                if (file.open(fd, QIODevice::ReadOnly)) content = file.read(64 * 1024);
            }
            if (fd >= 0) ::close(fd);
        }
        return mediaroots::foundTypeFromIdLines(
            textcodec::splitLines(textcodec::decodeIndexText(content)));
    }

private:
    SmbCredentials* credentials_;
    quint16 port_;
    int timeoutMs_;
    QMutex smbMutex_;
    std::unique_ptr<SmbSession> smb_;
};

MediaAccess::MediaAccess(Options options, MediaPrompts* prompts, QObject* parent)
    : QObject(parent), options_(std::move(options)), prompts_(prompts),
      smbCredentials_(std::make_unique<SmbCredentials>()),
      prober_(std::make_unique<MediumProber>(smbCredentials_.get(), options_.smbPort,
                                             options_.smbTimeoutMs)) {
    qRegisterMetaType<FetchJob>();
    MediumProber* prober = prober_.get();
    wait_ = new MediumWait(
        [this] { return roots(); },
        [prober](const QString& root, const QString& label) { return prober->probe(root, label); },
        this);
    connect(wait_, &MediumWait::found, this,
            [this](const QString&, int type) { lastFoundType_ = type; });
    clock_.start();

    fetcher_ = std::make_shared<TitleFetcher>(smbCredentials_.get(), options_.smbPort,
                                              options_.smbTimeoutMs, options_.timeouts);
    ownTasks_ = std::make_unique<TaskService>();
    tasks_ = ownTasks_.get();
    connect(tasks_, &TaskService::progressed, this, &MediaAccess::onFetchProgress);
}

MediaAccess::~MediaAccess() {
    delete mounter_;
    mounter_ = nullptr;
    // The wait's test of a root may still run; it uses the prober.
    delete wait_;
    wait_ = nullptr;
    // A download under way ends at its next progress report; one not begun fails at once.
    fetcher_->stop();
    fetcher_->waitIdle();
    if (tasks_ && downloadJob_) tasks_->finish(downloadJob_, false);
}

QString MediaAccess::shareUser() const {
    if (!options_.shareUser.isEmpty()) return options_.shareUser;
    if (const passwd* pw = getpwuid(getuid())) return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

void MediaAccess::setTaskService(TaskService* tasks) {
    if (tasks_) tasks_->disconnect(this);
    tasks_ = tasks ? tasks : ownTasks_.get();
    connect(tasks_, &TaskService::progressed, this, &MediaAccess::onFetchProgress);
    wait_->setTaskService(tasks);
}

// ---- finding media ----

void MediaAccess::setVolumeClient(UDisksClient* client) {
    if (volumes_) volumes_->disconnect(this);
    delete mounter_;
    mounter_ = nullptr;
    volumes_ = client;
    if (!client) return;
    MediumProber* prober = prober_.get();
    mounter_ = new VolumeMounter(
        client, wait_,
        [prober](const QString& root, const QString& label) { return prober->probe(root, label); },
        &MediaAccess::folderInUse, this);
    connect(client, &UDisksClient::volumesChanged, wait_, &MediumWait::recheck);
}

QStringList MediaAccess::roots() const {
    QStringList all = mediaroots::localRoots();
    if (volumes_)
        for (const QString& mountPoint : volumes_->mountPoints())
            if (!all.contains(mountPoint)) all << mountPoint;
    for (const ConnectionEntry& e : connections_.entries())
        all << e.drive;
    return all;
}

int MediaAccess::probeRoot(const QString& root, const QString& label) {
    return prober_->probe(root, label);
}

QString MediaAccess::locateMedium(const QString& label) {
    QString found;
    int type = 0;
    for (const QString& root : roots()) {
        if (mediaroots::isSmbPath(root)) continue;
        const int t = probeRoot(root, label);
        if (t >= 0) {
            found = root; // a later root replaces an earlier one
            type = t;
        }
    }
    if (!found.isEmpty()) lastFoundType_ = type;
    return found;
}

QString MediaAccess::FindMediumDrive(const QString& label) {
    if (mediumlabel::idFileName(label).isEmpty()) {
        qCWarning(lcMedia, "label %s cannot name an identification file",
                  qUtf8Printable(label.toUtf8().toPercentEncoding(" ")));
        return {};
    }
    // A share answers only over the network: then every root is asked by the wait.
    if (netDrives_.isEmpty()) {
        const QString found = locateMedium(label);
        if (!found.isEmpty()) return found;
    }
    if (wait_->isActive() || !prompts_) return {};
    lastFoundType_ = 0;
    return prompts_->waitForMedium(label, *wait_);
}

QString MediaAccess::titleFilePath(const QString& root, const QString& titleLine) {
    return mediaroots::titleFilePath(root, titleLine);
}

const MediaAccess::WebDrive* MediaAccess::webDriveOf(const QString& path) const {
    for (const WebDrive& d : webDrives_)
        if (path.startsWith(d.drive + u'/')) return &d;
    return nullptr;
}

const MediaAccess::NetDrive* MediaAccess::netDriveOf(const QString& path) const {
    for (const NetDrive& d : netDrives_)
        if (path.startsWith(d.drive + u'/', Qt::CaseInsensitive)) return &d;
    return nullptr;
}

bool MediaAccess::isRemotePath(const QString& path) const {
    return webDriveOf(path) || netDriveOf(path);
}

QString MediaAccess::sourceUrl(const QString& path) const {
    if (const WebDrive* web = webDriveOf(path)) {
        const ConnectionEntry* entry = connections_.byDrive(web->drive);
        if (!entry) return {};
        QString url = entry->resource;
        if (!url.endsWith(u'/')) url += u'/';
        return url + path.mid(web->drive.size() + 1);
    }
    if (netDriveOf(path)) return path;
    return {};
}

QString MediaAccess::TitleFolderPath(const QString& path) const {
    if (webDriveOf(path)) {
        const QString url = sourceUrl(path);
        return url.left(url.lastIndexOf(u'/') + 1);
    }
    return path.left(path.lastIndexOf(u'/') + 1);
}

// ---- fetching titles ----

QString MediaAccess::newLocalFile(const QString& folder, const QString& path) {
    // The extension only when it is a plain one: names from the network stay out.
    QString extension;
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0) {
        const QString ext = name.mid(dot + 1);
        bool plain = !ext.isEmpty() && ext.size() <= 8;
        for (QChar c : ext)
            if (!(c.isLetterOrNumber() && c.unicode() < 128)) plain = false;
        if (plain) extension = u'.' + ext;
    }
    quint32 tick = quint32(QDateTime::currentMSecsSinceEpoch());
    if (tick <= lastTick_) tick = lastTick_ + 1;
    QString file;
    for (;; ++tick) {
        file = folder + u'/' + QStringLiteral("%1").arg(tick, 8, 16, QLatin1Char('0')).toUpper() +
               extension;
        if (!QFileInfo::exists(file)) break;
    }
    lastTick_ = tick;
    return file;
}

MediaAccess::FetchAnswer MediaAccess::FetchTitleFile(const QString& path) {
    FetchAnswer answer;
    const WebDrive* web = webDriveOf(path);
    const NetDrive* net = web ? nullptr : netDriveOf(path);
    if (!web && !net) {
        answer.localFile = path;
        return answer;
    }
    const auto cached = downloads_.constFind(path);
    if (cached != downloads_.constEnd()) {
        if (QFileInfo::exists(*cached)) {
            answer.localFile = *cached;
            return answer;
        }
        downloads_.erase(cached);
    }
    answer.pending = true;
    if (currentPath_ == path || queued_.contains(path)) return answer;

    FetchJob job;
    job.path = path;
    job.source = sourceUrl(path);
    job.localFile = newLocalFile(web ? web->drive : net->cacheFolder, path);
    if (web) {
        if (const ConnectionEntry* entry = connections_.byDrive(web->drive))
            job.login = {entry->user, entry->password};
    }
    job.id = ++lastJobId_;
    queue_.push_back(job);
    queued_.insert(path);
    if (currentPath_.isEmpty()) startNextFetch();
    return answer;
}

void MediaAccess::startNextFetch() {
    if (queue_.empty()) return;
    FetchJob job = std::move(queue_.front());
    queue_.pop_front();
    queued_.remove(job.path);
    currentPath_ = job.path;
    currentUrl_ = job.source;
    currentLocal_ = job.localFile;
    currentId_ = job.id;
    expectedSize_ = 12345678;
    meter_.start(TransferMeter::Download, expectedSize_, clock_.elapsed());
    downloadJob_ = tasks_->run(
        tasks::Kind::Download, QStringLiteral("Datei herunterladen"), false,
        [fetcher = fetcher_, job](const TaskControl& control) {
            return fetcher->fetch(
                job, [&control](qint64 bytes, qint64 total) { control.progress(bytes, total); });
        },
        this,
        [this, path = job.path](TaskOutcome<TitleFetcher::Result> outcome) {
            onFetchFinished(path, outcome.value.localFile,
                            outcome.ok ? outcome.value.error : outcome.error);
        },
        QStringLiteral("title fetch"));
    // Its size is not known yet.
    startingDownload_ = true;
    tasks_->progress(downloadJob_, 0, 0);
    startingDownload_ = false;
    emit downloadStarted(currentPath_, currentUrl_, expectedSize_);
    emit statusMessage(meter_.statusText());
}

void MediaAccess::onFetchProgress(tasks::Id id, qint64 bytes, qint64 total) {
    if (id != downloadJob_ || startingDownload_ || currentPath_.isEmpty()) return;
    if (total > 0 && total != expectedSize_) {
        expectedSize_ = total;
        meter_.setMaximum(total);
    }
    const bool changed = meter_.update(bytes, clock_.elapsed());
    emit downloadProgress(bytes, meter_.maximum(), changed ? meter_.statusText() : QString());
}

void MediaAccess::onFetchFinished(const QString& path, const QString& localFile,
                                  const QString& error) {
    const QString finishedPath = currentPath_;
    if (path == currentPath_) {
        currentPath_.clear();
        currentUrl_.clear();
        currentLocal_.clear();
        expectedSize_ = 0;
    }
    // A title whose medium went away while it was fetched is not kept.
    const bool stillConnected = isRemotePath(path);
    QString failure = error;
    if (error.isEmpty() && !stillConnected) {
        QFile::remove(localFile);
        failure = QStringLiteral("Verbindung getrennt");
    }
    // Finished here, before the next download starts: a medium gone meanwhile fails it.
    if (tasks_ && downloadJob_ && path == finishedPath)
        tasks_->finish(std::exchange(downloadJob_, 0), failure.isEmpty(), failure);
    if (failure.isEmpty()) {
        downloads_.insert(path, localFile);
        emit statusMessage(QString());
        emit titleFetched(path, localFile, QString());
    } else {
        qCWarning(lcMedia, "fetching %s failed: %s", qUtf8Printable(path), qUtf8Printable(failure));
        emit statusMessage(QStringLiteral("Herunterladen fehlgeschlagen: ") + failure);
        emit titleFetched(path, QString(), failure);
    }
    startNextFetch();
}

// ---- connecting ----

QString MediaAccess::connectWarning(const QString& error, const QString& resource,
                                    const QString& label) {
    return QStringLiteral("Fehler beim Verbinden: ") + error + QStringLiteral("\n\r\n\r") +
           QStringLiteral("Es konnte keine Verbindung mit \"") + resource +
           QStringLiteral("\" hergestellt werden.") + QStringLiteral("\n\r") + u'"' + label +
           QStringLiteral("\" wird nicht verfügbar sein.");
}

MediaAccess::ShareCheck MediaAccess::checkShare(const QString& medium, const QString& share,
                                                MediaPrompts* prompts) const {
    ShareCheck check;
    const QString url = mediaroots::isSmbPath(share) ? share : smbshare::urlFromUnc(share);
    const QString rest = url.mid(6);
    const QString server = rest.section(u'/', 0, 0);
    const QString shareName = rest.section(u'/', 1, 1);
    check.root = QStringLiteral("smb://") + server + u'/' + shareName;
    if (server.isEmpty() || shareName.isEmpty()) {
        check.code = 1200;
        qCWarning(lcMedia, "share %s of %s is no share", qUtf8Printable(share),
                  qUtf8Printable(medium));
        return check;
    }
    SmbSession session(smbCredentials_.get(), options_.smbPort, options_.smbTimeoutMs);
    QString user = shareUser();
    QString password;
    for (;;) {
        smbCredentials_->set(server, shareName, user, password);
        const int rc = session.openShare(url);
        if (rc == 0) {
            check.code = 0;
            break;
        }
        check.code = smbshare::errorCodeFromErrno(rc);
        qCWarning(lcMedia, "connecting %s failed: %s", qUtf8Printable(url), std::strerror(rc));
        // The library turns down a login with an empty password before the server sees
        // it, as an invalid argument.
        if (rc == EINVAL && password.isEmpty()) check.code = 86;
        if (check.code != 86) break;
        password.clear();
        if (!prompts || !prompts->askPassword(medium, false, user, password)) break;
    }
    return check;
}

void MediaAccess::completeShare(const QString& medium, const QString& share,
                                const ShareCheck& check) {
    if (connections_.contains(share)) return;
    if (check.code != 0) {
        if (prompts_)
            prompts_->warn(
                connectWarning(smbshare::errorName(check.code, check.root), share, medium));
        return;
    }
    const QString cacheFolder =
        options_.tempDir + QStringLiteral("/VORLUNELAN-%1").arg(nextFolderNumber_++);
    QDir().mkpath(cacheFolder);
    connections_.add({check.root, ConnectionEntry::ShareIcon, share, medium, QString(), QString()});
    netDrives_.append({check.root, medium, cacheFolder});
}

void MediaAccess::ConnectShare(const QString& medium, const QString& share) {
    if (connections_.contains(share)) return;
    completeShare(medium, share, checkShare(medium, share, prompts_));
}

MediaAccess::WebCheck MediaAccess::checkWebMedium(const QString& medium, const QString& url,
                                                  MediaPrompts* prompts,
                                                  const std::atomic<bool>* abort) const {
    WebCheck check;
    // The label names the web folder's identification file: no request for one that
    // cannot.
    if (!mediumlabel::isFileNameSafe(medium)) {
        check.error = QStringLiteral("Ungültige Medien-Bezeichnung");
        qCWarning(lcMedia, "web medium %s: label %s cannot name a file", qUtf8Printable(url),
                  qUtf8Printable(medium.toUtf8().toPercentEncoding(" ")));
        return check;
    }
    webclient::Credentials http;
    webclient::Credentials ftp{QStringLiteral("anonymous"), options_.anonymousFtpPassword};
    const bool isFtp = webclient::isFtpUrl(url);
    QString& error = check.error;
    for (;;) {
        error.clear();
        if (abort && abort->load()) {
            error = QStringLiteral("abgebrochen");
            break;
        }
        if (isFtp) {
            const webclient::ProbeResult r =
                webclient::probeFtp(url, ftp, options_.timeouts, abort);
            error = r.error;
            if (r.refused) {
                QString user, password;
                if (prompts && prompts->askPassword(medium, true, user, password)) {
                    ftp = {user, password};
                    continue;
                }
                break;
            }
        }
        if (!webclient::isHttpUrl(url)) break;
        const webclient::ProbeResult r = webclient::probeHttp(url, http, options_.timeouts, abort);
        error = r.error;
        if (r.code < 201 || !r.refused) break;
        QString user, password;
        if (!prompts || !prompts->askPassword(medium, true, user, password)) break;
        http = {user, password};
    }
    if (!error.isEmpty())
        qCWarning(lcMedia, "checking %s failed: %s", qUtf8Printable(url), qUtf8Printable(error));
    check.login = isFtp ? ftp : http;
    return check;
}

void MediaAccess::completeWebMedium(const QString& medium, const QString& url,
                                    const WebCheck& check) {
    if (connections_.contains(url)) return;
    QString error = check.error;
    QString folder;
    if (error.isEmpty()) {
        folder = options_.tempDir + QStringLiteral("/VORLUNEWWW-%1").arg(nextFolderNumber_++);
        const QString idPath = mediaroots::idFilePath(folder, medium);
        QFile id(idPath);
        if (idPath.isEmpty())
            error = QStringLiteral("Ungültige Medien-Bezeichnung");
        else if (!QDir().mkpath(folder) || !id.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
                 id.write("MEDIATYPE::WWW\r\n") < 0 || !id.flush())
            error = id.errorString();
        if (!error.isEmpty())
            qCWarning(lcMedia, "web folder %s: %s", qUtf8Printable(folder), qUtf8Printable(error));
    }
    if (!error.isEmpty()) {
        error.replace(u'\n', u' ');
        error.replace(u'\r', u' ');
        if (!folder.isEmpty()) QDir(folder).removeRecursively();
        if (prompts_) prompts_->warn(connectWarning(error, url, medium));
        return;
    }
    connections_.add(
        {folder, ConnectionEntry::WebIcon, url, medium, check.login.user, check.login.password});
    webDrives_.append({folder, medium});
}

void MediaAccess::ConnectWebMedium(const QString& medium, const QString& url) {
    if (connections_.contains(url)) return;
    completeWebMedium(medium, url, checkWebMedium(medium, url, prompts_));
}

// ---- closing ----

QSet<QString> MediaAccess::openFiles() {
    QSet<QString> files;
    QDirIterator fds(QStringLiteral("/proc/self/fd"), QDir::Files | QDir::System);
    while (fds.hasNext()) {
        const QString target = QFileInfo(fds.next()).symLinkTarget();
        if (target.startsWith(u'/')) files.insert(target);
    }
    return files;
}

bool MediaAccess::folderInUse(const QString& folder) {
    const QString prefix = QFileInfo(folder).canonicalFilePath() + u'/';
    if (prefix.size() <= 1) return false;
    for (const QString& file : openFiles())
        if (file.startsWith(prefix)) return true;
    return false;
}

void MediaAccess::stopFetcherFor(const QString& folder) {
    const QString prefix = folder + u'/';
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->localFile.startsWith(prefix)) {
            queued_.remove(it->path);
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    if (currentLocal_.startsWith(prefix)) {
        fetcher_->cancel(currentId_);
        fetcher_->waitIdle();
    }
}

bool MediaAccess::DisconnectAll(bool mayClose) {
    if (!connections_.isEmpty()) {
        emit statusMessage(QStringLiteral("Netzlaufwerke werden getrennt..."));
        emit stopPlayerRequested();
        // A file that something still reads stays until its folder is decided on.
        const QSet<QString> open = openFiles();
        for (auto it = downloads_.begin(); it != downloads_.end();) {
            if (open.contains(QFileInfo(*it).canonicalFilePath())) {
                ++it;
            } else {
                QFile::remove(*it);
                it = downloads_.erase(it);
            }
        }
    }

    auto takeDown = [&](const QString& folder, const QString& name) {
        if (folderInUse(folder)) {
            const QString question =
                QStringLiteral("Auf \"") + name + QStringLiteral("\" wird noch zugegriffen!\n\r") +
                QStringLiteral("Das Programm trotz möglichen Datenverlustes schließen?");
            if (!mayClose || !prompts_ || !prompts_->confirm(question)) {
                mayClose = false;
                return false; // kept: it stays usable while the program stays open
            }
        }
        stopFetcherFor(folder);
        QDir(folder).removeRecursively();
        const QString prefix = folder + u'/';
        downloads_.removeIf([&](const QHash<QString, QString>::iterator it) {
            return it.value().startsWith(prefix);
        });
        return true;
    };

    for (auto it = webDrives_.begin(); it != webDrives_.end();) {
        if (takeDown(it->drive, it->label)) {
            connections_.removeDrive(it->drive);
            it = webDrives_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = netDrives_.begin(); it != netDrives_.end();) {
        if (takeDown(it->cacheFolder, it->name)) {
            connections_.removeDrive(it->drive);
            it = netDrives_.erase(it);
        } else {
            ++it;
        }
    }
    return mayClose;
}
