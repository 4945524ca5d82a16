#include "player_integration.h"

#include "command_binding.h"
#include "command_panel.h"
#include "commands.h"
#include "desktop_integration.h"
#include "main_window.h"
#include "playback_widgets.h"
#include "player.h"

#include "collection_views.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

PlayerIntegration::PlayerIntegration(TForm1* window)
    : QObject(window), window_(window), player_(&window->core().player()) {
    // The program's icon: on every window without one of its own, and in the tray.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(QIcon(desktopintegration::iconResource()));
    player_->setTitleLists(&window->collection().titleLists);
    widgets_ = new PlaybackWidgets(player_, window);
    widgets_->attachSeekpos(window->commands->seekpos);

    connect(window, &TForm1::collectionReplaced, this, [this](Collection* collection) {
        player_->setTitleLists(&collection->titleLists);
        updateContext();
        syncSelection();
    });
    connect(player_, &Player::controlsChanged, this, &PlayerIntegration::applyControls);
    connect(player_, &Player::statusTextChanged, window, &TForm1::setStatusText);
    connect(player_, &Player::streamTitleChanged, this, [this](const QString& title) {
        streamTitle_ = title;
        emit streamTitleChanged(title);
    });
    connect(player_, &Player::rebuildViewRequested, this, &PlayerIntegration::rebuildView);
    connect(player_, &Player::currentIndexChanged, this, &PlayerIntegration::updateContext);
    connect(player_, &Player::titleStarted, this, &PlayerIntegration::updateContext);
    connect(player_, &Player::playCounted, this, &PlayerIntegration::playCounted);

    wireCommands();
    wireViews();
    applyControls();
}

PlayerIntegration::~PlayerIntegration() {
    delete widgets_;
    // The player stays with the core; what it asked of the window goes with the window.
    player_->setSelectionProvider({});
    window_->core().setSelectedCount({});
}

void PlayerIntegration::wireCommands() {
    CommandPanel* c = window_->commands;
    auto item = [this](const char* name) { return window_->action(QLatin1String(name)); };

    CommandTable& table = window_->commandTable();
    window_->core().setSelectedCount([this] {
        int selected = 0;
        if (window_->views()) selected = window_->views()->selectedCount();
        return selected;
    });
    table.add(QLatin1String(cmd::Volume),
              [this](const QString&) { widgets_->openVolumeControl(); });
    table.add(QLatin1String(cmd::SetVolume),
              [this](const QString& percent) { player_->device().setVolume(percent.toInt()); });
    table.add(QLatin1String(cmd::ShowPlaylist), [this](const QString&) { showPlaylist(); });
    // The clock menu's transport items run the same commands, as their descriptors say.
    widgets_->leaveTransportToOthers();
    for (const char* name : {"Play2", "Pause2", "Stop2", "VorherigerTitel2", "NchsterTitel2"})
        if (const auto* p = commandcatalogue::placement(QLatin1String(name)))
            commandbinding::bind(table, widgets_->item(QLatin1String(name)), *p);
    // Only a released slider seeks; the tick's own updates are made with signals blocked.
    c->seeker->setTracking(false);
    connect(c->seeker, &QSlider::valueChanged, this, [this](int seconds) {
        window_->commandTable().run(QLatin1String(cmd::Seek), QString::number(seconds),
                                    commandcatalogue::Menu);
    });

    // Time mode and tray display: the main menu and the clock menu act as one.
    QAction* elapsed = item("AktuelleZeit1");
    QAction* remaining = item("VerbleibendeZeit1");
    connect(elapsed, &QAction::triggered, this, [this] { setTimeMode(0); });
    connect(remaining, &QAction::triggered, this, [this] { setTimeMode(1); });
    connect(widgets_->item(QStringLiteral("AktuelleZeit1")), &QAction::triggered, this,
            [this] { setTimeMode(0); });
    connect(widgets_->item(QStringLiteral("VerbleibendeZeit1")), &QAction::triggered, this,
            [this] { setTimeMode(1); });
    QAction* tray = item("TrayAnzeige1");
    QAction* clockTray = widgets_->item(QStringLiteral("TrayAnzeige1"));
    connect(tray, &QAction::toggled, clockTray, &QAction::setChecked);
    connect(clockTray, &QAction::toggled, tray, &QAction::setChecked);
    connect(tray, &QAction::toggled, player_, &Player::setTrayDisplay);
}

void PlayerIntegration::wireViews() {
    CollectionViews* views = window_->views();
    if (!views) return;
    player_->setSelectionProvider([views] { return views->selectedTitles(); });
    connect(views, &CollectionViews::listSelectionChanged, this, &PlayerIntegration::syncSelection);
    connect(views, &CollectionViews::nodeSelected, this, &PlayerIntegration::syncSelection);
    connect(views, &CollectionViews::titleActivated, this, [this, views](const QString& line) {
        syncSelection();
        const QStringList selected = views->selectedTitles();
        player_->listDblClick(selected.isEmpty() ? line : selected.first());
    });
}

void PlayerIntegration::setTimeMode(int mode) {
    player_->setTimeMode(mode);
    const char* name = mode == 1 ? "VerbleibendeZeit1" : "AktuelleZeit1";
    window_->action(QLatin1String(name))->setChecked(true);
    widgets_->item(QLatin1String(name))->setChecked(true);
}

void PlayerIntegration::applyControls() {
    const PlayerControls& s = player_->controls();
    CommandPanel* c = window_->commands;
    auto item = [this](const char* name) { return window_->action(QLatin1String(name)); };

    // Enabled states follow the command table; the check marks follow the player.
    const bool repeat = player_->playlist().repeat();
    const bool shuffle = player_->playlist().shuffle();
    const std::pair<QAbstractButton*, bool> buttons[] = {
        {c->pause, s.pauseDown}, {c->rept, repeat}, {c->shuf, shuffle}};
    for (const auto& [button, on] : buttons) {
        const QSignalBlocker block(button);
        button->setChecked(on);
    }
    c->pause->setToolTip(s.pauseHint);
    const std::pair<const char*, bool> items[] = {
        {"Pause1", s.pauseChecked}, {"Wiederholen1", repeat}, {"Zufllig1", shuffle}};
    for (const auto& [name, on] : items) {
        QAction* a = item(name);
        const QSignalBlocker block(a);
        a->setChecked(on);
    }

    {
        const QSignalBlocker block(c->seeker);
        c->seeker->setEnabled(s.seekerEnabled);
        c->seeker->setMaximum(std::max(s.seekerMax, 0));
        if (!c->seeker->isSliderDown()) c->seeker->setValue(s.seekerPos);
    }
    c->seekpos->setEnabled(s.seekposEnabled);
    c->seekpos->setText(s.seekposText);

    QProgressBar* bar = window_->ProgressBar1;
    if (s.progressVisible) {
        bar->setRange(0, 100);
        bar->setValue(s.progress);
        bar->show();
        progressShown_ = true;
    } else if (progressShown_) {
        progressShown_ = false;
        // The bar may be showing a reload or a download meanwhile.
        if (!window_->isLoading() && !window_->isDownloading()) bar->hide();
    }
}

void PlayerIntegration::syncSelection() {
    CollectionViews* views = window_->views();
    if (!views) return;
    const TreeNode* node = views->currentNode();
    const Collection& collection = window_->collection();
    Player::ShownView shown = Player::ShownView::Other;
    if (node && node == collection.node(Collection::PlaylistNode))
        shown = Player::ShownView::Playlist;
    else if (node && node == collection.node(Collection::ChartsNode))
        shown = Player::ShownView::Charts;
    player_->setShownView(shown);
    player_->setListSelection(views->selectedCount() > 0);
}

void PlayerIntegration::updateContext() {
    CollectionViews* views = window_->views();
    if (!views) return;
    ViewContext& context = views->context();
    context.currentLine = player_->currentLine();
    context.playlistCurrentIndex = player_->playlistCurrentIndex();
    context.chartValues = player_->history().values();
    context.songsPlayed = player_->history().songsPlayed();
}

void PlayerIntegration::rebuildView() {
    updateContext();
    if (window_->views()) window_->views()->rebuild();
}

void PlayerIntegration::showPlaylist() {
    CollectionViews* views = window_->views();
    if (!views) return;
    updateContext();
    views->selectFixedNode(Collection::PlaylistNode);
    views->focusList();
}

void PlayerIntegration::playCounted(const QString& line) {
    window_->chartsRecords.insert(line, player_->history().value(line));
    window_->settings().main.songsPlayed = player_->history().songsPlayed();
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
    player_->setTitleLists(&window_->collection().titleLists);
    window_->chartsRecords.clear();
    for (const auto& [line, record] : player_->history().records())
        window_->chartsRecords.insert(line, record);
    updateContext();
}

void PlayerIntegration::collectSettings(appsettings::Settings& settings) const {
    settings.chartsMru = player_->history().records();
    settings.main.songsPlayed = player_->history().songsPlayed();
    settings.main.timeMode = player_->timeMode();
    settings.main.trayDisplay = player_->trayDisplay();
}
