#include "encoder_search.h"
#include "encoder_search_window.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// data/libmp3lame.so.0 (copy), data/deep/er/libmp3lame.so.0.0.0 (copy),
// data/link/libmp3lame.so -> the first copy, data/libmp3lame-broken.so (incomplete),
// data/libmp3lame.so.1 (text), data/other.so (a copy under a foreign name).
struct Tree {
    QTemporaryDir dir;
    QString first, deep, link, broken;
    Tree() {
        QDir d(dir.path());
        d.mkpath("data/deep/er");
        d.mkpath("data/link");
        first = dir.filePath("data/libmp3lame.so.0");
        deep = dir.filePath("data/deep/er/libmp3lame.so.0.0.0");
        link = dir.filePath("data/link/libmp3lame.so");
        broken = dir.filePath("data/libmp3lame-broken.so");
        QFile::copy(LAME_LIBRARY, first);
        QFile::copy(LAME_LIBRARY, deep);
        QFile::link(first, link);
        QFile::copy(INCOMPLETE_LAME, broken);
        QFile::copy(LAME_LIBRARY, dir.filePath("data/other.so"));
        QFile text(dir.filePath("data/libmp3lame.so.1"));
        text.open(QIODevice::WriteOnly);
        text.write("not a library\n");
    }
    QString root() const { return dir.filePath("data"); }
};

QStringList paths(const QList<EncoderCandidate>& l) {
    QStringList p;
    for (const auto& c : l)
        p << c.path;
    p.sort();
    return p;
}

} // namespace

TEST(EncoderSearch, FindsUsableLibrariesOncePerFile) {
    Tree t;
    EncoderSearch search;
    const QList<EncoderCandidate> found = search.scan({t.root(), t.root() + "/deep"});
    const QStringList p = paths(found);
    ASSERT_EQ(p.size(), 2) << p.join(", ").toStdString();
    EXPECT_TRUE(p.contains(t.deep));
    // The copy and the link to it are one file: one row.
    EXPECT_TRUE(p.contains(t.first) != p.contains(t.link));
    for (const auto& c : found) {
        EXPECT_TRUE(c.description.startsWith("LAME Engine 3."));
        EXPECT_TRUE(
            c.fileVersion.contains(QRegularExpression("^0\\.0 \\(\\d\\d-[A-Z]{3}-\\d{4}\\)$")))
            << c.fileVersion.toStdString();
    }
}

TEST(EncoderSearch, NamesAndVersionTexts) {
    EXPECT_TRUE(EncoderSearch::isCandidateName("libmp3lame.so"));
    EXPECT_TRUE(EncoderSearch::isCandidateName("libmp3lame.so.0.0.0"));
    EXPECT_TRUE(EncoderSearch::isCandidateName("libmp3lame-3.100.so"));
    EXPECT_FALSE(EncoderSearch::isCandidateName("libmp3lame.a"));
    EXPECT_FALSE(EncoderSearch::isCandidateName("LAME_ENC.DLL"));
    EXPECT_FALSE(EncoderSearch::isCandidateName("libmp3lame.sox"));
    EncoderVersion v;
    v.engineMajor = 3;
    v.engineMinor = 97;
    v.beta = 1;
    v.alpha = 2;
    v.mmx = true;
    v.libMajor = 1;
    v.libMinor = 32;
    v.day = 3;
    v.month = 8;
    v.year = 2006;
    EXPECT_EQ(EncoderSearch::describe(v), "LAME Engine 3.97-1.2 [MMX]");
    EXPECT_EQ(EncoderSearch::fileVersionText(v), "1.32 (03-AUG-2006)");
}

TEST(EncoderSearch, CancelStopsTheWorker) {
    // The root's only entry is a folder, so the first folder signal comes before any
    // library is looked at; cancelling there must leave both libraries unexamined.
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("a/b");
    QFile::copy(LAME_LIBRARY, dir.filePath("a/libmp3lame.so.0"));
    QFile::copy(LAME_LIBRARY, dir.filePath("a/b/libmp3lame.so.0.0.0"));

    struct Case {
        const char* name;
        bool cancelInside;
        bool cancelled;
        int found;
    };
    const Case cases[] = {
        {"cancel at the first folder", true, true, 0},
        {"a cancel before the start does not stop it", false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EncoderSearch search;
        QSignalSpy done(&search, &EncoderSearch::finished);
        QSignalSpy found(&search, &EncoderSearch::found);
        if (c.cancelInside)
            QObject::connect(
                &search, &EncoderSearch::folderEntered, &search, [&search] { search.cancel(); },
                Qt::DirectConnection);
        search.cancel();
        search.start({dir.path()});
        ASSERT_TRUE(done.wait(5000) || done.count() == 1);
        search.wait();
        EXPECT_FALSE(search.isScanning());
        EXPECT_EQ(done.first().at(0).toBool(), c.cancelled);
        EXPECT_EQ(found.count(), c.found);
    }
}

TEST(EncoderSearch, EachScanIsAJobOfTheServiceThatMayCancelIt) {
    Tree t;
    const struct {
        const char* name;
        bool cancelThroughService; // at the first folder
        bool cancelled;
        int found;
    } cases[] = {
        {"runs to the end", false, false, 2},
        {"cancelled through the service", true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService tasks;
        QList<tasks::Id> started, over;
        QList<tasks::Kind> kinds;
        bool barShown = false;
        QObject::connect(&tasks, &TaskService::started, &tasks,
                         [&](tasks::Id id, tasks::Kind kind) {
                             started << id;
                             kinds << kind;
                         });
        QObject::connect(&tasks, &TaskService::finished, &tasks,
                         [&over](tasks::Id id) { over << id; });
        QObject::connect(&tasks, &TaskService::barChanged, &tasks,
                         [&barShown](const tasks::Bar& b) { barShown = barShown || b.visible; });
        EncoderSearch search;
        search.setTaskService(&tasks);
        QSignalSpy done(&search, &EncoderSearch::finished);
        QSignalSpy found(&search, &EncoderSearch::found);
        // The scan waits at its first folder until the service has cancelled it.
        if (c.cancelThroughService)
            QObject::connect(
                &search, &EncoderSearch::folderEntered, &search,
                [&] {
                    if (!started.isEmpty()) tasks.cancel(started.first());
                },
                Qt::BlockingQueuedConnection);
        search.start({t.root()});
        ASSERT_EQ(kinds, QList<tasks::Kind>{tasks::Kind::Search});
        EXPECT_TRUE(tasks.isRunning(started.first()));
        ASSERT_TRUE(done.wait(10000) || done.count() == 1);
        EXPECT_EQ(done.first().at(0).toBool(), c.cancelled);
        EXPECT_EQ(found.count(), c.found);
        // The job ends with the scan, and never shows on the bar.
        EXPECT_EQ(over, started);
        EXPECT_EQ(tasks.count(), 0);
        EXPECT_FALSE(barShown);
        search.wait();
    }
}

TEST(EncoderSearch, AScanStuckInALoaderHoldsUpNeitherItsJobNorTheService) {
    // A library whose loading hangs until released: the search and the service go while
    // the scan is stuck; the job is over with the search, and the service does not wait.
    QTemporaryDir slowDir;
    ASSERT_TRUE(QFile::copy(SLOW_LAME, slowDir.filePath("libmp3lame.so.9")));
    const QString entered = slowDir.filePath("entered");
    const QString release = slowDir.filePath("release");
    qputenv("VORLUNE_SLOW_ENTERED", QFile::encodeName(entered));
    qputenv("VORLUNE_SLOW_RELEASE", QFile::encodeName(release));
    QElapsedTimer clock;
    {
        auto tasks = std::make_unique<TaskService>();
        QList<tasks::Id> over;
        QObject::connect(tasks.get(), &TaskService::finished, tasks.get(),
                         [&over](tasks::Id id) { over << id; });
        auto search = std::make_unique<EncoderSearch>();
        search->setTaskService(tasks.get());
        search->start({slowDir.path()});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(entered); }, 10000));
        EXPECT_EQ(tasks->count(), 1);
        clock.start();
        search.reset();
        EXPECT_EQ(over.size(), 1);
        EXPECT_EQ(tasks->count(), 0);
        tasks.reset();
        EXPECT_LT(clock.elapsed(), 5000);
    }
    // The loader polls for the release every 50 ms; its folder must stay until then.
    QFile(release).open(QIODevice::WriteOnly);
    QTest::qWait(500);
    qunsetenv("VORLUNE_SLOW_ENTERED");
    qunsetenv("VORLUNE_SLOW_RELEASE");
}

TEST(EncoderSearchWindow, ListsChoosesAndCancels) {
    Tree t;
    TForm9 w;
    w.setRoots({t.root()});
    EXPECT_EQ(w.windowTitle(), "Encoder suchen...");
    w.show();
    EXPECT_EQ(w.statusText()->text(), "Initialisierung...");
    EXPECT_FALSE(w.selectButton()->isEnabled());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.statusText()->text().startsWith("Die Suche"); }, 10000));
    EXPECT_EQ(w.statusText()->text(),
              "Die Suche wurde beendet. Bitte wählen Sie einen Encoder aus der Liste.");
    QTreeWidget* list = w.encoders();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), "Beschreibung");
    EXPECT_EQ(list->headerItem()->text(1), "Dateiversion");
    EXPECT_EQ(list->headerItem()->text(2), "Speicherort");
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(w.selectButton()->isEnabled());
    const QString chosen = list->topLevelItem(1)->text(2);
    w.selectButton()->click();
    EXPECT_EQ(w.result(), chosen);
    EXPECT_FALSE(w.isVisible());

    // Nothing to find: red text; cancel leaves the result empty.
    QTemporaryDir empty;
    w.setRoots({empty.path()});
    w.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.statusText()->text().startsWith("Die Suche"); }, 10000));
    EXPECT_EQ(w.statusText()->text(),
              "Die Suche wurde beendet. Es wurde jedoch kein passender Encoder gefunden.");
    EXPECT_TRUE(w.statusText()->styleSheet().contains("red"));
    w.cancelButton()->click();
    EXPECT_TRUE(w.result().isEmpty());
}

TEST(EncoderSearchWindow, ReopensAfterACancelInsideASlowFolder) {
    // The first search gets stuck loading a slow library; it is cancelled there and the
    // window opened again: that search must run and end while the stuck one still hangs
    // (its roots hold no library, as the loader is busy with the slow one), and a third
    // one after it lists what it finds, nothing of the stuck one.
    Tree t;
    QTemporaryDir slowDir, empty;
    ASSERT_TRUE(QFile::copy(SLOW_LAME, slowDir.filePath("libmp3lame.so.9")));
    QDir(slowDir.path()).mkpath("later");
    QFile::copy(LAME_LIBRARY, slowDir.filePath("later/libmp3lame.so.0"));
    const QString entered = slowDir.filePath("entered");
    const QString release = slowDir.filePath("release");
    qputenv("VORLUNE_SLOW_ENTERED", QFile::encodeName(entered));
    qputenv("VORLUNE_SLOW_RELEASE", QFile::encodeName(release));

    auto w = std::make_unique<TForm9>(nullptr, t.root());
    EXPECT_EQ(w->roots().value(0), t.root());
    // Once through, so that the window's own plugins are loaded before the loader is busy.
    w->setRoots({empty.path()});
    w->show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w->statusText()->text().startsWith("Die Suche"); }, 10000));
    w->cancelButton()->click();
    w->setRoots({slowDir.path()});
    w->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(entered); }, 10000));
    w->cancelButton()->click();
    EXPECT_TRUE(w->result().isEmpty());

    w->setRoots({empty.path()});
    w->show();
    EXPECT_EQ(w->statusText()->text(), "Initialisierung...");
    const bool ended =
        QTest::qWaitFor([&] { return w->statusText()->text().startsWith("Die Suche"); }, 10000);
    QFile(release).open(QIODevice::WriteOnly);
    ASSERT_TRUE(ended) << w->statusText()->text().toStdString();
    EXPECT_EQ(w->statusText()->text(),
              "Die Suche wurde beendet. Es wurde jedoch kein passender Encoder gefunden.");
    w->cancelButton()->click();

    w->setRoots({t.root()});
    w->show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w->statusText()->text().startsWith("Die Suche"); }, 10000));
    QTest::qWait(200);
    QStringList rows;
    for (int i = 0; i < w->encoders()->topLevelItemCount(); ++i)
        rows << w->encoders()->topLevelItem(i)->text(2);
    EXPECT_EQ(rows.size(), 2) << rows.join(", ").toStdString();
    for (const QString& row : rows)
        EXPECT_TRUE(row.startsWith(t.root())) << row.toStdString();
    w->cancelButton()->click();
    w.reset();
    qunsetenv("VORLUNE_SLOW_ENTERED");
    qunsetenv("VORLUNE_SLOW_RELEASE");
}

TEST(EncoderSearch, DefaultRootsBeginWithTheDataFolder) {
    const QStringList roots = EncoderSearch::defaultRoots("/tmp/daten");
    ASSERT_FALSE(roots.isEmpty());
    EXPECT_EQ(roots.first(), "/tmp/daten");
    EXPECT_TRUE(roots.contains("/usr/lib"));
    EXPECT_TRUE(roots.contains(QDir::homePath()));
    EXPECT_FALSE(EncoderSearch::defaultRoots(QString()).contains(QString()));
}
