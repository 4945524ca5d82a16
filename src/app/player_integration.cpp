#include "player_integration.h"

#include "app_core.h"
#include "collection_loader.h"
#include "command_binding.h"
#include "commands.h"
#include "desktop_integration.h"
#include "media_access.h"
#include "playback_widgets.h"
#include "player.h"
#include "player_view.h"
#include "view_build.h"

#include <QAction>
#include <QApplication>
#include <QIcon>

PlayerIntegration::PlayerIntegration(AppCore& core, PlayerView& view)
    : core_(core), view_(view), player_(&core.player()) {
    // The program's icon: on every window without one of its own, and in the tray.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(QIcon(desktopintegration::iconResource()));
    player_->setTitleLists(&core_.collection().titleLists);
    widgets_ = new PlaybackWidgets(player_, view_.window());
    widgets_->attachSeekpos(view_.positionLabel());

    connect(player_, &Player::controlsChanged, this, &PlayerIntegration::applyControls);
    connect(player_, &Player::statusTextChanged, this,
            [this](const QString& text) { view_.setStatusText(text); });
    connect(player_, &Player::streamTitleChanged, this, [this](const QString& title) {
        streamTitle_ = title;
        emit streamTitleChanged(title);
    });
    connect(player_, &Player::rebuildViewRequested, this, &PlayerIntegration::rebuildView);
    connect(player_, &Player::currentIndexChanged, this, &PlayerIntegration::updateContext);
    connect(player_, &Player::titleStarted, this, &PlayerIntegration::updateContext);
    connect(player_, &Player::playCounted, this, &PlayerIntegration::playCounted);
    player_->setSelectionProvider([this] { return view_.selectedTitles(); });

    wireCommands();
    applyControls();
}

PlayerIntegration::~PlayerIntegration() {
    core_.commands().withdraw<PlaybackCommands>(&CommandServices::playback, this);
    delete widgets_;
    // The player stays with the core; what it asked of the window goes with the window.
    player_->setSelectionProvider({});
    core_.setSelectedCount({});
}

void PlayerIntegration::onVolume() {
    widgets_->openVolumeControl();
}

void PlayerIntegration::onSetVolume(int percent) {
    player_->device().setVolume(percent);
}

void PlayerIntegration::onShowPlaylist() {
    showPlaylist();
}

void PlayerIntegration::wireCommands() {
    CommandTable& table = core_.commands();
    core_.setSelectedCount([this] { return view_.selectedCount(); });
    table.provide<PlaybackCommands>(&CommandServices::playback, this);
    // The clock menu's transport items run the same commands, as their descriptors say.
    widgets_->leaveTransportToOthers();
    for (const char* name : {"Play2", "Pause2", "Stop2", "VorherigerTitel2", "NchsterTitel2"})
        if (const auto* p = commandcatalogue::placement(QLatin1String(name)))
            commandbinding::bind(table, widgets_->item(QLatin1String(name)), *p);

    // Time mode and tray display: the main menu and the clock menu act as one.
    connect(widgets_->item(QStringLiteral("AktuelleZeit1")), &QAction::triggered, this,
            [this] { setTimeMode(0); });
    connect(widgets_->item(QStringLiteral("VerbleibendeZeit1")), &QAction::triggered, this,
            [this] { setTimeMode(1); });
    connect(widgets_->item(QStringLiteral("TrayAnzeige1")), &QAction::toggled, this,
            &PlayerIntegration::setTrayDisplay);
}

void PlayerIntegration::collectionReplaced(Collection* collection) {
    player_->setTitleLists(&collection->titleLists);
    updateContext();
    syncSelection();
}

void PlayerIntegration::titleActivated(const QString& line) {
    syncSelection();
    const QStringList selected = view_.selectedTitles();
    player_->listDblClick(selected.isEmpty() ? line : selected.first());
}

void PlayerIntegration::seekTo(int seconds) {
    core_.commands().run(QLatin1String(cmd::Seek), QString::number(seconds),
                         commandcatalogue::Menu);
}

void PlayerIntegration::setTimeMode(int mode) {
    player_->setTimeMode(mode);
    view_.showTimeMode(mode);
    widgets_->item(QLatin1String(mode == 1 ? "VerbleibendeZeit1" : "AktuelleZeit1"))
        ->setChecked(true);
}

void PlayerIntegration::setTrayDisplay(bool on) {
    player_->setTrayDisplay(on);
    widgets_->item(QStringLiteral("TrayAnzeige1"))->setChecked(on);
    view_.showTrayDisplay(on);
}

void PlayerIntegration::applyControls() {
    const PlayerControls& s = player_->controls();
    // Enabled states follow the command table; the check marks follow the player.
    view_.showControls(s, player_->playlist().repeat(), player_->playlist().shuffle());
}

void PlayerIntegration::syncSelection() {
    const TreeNode* node = view_.currentNode();
    const Collection& collection = core_.collection();
    Player::ShownView shown = Player::ShownView::Other;
    if (node && node == collection.node(Collection::PlaylistNode))
        shown = Player::ShownView::Playlist;
    else if (node && node == collection.node(Collection::ChartsNode))
        shown = Player::ShownView::Charts;
    player_->setShownView(shown);
    player_->setListSelection(view_.selectedCount() > 0);
}

void PlayerIntegration::updateContext() {
    ViewContext& context = view_.viewContext();
    context.currentLine = player_->currentLine();
    context.playlistCurrentIndex = player_->playlistCurrentIndex();
    context.chartValues = player_->history().values();
    context.songsPlayed = player_->history().songsPlayed();
}

void PlayerIntegration::rebuildView() {
    updateContext();
    view_.rebuildView();
}

void PlayerIntegration::showPlaylist() {
    updateContext();
    view_.showPlaylist();
}

void PlayerIntegration::playCounted(const QString& line) {
    core_.chartsRecords().insert(line, player_->history().value(line));
    core_.settings().main.songsPlayed = player_->history().songsPlayed();
    updateContext();
}

void PlayerIntegration::applySettings(const appsettings::Settings& settings) {
    const appsettings::MainSettings& m = settings.main;
    player_->history().load(settings.chartsMru, m.songsPlayed);
    player_->setSongsHistorySize(m.songsHistorySize);
    setTimeMode(m.timeMode);
    player_->setTrayDisplay(m.trayDisplay);
    widgets_->item(QStringLiteral("TrayAnzeige1"))->setChecked(m.trayDisplay);
    player_->setRepeat(m.repeat);
    player_->setShuffle(m.shuffle);
    // The history is the source of "Meine Charts" and its records from now on.
    player_->setTitleLists(&core_.collection().titleLists);
    core_.chartsRecords().clear();
    for (const auto& [line, record] : player_->history().records())
        core_.chartsRecords().insert(line, record);
    updateContext();
}

void PlayerIntegration::collectSettings(appsettings::Settings& settings) const {
    settings.chartsMru = player_->history().records();
    settings.main.songsPlayed = player_->history().songsPlayed();
    settings.main.timeMode = player_->timeMode();
    settings.main.trayDisplay = player_->trayDisplay();
}
