#include "app_settings.h"
#include "control_channel.h"
#include "control_server.h"
#include "entry.h"
#include "single_instance.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFuture>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Front : ControlTarget {
    int fronts = 0;
    void bringToFront() override { ++fronts; }
    bool commandEnabled(int) const override { return false; }
    void runCommand(int) override {}
    void reloadMedia() override {}
};

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The runtime folder, the lock and what a start does when it cannot have them.
// Other users are played by chown, which needs root; without it those cases are left out.
TEST(InstanceLock, RuntimeFolderAndLockAreThisUsersOwn) {
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<void(IsolatedEnvironment& env)> prepare;
        const char* runtime; // below the environment; "" for none
        int exitCode;        // of the instance step; kGoOn for a first instance
    };
    auto tmp = [](IsolatedEnvironment& env) {
        qputenv("TMPDIR", QFile::encodeName(env.path(QStringLiteral("tmp"))));
        QDir().mkpath(env.path(QStringLiteral("tmp")));
    };
    const QString own = QStringLiteral("tmp/vorlune-%1").arg(::geteuid());
    const Case cases[] = {
        {"the runtime folder", false, [](IsolatedEnvironment&) {}, "runtime", entry::kGoOn},
        {"no runtime folder: a private one in the temporary folder", false,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             qunsetenv("XDG_RUNTIME_DIR");
         },
         "own", entry::kGoOn},
        {"a runtime folder others may write to is not used", false,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             ::chmod(QFile::encodeName(env.path(QStringLiteral("runtime"))).constData(), 0777);
         },
         "own", entry::kGoOn},
        {"an open private folder of ours is closed", false,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             qunsetenv("XDG_RUNTIME_DIR");
             QDir().mkpath(env.path(own));
             ::chmod(QFile::encodeName(env.path(own)).constData(), 0755);
         },
         "own", entry::kGoOn},
        {"a runtime folder of another user is not used", true,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             ASSERT_EQ(::chown(QFile::encodeName(env.path(QStringLiteral("runtime"))).constData(),
                               65534, 65534),
                       0);
         },
         "own", entry::kGoOn},
        {"the private folder belongs to another user", true,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             qunsetenv("XDG_RUNTIME_DIR");
             QDir().mkpath(env.path(own));
             ::chmod(QFile::encodeName(env.path(own)).constData(), 0777);
             ASSERT_EQ(::chown(QFile::encodeName(env.path(own)).constData(), 65534, 65534), 0);
         },
         "", entry::kNoLock},
        {"the private folder is a link", false,
         [&](IsolatedEnvironment& env) {
             tmp(env);
             qunsetenv("XDG_RUNTIME_DIR");
             ASSERT_TRUE(QFile::link(env.path(QStringLiteral("home")), env.path(own)));
         },
         "", entry::kNoLock},
        {"the lock file cannot be opened", false,
         [](IsolatedEnvironment& env) {
             QDir().mkpath(env.path(QStringLiteral("runtime/vorlune.lock")));
         },
         "runtime", entry::kNoLock},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && !root) continue;
        const QByteArray savedTmp = qgetenv("TMPDIR");
        {
            IsolatedEnvironment env;
            c.prepare(env);
            const QString expected =
                QString::fromLatin1(c.runtime) == u"own"
                    ? env.path(own)
                    : (*c.runtime ? env.path(QLatin1String(c.runtime)) : QString());
            EXPECT_EQ(control::runtimeDir(), expected);
            if (!expected.isEmpty()) {
                EXPECT_EQ(modeOf(expected) & 022, 0u);
            }
            if (QString::fromLatin1(c.runtime) == u"own") {
                EXPECT_EQ(modeOf(expected), 0700u);
            }

            SingleInstance instance(control::lockPath());
            QStringList told;
            const int code =
                entry::instanceStep(instance, [&told](const QString& text) { told << text; });
            EXPECT_EQ(code, c.exitCode);
            EXPECT_EQ(told.size(), c.exitCode == entry::kNoLock ? 1 : 0);
            if (code == entry::kGoOn) {
                EXPECT_TRUE(instance.held());
                EXPECT_EQ(control::runningInstanceHandle(), QCoreApplication::applicationPid());
                // A second lock in the same place is a running instance, not a failure.
                SingleInstance second(control::lockPath());
                EXPECT_EQ(second.acquire(), SingleInstance::HeldElsewhere);
                instance.release();
                EXPECT_EQ(control::runningInstanceHandle(), -1);
            } else {
                EXPECT_TRUE(
                    told.value(0).startsWith(QStringLiteral("Vorlune kann nicht gestartet")));
            }
        }
        if (savedTmp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", savedTmp);
    }
}

// Blocks the event loop of this thread for `ms`, as a busy instance would.
void busy(int ms) {
    QThread::msleep(ulong(ms));
}

// A second start while the first instance does not answer: the request waits in the
// socket and is acted on when the instance gets to it, also after the sender has gone.
TEST(InstanceLock, BringToFrontReachesABusyInstance) {
    IsolatedEnvironment env;
    SingleInstance instance(control::lockPath());
    ASSERT_EQ(instance.acquire(), SingleInstance::Acquired);
    Front target;
    ControlServer server(nullptr);
    ASSERT_TRUE(server.listen());

    struct Case {
        const char* name;
        int busyMs;
        bool targetLater; // the window is not there yet when the request comes
    };
    const Case cases[] = {
        {"busy longer than the sender waits", 1500, false},
        {"not yet set up", 300, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target.fronts = 0;
        server.setTarget(c.targetLater ? nullptr : &target);
        QFuture<int> second = QtConcurrent::run([] {
            QElapsedTimer t;
            t.start();
            control::sendMp3Ctrl(0, 500);
            return int(t.elapsed());
        });
        busy(c.busyMs);
        second.waitForFinished();
        EXPECT_LT(second.result(), 1500); // the sender did not wait for the answer
        if (c.targetLater) {
            QTest::qWait(200);
            EXPECT_EQ(target.fronts, 0);
            server.setTarget(&target);
        }
        EXPECT_TRUE(waitFor([&] { return target.fronts == 1; }, 3000));
        QTest::qWait(50);
        EXPECT_EQ(target.fronts, 1);
    }
}

TEST(WindowPlacement, StoredFramesOffEveryScreenComeBackToThePrimary) {
    const QRect primary(0, 0, 1920, 1080);
    const QRect second(1920, 0, 1280, 1024);
    struct Case {
        const char* name;
        QRect frame;
        QList<QRect> screens;
        QRect expected;
    };
    const Case cases[] = {
        {"on the primary", QRect(100, 100, 800, 600), {primary, second}, QRect(100, 100, 800, 600)},
        {"on the second screen",
         QRect(2000, 50, 800, 600),
         {primary, second},
         QRect(2000, 50, 800, 600)},
        {"a screen that is gone", QRect(2000, 50, 800, 600), {primary}, QRect(560, 240, 800, 600)},
        {"far off", QRect(-5000, -4000, 400, 300), {primary, second}, QRect(760, 390, 400, 300)},
        {"only a sliver shows", QRect(1900, 1070, 800, 600), {primary}, QRect(560, 240, 800, 600)},
        {"partly shown is kept", QRect(1500, 900, 800, 600), {primary}, QRect(1500, 900, 800, 600)},
        {"larger than the primary", QRect(5000, 0, 3000, 2000), {primary}, primary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(appsettings::placeOnScreen(c.frame, c.screens, primary), c.expected);
    }
}

} // namespace
