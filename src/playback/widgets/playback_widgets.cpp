#include "playback_widgets.h"

#include "clock_texts.h"
#include "player.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QStandardPaths>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int kTipHeight = 23;
constexpr int kStepMs = 7;

} // namespace

ClockWindow::ClockWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label_(new QLabel(QStringLiteral("0:00:00"), this)) {
    setObjectName(QStringLiteral("clockwnd"));
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setFont(lcdFont(18));
    label_->setAlignment(Qt::AlignCenter);
    label_->setContentsMargins(6, 2, 6, 2);
    label_->installEventFilter(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_);
    setClock(QStringLiteral("0:00:00"), false);
}

void ClockWindow::setClock(const QString& text, bool grey) {
    label_->setText(text);
    QPalette p = label_->palette();
    p.setColor(QPalette::WindowText,
               palette().color(grey ? QPalette::Disabled : QPalette::Active, QPalette::WindowText));
    label_->setPalette(p);
}

QString ClockWindow::text() const {
    return label_->text();
}

QFont ClockWindow::lcdFont(int pixelSize) {
    QFont font(QStringLiteral("DSEG7 Classic"));
    font.setPixelSize(pixelSize);
    return font;
}

bool ClockWindow::canPlaceItself() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool ClockWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_) {
        switch (event->type()) {
        case QEvent::Enter:
            emit entered();
            break;
        case QEvent::Leave:
            emit left();
            break;
        case QEvent::ContextMenu:
            emit menuRequested(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) break;
            // Under Wayland only the compositor moves windows: hand the drag to it.
            if (!canPlaceItself() && windowHandle() && windowHandle()->startSystemMove())
                return true;
            dragging_ = true;
            grab_ = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            return true;
        }
        case QEvent::MouseMove:
            if (dragging_) {
                move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - grab_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (dragging_ && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                dragging_ = false;
                emit moved(pos());
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TSongTipWnd::TSongTipWnd(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      label_(new QLabel(this)), picture_(new QLabel(this)) {
    setObjectName(QStringLiteral("TSongTipWnd"));
    picture_->setObjectName(QStringLiteral("Image1"));
    picture_->setPixmap(style()->standardIcon(QStyle::SP_MediaVolume).pixmap(16, 16));
    picture_->setGeometry(4, 3, 16, 16);
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    QFont bold = label_->font();
    bold.setBold(true);
    label_->setFont(bold);
    label_->setTextFormat(Qt::PlainText); // ampersands shown literally
    label_->setForegroundRole(QPalette::ToolTipText);
    label_->installEventFilter(this);
    open_.setInterval(kStepMs);
    resize_.setInterval(kStepMs);
    watch_.setInterval(100);
    connect(&open_, &QTimer::timeout, this, &TSongTipWnd::step);
    connect(&watch_, &QTimer::timeout, this, &TSongTipWnd::watch);
    connect(&resize_, &QTimer::timeout, this, [this] {
        if (widthSteps_-- <= 0) {
            resize_.stop();
            return;
        }
        QRect g = geometry();
        if (widthDirection_ > 0) {
            g.moveLeft(g.left() - 1); // grown at once; slides left onto the right edge
        } else {
            g.setWidth(std::max(1, g.width() - 1));
            g.moveLeft(g.left() + 1);
        }
        setGeometry(g);
    });
}

QString TSongTipWnd::text() const {
    return label_->text();
}

int TSongTipWnd::widthFor(const QString& name) const {
    return label_->fontMetrics().horizontalAdvance(name) + 30;
}

void TSongTipWnd::showFor(const QRect& clock, const QString& name, int screenHeight) {
    showing_ = true;
    label_->setText(name);
    setWindowTitle(name);
    const clocktexts::TipPlacement p =
        clocktexts::songTipPlacement(clock, widthFor(name), kTipHeight, screenHeight);
    below_ = p.below;
    target_ = p.target;
    label_->setGeometry(25, 5, target_.width() - 25, kTipHeight - 8);
    picture_->move(4, 3);
    grown_ = 0;
    setGeometry(target_.left(), below_ ? target_.top() : target_.bottom() + 1, target_.width(), 1);
    show();
    open_.start();
    watch_.start();
}

void TSongTipWnd::step() {
    if (++grown_ >= target_.height()) {
        open_.stop();
        setGeometry(target_);
        return;
    }
    if (below_)
        setGeometry(target_.left(), target_.top(), target_.width(), grown_);
    else
        setGeometry(target_.left(), target_.bottom() + 1 - grown_, target_.width(), grown_);
    // The picture and label stay on the edge that grows away from the clock.
    const int hidden = below_ ? target_.height() - grown_ : 0;
    label_->move(25, 5 - hidden);
    picture_->move(4, 3 - hidden);
}

bool TSongTipWnd::eventFilter(QObject* watched, QEvent* event) {
    // The mouse on the tip's text closes it.
    if (watched == label_ && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove))
        closeTip();
    return QWidget::eventFilter(watched, event);
}

void TSongTipWnd::closeTip() {
    open_.stop();
    resize_.stop();
    watch_.stop();
    showing_ = false;
    hide();
}

void TSongTipWnd::watch() {
    if (!showing_) return;
    if (clockVisible && !clockVisible()) {
        closeTip();
        return;
    }
    const QString name = currentName ? currentName() : label_->text();
    if (name == label_->text()) return;
    const int oldWidth = width();
    const int newWidth = widthFor(name);
    label_->setText(name);
    setWindowTitle(name);
    label_->resize(newWidth - 25, label_->height());
    if (newWidth > oldWidth) {
        resize(newWidth, height());
        widthDirection_ = 1;
        widthSteps_ = newWidth - oldWidth; // one pixel a step: the right edge ends where it was
    } else {
        widthDirection_ = -1;
        widthSteps_ = oldWidth - newWidth;
    }
    resize_.start();
}

VolumeDialog::VolumeDialog(Player* player, QWidget* parent)
    : QDialog(parent), slider_(new QSlider(Qt::Vertical, this)) {
    setWindowTitle(QStringLiteral("Lautstärke"));
    slider_->setRange(0, 100);
    slider_->setValue(player->device().volume());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(slider_, 0, Qt::AlignHCenter);
    connect(slider_, &QSlider::valueChanged, this,
            [player](int value) { player->device().setVolume(value); });
}

PlaybackWidgets::PlaybackWidgets(Player* player, QWidget* window)
    : QObject(window), player_(player), window_(window), clock_(new ClockWindow(window)),
      tip_(new TSongTipWnd(window)), menu_(new QMenu(window)) {
    mixerProgram = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    menu_->setObjectName(QStringLiteral("PopupMenu4"));
    titel_ = new QMenu(QStringLiteral(" "), menu_);
    titel_->setObjectName(QStringLiteral("titel"));
    auto add = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QAction* play = add(titel_, "Play2", QStringLiteral("Play"));
    QAction* pause = add(titel_, "Pause2", QStringLiteral("Pause"));
    pause->setCheckable(true);
    QAction* stop = add(titel_, "Stop2", QStringLiteral("Stop"));
    titel_->addSeparator();
    QAction* prev = add(titel_, "VorherigerTitel2", QStringLiteral("Vorheriger Titel"));
    QAction* next = add(titel_, "NchsterTitel2", QStringLiteral("Nächster Titel"));
    titelAction_ = menu_->addMenu(titel_);
    titelAction_->setObjectName(QStringLiteral("titelAction"));
    menu_->setDefaultAction(titelAction_);
    titelline_ = menu_->addSeparator();
    titelline_->setObjectName(QStringLiteral("titelline"));
    modes_ = new QActionGroup(menu_);
    QAction* elapsed = add(menu_, "AktuelleZeit1", QStringLiteral("&Aktuelle Zeit"));
    QAction* remaining = add(menu_, "VerbleibendeZeit1", QStringLiteral("&Verbleibende Zeit"));
    for (QAction* a : {elapsed, remaining}) {
        a->setCheckable(true);
        modes_->addAction(a);
    }
    (player_->timeMode() == 1 ? remaining : elapsed)->setChecked(true);
    menu_->addSeparator();
    QAction* tray = add(menu_, "TrayAnzeige1", QStringLiteral("&Tray-Anzeige"));
    tray->setCheckable(true);
    tray->setChecked(player_->trayDisplay());
    uhrzeit_ = add(menu_, "Uhrzeitanzeigen1", QStringLiteral("Uhrzeit anzeigen"));
    uhrzeit_->setVisible(false);

    connect(play, &QAction::triggered, this, [this] {
        if (!transportElsewhere_ && player_->controls().playEnabled) player_->playClick();
    });
    connect(pause, &QAction::triggered, this, [this] {
        if (!transportElsewhere_ && player_->controls().pauseEnabled) player_->pauseClick();
    });
    connect(stop, &QAction::triggered, this, [this] {
        if (!transportElsewhere_ && player_->controls().stopEnabled) player_->stopClick();
    });
    connect(prev, &QAction::triggered, this, [this] {
        if (!transportElsewhere_ && player_->controls().prevEnabled) player_->prevClick();
    });
    connect(next, &QAction::triggered, this, [this] {
        if (!transportElsewhere_ && player_->controls().nextEnabled) player_->nextClick();
    });
    connect(elapsed, &QAction::triggered, this, [this] { player_->setTimeMode(0); });
    connect(remaining, &QAction::triggered, this, [this] { player_->setTimeMode(1); });
    connect(tray, &QAction::toggled, this, [this](bool on) { player_->setTrayDisplay(on); });
    connect(uhrzeit_, &QAction::triggered, this, &PlaybackWidgets::showClockBriefly);

    hiddenClock_.setSingleShot(true);
    hiddenClock_.setInterval(5000);
    connect(&hiddenClock_, &QTimer::timeout, this, &PlaybackWidgets::update);

    connect(clock_, &ClockWindow::menuRequested, this, [this](const QPoint& at) {
        prepareMenu(true);
        menu_->popup(at);
    });
    connect(clock_, &ClockWindow::entered, this, [this] {
        if (tip_->isShowing()) return;
        const QRect frame(clock_->mapToGlobal(QPoint(0, 0)), clock_->size());
        const QScreen* screen = clock_->screen() ? clock_->screen() : QApplication::primaryScreen();
        tip_->showFor(frame, player_->displayName(),
                      screen ? screen->geometry().bottom() + 1 : 1 << 20);
    });
    connect(clock_, &ClockWindow::left, this, [this] {
        if (tip_->isShowing()) tip_->closeTip();
    });
    tip_->clockVisible = [this] { return clock_->isVisible(); };
    tip_->currentName = [this] { return player_->displayName(); };

    connect(clock_, &ClockWindow::moved, this, [this](const QPoint& at) {
        clockPlace_ = at;
        clockPlaced_ = true;
    });

    // Made even without a system tray: it shows up when one appears.
    tray_ = new QSystemTrayIcon(window_->windowIcon(), this);
    tray_->setContextMenu(menu_);
    connect(menu_, &QMenu::aboutToShow, this, [this] {
        if (!menu_->property("prepared").toBool()) prepareMenu(true);
        menu_->setProperty("prepared", false);
    });
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger) raiseWindow();
            });
    connect(player_, &Player::controlsChanged, this, &PlaybackWidgets::update);
    update();
}

PlaybackWidgets::~PlaybackWidgets() = default;

QAction* PlaybackWidgets::item(const QString& objectName) const {
    if (objectName == QLatin1String("titel")) return titelAction_;
    for (QMenu* m : {menu_, titel_})
        for (QAction* a : m->actions())
            if (a->objectName() == objectName) return a;
    return nullptr;
}

void PlaybackWidgets::attachSeekpos(QWidget* seekpos) {
    seekpos->setFont(ClockWindow::lcdFont(14));
    seekpos->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(seekpos, &QWidget::customContextMenuRequested, this, [this, seekpos](const QPoint& at) {
        prepareMenu(false);
        menu_->popup(seekpos->mapToGlobal(at));
    });
}

void PlaybackWidgets::prepareMenu(bool onClock) {
    const PlayerControls& c = player_->controls();
    item(QStringLiteral("Pause2"))->setChecked(c.pauseChecked);
    if (!transportElsewhere_) {
        item(QStringLiteral("Play2"))->setEnabled(c.playEnabled);
        item(QStringLiteral("Pause2"))->setEnabled(c.pauseEnabled);
        item(QStringLiteral("Stop2"))->setEnabled(c.stopEnabled);
        item(QStringLiteral("VorherigerTitel2"))->setEnabled(c.prevEnabled);
        item(QStringLiteral("NchsterTitel2"))->setEnabled(c.nextEnabled);
    }
    if (onClock) titelAction_->setText(clocktexts::menuCaption(player_->displayName()));
    titelAction_->setVisible(onClock);
    titelline_->setVisible(onClock);
    uhrzeit_->setVisible(onClock);
    menu_->setProperty("prepared", true);
}

void PlaybackWidgets::update() {
    const PlayerControls& c = player_->controls();
    clock_->setClock(c.clockText, c.clockGrey);
    clock_->setToolTip(c.clockHint);
    const bool show = c.clockShown && player_->trayDisplay() && !hiddenClock_.isActive();
    if (show != clock_->isVisible()) {
        if (show) {
            clock_->adjustSize();
            // Under Wayland the compositor places the window; moving it does nothing.
            const QScreen* screen = QApplication::primaryScreen();
            if (ClockWindow::canPlaceItself() && clockPlaced_) {
                clock_->move(clockPlace_);
            } else if (ClockWindow::canPlaceItself() && screen) {
                const QRect area = screen->availableGeometry();
                clock_->move(area.right() - clock_->width() - 8,
                             area.bottom() - clock_->height() - 8);
            }
        }
        clock_->setVisible(show);
    }
    if (!clock_->isVisible() && tip_->isShowing()) tip_->closeTip();
    // The tray icon is the clock's other half: shown and hidden by the same rules.
    tray_->setToolTip(clocktexts::trayToolTip(c.clockText, c.clockHint));
    if (tray_->icon().isNull()) tray_->setIcon(window_->windowIcon());
    tray_->setVisible(c.clockShown && player_->trayDisplay());
}

void PlaybackWidgets::raiseWindow() {
    if (window_->isMinimized() || window_->isHidden()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

void PlaybackWidgets::showClockBriefly() {
    hiddenClock_.start();
    clock_->hide();
}

QString PlaybackWidgets::openVolumeControl() {
    if (!mixerProgram.isEmpty() && QProcess::startDetached(mixerProgram, {})) return mixerProgram;
    if (!volume_) volume_ = new VolumeDialog(player_, window_);
    volume_->show();
    volume_->raise();
    return {};
}
