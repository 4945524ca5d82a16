#pragma once

#include "app_settings.h"
#include "options_pages.h"
#include "pulse_capture.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class SettingsStore;

// What the options dialog needs of the program: the settings, the main window's fields
// and panels, the streaming server, the questions to the user.
class OptionsHost {
public:
    virtual ~OptionsHost() = default;

    virtual SettingsStore* store() = 0;
    virtual appsettings::Settings& settings() = 0;
    virtual QString dataDir() const = 0;
    virtual QString executable() const = 0;
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;

    // "Profile": the destination fields and the profile buttons.
    virtual QString destinationTemplate() const = 0;
    virtual QString playlistFile() const = 0;
    virtual QStringList playlistHistory() const = 0;
    virtual void addPlaylistToHistory(const QString& file) = 0;
    // A profile was saved or deleted: store the active one, build the buttons again.
    virtual void profilesChanged() = 0;

    // "Klänge"
    virtual void playSound(const QString& file, const QString& event) = 0;

    // "Suche"
    virtual void applySearchOptions(const optionspages::SearchValues& values) = 0;
    virtual int searchHistoryCount() const = 0;
    virtual void clearSearchHistory() = 0;
    virtual void clearPlaylistHistory() = 0;

    // "Befehle": shows or hides a command group and moves it to the bottom.
    virtual QStringList hiddenPanels() const = 0;
    virtual void setPanelShown(const QString& group, bool shown) = 0;

    // "Streaming"
    virtual QList<AudioDevice> devices() const = 0;
    virtual bool streamingCanEnable() const = 0;
    // Hands settings().streaming to the server; with `startStop` it starts or stops the
    // server as the settings say. Returns whether the encoder is loaded.
    virtual bool applyStreaming(bool startStop) = 0;

    // "Sonstiges"
    virtual void releaseRegistry() = 0;
    virtual bool registryReleased() const = 0;
};
