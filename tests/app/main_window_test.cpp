#include "app_settings.h"
#include "collection_views.h"
#include "command_catalogue.h"
#include "command_panel.h"
#include "commands.h"
#include "index_file.h"
#include "main_window.h"
#include "settings_store.h"
#include "test_env.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using appsettings::kMainKey;

void writeMedium(const QString& path, const QString& label, int titles) {
    QStringList lines{QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::") + label,
                      label + QStringLiteral(":\\Ordner\\")};
    for (int i = 0; i < titles; ++i)
        lines.append(label + QStringLiteral(":\\Ordner\\Titel %1.mp3").arg(i));
    QString error;
    ASSERT_TRUE(indexfile::writeIndexFile(path, lines, &error)) << error.toStdString();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue = env.path(QStringLiteral("katalog"));
        QDir().mkpath(catalogue);
        writeMedium(catalogue + QStringLiteral("/a.cd"), QStringLiteral("Erste"), 3);
        writeMedium(catalogue + QStringLiteral("/b.cd"), QStringLiteral("Zweite"), 2);
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }

    std::unique_ptr<TForm1> makeWindow() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.executable = QStringLiteral("/opt/vorlune dir/vorlune");
        e.applicationsDir = env.path(QStringLiteral("data/applications"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons) {
                boxes.append({icon, text});
                return answer;
            });
        return w;
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        auto w = makeWindow();
        bool done = false;
        const auto c = QObject::connect(w.get(), &TForm1::loadFinished, [&done] { done = true; });
        w->show();
        EXPECT_TRUE(waitFor([&] { return done; }));
        QObject::disconnect(c);
        return w;
    }

    IsolatedEnvironment env;
    QString catalogue;
    std::unique_ptr<SettingsStore> store;
    QList<std::pair<QMessageBox::Icon, QString>> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
};

TEST_F(MainWindowTest, MenusCarryTheirCaptionsShortcutsAndLaterItemsAreDisabled) {
    auto w = makeWindow();
    struct Item {
        const char* name;
        const char* caption;
        const char* key;
        bool enabled;
    };
    const Item items[] = {
        {"DatentrgerListenneueinlesen1", "M&edien neu einlesen", "Ctrl+R", true},
        {"Beenden1", "&Beenden", "Ctrl+Q", true},
        {"Befehle1", "&Befehle", "", true},
        {"Schnellsuche1", "&Schnellsuche", "", true},
        {"Zielangaben1", "&Zielangaben", "", true},
        {"Profile1", "&Profile", "", true},
        {"Play1", "&Play", "F6", false},
        {"Pause1", "P&ause", "F8", false},
        {"Stop1", "&Stop", "F9", false},
        {"VorherigerTitel1", "&Vorheriger Titel", "F5", false},
        {"NchsterTitel1", "&Nächster Titel", "F7", false},
        {"Wiederholen1", "&Wiederholen", "Ctrl+W", false},
        {"Zufllig1", "&Zufällig", "Ctrl+Z", false},
        {"Lautstrke1", "&Lautstärke", "F10", true},
        {"InZielordnerkopieren1", "In &Zielordner kopieren", "Ctrl+K", false},
        {"Merken1", "&Merken", "Ins", false},
        {"Allesmarkieren1", "Alles &markieren", "Ctrl+A", false},
        {"Browser1", "&Webansicht verwenden", "", true},
        {"ZumWeitergebenspeichern1", "&Zum Weitergeben speichern...", "", false},
        {"PereMailverschicken1", "&Per e-Mail verschicken...", "", false},
        {"Streaming1", "S&treaming...", "", false},
    };
    for (const Item& item : items) {
        QAction* a = w->action(QLatin1String(item.name));
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), QString::fromUtf8(item.caption)) << item.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromUtf8(item.key))) << item.name;
        EXPECT_EQ(a->isEnabled(), item.enabled) << item.name;
    }
    for (const QString& group : appsettings::commandGroups()) {
        QGroupBox* box = w->commands->group(group);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QLatin1Char(' ') + group + QLatin1Char(' '));
    }
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Vorlune"));
    EXPECT_EQ(w->qs_go->text(), QStringLiteral("&Go!"));
    EXPECT_TRUE(w->qs_text->isEditable());
}

// Every menu item and button a command descriptor places exists in the built window,
// shows the descriptor's caption and shortcut, follows the command's enabled state and
// runs the command with the descriptor's argument.
// The main menu holds the layout's command items, each once, in its menu and its order.
TEST_F(MainWindowTest, MenusFollowTheMenuLayout) {
    auto w = shownAndLoaded();
    QHash<QString, QStringList> expected; // menu path: object names in order
    QSet<QString> seen;
    for (const commandcatalogue::MenuEntry& e : commandcatalogue::menuLayout()) {
        if (!e.objectName) continue;
        const QString name = QLatin1String(e.objectName);
        const commandcatalogue::Placement* p = commandcatalogue::placement(name);
        ASSERT_TRUE(p && p->caption) << e.objectName;
        EXPECT_FALSE(seen.contains(name)) << e.objectName;
        seen.insert(name);
        expected[QString::fromUtf8(e.menu)] << name;
    }
    QHash<QString, QStringList> found;
    std::function<void(QMenu*, const QString&)> walk = [&](QMenu* menu, const QString& path) {
        for (QAction* a : menu->actions()) {
            if (a->menu())
                walk(a->menu(), path + u'/' + a->menu()->title());
            else if (commandcatalogue::placement(a->objectName()))
                found[path] << a->objectName();
        }
    };
    for (QAction* top : w->menuBar()->actions())
        if (top->menu()) walk(top->menu(), top->menu()->title());
    EXPECT_EQ(found, expected);
}

TEST_F(MainWindowTest, EveryPlacedControlComesFromItsDescriptor) {
    QStringList ran;
    auto w = shownAndLoaded();
    CommandTable& table = w->commandTable();
    auto findAction = [&w](const QString& name) -> QAction* {
        for (QAction* a : w->findChildren<QAction*>())
            if (a->objectName() == name) return a;
        return nullptr;
    };
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all())
        for (const commandcatalogue::Placement& p : d.items) {
            const QString objectName = QLatin1String(p.objectName);
            QAction* a = findAction(objectName);
            auto* b = w->findChild<QAbstractButton*>(objectName);
            ASSERT_TRUE(a || b) << p.objectName;
            if (b) { // a command panel button
                if (p.caption) {
                    EXPECT_EQ(b->text(), QString::fromUtf8(p.caption)) << p.objectName;
                }
                if (p.hint) {
                    EXPECT_EQ(b->toolTip(), QString::fromUtf8(p.hint)) << p.objectName;
                }
                EXPECT_EQ(b->isCheckable(), d.checkable) << p.objectName;
            }
            if (a) {
                if (p.caption) {
                    EXPECT_EQ(a->text(), QString::fromUtf8(p.caption)) << p.objectName;
                }
                EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(p.shortcut)))
                    << p.objectName;
                EXPECT_EQ(a->isCheckable(), d.checkable) << p.objectName;
            }
            EXPECT_EQ(a ? a->isEnabled() : b->isEnabled(), table.isEnabled(QLatin1String(d.name)))
                << p.objectName;
        }

    // Every command enabled and recording: each control runs its own command.
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all()) {
        const QString name = QLatin1String(d.name);
        table.add(
            name, [&ran, name](const QString& arg) { ran << name + u'=' + arg; },
            [] { return true; });
    }
    for (const commandcatalogue::Descriptor& d : commandcatalogue::all())
        for (const commandcatalogue::Placement& p : d.items) {
            const QString objectName = QLatin1String(p.objectName);
            ran.clear();
            if (QAction* a = findAction(objectName)) {
                ASSERT_TRUE(a->isEnabled()) << p.objectName;
                a->trigger();
            } else {
                auto* b = w->findChild<QAbstractButton*>(objectName);
                ASSERT_TRUE(b->isEnabled()) << p.objectName;
                b->click();
            }
            ASSERT_EQ(ran.size(), 1) << p.objectName;
            const QString name = QLatin1String(d.name);
            // The handler gets the argument in its checked form.
            auto checked = [&d](const char* arg) {
                return commandcatalogue::checkArgument(d.argument, QLatin1String(arg)).value;
            };
            if (d.checkable)
                EXPECT_TRUE(ran[0] == name + u'=' + checked("1") ||
                            ran[0] == name + u'=' + checked("0"))
                    << p.objectName;
            else
                EXPECT_EQ(ran[0], name + u'=' + checked(p.argument ? p.argument : ""))
                    << p.objectName;
        }
}

TEST_F(MainWindowTest, FirstShowingLoadsOffTheGuiThreadAndRegistersOnce) {
    // A dangling link is an index file that cannot be read.
    ASSERT_TRUE(
        QFile::link(env.path(QStringLiteral("fehlt")), catalogue + QStringLiteral("/kaputt.cd")));
    auto w = shownAndLoaded();
    EXPECT_EQ(w->collection().mediaCount, 2);
    EXPECT_EQ(w->collection().titleCount, 5);
    EXPECT_EQ(w->statusText->text(), w->collection().loadedStatusText());
    EXPECT_TRUE(w->statusText->text().startsWith(QLatin1String("Archiv von 2 Medien")));
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].first, QMessageBox::Warning);
    EXPECT_TRUE(boxes[0].second.contains(QLatin1String("kaputt.cd")));

    // Desktop entry, sound events and the display font.
    QFile entry(env.path(QStringLiteral("data/applications/vorlune.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QLatin1String("MimeType=x-scheme-handler/vorlune;")));
    EXPECT_TRUE(text.contains(QLatin1String("Exec=\"/opt/vorlune dir/vorlune\" %u")));
    EXPECT_EQ(
        store->readText(QStringLiteral("AppEvents\\EventLabels\\VLFinishedCopying"), QString()),
        QStringLiteral("Kopieren abgeschlossen"));
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("DSEG7 Classic")));
    // The position label shows its time in that font, as the clock does.
    EXPECT_EQ(QFontInfo(w->commands->seekpos->font()).family(), QStringLiteral("DSEG7 Classic"));

    // Showing again is no second first showing.
    boxes.clear();
    w->hide();
    w->show();
    QTest::qWait(100);
    EXPECT_FALSE(w->isLoading());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(MainWindowTest, StoredSettingsDriveMenusBarsAndLists) {
    store->writeBool(kMainKey, QStringLiteral("SearchPanel"), false);
    store->writeBool(kMainKey, QStringLiteral("CommandPanel"), false);
    store->writeBool(kMainKey, QStringLiteral("Repeat"), true);
    store->writeInteger(kMainKey, QStringLiteral("ViewStyle"), 6);
    store->writeInteger(kMainKey, QStringLiteral("CopyMode"), 1);
    store->writeText(kMainKey, QStringLiteral("SearchText"), QStringLiteral("beatles -live"));
    store->writeBool(appsettings::kHiddenPanelsKey, QStringLiteral("Lautstärke"), true);
    store->writeText(appsettings::kQuickSearchMruKey, QStringLiteral("abba"), QString());
    store->writeText(appsettings::kBrainMruKey, QStringLiteral("Erste:\\Ordner\\Titel 1.mp3"),
                     QString());
    store->writeText(appsettings::kChartsMruKey, QStringLiteral("Erste:\\Ordner\\Titel 2.mp3"),
                     QStringLiteral("4:01.12.26"));
    auto w = shownAndLoaded();
    EXPECT_FALSE(w->action(QStringLiteral("Schnellsuche1"))->isChecked());
    EXPECT_TRUE(w->searchBar()->isHidden());
    EXPECT_FALSE(w->destBar()->isHidden());
    EXPECT_TRUE(w->commands->isHidden());
    EXPECT_TRUE(w->action(QStringLiteral("Wiederholen1"))->isChecked());
    EXPECT_TRUE(w->commands->rept->isChecked());
    EXPECT_TRUE(w->action(QStringLiteral("Liste1"))->isChecked());
    EXPECT_TRUE(w->action(QStringLiteral("ZumZielortverschieben1"))->isChecked());
    EXPECT_TRUE(w->action(QStringLiteral("AktuelleZeit1"))->isChecked());
    EXPECT_EQ(w->qs_text->currentText(), QStringLiteral("beatles -live"));
    EXPECT_EQ(w->qs_text->lineEdit()->selectedText(), QStringLiteral("beatles -live"));
    EXPECT_EQ(w->qs_text->itemText(0), QStringLiteral("abba"));
    EXPECT_TRUE(w->commands->group(QStringLiteral("Lautstärke"))->isHidden());
    EXPECT_FALSE(w->commands->group(QStringLiteral("Wiedergabe"))->isHidden());
    // The remembered lists survive the load that followed.
    EXPECT_EQ(w->collection().titleLists.list(TitleLists::Merkzettel),
              QStringList{QStringLiteral("Erste:\\Ordner\\Titel 1.mp3")});
    EXPECT_EQ(w->chartsRecords.value(QStringLiteral("Erste:\\Ordner\\Titel 2.mp3")),
              QStringLiteral("4:01.12.26"));

    // A double click on a bar's handle hides it; the menu item follows.
    QWidget* handle = w->destBar()->findChild<QWidget*>(QStringLiteral("handle"));
    ASSERT_NE(handle, nullptr);
    QTest::mouseDClick(handle, Qt::LeftButton);
    EXPECT_TRUE(w->destBar()->isHidden());
    EXPECT_FALSE(w->action(QStringLiteral("Zielangaben1"))->isChecked());
}

TEST_F(MainWindowTest, ReloadKeepsTheFixedListsAndSeesNewFiles) {
    auto w = shownAndLoaded();
    w->collection()
        .titleLists.list(TitleLists::Merkzettel)
        .append(QStringLiteral("Erste:\\Ordner\\Titel 0.mp3"));
    Collection* before = &w->collection();
    writeMedium(catalogue + QStringLiteral("/c.cd"), QStringLiteral("Dritte"), 4);
    bool done = false;
    Collection* announced = nullptr;
    QObject::connect(w.get(), &TForm1::loadFinished, [&done] { done = true; });
    QObject::connect(w.get(), &TForm1::collectionReplaced,
                     [&announced](Collection* c) { announced = c; });
    w->action(QStringLiteral("DatentrgerListenneueinlesen1"))->trigger();
    EXPECT_EQ(w->statusText->text(), QStringLiteral("Medien werden neu geladen..."));
    // The worker may be done already; the bar shows until the collection is taken over.
    EXPECT_FALSE(w->ProgressBar1->isHidden());
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(w->ProgressBar1->isHidden());
    EXPECT_NE(&w->collection(), before);
    EXPECT_EQ(announced, &w->collection());
    EXPECT_EQ(w->collection().mediaCount, 3);
    EXPECT_EQ(w->collection().titleCount, 9);
    EXPECT_EQ(w->collection().titleLists.list(TitleLists::Merkzettel),
              QStringList{QStringLiteral("Erste:\\Ordner\\Titel 0.mp3")});
    EXPECT_TRUE(w->collection().titleLists.contains(QStringLiteral("ALPHALIST::Ordner")));
    // The views show the new collection, not the freed one.
    ASSERT_NE(w->views(), nullptr);
    EXPECT_EQ(w->views()->collection(), &w->collection());
    EXPECT_EQ(w->collection().mediaListNode()->childCount(), 3);
    EXPECT_EQ(w->statusText->text(), w->collection().loadedStatusText());
}

TEST_F(MainWindowTest, ControlCommandsFocusTheSearchAndRespectDisabledButtons) {
    auto w = shownAndLoaded();
    w->qs_text->setEditText(QStringLiteral("suche"));
    w->dir_text->setFocus();
    w->showMinimized();
    ASSERT_TRUE(w->commandTable().run(QLatin1String(cmd::Raise)));
    EXPECT_FALSE(w->isMinimized());
    EXPECT_TRUE(
        waitFor([&] { return w->qs_text->lineEdit()->hasFocus() || w->qs_text->hasFocus(); }));
    EXPECT_EQ(w->qs_text->lineEdit()->selectedText(), QStringLiteral("suche"));

    // Control codes run the window's commands, and only while they are enabled.
    int plays = 0, nexts = 0;
    // The rule is asked again while the window goes, after this test's locals: it keeps
    // its own copy of the flag.
    const auto playAllowed = std::make_shared<bool>(false);
    w->commandTable().add(
        QStringLiteral("play"), [&plays](const QString&) { ++plays; },
        [playAllowed] { return *playAllowed; });
    w->commandTable().add(
        QStringLiteral("next"), [&nexts](const QString&) { ++nexts; }, [] { return false; });
    control::Message m;
    m.kind = control::Message::Mp3Ctrl;
    m.handle = 99;
    m.code = 1;
    EXPECT_TRUE(dispatchControlMessage(m, 99, w->core()));
    EXPECT_EQ(plays, 0); // disabled until the player enables it
    *playAllowed = true;
    w->commandTable().refresh();
    EXPECT_TRUE(w->commands->play->isEnabled());
    EXPECT_TRUE(dispatchControlMessage(m, 99, w->core()));
    EXPECT_EQ(plays, 1);
    m.code = 5;
    EXPECT_TRUE(dispatchControlMessage(m, 99, w->core()));
    EXPECT_EQ(nexts, 0);
}

TEST_F(MainWindowTest, ClosingSavesSettingsAndHooksMayRefuse) {
    auto w = shownAndLoaded();
    w->resize(777, 555);
    w->qs_text->addItem(QStringLiteral("neu gesucht"));
    w->qs_text->setEditText(QStringLiteral("zuletzt"));
    w->action(QStringLiteral("Profile1"))->setChecked(false);
    w->collection()
        .titleLists.list(TitleLists::Merkzettel)
        .append(QStringLiteral("Zweite:\\Ordner\\Titel 1.mp3"));
    bool allow = false;
    w->closeRequestHooks.push_back([&allow] { return allow; });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(QFile::exists(store->filePath()));
    allow = true;
    EXPECT_TRUE(w->close());

    SettingsStore reread(store->filePath());
    ASSERT_TRUE(reread.load());
    EXPECT_EQ(reread.readInteger(kMainKey, QStringLiteral("WinSizeX")), 777);
    EXPECT_EQ(reread.readInteger(kMainKey, QStringLiteral("WinSizeY")), 555);
    EXPECT_EQ(reread.readBool(kMainKey, QStringLiteral("ProfilePanel")), false);
    EXPECT_EQ(reread.readText(kMainKey, QStringLiteral("SearchText")), QStringLiteral("zuletzt"));
    EXPECT_EQ(reread.readInteger(kMainKey, QStringLiteral("ViewStyle")), 7);
    EXPECT_TRUE(
        reread.valueNames(appsettings::kQuickSearchMruKey).contains(QStringLiteral("neu gesucht")));
    EXPECT_EQ(reread.valueNames(appsettings::kBrainMruKey),
              QStringList{QStringLiteral("Zweite:\\Ordner\\Titel 1.mp3")});
    EXPECT_TRUE(boxes.isEmpty());
}

// A load that ends while the close request asks its questions shows nothing there:
// closing drops it, a refused close takes it over afterwards.
// A store that cannot be written at closing says so and may be retried; given up, nothing
// claims it saved. Elsewhere the failure shows in the status bar.
TEST_F(MainWindowTest, AFailedSaveIsToldAndMayBeRetried) {
    // The folder is missing until the user has seen the message once.
    const QString folder = env.path(QStringLiteral("spaeter"));
    store = std::make_unique<SettingsStore>(folder + QStringLiteral("/registry.json"));
    for (const bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "retried" : "given up");
        QDir(folder).removeRecursively();
        auto w = shownAndLoaded();
        w->saveSettings();
        EXPECT_TRUE(w->statusText->text().contains(store->filePath()))
            << qPrintable(w->statusText->text());
        EXPECT_FALSE(QFile::exists(store->filePath()));

        w->resize(701, 501);
        QStringList told;
        w->setMessageBoxHook(
            [&](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons buttons) {
                told.append(text);
                EXPECT_TRUE(buttons.testFlag(QMessageBox::Retry));
                if (!retry) return QMessageBox::Discard;
                QDir().mkpath(folder);
                return QMessageBox::Retry;
            });
        EXPECT_TRUE(w->close());
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].contains(store->filePath())) << qPrintable(told[0]);
        EXPECT_EQ(QFile::exists(store->filePath()), retry);
        if (retry) {
            SettingsStore reread(store->filePath());
            ASSERT_TRUE(reread.load());
            EXPECT_EQ(reread.readInteger(kMainKey, QStringLiteral("WinSizeX")), 701);
        }
    }
}

TEST_F(MainWindowTest, ALoadEndingDuringTheCloseRequestWaitsForItsOutcome) {
    for (const bool allow : {true, false}) {
        SCOPED_TRACE(allow ? "closing" : "refused");
        boxes.clear();
        auto w = shownAndLoaded();
        // The reload finds one more medium and one index file it cannot read.
        writeMedium(catalogue + QStringLiteral("/c.cd"), QStringLiteral("Dritte"), 1);
        ASSERT_TRUE(QFile::link(env.path(QStringLiteral("fehlt")),
                                catalogue + QStringLiteral("/kaputt.cd")));
        int boxesDuringRequest = -1;
        w->closeRequestHooks.push_back([&] {
            EXPECT_TRUE(w->commandTable().run(QLatin1String(cmd::Reload)));
            // The user thinks about the question while the load ends.
            EXPECT_TRUE(waitFor([&] { return !w->isLoading(); }));
            QTest::qWait(100);
            boxesDuringRequest = int(boxes.size());
            return allow;
        });
        EXPECT_EQ(w->close(), allow);
        EXPECT_EQ(boxesDuringRequest, 0);
        if (allow) {
            QTest::qWait(100);
            EXPECT_TRUE(boxes.isEmpty());
        } else {
            EXPECT_EQ(w->collection().mediaCount, 3);
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes[0].second.contains(QLatin1String("kaputt.cd")));
            w->closeRequestHooks.pop_back();
            EXPECT_TRUE(w->close());
        }
        QFile::remove(catalogue + QStringLiteral("/c.cd"));
        QFile::remove(catalogue + QStringLiteral("/kaputt.cd"));
    }
}

TEST_F(MainWindowTest, AStoredPositionOffEveryScreenIsMovedOntoThePrimary) {
    store->writeInteger(kMainKey, QStringLiteral("WinPosX"), 20000);
    store->writeInteger(kMainKey, QStringLiteral("WinPosY"), -15000);
    store->writeInteger(kMainKey, QStringLiteral("WinSizeX"), 500);
    store->writeInteger(kMainKey, QStringLiteral("WinSizeY"), 400);
    auto w = shownAndLoaded();
    const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(primary.intersects(w->geometry())) << w->geometry().x() << "," << w->geometry().y();
    EXPECT_EQ(w->geometry().size(), QSize(500, 400).boundedTo(primary.size()));
}

TEST_F(MainWindowTest, RegistryCleaningAsksAndDeletesAfterSaving) {
    {
        auto w = shownAndLoaded();
        w->registryCleaningReleased = true;
        answer = QMessageBox::No;
        w->close();
    }
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].second,
              QStringLiteral(
                  "!!!ACHTUNG!!!\r\n\r\nDie von der \"Vorlune\" in der Einstellungsdatei "
                  "gespeicherten Werte "
                  "wurden zum Löschen freigegeben.\r\nSollen diese Daten jetzt gelöscht werden?"));
    EXPECT_EQ(boxes[1].second, QStringLiteral("Das Löschen der Einträge wurde verhindert."));
    EXPECT_TRUE(store->keyExists(kMainKey));

    boxes.clear();
    {
        auto w = shownAndLoaded();
        w->registryCleaningReleased = true;
        answer = QMessageBox::Ok;
        w->close();
    }
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].second,
              QStringLiteral("Die durch die \"Vorlune\" vorgenommenen Einträge wurden gelöscht."));
    SettingsStore reread(store->filePath());
    ASSERT_TRUE(reread.load());
    EXPECT_FALSE(reread.keyExists(kMainKey));
    EXPECT_FALSE(reread.keyExists(QStringLiteral("AppEvents\\EventLabels\\VLWaitForMedia")));
    EXPECT_FALSE(QFile::exists(env.path(QStringLiteral("data/applications/vorlune.desktop"))));
}

} // namespace
