#pragma once

#include "media_access.h"
#include "media_prompts.h"
#include "task_service.h"

#include <QHash>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class AppCore;
class EventSounds;
class GuiThreadConnector;
class MediaView;
class NewMediumWatcher;
class QPoint;
class UDisksClient;
class TForm2;
class TForm6;

// The window's side of the core's media access: answers its questions with the
// insert-medium dialog, the password prompt and the view's message boxes, shows
// downloads in the status bar and takes the connections down when the window is asked to
// close.
class MediaIntegration : public QObject, private MediaPrompts {
    Q_OBJECT
public:
    MediaIntegration(AppCore& core, MediaView& view, TForm2& insertMedium, TForm6& password);
    ~MediaIntegration() override;

    MediaAccess& access() { return *access_; }
    // The core's connector: the loader's connection requests go to the GUI thread.
    GuiThreadConnector& connector() { return *connector_; }
    // The temporary folder the web folders and fetched titles go to.
    QString tempDir() const { return tempDir_; }

    // The close request: false when the user keeps the program open. Volumes mounted
    // for a title are unmounted first; the close is asked again once they are.
    bool closeRequest();

    UDisksClient* volumes() const { return volumes_; }
    NewMediumWatcher* newMedia() const { return newMedia_; }
    // Starts the wizard with its arguments in the catalogue folder; tests record the call.
    using WizardStarter = std::function<bool(const QStringList& arguments)>;
    void setWizardStarter(WizardStarter start) { startWizard_ = std::move(start); }
    // The offer shown in the status bar ("Neuer Datenträger ...") and starting it.
    QLabel* newMediumOffer() const { return offerLabel_; }
    bool acceptNewMediumOffer();
    // The drive to eject for a medium of the tree, empty when none holds it or it
    // cannot be ejected.
    QString ejectableDriveOf(const QString& label) const;
    void ejectDrive(const QString& drive, const QString& label);

    // The tree's context menu: ejecting the selected medium.
    void showTreeMenu(const QPoint& globalPos);

private:
    // MediaPrompts
    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override;
    void warn(const QString& text) override;
    bool confirm(const QString& text) override;
    QString waitForMedium(const QString& label, MediumWait& wait) override;

    void setUpVolumes();
    void scanIdFiles();

    AppCore& core_;
    MediaView& view_;
    TForm2& insertMedium_;
    TForm6& password_;
    QString tempDir_;
    std::unique_ptr<EventSounds> sounds_;
    MediaAccess* access_;
    GuiThreadConnector* connector_;
    UDisksClient* volumes_ = nullptr;
    NewMediumWatcher* newMedia_ = nullptr;
    QPointer<QLabel> offerLabel_;
    QStringList offerArguments_;
    WizardStarter startWizard_;
    QHash<QString, QStringList> idFiles_; // mount point -> identification files on it
    tasks::Id idScanJob_ = 0; // at most one scan runs (one stuck on a drive holds no more)
    bool idRescan_ = false;   // volumes changed while it ran: scan again when it ends
    bool unmounting_ = false;
    bool mountsReleased_ = false; // the close asked again after the unmounts
};
