#pragma once

#include "pulse_capture.h"
#include "search_query.h"

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// What the options dialog's side needs of the main window: the dialogs' parent, the
// questions, the destination fields and their histories, the quick search and the
// command panel, the registry cleaning at closing.
class OptionsView {
public:
    virtual ~OptionsView() = default;

    virtual QWidget* window() = 0;
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;

    virtual QString destinationTemplate() const = 0;
    virtual QString playlistFile() const = 0;
    virtual QStringList playlistHistory() const = 0;
    // Adds a file to the playlist history unless it is there; the edited text stays.
    virtual void addPlaylistToHistory(const QString& file) = 0;
    virtual void clearPlaylistHistory() = 0;

    virtual void setSearchOptions(const quicksearch::SearchOptions& options) = 0;
    virtual int searchHistoryCount() const = 0;
    virtual void clearSearchHistory() = 0;

    virtual QStringList hiddenPanels() const = 0;
    // Shows or hides a command group and moves it to the bottom.
    virtual void setPanelShown(const QString& group, bool shown) = 0;

    // The stored values are offered for deletion at closing.
    virtual void releaseRegistry() = 0;
    virtual bool registryReleased() const = 0;
};

// The streaming server as the options dialog drives it.
class OptionsStreamingTarget {
public:
    virtual ~OptionsStreamingTarget() = default;
    virtual QList<AudioDevice> devices() const = 0;
    virtual bool started() const = 0;
    // Hands the streaming settings to the server; with `startStop` it starts or stops it.
    // Returns whether the encoder is loaded.
    virtual bool applyLive(bool startStop) = 0;
};

// The copy profiles: a profile was saved or deleted.
class OptionsProfiles {
public:
    virtual ~OptionsProfiles() = default;
    // Stores the active profile and builds the profile buttons again.
    virtual void profilesChanged() = 0;
};
