#pragma once

#include "command_services.h"
#include "event_sounds.h"
#include "options_host.h"
#include "options_view.h"
#include "search_query.h"

#include <QObject>

#include <memory>

class AppCore;
class TForm5;
class TForm9;

// The window's side of the options dialog: creates it and the encoder search, registers
// the command that opens it on a page (menu items and buttons are bound to it), and
// carries its changes into the window: profile buttons, quick-search style, command
// groups, histories, the streaming server, remote-control items.
class OptionsIntegration : public QObject, public OptionsHost, private OptionsCommands {
    Q_OBJECT
public:
    OptionsIntegration(AppCore& core, OptionsView& view, OptionsStreamingTarget& streaming,
                       OptionsProfiles& profiles);
    ~OptionsIntegration() override;

    TForm5* dialog() const { return form5_; }
    TForm9* encoderSearch() const { return form9_; }
    // Opens the dialog on a page (0 "Profile" ... 5 "Sonstiges", 6 "E-Mail").
    void open(int page);
    // The search tips opened: the desktop's notification sound.
    void playTipsSound();
    // The streaming server took its settings: a device list that arrived while the
    // streaming page is open shows at once.
    void streamingApplied();

    // OptionsHost
    SettingsStore* store() override;
    appsettings::Settings& settings() override;
    QString dataDir() const override;
    QString executable() const override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;
    QString destinationTemplate() const override;
    QString playlistFile() const override;
    QStringList playlistHistory() const override;
    void addPlaylistToHistory(const QString& file) override;
    void profilesChanged() override;
    void playSound(const QString& file, const QString& event) override;
    void applySearchOptions(const optionspages::SearchValues& values) override;
    // The quick search options the settings' search values stand for.
    static quicksearch::SearchOptions searchOptions(const optionspages::SearchValues& values);
    int searchHistoryCount() const override;
    void clearSearchHistory() override;
    void clearPlaylistHistory() override;
    QStringList hiddenPanels() const override;
    void setPanelShown(const QString& group, bool shown) override;
    QList<AudioDevice> devices() const override;
    bool streamingCanEnable() const override;
    bool applyStreaming(bool startStop) override;
    void releaseRegistry() override;
    bool registryReleased() const override;

private:
    void onOptions(int page) override;
    AppCore& core_;
    OptionsView& view_;
    OptionsStreamingTarget& streaming_;
    OptionsProfiles& profiles_;
    TForm9* form9_;
    TForm5* form5_;
    EventSounds sounds_;
};
