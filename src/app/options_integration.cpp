#include "options_integration.h"

#include "app_core.h"
#include "commands.h"
#include "options_dialog.h"

#include "encoder_search_window.h"

#include <QComboBox>
#include <QCoreApplication>

// The options items' descriptors (command_catalogue.cpp) name the pages by number.
static_assert(optionspages::Profiles == 0 && optionspages::Sounds == 1 &&
                  optionspages::Search == 2 && optionspages::Commands == 3 &&
                  optionspages::Streaming == 4 && optionspages::Misc == 5,
              "the options placements name these page numbers");

OptionsIntegration::OptionsIntegration(AppCore& core, OptionsView& view,
                                       OptionsStreamingTarget& streaming, OptionsProfiles& profiles)
    : core_(core), view_(view), streaming_(streaming), profiles_(profiles),
      form9_(new TForm9(view.window(), core.environment().dataDir)),
      form5_(new TForm5(*this, view.window())), sounds_(core.store()) {
    form9_->setTaskService(&core.tasks());
    form5_->setEncoderSearch(form9_);
    // The menu items and buttons are bound by the window, each with the page its
    // descriptor names.
    core_.commands().provide<OptionsCommands>(&CommandServices::options, this);
}

void OptionsIntegration::playTipsSound() {
    sounds_.playTheme(QStringLiteral("dialog-information"));
}

void OptionsIntegration::streamingApplied() {
    if (form5_->isVisible() && form5_->currentPage() == optionspages::Streaming &&
        form5_->dbStreamDevice->count() == 0 && !devices().isEmpty())
        form5_->pageEntry(optionspages::Streaming);
}

OptionsIntegration::~OptionsIntegration() {
    core_.commands().withdraw<OptionsCommands>(&CommandServices::options, this);
}

void OptionsIntegration::onOptions(int page) {
    open(page);
}

void OptionsIntegration::open(int page) {
    form5_->openOn(page);
}

SettingsStore* OptionsIntegration::store() {
    return core_.store();
}

appsettings::Settings& OptionsIntegration::settings() {
    return core_.settings();
}

QString OptionsIntegration::dataDir() const {
    return core_.environment().dataDir;
}

QString OptionsIntegration::executable() const {
    const QString exe = core_.environment().executable;
    return exe.isEmpty() ? QCoreApplication::applicationFilePath() : exe;
}

QMessageBox::StandardButton OptionsIntegration::ask(QMessageBox::Icon icon, const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
    return view_.ask(icon, text, buttons);
}

QString OptionsIntegration::destinationTemplate() const {
    return view_.destinationTemplate();
}

QString OptionsIntegration::playlistFile() const {
    return view_.playlistFile();
}

QStringList OptionsIntegration::playlistHistory() const {
    return view_.playlistHistory();
}

void OptionsIntegration::addPlaylistToHistory(const QString& file) {
    view_.addPlaylistToHistory(file);
}

void OptionsIntegration::profilesChanged() {
    profiles_.profilesChanged();
}

void OptionsIntegration::playSound(const QString& file, const QString& event) {
    sounds_.playFile(file, event);
}

void OptionsIntegration::applySearchOptions(const optionspages::SearchValues& v) {
    view_.setSearchOptions(searchOptions(v));
}

quicksearch::SearchOptions OptionsIntegration::searchOptions(const optionspages::SearchValues& v) {
    quicksearch::SearchOptions o;
    o.nomedia = v.nomedia;
    o.nopads = v.nopads;
    o.reslimit = v.reslimit;
    o.reslimitcnt = v.reslimitcnt;
    o.minln = v.minln;
    o.minlncnt = v.minlncnt;
    o.nosyntax = v.nosyntax;
    o.noballoon = v.noballoon;
    return o;
}

int OptionsIntegration::searchHistoryCount() const {
    return view_.searchHistoryCount();
}

void OptionsIntegration::clearSearchHistory() {
    view_.clearSearchHistory();
    core_.settings().quickSearchMru.clear();
}

void OptionsIntegration::clearPlaylistHistory() {
    view_.clearPlaylistHistory();
    core_.settings().playlistMru.clear();
}

QStringList OptionsIntegration::hiddenPanels() const {
    return view_.hiddenPanels();
}

void OptionsIntegration::setPanelShown(const QString& group, bool shown) {
    view_.setPanelShown(group, shown);
}

QList<AudioDevice> OptionsIntegration::devices() const {
    return streaming_.devices();
}

bool OptionsIntegration::streamingCanEnable() const {
    return streaming_.started() && !streaming_.devices().isEmpty();
}

bool OptionsIntegration::applyStreaming(bool startStop) {
    const bool loaded = streaming_.applyLive(startStop);
    // The streaming popup menu and every bound item follow.
    core_.commands().refresh();
    return loaded;
}

void OptionsIntegration::releaseRegistry() {
    view_.releaseRegistry();
}

bool OptionsIntegration::registryReleased() const {
    return view_.registryReleased();
}
