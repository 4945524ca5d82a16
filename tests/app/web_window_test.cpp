// The web view in the main window, with the real engine under a display: the pages of
// the view build, "&Webansicht verwenden", and "vorlune:" links that reach the program's
// operations through the command table.
#include "collection_views.h"
#include "command_panel.h"
#include "index_file.h"
#include "main_window.h"
#include "options_dialog.h"
#include "options_integration.h"
#include "settings_store.h"
#include "test_env.h"
#include "tree_node.h"
#include "web_integration.h"
#include "web_view.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TreeNode* childNamed(TreeNode* parent, const QString& text) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text == text) return parent->child(i);
    return nullptr;
}

} // namespace

TEST(WebWindow, ViewBuildPagesAndLinksReachTheOperations) {
    IsolatedEnvironment env;
    const QString catalogue = env.path(QStringLiteral("katalog"));
    QDir().mkpath(catalogue);
    QString error;
    ASSERT_TRUE(indexfile::writeIndexFile(
        catalogue + QStringLiteral("/a.cd"),
        {QStringLiteral("BEGIN::CD"), QStringLiteral("LABEL::Erste"),
         QStringLiteral("Erste:\\Ordner\\"), QStringLiteral("Erste:\\Ordner\\Titel 1.mp3")},
        &error));
    SettingsStore store(env.path(QStringLiteral("config/registry.json")));
    TForm1::Environment e;
    e.catalogDir = catalogue;
    e.dataDir = env.dataDir();
    e.tempDir = env.path(QStringLiteral("runtime"));
    e.store = &store;
    TForm1 w(e);
    w.setMessageBoxHook([](QMessageBox::Icon, const QString&, QMessageBox::StandardButtons) {
        return QMessageBox::Ok;
    });
    bool loaded = false;
    QObject::connect(&w, &TForm1::loadFinished, [&loaded] { loaded = true; });
    w.show();
    ASSERT_TRUE(waitFor([&] { return loaded && w.web()->browser(); }, 30000));
    WebView* browser = w.web()->browser();
    CollectionViews* views = w.views();
    EXPECT_TRUE(w.action(QStringLiteral("Browser1"))->isChecked()); // the default

    Collection& c = w.collection();
    TreeNode* medium = childNamed(c.mediaListNode(), QStringLiteral("Erste"));
    ASSERT_NE(medium, nullptr);
    const struct {
        TreeNode* node;
        const char* title; // nullptr: the list panel
    } steps[] = {
        {c.node(Collection::AlphaList), "Alphabetische Liste"},
        {c.root(), nullptr},
        {medium, "Medien-Details"},
        {c.node(Collection::PlaylistNode), "Wiedergabeliste"},
        {c.node(Collection::MerkzettelNode), "Merkzettel"},
    };
    for (const auto& s : steps) {
        views->selectNode(s.node);
        if (!s.title) {
            EXPECT_FALSE(views->webPanelShown());
            continue;
        }
        EXPECT_TRUE(views->webPanelShown()) << s.title;
        EXPECT_TRUE(waitFor([&] { return browser->title() == QString::fromUtf8(s.title); }, 20000))
            << s.title << " / " << browser->title().toStdString();
    }

    // On the Merkzettel page: a title handed over by a link is remembered, and the view
    // build after it shows the page again.
    QSignalSpy reloaded(browser, &QWebEngineView::loadFinished);
    browser->page()->runJavaScript(
        QStringLiteral("location.href = 'vorlune:remember?Erste:%5COrdner%5CTitel%201.mp3'"));
    const QStringList& brain = c.titleLists.list(TitleLists::Merkzettel);
    EXPECT_TRUE(waitFor(
        [&] { return brain.contains(QStringLiteral("Erste:\\Ordner\\Titel 1.mp3")); }, 20000));
    ASSERT_TRUE(reloaded.wait(20000));
    // "showbrainlist" shows the list instead of the page.
    browser->page()->runJavaScript(QStringLiteral("location.href = 'vorlune:showbrainlist'"));
    EXPECT_TRUE(waitFor([&] { return !views->webPanelShown(); }, 20000));
    EXPECT_EQ(views->currentNode(), c.node(Collection::MerkzettelNode));

    // "vorlune:options" opens the options dialog where its button does: the fourth page.
    TForm5* options = w.options()->dialog();
    w.commands->opt_btn->click();
    ASSERT_TRUE(options->isVisible());
    const int buttonPage = options->currentPage();
    EXPECT_EQ(buttonPage, 3);
    options->close();
    // The Merkzettel page that the view build loaded again.
    ASSERT_TRUE(waitFor([&] { return !browser->page()->isLoading(); }, 20000));
    browser->page()->runJavaScript(QStringLiteral("location.href = 'vorlune:options'"));
    EXPECT_TRUE(waitFor([&] { return options->isVisible(); }, 20000));
    EXPECT_EQ(options->currentPage(), buttonPage);
    options->close();

    // Switched off through the list's context menu, every node shows the list; both
    // items lose their check mark.
    QAction* copy = w.findChild<QAction*>(QStringLiteral("Browser2"));
    ASSERT_NE(copy, nullptr);
    ASSERT_TRUE(copy->isEnabled() && copy->isChecked());
    copy->trigger();
    EXPECT_FALSE(w.action(QStringLiteral("Browser1"))->isChecked());
    EXPECT_FALSE(copy->isChecked());
    views->selectNode(c.node(Collection::AlphaList));
    EXPECT_FALSE(views->webPanelShown());
    w.close();
    EXPECT_TRUE(QDir(e.tempDir).entryList({QStringLiteral("*.html")}, QDir::Files).isEmpty());
}
