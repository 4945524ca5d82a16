#include "udisks_media.h"

#include "media_log.h"
#include "medium_wait.h"

#include <QDir>
#include <QLocale>
#include <QPointer>

namespace udisksmedia {

MediumType mediumTypeFor(UDisksDrive::Kind kind) {
    switch (kind) {
    case UDisksDrive::Optical:
        return {4, QStringLiteral("CDR")};
    case UDisksDrive::Stick:
        return {2, QStringLiteral("USB")};
    case UDisksDrive::Fixed:
        break;
    }
    return {5, QStringLiteral("HDD")};
}

int typeIndexForCode(const QString& code) {
    static const char* const codes[] = {"DSK", "USB", "RAM", "CDR", "HDD", "LAN", "WWW"};
    for (int i = 0; i < 7; ++i)
        if (code.compare(QLatin1StringView(codes[i]), Qt::CaseInsensitive) == 0) return i + 1;
    return -1;
}

QString volumeText(const UDisksVolume& volume, UDisksDrive::Kind kind) {
    const QString label =
        volume.label.isEmpty() ? QStringLiteral("(ohne Bezeichnung)") : volume.label;
    return QStringLiteral("%1 – %2 – %3")
        .arg(label, QLocale().formattedDataSize(volume.size, 1, QLocale::DataSizeSIFormat),
             UDisksVolume::kindText(kind, volume.size));
}

QStringList wizardArguments(const QString& folder, const QString& label, const QString& code) {
    QStringList args{QStringLiteral("--folder"), folder};
    if (!label.isEmpty()) args << QStringLiteral("--label") << label;
    if (!code.isEmpty()) args << QStringLiteral("--type") << code;
    return args;
}

} // namespace udisksmedia

// ---- VolumeMounter ----

VolumeMounter::VolumeMounter(UDisksClient* client, MediumWait* wait, ProbeFn probe, InUseFn inUse,
                             QObject* parent)
    : QObject(parent), client_(client), wait_(wait), probe_(std::move(probe)),
      inUse_(std::move(inUse)) {
    keeper_.setInterval(10000);
    connect(&keeper_, &QTimer::timeout, this, &VolumeMounter::checkMounts);
    connect(wait_, &MediumWait::firstRoundMissed, this, &VolumeMounter::onFirstRoundMissed);
    connect(wait_, &MediumWait::found, this, &VolumeMounter::onWaitEnded);
    connect(wait_, &MediumWait::cancelled, this, &VolumeMounter::onWaitEnded);
    connect(client_, &UDisksClient::volumeAdded, this, &VolumeMounter::onVolumeAdded);
    connect(client_, &UDisksClient::mounted, this, &VolumeMounter::onMounted);
    connect(client_, &UDisksClient::mountFailed, this, &VolumeMounter::onMountFailed);
    connect(client_, &UDisksClient::unmounted, this, [this](const QString& path) {
        idleChecks_.remove(path);
        if (closing_ > 0 && --closing_ == 0) emit allUnmounted();
    });
    connect(client_, &UDisksClient::unmountFailed, this, [this](const QString&) {
        if (closing_ > 0 && --closing_ == 0) emit allUnmounted();
    });
}

VolumeMounter::~VolumeMounter() {
    // The test of a volume uses what the probe function holds, which may go next.
    if (probeTasks_)
        for (const tasks::Id id : std::as_const(probeJobs_))
            probeTasks_->waitForWork(id);
}

void VolumeMounter::onFirstRoundMissed() {
    if (!client_->isAvailable()) return;
    searching_ = true;
    label_ = wait_->label();
    tried_.clear();
    tryNext();
}

void VolumeMounter::onWaitEnded() {
    searching_ = false;
    ++generation_; // a probe still running belongs to the ended wait
    tried_.clear();
    if (!client_->ownMounts().isEmpty()) keeper_.start();
}

void VolumeMounter::onVolumeAdded() {
    if (searching_ && mounting_.isEmpty()) tryNext();
}

void VolumeMounter::tryNext() {
    if (!searching_ || !mounting_.isEmpty()) return;
    for (const UDisksVolume& v : client_->mountCandidates(label_)) {
        if (tried_.contains(v.path)) continue;
        tried_.insert(v.path);
        mounting_ = v.path;
        const QString name = v.label.isEmpty() ? v.device : v.label;
        wait_->notify(QStringLiteral("Datenträger „%1“ wird eingebunden...").arg(name));
        client_->mount(v.path);
        return;
    }
}

void VolumeMounter::onMounted(const QString& path, const QString& mountPoint) {
    if (path != mounting_) return; // mounted by someone else's request
    mounting_.clear();
    if (!searching_) {
        // The wait ended while the mount ran: found here through the media event, the
        // volume stays for its titles; otherwise nobody asked for it any more.
        if (closing_ == 0 && !wait_->isActive() && wait_->foundRoot() == mountPoint)
            keeper_.start();
        else
            client_->unmount(path);
        return;
    }
    wait_->notify(QString());
    // The identification file is read off this thread: a disc may take a while to spin up.
    const quint64 generation = generation_;
    TaskService& tasks = wait_->tasks();
    probeTasks_ = &tasks;
    auto job = std::make_shared<tasks::Id>(0); // known once started, before its outcome
    *job = tasks.run(
        tasks::Kind::Lookup, QStringLiteral("Datenträger prüfen"), false,
        [probe = probe_, mountPoint, label = label_](const TaskControl&) {
            return probe(mountPoint, label);
        },
        this,
        [this, path, mountPoint, generation, job](TaskOutcome<int> outcome) {
            probeJobs_.remove(*job);
            const int type = outcome.ok ? outcome.value : -1;
            if (type >= 0 && generation == generation_ && searching_) {
                wait_->accept(mountPoint, type);
                return;
            }
            // The wait may have found it through the media event meanwhile.
            const bool foundHere = !wait_->isActive() && wait_->foundRoot() == mountPoint;
            if (!foundHere && client_->isOwnMount(path)) client_->unmount(path);
            tryNext();
        });
    probeJobs_.insert(*job);
}

void VolumeMounter::onMountFailed(const QString& path, const QString& reason) {
    if (path != mounting_) return;
    mounting_.clear();
    if (closing_ > 0 && --closing_ == 0) emit allUnmounted(); // nothing to undo
    const UDisksVolume* v = client_->volume(path);
    const QString name = v ? (v->label.isEmpty() ? v->device : v->label) : path;
    if (searching_)
        wait_->notify(QStringLiteral("Der Datenträger „%1“ konnte nicht eingebunden werden: %2")
                          .arg(name, reason));
    tryNext();
}

void VolumeMounter::checkMounts() {
    const QSet<QString> own = client_->ownMounts();
    if (own.isEmpty()) {
        keeper_.stop();
        idleChecks_.clear();
        return;
    }
    for (const QString& path : own) {
        const UDisksVolume* v = client_->volume(path);
        if (!v) continue;
        bool used = false;
        for (const QString& mp : v->mountPoints)
            used = used || inUse_(mp);
        if (used) {
            idleChecks_.insert(path, 0);
            continue;
        }
        if (++idleChecks_[path] >= 2) {
            qCInfo(lcMedia, "unmounting %s: no title of it in use", qUtf8Printable(path));
            idleChecks_.remove(path);
            client_->unmount(path);
        }
    }
}

bool VolumeMounter::unmountAll() {
    searching_ = false;
    keeper_.stop();
    const QSet<QString> own = client_->ownMounts();
    // A mount still under way is undone when it answers.
    closing_ = int(own.size()) + (mounting_.isEmpty() ? 0 : 1);
    for (const QString& path : own)
        client_->unmount(path);
    if (closing_ == 0) emit allUnmounted();
    return closing_ > 0;
}

// ---- NewMediumWatcher ----

NewMediumWatcher::NewMediumWatcher(UDisksClient* client, TaskService& tasks, LabelsFn labels,
                                   QObject* parent)
    : QObject(parent), client_(client), tasks_(&tasks), labels_(std::move(labels)) {
    connect(client_, &UDisksClient::volumesChanged, this, &NewMediumWatcher::scan);
    scan();
}

void NewMediumWatcher::scan() {
    if (!client_->isAvailable()) {
        mounted_.clear();
        primed_ = false;
        return;
    }
    QSet<QString> now;
    QList<UDisksVolume> fresh;
    for (const UDisksVolume& v : client_->removableVolumes()) {
        for (const QString& mp : v.mountPoints) {
            const QString key = v.path + u'|' + mp;
            now.insert(key);
            if (!mounted_.contains(key) && !client_->isOwnMount(v.path)) fresh << v;
        }
    }
    mounted_ = now;
    if (!offered_.isEmpty()) {
        const UDisksVolume* v = client_->volume(offered_);
        if (!v || !v->isMounted()) emit withdrawn(std::exchange(offered_, QString()));
    }
    if (!primed_) { // what is mounted at the start was not just mounted
        primed_ = true;
        return;
    }
    for (const UDisksVolume& v : fresh)
        check(v);
}

void NewMediumWatcher::check(const UDisksVolume& volume) {
    const QString folder = volume.mountPoints.value(0);
    if (!tasks_) return;
    tasks_->run(
        tasks::Kind::Lookup, QStringLiteral("Datenträger prüfen"), false,
        [folder](const TaskControl&) {
            return QDir(folder).entryList({QStringLiteral("*.id")}, QDir::Files | QDir::Hidden);
        },
        this,
        [this, volume, folder](TaskOutcome<QStringList> outcome) {
            const QStringList& idFiles = outcome.value;
            const UDisksVolume* now = client_->volume(volume.path);
            if (!now || !now->mountPoints.contains(folder)) return; // gone meanwhile
            QSet<QString> known;
            for (const QString& label : labels_())
                known.insert(label.toCaseFolded());
            if (!volume.label.isEmpty() && known.contains(volume.label.toCaseFolded())) return;
            for (const QString& file : idFiles)
                if (known.contains(file.chopped(3).toCaseFolded())) return;
            const UDisksDrive* drive = client_->drive(volume.drive);
            Offer offer{volume.path, folder, volume.label,
                        drive ? drive->kind() : UDisksDrive::Fixed};
            offered_ = volume.path;
            emit offered(offer);
        });
}
