#include "app_core.h"
#include "collection_views.h"
#include "command_panel.h"
#include "copy_dialogs.h"
#include "copy_integration.h"
#include "copy_profiles.h"
#include "index_file.h"
#include "main_window.h"
#include "path_template.h"
#include "settings_store.h"
#include "test_env.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CopyIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        catalogue = env.path(QStringLiteral("katalog"));
        medium = env.path(QStringLiteral("medium"));
        QDir().mkpath(catalogue);
        QDir().mkpath(medium + QStringLiteral("/Ordner"));
        QStringList lines{QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::Erste"),
                          QStringLiteral("Erste:\\Ordner\\")};
        for (const char* name : {"Abba - SOS.ogg", "Queen - Innuendo.ogg"}) {
            lines.append(QStringLiteral("Erste:\\Ordner\\") + QLatin1String(name));
            QFile f(medium + QStringLiteral("/Ordner/") + QLatin1String(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(3000, name[0]));
        }
        QString error;
        ASSERT_TRUE(indexfile::writeIndexFile(catalogue + QStringLiteral("/a.cd"), lines, &error));
        QFile id(medium + QStringLiteral("/Erste.id"));
        ASSERT_TRUE(id.open(QIODevice::WriteOnly));
        qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(medium));
        store = std::make_unique<SettingsStore>(env.path(QStringLiteral("config/registry.json")));
    }
    void TearDown() override { qunsetenv("VORLUNE_MEDIA_ROOTS"); }

    void addProfile(const QString& name, const QString& path, const QString& command = {}) {
        copyprofiles::Profile p;
        p.name = name;
        p.path = path;
        p.playlist = env.path(QStringLiteral("listen/") + name + QStringLiteral(".m3u"));
        p.command = command;
        copyprofiles::writeProfile(*store, p);
    }

    std::unique_ptr<TForm1> shownAndLoaded() {
        TForm1::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        auto w = std::make_unique<TForm1>(e);
        w->setMessageBoxHook(
            [this](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons) {
                boxes.append({icon, text});
                return answer;
            });
        bool done = false;
        QObject::connect(w.get(), &TForm1::loadFinished, [&done] { done = true; });
        w->show();
        EXPECT_TRUE(waitFor([&] { return done; }));
        return w;
    }

    IsolatedEnvironment env;
    QString catalogue, medium;
    std::unique_ptr<SettingsStore> store;
    QList<std::pair<QMessageBox::Icon, QString>> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
};

TEST_F(CopyIntegrationTest, ProfileButtonsLoadRunAndAreRememberedAtClosing) {
    addProfile(QStringLiteral("b"), QStringLiteral("/ziel/b/%F"));
    addProfile(QStringLiteral("A"), QStringLiteral("/ziel/a/%F"));
    addProfile(QStringLiteral("c"), QStringLiteral("/ziel/c/%F"),
               QStringLiteral("sh -c \"pwd > 'ran %P.txt'\""));
    copyprofiles::setActiveProfileName(*store, QStringLiteral("B"));
    auto w = shownAndLoaded();
    CopyIntegration* copy = w->copying();
    const QList<QToolButton*> buttons = copy->profileButtons();
    QStringList names;
    for (QToolButton* b : buttons)
        names << b->toolTip();
    EXPECT_EQ(names, QStringList({"A", "b", "c"}));
    EXPECT_TRUE(buttons[1]->isChecked());
    EXPECT_EQ(copy->activeProfile(), "b");
    EXPECT_EQ(w->dir_text->text(), "/ziel/b/%F");
    EXPECT_EQ(w->pl_text->currentText(), env.path(QStringLiteral("listen/b.m3u")));
    EXPECT_TRUE(w->newprof->isHidden());

    // A click loads the profile; a double click runs its command in the catalogue folder.
    buttons[2]->click();
    EXPECT_TRUE(buttons[2]->isChecked() && !buttons[1]->isChecked());
    EXPECT_EQ(w->dir_text->text(), "/ziel/c/%F");
    QTest::mouseDClick(buttons[2], Qt::LeftButton);
    EXPECT_EQ(w->statusText->text(),
              "Der für das Profil \"c\" angegebene Befehl wurde ausgeführt.");
    const QString ran = catalogue + QStringLiteral("/ran c.txt");
    ASSERT_TRUE(waitFor([&] { return QFileInfo(ran).size() > 0; }));
    EXPECT_EQ(readAll(ran).trimmed(), QDir(catalogue).canonicalPath().toUtf8());
    buttons[0]->click();
    QTest::mouseDClick(buttons[0], Qt::LeftButton);
    EXPECT_EQ(w->statusText->text(), "Für das Profil \"A\" wurde kein Befehl angegeben.");

    // Typing into the template releases the profile.
    buttons[2]->click();
    w->dir_text->setFocus();
    QTest::keyClick(w->dir_text, Qt::Key_X);
    EXPECT_FALSE(buttons[2]->isChecked());
    EXPECT_EQ(copy->activeProfile(), "(Kein Profil)");
    EXPECT_TRUE(copy->command().isEmpty());

    buttons[0]->click();
    w->close();
    SettingsStore saved(store->filePath());
    ASSERT_TRUE(saved.load());
    EXPECT_EQ(copyprofiles::activeProfileName(saved), "A");
}

TEST_F(CopyIntegrationTest, TemplateQuestionCopyModeAndBurnButton) {
    auto w = shownAndLoaded();
    CopyIntegration* copy = w->copying();
    EXPECT_FALSE(w->newprof->isHidden()); // no profiles yet
    const QString home = QDir::homePath();
    const struct {
        const char* text;
        QMessageBox::StandardButton answer;
        QString result;
    } cases[] = {
        {"/musik/%A/%T%E", QMessageBox::Yes, "/musik/%A/%T%E"},
        {"Musik", QMessageBox::Yes, home + "/Musik/%F"},
        {"/musik/%X", QMessageBox::No, home + "/Musik/%F"}, // back to the remembered text
    };
    for (const auto& c : cases) {
        boxes.clear();
        answer = c.answer;
        w->dir_text->setText(QString::fromUtf8(c.text));
        copy->dir_textExit();
        EXPECT_EQ(w->dir_text->text(), c.result) << c.text;
        EXPECT_EQ(boxes.size(), pathtemplate::CheckPathTemplate(QString::fromUtf8(c.text)) ? 0 : 1)
            << c.text;
    }
    EXPECT_EQ(boxes.first().second, "Die Pfadvorlage \"/musik/%X\" enthält falsche Angaben.\n\r"
                                    "Soll sie automatisch korrigiert werden?");

    // A playlist in a missing folder: the folder is made on Yes.
    answer = QMessageBox::Yes;
    const QString list = env.path(QStringLiteral("neu/ordner/liste.m3u"));
    w->pl_text->setEditText(list);
    copy->pl_textExit();
    EXPECT_TRUE(QFileInfo(env.path(QStringLiteral("neu/ordner"))).isDir());

    CommandPanel* panel = w->commands;
    w->action(QStringLiteral("ZumZielortverschieben1"))->trigger();
    EXPECT_EQ(panel->copy_btn->text(), "Ve&rschieben");
    EXPECT_EQ(copy->copyMode(), 1);
    w->action(QStringLiteral("AufCDschreiben1"))->trigger();
    EXPECT_TRUE(panel->copy_btn->isHidden());
    EXPECT_FALSE(panel->burn_btn->isHidden());
    boxes.clear();
    copy->burn_btnClick();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().first, QMessageBox::Critical);
    EXPECT_EQ(boxes.first().second, "Brennmodul nicht gefunden!");
    w->action(QStringLiteral("ZumZielortkopieren1"))->trigger();
    EXPECT_EQ(panel->copy_btn->text(), "&Kopieren");
    EXPECT_FALSE(panel->copy_btn->isHidden());
    w->close();
}

TEST_F(CopyIntegrationTest, CopySelectionAsksTheParameterAndDisablesCopyingWhileRunning) {
    auto w = shownAndLoaded();
    CopyIntegration* copy = w->copying();
    const QString dest = env.path(QStringLiteral("ziel"));
    w->dir_text->setText(dest + QStringLiteral("/%?/%A/%T%E"));
    w->pl_text->setEditText(dest + QStringLiteral("/liste.m3u"));
    QStringList asked;
    copy->setParameterPrompt([&](const QString& preset) {
        asked << preset;
        return QStringLiteral("Party/Mix");
    });
    CollectionViews* views = w->views();
    TreeNode* root = w->collection().root();
    TreeNode* folder = nullptr;
    std::function<void(TreeNode*)> find = [&](TreeNode* n) {
        for (int i = 0; i < n->childCount() && !folder; ++i) {
            if (n->child(i)->text == QStringLiteral("Ordner")) folder = n->child(i);
            find(n->child(i));
        }
    };
    find(root);
    ASSERT_NE(folder, nullptr);
    views->selectNode(folder);
    views->selectAll();
    ASSERT_EQ(views->selectedCount(), 2);
    EXPECT_TRUE(copy->copyEnabled());
    QSignalSpy enabled(copy, &CopyIntegration::enabledChanged);
    QSignalSpy finished(&copy->copyDialog()->run(), &CopyRun::finished);
    w->commands->copy_btn->click();
    EXPECT_EQ(asked, QStringList({"(Kein Parameter)"}));
    EXPECT_TRUE(copy->copyDialog()->isVisible());
    EXPECT_FALSE(w->commands->copy_btn->isEnabled());
    EXPECT_FALSE(w->action(QStringLiteral("InZielordnerkopieren1"))->isEnabled());
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_EQ(readAll(dest + QStringLiteral("/Party-Mix/Abba/SOS.ogg")), QByteArray(3000, 'A'));
    EXPECT_EQ(readAll(dest + QStringLiteral("/Party-Mix/Queen/Innuendo.ogg")),
              QByteArray(3000, 'Q'));
    EXPECT_EQ(w->statusText->text(),
              "Kopieren der Titel in Zielordner abgeschlossen. (2 Titel kopiert)");
    EXPECT_TRUE(w->commands->copy_btn->isEnabled());
    ASSERT_GE(enabled.size(), 2);
    EXPECT_FALSE(enabled.first().first().toBool());
    EXPECT_TRUE(enabled.last().first().toBool());
    EXPECT_EQ(readAll(dest + QStringLiteral("/liste.m3u")).count('\n'), 5);
    w->close();
}

TEST_F(CopyIntegrationTest, ExplicitTitlesNeedNotBeInTheList) {
    // A medium the catalogue does not know, beside the loaded one.
    const QString other = env.path(QStringLiteral("anderes"));
    QDir().mkpath(other + QStringLiteral("/Sub"));
    QFile id(other + QStringLiteral("/Zweite.id"));
    ASSERT_TRUE(id.open(QIODevice::WriteOnly));
    id.close();
    QFile song(other + QStringLiteral("/Sub/Beta - Gamma.ogg"));
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write(QByteArray(2000, 'B'));
    song.close();
    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(medium + u':' + other));

    auto w = shownAndLoaded();
    CopyIntegration* copy = w->copying();
    const QString dest = env.path(QStringLiteral("ziel"));
    w->dir_text->setText(dest + QStringLiteral("/%C/%F"));
    w->pl_text->setEditText(dest + QStringLiteral("/liste.m3u"));
    ASSERT_EQ(w->views()->selectedCount(), 0);
    QSignalSpy finished(&copy->copyDialog()->run(), &CopyRun::finished);
    // Folder lines and text that names no title are left out; they do not end the run.
    copy->copyTitles({QStringLiteral("Zweite:\\Sub\\Beta - Gamma.ogg"),
                      QStringLiteral("kein Titel"), QStringLiteral("Erste:\\Ordner\\"), QString(),
                      QStringLiteral("Erste:\\Ordner\\Abba - SOS.ogg")});
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(readAll(dest + QStringLiteral("/Zweite/Beta - Gamma.ogg")), QByteArray(2000, 'B'));
    EXPECT_EQ(readAll(dest + QStringLiteral("/Erste/Abba - SOS.ogg")), QByteArray(3000, 'A'));
    EXPECT_EQ(w->statusText->text(),
              "Kopieren der Titel in Zielordner abgeschlossen. (2 Titel kopiert)");

    // Through the command with an explicit selection: those titles, not the list's.
    QFile::remove(dest + QStringLiteral("/Zweite/Beta - Gamma.ogg"));
    QDir(dest + QStringLiteral("/Erste")).removeRecursively();
    TreeNode* folder = nullptr;
    std::function<void(TreeNode*)> find = [&](TreeNode* n) {
        for (int i = 0; i < n->childCount() && !folder; ++i) {
            if (n->child(i)->text == QStringLiteral("Ordner")) folder = n->child(i);
            find(n->child(i));
        }
    };
    find(w->collection().root());
    ASSERT_NE(folder, nullptr);
    w->views()->selectNode(folder);
    w->views()->selectAll();
    finished.clear();
    ASSERT_TRUE(w->commandTable().run(QStringLiteral("copy"),
                                      QStringLiteral("Zweite%3A%5CSub%5CBeta%20-%20Gamma.ogg&")));
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_EQ(readAll(dest + QStringLiteral("/Zweite/Beta - Gamma.ogg")), QByteArray(2000, 'B'));
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/Erste")));
    w->close();
}

// A medium labelled "AC/DC" is found by "AC-DC.id" and copied with the others, without an
// insert-medium dialog; a title whose label cannot be looked up is named in the final
// status, which keeps the main window at its width however long it is.
TEST_F(CopyIntegrationTest, LabelsWithSlashesAreCopiedAndLongStatusTextsFit) {
    const QString acdc = env.path(QStringLiteral("acdc"));
    QDir().mkpath(acdc);
    QFile id(acdc + QStringLiteral("/AC-DC.id"));
    ASSERT_TRUE(id.open(QIODevice::WriteOnly));
    id.close();
    QFile song(acdc + QStringLiteral("/Thunder.ogg"));
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write(QByteArray(1000, 'T'));
    song.close();
    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(medium + u':' + acdc));

    auto w = shownAndLoaded();
    const int width = w->width();
    CopyIntegration* copy = w->copying();
    const QString dest = env.path(QStringLiteral("ziel"));
    w->dir_text->setText(dest + QStringLiteral("/%C/%F"));
    w->pl_text->setEditText(dest + QStringLiteral("/liste.m3u"));
    const QString longLabel(241, u'x');
    QSignalSpy finished(&copy->copyDialog()->run(), &CopyRun::finished);
    copy->copyTitles({QStringLiteral("AC/DC:\\Thunder.ogg"), longLabel + QStringLiteral(":\\x.ogg"),
                      QStringLiteral("Erste:\\Ordner\\Abba - SOS.ogg")});
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(readAll(dest + QStringLiteral("/AC-DC/Thunder.ogg")), QByteArray(1000, 'T'));
    EXPECT_EQ(readAll(dest + QStringLiteral("/Erste/Abba - SOS.ogg")), QByteArray(3000, 'A'));
    const QString full = w->statusText->toolTip();
    EXPECT_TRUE(full.startsWith(QStringLiteral(
        "Kopieren der Titel in Zielordner abgeschlossen. (2 Titel kopiert, 1 übersprungen)")))
        << full.toStdString();
    EXPECT_TRUE(full.contains(longLabel));
    EXPECT_TRUE(w->statusText->text().startsWith(QStringLiteral("Kopieren der Titel")));
    QTest::qWait(50);
    EXPECT_EQ(w->width(), width);
    w->close();
}

// Copying on a core without a window: the view holds plain fields and buttons and records
// what the window would show.
struct FakeCopyView : CopyView {
    QWidget parent;
    QLineEdit destination{&parent};
    QComboBox playlist{&parent};
    QPushButton destinationChooser{&parent}, playlistChooser{&parent};
    QPushButton copy{&parent}, burn{&parent}, newProfile{&parent};
    QWidget row{&parent};
    QActionGroup modes{&parent};
    QHash<QString, QAction*> items;
    QStringList selected, statusTexts, copyStatus;
    QList<QMessageBox::Icon> asked;
    QMessageBox::StandardButton answer = QMessageBox::Yes;

    FakeCopyView() {
        playlist.setEditable(true);
        new QHBoxLayout(&row);
        for (const char* name :
             {"ZumZielortkopieren1", "ZumZielortverschieben1", "AufCDschreiben1"}) {
            auto* a = new QAction(QLatin1String(name), &parent);
            a->setCheckable(true);
            modes.addAction(a);
            items.insert(QLatin1String(name), a);
        }
        items.value(QStringLiteral("ZumZielortkopieren1"))->setChecked(true);
    }
    QWidget* dialogParent() override { return &parent; }
    QLineEdit* destinationField() override { return &destination; }
    QComboBox* playlistField() override { return &playlist; }
    QAbstractButton* destinationButton() override { return &destinationChooser; }
    QAbstractButton* playlistButton() override { return &playlistChooser; }
    QAbstractButton* copyButton() override { return &copy; }
    QAbstractButton* burnButton() override { return &burn; }
    QWidget* profileRow() override { return &row; }
    QAbstractButton* newProfileButton() override { return &newProfile; }
    QAction* menuItem(const QString& name) const override { return items.value(name); }
    QStringList selectedTitles() const override { return selected; }
    void showCopyStatus(const QString& text) override { copyStatus << text; }
    void setStatusText(const QString& text) override { statusTexts << text; }
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString&,
                                    QMessageBox::StandardButtons) override {
        asked << icon;
        return answer;
    }
};

class CopyOnCore : public CopyIntegrationTest {
protected:
    void SetUp() override {
        CopyIntegrationTest::SetUp();
        AppCore::Environment e;
        e.catalogDir = catalogue;
        e.dataDir = env.dataDir();
        e.tempDir = env.path(QStringLiteral("runtime"));
        e.store = store.get();
        core = std::make_unique<AppCore>(e);
        // The window's part of the state: the list's selection.
        core->commands().addStateSource(&stateOwner, [this](UiState& s) {
            s.viewsExist = true;
            s.selected = s.listItems = int(view->selected.size());
            s.node = uistate::NodeKind::Other;
        });
        view = std::make_unique<FakeCopyView>();
    }
    void makeCopy() {
        copy = std::make_unique<CopyIntegration>(core->commands(), core->media(), store.get(),
                                                 catalogue, env.dataDir(), *view);
    }
    void TearDown() override {
        copy.reset();
        view.reset();
        core.reset();
        CopyIntegrationTest::TearDown();
    }

    QObject stateOwner;
    std::unique_ptr<AppCore> core;
    std::unique_ptr<FakeCopyView> view;
    std::unique_ptr<CopyIntegration> copy;
};

TEST_F(CopyOnCore, ModesAndTemplateChecksThroughTheView) {
    makeCopy();
    EXPECT_TRUE(view->destinationChooser.isEnabled());
    const struct {
        const char* item;
        int mode;
        const char* copyText;
        bool copyShown, burnShown;
    } modes[] = {
        {"ZumZielortverschieben1", 1, "Ve&rschieben", true, false},
        {"AufCDschreiben1", 2, "&Kopieren", false, true},
        {"ZumZielortkopieren1", 0, "&Kopieren", true, false},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.item);
        view->items.value(QLatin1String(m.item))->trigger();
        EXPECT_EQ(copy->copyMode(), m.mode);
        EXPECT_EQ(core->commands().state().copyMode, m.mode);
        EXPECT_EQ(view->copy.text(), QLatin1String(m.copyText));
        EXPECT_EQ(!view->copy.isHidden(), m.copyShown);
        EXPECT_EQ(!view->burn.isHidden(), m.burnShown);
        if (m.mode == 2) {
            // Titles to burn: the missing burner is said, nothing is copied.
            view->asked.clear();
            copy->copyTitles({QStringLiteral("Erste:\\Ordner\\Abba - SOS.ogg")});
            EXPECT_EQ(view->asked, QList<QMessageBox::Icon>{QMessageBox::Critical});
            EXPECT_FALSE(copy->copyDialog()->isRunning());
        }
    }

    const QString home = QDir::homePath();
    const struct {
        const char* text;
        QMessageBox::StandardButton answer;
        QString result;
    } templates[] = {
        {"  /musik/%A/%T%E ", QMessageBox::Yes, "/musik/%A/%T%E"},
        {"Musik", QMessageBox::Yes, home + "/Musik/%F"},
        {"/musik/%X", QMessageBox::No, home + "/Musik/%F"}, // back to the remembered text
    };
    for (const auto& t : templates) {
        SCOPED_TRACE(t.text);
        view->asked.clear();
        view->answer = t.answer;
        view->destination.setText(QString::fromUtf8(t.text));
        copy->dir_textExit();
        EXPECT_EQ(view->destination.text(), t.result);
        EXPECT_EQ(view->asked.size(),
                  pathtemplate::CheckPathTemplate(QString::fromUtf8(t.text).trimmed()) ? 0 : 1);
        // The command's rule sees the destination as it stands.
        EXPECT_EQ(core->commands().state().destination, t.result);
    }
}

TEST_F(CopyOnCore, ProfilesFillTheFieldsAndTheSelectionIsCopied) {
    addProfile(QStringLiteral("b"), env.path(QStringLiteral("ziel/b/%F")));
    addProfile(QStringLiteral("A"), env.path(QStringLiteral("ziel/a/%A/%T%E")));
    copyprofiles::setActiveProfileName(*store, QStringLiteral("A"));
    makeCopy();
    copy->BuildProfileButtons();
    QStringList names;
    for (QToolButton* b : copy->profileButtons()) {
        names << b->toolTip();
        EXPECT_EQ(b->parentWidget(), &view->row);
    }
    EXPECT_EQ(names, QStringList({"A", "b"}));
    EXPECT_TRUE(view->newProfile.isHidden());
    EXPECT_EQ(copy->activeProfile(), "A");
    EXPECT_EQ(view->destination.text(), env.path(QStringLiteral("ziel/a/%A/%T%E")));
    EXPECT_EQ(view->playlist.currentText(), env.path(QStringLiteral("listen/A.m3u")));

    // The copy command takes the view's selection and playlist; the run reports through
    // the view.
    view->playlist.setEditText(env.path(QStringLiteral("ziel/liste.m3u")));
    const QStringList cases[] = {{},
                                 {QStringLiteral("Erste:\\Ordner\\Abba - SOS.ogg"),
                                  QStringLiteral("Erste:\\Ordner\\Queen - Innuendo.ogg")}};
    for (const QStringList& selection : cases) {
        SCOPED_TRACE(selection.size());
        view->selected = selection;
        QSignalSpy finished(&copy->copyDialog()->run(), &CopyRun::finished);
        EXPECT_EQ(bool(core->commands().run(QLatin1String(cmd::Copy))), !selection.isEmpty());
        if (selection.isEmpty()) continue;
        EXPECT_FALSE(copy->copyEnabled()); // while it runs
        ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }, 10000));
        EXPECT_TRUE(finished.first().first().toBool());
        EXPECT_TRUE(copy->copyEnabled());
    }
    EXPECT_EQ(readAll(env.path(QStringLiteral("ziel/a/Abba/SOS.ogg"))), QByteArray(3000, 'A'));
    EXPECT_EQ(readAll(env.path(QStringLiteral("ziel/a/Queen/Innuendo.ogg"))),
              QByteArray(3000, 'Q'));
    EXPECT_TRUE(readAll(env.path(QStringLiteral("ziel/liste.m3u"))).contains("SOS.ogg"));
    ASSERT_FALSE(view->copyStatus.isEmpty());

    // Closing keeps the pressed profile in the store.
    copy->profileButtons().at(1)->click();
    EXPECT_EQ(view->destination.text(), env.path(QStringLiteral("ziel/b/%F")));
    copy->shutdown();
    EXPECT_EQ(copyprofiles::activeProfileName(*store), "b");
    EXPECT_TRUE(copy->profileButtons().isEmpty());
}

} // namespace
