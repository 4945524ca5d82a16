#pragma once

#include "media_access.h"
#include "media_prompts.h"

#include <QObject>

#include <memory>

class AppCore;
class EventSounds;
class GuiThreadConnector;
class SettingsStore;
class TForm1;
class TForm2;
class TForm6;

// The main window's side of the core's media access: answers its questions with the
// insert-medium dialog, the password prompt and the window's message boxes, shows
// downloads in the status bar and takes the connections down when the window is asked to
// close.
class MediaIntegration : public QObject, private MediaPrompts {
    Q_OBJECT
public:
    MediaIntegration(TForm1* window, TForm2* insertMedium, TForm6* password, SettingsStore* store);
    ~MediaIntegration() override;

    MediaAccess& access() { return *access_; }
    // The core's connector: the loader's connection requests go to the GUI thread.
    GuiThreadConnector& connector() { return *connector_; }
    // The temporary folder the web folders and fetched titles go to.
    QString tempDir() const { return tempDir_; }

    // The close request: false when the user keeps the program open.
    bool closeRequest();

private:
    // MediaPrompts
    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override;
    void warn(const QString& text) override;
    bool confirm(const QString& text) override;
    QString waitForMedium(const QString& label, MediumWait& wait) override;

    void onDownloadStarted(qint64 maximum);
    void onDownloadProgress(qint64 value, qint64 maximum, const QString& statusText);
    void onTitleFetched();

    TForm1* window_;
    AppCore& core_;
    TForm2* insertMedium_;
    TForm6* password_;
    QString tempDir_;
    std::unique_ptr<EventSounds> sounds_;
    MediaAccess* access_;
    GuiThreadConnector* connector_;
    int progressShift_ = 0; // sizes past the progress bar's int range are scaled down
};
