#include "clock_texts.h"
#include "media_access.h"
#include "media_access_titles.h"
#include "playback_widgets.h"
#include "player.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace clocktexts;

namespace {

class NoPrompts : public MediaPrompts {
public:
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString&, MediumWait&) override { return {}; }
};

class ClockDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VORLUNE_MEDIA_ROOTS", root.path().toUtf8());
        playbacktest::writeFile(root.filePath(QStringLiteral("Music.id")), "");
        MediaAccess::Options options;
        options.tempDir = temp.path();
        media = std::make_unique<MediaAccess>(options, &prompts);
        titles = std::make_unique<MediaAccessTitles>(media.get());
        Player::Options playerOptions;
        playerOptions.tempDir = temp.path();
        playerOptions.device.audioOutput = QStringLiteral("null");
        playerOptions.device.videoOutput = QStringLiteral("null");
        playerOptions.tickMs = 100;
        player = std::make_unique<Player>(playerOptions, titles.get());
        titles->connectPlayer(player.get());
        window = std::make_unique<QWidget>();
        widgets = new PlaybackWidgets(player.get(), window.get());
        widgets->mixerProgram.clear();
    }
    void TearDown() override {
        window.reset();
        player.reset();
        qunsetenv("VORLUNE_MEDIA_ROOTS");
    }
    bool play(const QString& name) {
        if (playbacktest::makeMp3(root.path(), name, 5000).isEmpty()) return false;
        QSignalSpy started(player.get(), &Player::titleStarted);
        player->playTitles({QStringLiteral("Music:\\") + name});
        return QTest::qWaitFor([&] { return started.count() > 0; }, 8000);
    }
    QStringList visibleItems() {
        QStringList out;
        for (QAction* a : widgets->menu()->actions())
            if (a->isVisible() && !a->isSeparator()) out << a->text();
        return out;
    }

    QTemporaryDir root, temp;
    NoPrompts prompts;
    std::unique_ptr<MediaAccess> media;
    std::unique_ptr<MediaAccessTitles> titles;
    std::unique_ptr<Player> player;
    std::unique_ptr<QWidget> window;
    PlaybackWidgets* widgets = nullptr;
};

} // namespace

TEST(ClockTexts, MenuCaptionDoublesTheFirstSingleAmpersand) {
    EXPECT_EQ(menuCaption(QStringLiteral("Simon & Garfunkel - Mrs Robinson")),
              "Simon && Garfunkel - Mrs Robinson");
    EXPECT_EQ(menuCaption(QStringLiteral("A & B & C")), "A && B & C");
    EXPECT_EQ(menuCaption(QStringLiteral("A && B & C")), "A && B && C");
    EXPECT_EQ(menuCaption(QStringLiteral("Plain")), "Plain");
    EXPECT_EQ(menuCaption(QStringLiteral("End &")), "End &&");
    EXPECT_EQ(trayToolTip(QStringLiteral("0:01:05"), QStringLiteral("Queen - Innuendo")),
              "0:01:05\nQueen - Innuendo");
}

TEST(ClockTexts, SongTipOpensBelowOrAboveWithRightEdgesAligned) {
    const QRect clock(900, 100, 80, 24);
    TipPlacement p = songTipPlacement(clock, 200, 23, 1080);
    EXPECT_TRUE(p.below);
    EXPECT_EQ(p.target, QRect(900 + 80 - 200 + 4, 130, 200, 23));
    // At the bottom of the screen the tip opens above the clock.
    p = songTipPlacement(QRect(900, 1050, 80, 24), 200, 23, 1080);
    EXPECT_FALSE(p.below);
    EXPECT_EQ(p.target.top(), 1050 - 23 - 6);
    EXPECT_EQ(p.target.right(), clock.right() + 4);
}

TEST_F(ClockDisplay, MenuOnThePositionLabelLeavesOnlyTimeModesAndTrayDisplay) {
    widgets->prepareMenu(false);
    EXPECT_EQ(visibleItems(),
              QStringList({"&Aktuelle Zeit", "&Verbleibende Zeit", "&Tray-Anzeige"}));
    widgets->prepareMenu(true);
    EXPECT_EQ(visibleItems().size(), 5);
    EXPECT_EQ(widgets->menu()->defaultAction(), widgets->item("titel"));
    EXPECT_TRUE(widgets->item("Uhrzeitanzeigen1")->isVisible());

    // Stopped: only what the buttons allow.
    EXPECT_FALSE(widgets->item("Pause2")->isEnabled());
    EXPECT_FALSE(widgets->item("Stop2")->isEnabled());
    EXPECT_FALSE(widgets->item("NchsterTitel2")->isEnabled());

    widgets->item("VerbleibendeZeit1")->trigger();
    EXPECT_EQ(player->timeMode(), 1);
    EXPECT_TRUE(widgets->item("VerbleibendeZeit1")->isChecked());
    EXPECT_FALSE(widgets->item("AktuelleZeit1")->isChecked());
    widgets->item("AktuelleZeit1")->trigger();
    EXPECT_EQ(player->timeMode(), 0);
}

TEST_F(ClockDisplay, ClockFollowsPlaybackPauseAndTheTrayDisplaySwitch) {
    ASSERT_TRUE(play(QStringLiteral("Simon & Garfunkel - Mrs Robinson.mp3")));
    ClockWindow* clock = widgets->clockWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 2000));
    EXPECT_EQ(clock->toolTip(), "Simon & Garfunkel - Mrs Robinson");
    widgets->prepareMenu(true);
    EXPECT_EQ(widgets->item("titel")->text(), "Simon && Garfunkel - Mrs Robinson");
    EXPECT_TRUE(widgets->item("Pause2")->isEnabled());
    EXPECT_TRUE(widgets->item("Stop2")->isEnabled());

    // Remaining time in the clock after the next tick.
    widgets->item("VerbleibendeZeit1")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->text().startsWith('-'); }, 1000));

    // The menu's "Pause" pauses; the clock greys and stays.
    widgets->item("Pause2")->trigger();
    EXPECT_FALSE(player->isTimerActive());
    EXPECT_TRUE(player->controls().clockGrey);
    widgets->prepareMenu(true);
    EXPECT_TRUE(widgets->item("Pause2")->isChecked());
    widgets->item("Pause2")->trigger();
    EXPECT_TRUE(player->isTimerActive());

    // Tray display off: hidden at the next tick, the menu still on the position label.
    widgets->item("TrayAnzeige1")->trigger();
    EXPECT_FALSE(player->trayDisplay());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !clock->isVisible(); }, 1000));
    widgets->item("TrayAnzeige1")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 1000));

    // "Stop" from the menu hides it and resets the text.
    widgets->item("Stop2")->trigger();
    EXPECT_FALSE(clock->isVisible());
    EXPECT_EQ(clock->text(), "0:00:00");
}

TEST_F(ClockDisplay, SongTipGrowsOpensAboveAtTheBottomAndKeepsItsRightEdge) {
    TSongTipWnd* tip = widgets->songTip();
    QString name = QStringLiteral("Queen - Innuendo");
    tip->currentName = [&] { return name; };
    tip->clockVisible = [] { return true; };
    tip->showFor(QRect(900, 1050, 80, 24), name, 1080);
    EXPECT_TRUE(tip->isShowing());
    EXPECT_FALSE(tip->opensBelow());
    EXPECT_LT(tip->height(), 5); // collapsed at first
    const QRect target = tip->targetGeometry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tip->geometry() == target; }, 2000));
    EXPECT_EQ(tip->text(), name);
    // The picture shows whole inside the tip, left of the name.
    QLabel* picture = tip->picture();
    ASSERT_FALSE(picture->pixmap().isNull());
    EXPECT_TRUE(picture->isVisible());
    EXPECT_TRUE(tip->rect().contains(picture->geometry())) << picture->y();
    EXPECT_LT(picture->geometry().right(), 25); // the name starts at 25

    // A longer title: wider, with the right edge where it was.
    name = QStringLiteral("Queen - Innuendo (Live at Wembley Stadium, 1986)");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return tip->text() == name && tip->geometry().right() == target.right(); }, 3000));
    EXPECT_GT(tip->width(), target.width());

    // The clock going away closes it.
    tip->clockVisible = [] { return false; };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tip->isShowing(); }, 1000));
    EXPECT_FALSE(tip->isVisible());
}

TEST_F(ClockDisplay, VolumeSliderWithoutAMixerProgram) {
    EXPECT_EQ(widgets->openVolumeControl(), QString());
    ASSERT_TRUE(widgets->volumeDialog());
    EXPECT_TRUE(widgets->volumeDialog()->isVisible());
    widgets->volumeDialog()->slider()->setValue(40);
    EXPECT_EQ(player->device().volume(), 40);
    widgets->volumeDialog()->slider()->setValue(85);
    EXPECT_EQ(player->device().volume(), 85);
}

TEST_F(ClockDisplay, TrayIconFollowsTheClockAndALeftClickRaisesTheWindow) {
    QSystemTrayIcon* tray = widgets->trayIcon();
    ASSERT_NE(tray, nullptr);
    EXPECT_FALSE(tray->isVisible()); // nothing plays
    QPixmap picture(16, 16);
    picture.fill(Qt::darkBlue);
    window->setWindowIcon(QIcon(picture));
    ASSERT_TRUE(play(QStringLiteral("Tray.mp3")));
    ClockWindow* clock = widgets->clockWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 2000));
    EXPECT_TRUE(tray->isVisible());
    EXPECT_FALSE(tray->icon().isNull()); // the window's icon

    // "&Tray-Anzeige" off hides both at the next tick, on shows them again.
    struct Step {
        bool trayDisplay;
        bool shown;
    } steps[] = {{false, false}, {true, true}};
    for (const Step& step : steps) {
        widgets->item("TrayAnzeige1")->setChecked(step.trayDisplay);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return clock->isVisible() == step.shown && tray->isVisible() == step.shown; },
            1000));
    }

    // A left click brings the minimized main window back; other clicks leave it.
    window->showMinimized();
    emit tray->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(window->isMinimized());
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());

    // A stop hides the icon with the clock.
    player->stopClick();
    EXPECT_FALSE(tray->isVisible());
    EXPECT_FALSE(clock->isVisible());
}

TEST_F(ClockDisplay, TheClockIsDraggedAndKeepsItsPlaceForTheSession) {
    ASSERT_TRUE(play(QStringLiteral("Drag.mp3")));
    ClockWindow* clock = widgets->clockWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 2000));
    const QPoint start = clock->pos();
    QLabel* label = clock->label();
    auto send = [&](QEvent::Type type, const QPoint& global, Qt::MouseButton button,
                    Qt::MouseButtons held) {
        QMouseEvent event(type, label->mapFromGlobal(global), global, button, held, Qt::NoModifier);
        QApplication::sendEvent(label, &event);
    };
    const QPoint grab = label->mapToGlobal(QPoint(5, 5));
    // A right button press does not move it; a left drag does.
    send(QEvent::MouseButtonPress, grab, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, grab - QPoint(100, 50), Qt::NoButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, grab - QPoint(100, 50), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(clock->pos(), start);
    send(QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, grab - QPoint(60, 30), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, grab - QPoint(120, 70), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, grab - QPoint(120, 70), Qt::LeftButton, Qt::NoButton);
    const QPoint placed = start - QPoint(120, 70);
    EXPECT_EQ(clock->pos(), placed);
    // Moving the mouse afterwards leaves it where it is.
    send(QEvent::MouseMove, grab, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(clock->pos(), placed);
    ASSERT_TRUE(widgets->clockPlace());
    EXPECT_EQ(*widgets->clockPlace(), placed);

    // The next title shows it there again.
    player->stopClick();
    ASSERT_FALSE(clock->isVisible());
    ASSERT_TRUE(play(QStringLiteral("Drag.mp3")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock->isVisible(); }, 2000));
    EXPECT_EQ(clock->pos(), placed);
}
