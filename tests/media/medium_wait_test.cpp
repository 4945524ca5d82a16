// The medium wait's tests of roots as look-up jobs of the task service.
#include "medium_wait.h"

#include <QMutex>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace {

// What the roots hold, readable from the tests' worker threads.
struct Roots {
    QMutex mutex;
    QHash<QString, int> types; // root -> found type; missing: no identification file
    QSet<QString> throwing;    // a test of these fails
    QList<QThread*> threads;   // where the tests ran
    int probe(const QString& root) {
        QMutexLocker lock(&mutex);
        threads << QThread::currentThread();
        if (throwing.contains(root)) throw std::runtime_error("E/A-Fehler");
        return types.value(root, -1);
    }
};

} // namespace

TEST(MediumWait, TestsRootsOnTheServiceAndAnswersOnItsThread) {
    struct Case {
        const char* name;
        QStringList roots;
        QHash<QString, int> types;
        QSet<QString> throwing;
        QString appearsLater; // gets type 3 once the first round has missed
        QString root;         // found
        int type;
        bool ownService;
    };
    const Case cases[] = {
        {"last root holding it wins",
         {"/a", "/b", "/c"},
         {{"/b", 1}, {"/c", 2}},
         {},
         {},
         "/c",
         2,
         false},
        {"a failing test counts as missing",
         {"/a", "/b"},
         {{"/a", 1}, {"/b", 2}},
         {"/b"},
         {},
         "/a",
         1,
         false},
        {"mounted while waiting", {"/a", "/b"}, {}, {}, "/b", "/b", 3, false},
        {"without the core's service", {"/a"}, {{"/a", 4}}, {}, {}, "/a", 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService tasks;
        QList<tasks::Kind> kinds;
        QList<bool> oks;
        bool barShown = false;
        QObject::connect(&tasks, &TaskService::started, &tasks,
                         [&kinds](tasks::Id, tasks::Kind k) { kinds << k; });
        QObject::connect(&tasks, &TaskService::finished, &tasks,
                         [&oks](tasks::Id, bool ok) { oks << ok; });
        QObject::connect(&tasks, &TaskService::barChanged, &tasks,
                         [&barShown](const tasks::Bar& b) { barShown = barShown || b.visible; });
        Roots roots;
        roots.types = c.types;
        roots.throwing = c.throwing;
        MediumWait wait(
            [&c] { return c.roots; },
            [&roots](const QString& root, const QString&) { return roots.probe(root); });
        wait.setInterval(20);
        if (!c.ownService) wait.setTaskService(&tasks);
        QSignalSpy found(&wait, &MediumWait::found);
        QSignalSpy missed(&wait, &MediumWait::firstRoundMissed);
        bool foundOnGuiThread = false;
        QObject::connect(&wait, &MediumWait::found, &wait, [&foundOnGuiThread] {
            foundOnGuiThread = QThread::currentThread() == qApp->thread();
        });
        ASSERT_TRUE(wait.start(QStringLiteral("Rock 1")));
        if (!c.appearsLater.isEmpty()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return missed.size() == 1; }, 5000));
            QMutexLocker lock(&roots.mutex);
            roots.types.insert(c.appearsLater, 3);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return found.size() == 1; }, 5000));
        EXPECT_EQ(found[0][0].toString(), c.root);
        EXPECT_EQ(found[0][1].toInt(), c.type);
        EXPECT_EQ(wait.foundRoot(), c.root);
        EXPECT_FALSE(wait.isActive());
        EXPECT_TRUE(foundOnGuiThread);
        {
            QMutexLocker lock(&roots.mutex);
            ASSERT_FALSE(roots.threads.isEmpty());
            for (QThread* t : std::as_const(roots.threads))
                EXPECT_NE(t, qApp->thread());
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return oks.size() == kinds.size(); }, 3000));
        if (c.ownService) {
            EXPECT_TRUE(kinds.isEmpty()); // none of the tests went to this service
        } else {
            EXPECT_FALSE(kinds.isEmpty());
            EXPECT_EQ(kinds.count(tasks::Kind::Lookup), kinds.size());
            // A failing test is a failed job.
            EXPECT_EQ(oks.contains(false), !c.throwing.isEmpty());
        }
        EXPECT_FALSE(barShown);
    }
}

TEST(MediumWait, CancelledWhileARootHangsEndsAtOnceAndTheLateAnswerIsIgnored) {
    TaskService tasks;
    std::atomic_bool release{false};
    std::atomic_int probes{0};
    MediumWait wait([] { return QStringList{"/haengt"}; },
                    [&](const QString&, const QString&) {
                        ++probes;
                        while (!release.load())
                            QThread::msleep(5);
                        return 1; // it was there after all
                    });
    wait.setTaskService(&tasks);
    QSignalSpy found(&wait, &MediumWait::found);
    QSignalSpy cancelled(&wait, &MediumWait::cancelled);
    ASSERT_TRUE(wait.start(QStringLiteral("Rock 1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return probes.load() == 1; }, 5000));
    wait.cancel(); // the GUI thread does not wait for the hanging root
    EXPECT_EQ(cancelled.size(), 1);
    EXPECT_FALSE(wait.isActive());
    EXPECT_EQ(tasks.count(), 1);
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return tasks.count() == 0; }, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(found.isEmpty());
    // The next wait starts afresh and finds it.
    ASSERT_TRUE(wait.start(QStringLiteral("Rock 1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return found.size() == 1; }, 5000));
    EXPECT_EQ(found[0][0].toString(), QStringLiteral("/haengt"));
}

TEST(MediumWait, GoingAwayWaitsForTheTestUnderWay) {
    TaskService tasks;
    std::atomic_bool running{false};
    std::atomic_bool over{false};
    {
        MediumWait wait([] { return QStringList{"/langsam"}; },
                        [&](const QString&, const QString&) {
                            running = true;
                            QThread::msleep(200);
                            over = true;
                            return -1;
                        });
        wait.setTaskService(&tasks);
        ASSERT_TRUE(wait.start(QStringLiteral("Rock 1")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return running.load(); }, 5000));
    }
    // What the test used may go now.
    EXPECT_TRUE(over.load());
}
