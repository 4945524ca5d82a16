#include "media_integration.h"

#include "app_core.h"
#include "collection_loader.h"
#include "event_sounds.h"
#include "gui_thread_connector.h"
#include "media_dialogs.h"
#include "media_view.h"
#include "medium_label.h"
#include "udisks_client.h"
#include "udisks_media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

// The wizard next to the program, in the build tree, or on the search path.
QString wizardProgram() {
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {dir + QStringLiteral("/reapwell"), dir + QStringLiteral("/../builder/wizard/reapwell")})
        if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("reapwell"));
}

} // namespace

MediaIntegration::MediaIntegration(AppCore& core, MediaView& view, TForm2& insertMedium,
                                   TForm6& password)
    : core_(core), view_(view), insertMedium_(insertMedium), password_(password),
      tempDir_(core_.mediaTempDir()), sounds_(std::make_unique<EventSounds>(core_.store())),
      access_(&core_.media()), connector_(&core_.mediumConnector()) {
    core_.setMediaPrompts(this);
    core_.loader().setConnector(connector_);

    const EventSoundFn play = [this](const QString& event) { sounds_->play(event); };
    insertMedium_.setEventSound(play);
    password_.setEventSound(play);

    connect(access_, &MediaAccess::statusMessage, this,
            [this](const QString& text) { view_.setStatusText(text); });
    // The download's progress is a job of the task service; its meter's text goes here.
    connect(access_, &MediaAccess::downloadProgress, this,
            [this](qint64, qint64, const QString& statusText) {
                if (!statusText.isEmpty()) view_.setStatusText(statusText);
            });
    setUpVolumes();
}

void MediaIntegration::setUpVolumes() {
    volumes_ = new UDisksClient(UDisksClient::systemBus(), this);
    access_->setVolumeClient(volumes_);
    const QString catalogDir = core_.environment().catalogDir;
    startWizard_ = [catalogDir](const QStringList& arguments) {
        const QString program = wizardProgram();
        if (program.isEmpty()) return false;
        return QProcess::startDetached(program, arguments, catalogDir);
    };

    insertMedium_.setEjector(
        [this] {
            QList<TForm2::EjectTarget> targets;
            QStringList drives;
            for (const UDisksVolume& v : volumes_->volumes()) {
                const UDisksDrive* d = volumes_->drive(v.drive);
                if (!d || !d->ejectable || drives.contains(d->path)) continue;
                drives << d->path;
                targets.append({d->path, udisksmedia::volumeText(v, d->kind())});
            }
            return targets;
        },
        [this](const QString& drive) { ejectDrive(drive, QString()); });
    connect(volumes_, &UDisksClient::volumesChanged, &insertMedium_, &TForm2::refreshEject);
    connect(volumes_, &UDisksClient::volumesChanged, this, &MediaIntegration::scanIdFiles);
    connect(volumes_, &UDisksClient::ejected, this, [this](const QString&) {
        view_.setStatusText(QStringLiteral("Der Datenträger wurde ausgeworfen."));
    });
    connect(
        volumes_, &UDisksClient::ejectFailed, this, [this](const QString&, const QString& reason) {
            const QString text =
                QStringLiteral("Der Datenträger konnte nicht ausgeworfen werden: %1").arg(reason);
            if (access_->mediumWait().isActive())
                access_->mediumWait().notify(text);
            else
                warn(text);
        });

    // The new-medium offer in the status bar.
    newMedia_ = new NewMediumWatcher(
        volumes_, core_.tasks(), [this] { return core_.collection().cdnames; }, this);
    offerLabel_ = new QLabel;
    offerLabel_->setObjectName(QStringLiteral("newMediumOffer"));
    offerLabel_->setTextFormat(Qt::RichText);
    offerLabel_->hide();
    view_.addStatusWidget(offerLabel_);
    connect(offerLabel_, &QLabel::linkActivated, this, [this] { acceptNewMediumOffer(); });
    connect(
        newMedia_, &NewMediumWatcher::offered, this, [this](const NewMediumWatcher::Offer& offer) {
            const QString name = offer.label.isEmpty() ? QDir(offer.folder).dirName() : offer.label;
            offerArguments_ = udisksmedia::wizardArguments(
                offer.folder, offer.label, udisksmedia::mediumTypeFor(offer.kind).code);
            offerLabel_->setText(QStringLiteral("<a href=\"new\">%1</a>")
                                     .arg(QStringLiteral("Neuer Datenträger „%1“ – jetzt erfassen?")
                                              .arg(name)
                                              .toHtmlEscaped()));
            offerLabel_->show();
        });
    connect(newMedia_, &NewMediumWatcher::withdrawn, this, [this] {
        offerArguments_.clear();
        offerLabel_->hide();
    });
}

bool MediaIntegration::acceptNewMediumOffer() {
    if (offerArguments_.isEmpty()) return false;
    const QStringList arguments = std::exchange(offerArguments_, {});
    offerLabel_->hide();
    if (startWizard_ && startWizard_(arguments)) return true;
    warn(QStringLiteral("Reapwell konnte nicht gestartet werden."));
    return false;
}

void MediaIntegration::scanIdFiles() {
    TaskService& tasks = core_.tasks();
    if (idScanJob_) {
        // Its answer is out of date: it stops early, and the volumes are read again then.
        idRescan_ = true;
        tasks.cancel(idScanJob_);
        return;
    }
    QStringList folders;
    for (const UDisksVolume& v : volumes_->volumes())
        folders += v.mountPoints;
    // Listing the roots may wait on a disc spinning up: off this thread.
    idScanJob_ = tasks.run(
        tasks::Kind::Lookup, QStringLiteral("Datenträger durchsuchen"), true,
        [folders](const TaskControl& control) {
            QHash<QString, QStringList> out;
            for (const QString& folder : folders) {
                if (control.cancelled()) break;
                out.insert(folder, QDir(folder).entryList({QStringLiteral("*.id")},
                                                          QDir::Files | QDir::Hidden));
            }
            return out;
        },
        this,
        [this](TaskOutcome<QHash<QString, QStringList>> outcome) {
            idScanJob_ = 0;
            if (std::exchange(idRescan_, false)) {
                // Once this job is over: never two at once.
                QMetaObject::invokeMethod(this, &MediaIntegration::scanIdFiles,
                                          Qt::QueuedConnection);
                return;
            }
            idFiles_ = std::move(outcome.value);
        });
}

QString MediaIntegration::ejectableDriveOf(const QString& label) const {
    if (!volumes_ || !volumes_->isAvailable()) return {};
    const QString idFile = mediumlabel::fileName(label, u".id");
    for (const UDisksVolume& v : volumes_->volumes()) {
        const UDisksDrive* d = volumes_->drive(v.drive);
        if (!d || !d->ejectable) continue;
        bool holds = v.label == label;
        for (const QString& mp : v.mountPoints)
            holds = holds || (!idFile.isEmpty() && idFiles_.value(mp).contains(idFile));
        if (holds) return d->path;
    }
    return {};
}

void MediaIntegration::ejectDrive(const QString& drive, const QString& label) {
    if (!label.isEmpty())
        view_.setStatusText(QStringLiteral("Datenträger „%1“ wird ausgeworfen...").arg(label));
    volumes_->eject(drive);
}

void MediaIntegration::showTreeMenu(const QPoint& globalPos) {
    const QString label = view_.selectedMedium();
    if (label.isEmpty()) return;
    const QString drive = ejectableDriveOf(label);
    if (drive.isEmpty()) return;
    if (view_.askEject(globalPos)) ejectDrive(drive, label);
}

MediaIntegration::~MediaIntegration() {
    // Without the window nothing is connected and nobody is asked any more.
    connector_->close();
    access_->setVolumeClient(nullptr);
    core_.loader().setConnector(nullptr);
    core_.setMediaPrompts(nullptr);
    // The offer label sits in the window's status bar unless the window went first.
    delete offerLabel_.data();
}

bool MediaIntegration::closeRequest() {
    if (unmounting_) return false;
    if (!access_->DisconnectAll(true)) return false;
    // Volumes mounted for titles go before the program does; the close is asked again
    // once the last of them answered, or after a while without an answer.
    VolumeMounter* mounter = access_->volumeMounter();
    if (std::exchange(mountsReleased_, false)) {
        // asked again after the unmounts: close whatever they answered
    } else if (mounter && mounter->unmountAll()) {
        unmounting_ = true;
        auto done = [this] {
            if (!unmounting_) return;
            unmounting_ = false;
            mountsReleased_ = true;
            view_.closeWindow();
        };
        connect(mounter, &VolumeMounter::allUnmounted, this, done, Qt::SingleShotConnection);
        QTimer::singleShot(10000, this, done);
        return false;
    }
    // Closing goes ahead: a load still running connects nothing more, and its worker no
    // longer waits for this thread.
    connector_->close();
    return true;
}

// ---- questions ----

bool MediaIntegration::askPassword(const QString& caption, bool withUserName, QString& user,
                                   QString& password) {
    return password_.ask(caption, withUserName, user, password);
}

void MediaIntegration::warn(const QString& text) {
    view_.ask(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool MediaIntegration::confirm(const QString& text) {
    return view_.ask(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString MediaIntegration::waitForMedium(const QString& label, MediumWait& wait) {
    return insertMedium_.waitFor(label, wait);
}
