#include "player_window_view.h"

#include "collection_views.h"
#include "command_panel.h"
#include "main_window.h"
#include "player.h"
#include "player_integration.h"

#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

void PlayerWindowView::wire(PlayerIntegration& player) {
    PlayerIntegration* p = &player;
    QObject::connect(&window_, &TForm1::collectionReplaced, p,
                     &PlayerIntegration::collectionReplaced);
    CollectionViews* views = window_.views();
    QObject::connect(views, &CollectionViews::listSelectionChanged, p,
                     &PlayerIntegration::syncSelection);
    QObject::connect(views, &CollectionViews::nodeSelected, p, &PlayerIntegration::syncSelection);
    QObject::connect(views, &CollectionViews::titleActivated, p,
                     &PlayerIntegration::titleActivated);
    // Only a released slider seeks; the tick's own updates are made with signals blocked.
    QSlider* seeker = window_.commands->seeker;
    seeker->setTracking(false);
    QObject::connect(seeker, &QSlider::valueChanged, p, &PlayerIntegration::seekTo);
    QObject::connect(window_.action(QStringLiteral("AktuelleZeit1")), &QAction::triggered, p,
                     [p] { p->setTimeMode(0); });
    QObject::connect(window_.action(QStringLiteral("VerbleibendeZeit1")), &QAction::triggered, p,
                     [p] { p->setTimeMode(1); });
    QObject::connect(window_.action(QStringLiteral("TrayAnzeige1")), &QAction::toggled, p,
                     &PlayerIntegration::setTrayDisplay);
}

QWidget* PlayerWindowView::window() {
    return &window_;
}

QWidget* PlayerWindowView::positionLabel() {
    return window_.commands->seekpos;
}

void PlayerWindowView::setStatusText(const QString& text) {
    window_.setStatusText(text);
}

void PlayerWindowView::showControls(const PlayerControls& s, bool repeat, bool shuffle) {
    CommandPanel* c = window_.commands;
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
        QAction* a = window_.action(QLatin1String(name));
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
}

void PlayerWindowView::showTimeMode(int mode) {
    window_.action(QLatin1String(mode == 1 ? "VerbleibendeZeit1" : "AktuelleZeit1"))
        ->setChecked(true);
}

void PlayerWindowView::showTrayDisplay(bool on) {
    window_.action(QStringLiteral("TrayAnzeige1"))->setChecked(on);
}

const TreeNode* PlayerWindowView::currentNode() const {
    return window_.views()->currentNode();
}

QStringList PlayerWindowView::selectedTitles() const {
    return window_.views()->selectedTitles();
}

int PlayerWindowView::selectedCount() const {
    return window_.views()->selectedCount();
}

ViewContext& PlayerWindowView::viewContext() {
    return window_.views()->context();
}

void PlayerWindowView::rebuildView() {
    window_.views()->rebuild();
}

void PlayerWindowView::showPlaylist() {
    window_.views()->selectFixedNode(Collection::PlaylistNode);
    window_.views()->focusList();
}
