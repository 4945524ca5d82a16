#pragma once

#include "options_view.h"

class CopyIntegration;
class OptionsIntegration;
class StreamingIntegration;
class TForm1;

// The options dialog's view on the main window.
class OptionsWindowView : public OptionsView {
public:
    explicit OptionsWindowView(TForm1& window) : window_(window) {}

    // The profile bar's button, the command panel's handle, the search tips.
    void wire(OptionsIntegration& options);

    QWidget* window() override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;
    QString destinationTemplate() const override;
    QString playlistFile() const override;
    QStringList playlistHistory() const override;
    void addPlaylistToHistory(const QString& file) override;
    void clearPlaylistHistory() override;
    void setSearchOptions(const quicksearch::SearchOptions& options) override;
    int searchHistoryCount() const override;
    void clearSearchHistory() override;
    QStringList hiddenPanels() const override;
    void setPanelShown(const QString& group, bool shown) override;
    void releaseRegistry() override;
    bool registryReleased() const override;

private:
    TForm1& window_;
};

// The streaming integration as the options dialog drives it.
class StreamingForOptions : public OptionsStreamingTarget {
public:
    explicit StreamingForOptions(StreamingIntegration& streaming) : streaming_(streaming) {}
    // A device list that arrives while the streaming page is open shows at once.
    void wire(OptionsIntegration& options);

    QList<AudioDevice> devices() const override;
    bool started() const override;
    bool applyLive(bool startStop) override;

private:
    StreamingIntegration& streaming_;
};

// The copy integration's profile buttons for the options dialog.
class ProfilesForOptions : public OptionsProfiles {
public:
    explicit ProfilesForOptions(CopyIntegration& copy) : copy_(copy) {}
    void profilesChanged() override;

private:
    CopyIntegration& copy_;
};
