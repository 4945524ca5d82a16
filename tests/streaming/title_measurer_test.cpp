// Measuring a title that is not playing: the frame scan as a job of the task service, the
// answer on the GUI thread, a superseded or cancelled scan stopped early.
#include "title_properties.h"

#include "../playback/test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Everything the service announced about its jobs.
struct JobLog {
    explicit JobLog(TaskService& tasks) {
        QObject::connect(&tasks, &TaskService::started, &tasks,
                         [this](tasks::Id id, tasks::Kind kind) {
                             started << id;
                             kinds << kind;
                         });
        QObject::connect(&tasks, &TaskService::finished, &tasks,
                         [this](tasks::Id id) { finished << id; });
        QObject::connect(&tasks, &TaskService::barChanged, &tasks,
                         [this](const tasks::Bar& b) { barShown = barShown || b.visible; });
        QObject::connect(&tasks, &TaskService::busyChanged, &tasks,
                         [this](bool busy) { wasBusy = wasBusy || busy; });
    }
    QList<tasks::Id> started, finished;
    QList<tasks::Kind> kinds;
    bool barShown = false;
    bool wasBusy = false;
};

struct Measured {
    quint64 serial = 0;
    titleprops::Length length;
    bool onGuiThread = false;
};

} // namespace

TEST(TitleMeasurer, MeasuresOnTheServiceAndAnswersOnTheGuiThread) {
    QTemporaryDir dir;
    const QString mp3 = playbacktest::makeMp3(dir.path(), QStringLiteral("drei.mp3"), 3000, 128);
    if (mp3.isEmpty()) GTEST_SKIP() << "lame cannot make the test title";
    const QString noise = dir.filePath(QStringLiteral("rauschen.mp3"));
    QByteArray bytes(64 * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919) % 251 & 0x7f); // never a frame's sync byte
    ASSERT_TRUE(playbacktest::writeFile(noise, bytes));

    const struct {
        const char* name;
        QString path;
        qint64 minMs, maxMs; // -1, -1: no length
        int minKbps, maxKbps;
    } cases[] = {
        {"an MP3", mp3, 2900, 3200, 120, 136},
        {"no file", dir.filePath(QStringLiteral("fehlt.mp3")), -1, -1, 0, 0},
        {"no frames", noise, -1, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService tasks;
        JobLog log(tasks);
        TitleMeasurer measurer(tasks);
        QList<Measured> answers;
        QObject::connect(
            &measurer, &TitleMeasurer::measured, &measurer,
            [&answers](quint64 serial, titleprops::Length length) {
                answers.append({serial, length, QThread::currentThread() == qApp->thread()});
            });
        const quint64 serial = measurer.measure(c.path, QFileInfo(c.path).size());
        EXPECT_TRUE(measurer.busy());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !measurer.busy(); }, 15000));
        ASSERT_EQ(answers.size(), 1);
        EXPECT_EQ(answers[0].serial, serial);
        EXPECT_TRUE(answers[0].onGuiThread);
        EXPECT_GE(answers[0].length.ms, c.minMs);
        EXPECT_LE(answers[0].length.ms, c.maxMs);
        EXPECT_GE(answers[0].length.kbps, c.minKbps);
        EXPECT_LE(answers[0].length.kbps, c.maxKbps);
        // The scan was one job of the service, off the bar, and it is over.
        ASSERT_TRUE(QTest::qWaitFor([&] { return tasks.count() == 0; }, 3000));
        EXPECT_EQ(log.kinds, QList<tasks::Kind>{tasks::Kind::Lookup});
        EXPECT_EQ(log.finished, log.started);
        EXPECT_FALSE(log.barShown);
        EXPECT_FALSE(log.wasBusy);
    }
}

TEST(TitleMeasurer, AScanNoLongerWantedStopsEarly) {
    QTemporaryDir dir;
    const QString mp3 = playbacktest::makeMp3(dir.path(), QStringLiteral("drei.mp3"), 3000, 128);
    if (mp3.isEmpty()) GTEST_SKIP() << "lame cannot make the test title";
    // A sparse file whose whole scan takes far longer than the test waits.
    const QString huge = dir.filePath(QStringLiteral("riesig.mp3"));
    {
        QFile f(huge);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(16) << 30));
    }
    enum class End { Cancel, NewerRequest, MeasurerGone };
    const struct {
        const char* name;
        End end;
    } cases[] = {
        {"cancelled", End::Cancel},
        {"superseded", End::NewerRequest},
        {"measurer gone", End::MeasurerGone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService tasks;
        JobLog log(tasks);
        auto measurer = std::make_unique<TitleMeasurer>(tasks);
        QList<quint64> answers;
        QObject::connect(measurer.get(), &TitleMeasurer::measured, measurer.get(),
                         [&answers](quint64 serial, titleprops::Length) { answers << serial; });
        measurer->measure(huge, QFileInfo(huge).size());
        ASSERT_EQ(log.started.size(), 1);
        const tasks::Id first = log.started[0];
        QTest::qWait(200); // the scan is well under way
        ASSERT_TRUE(tasks.isRunning(first));
        QElapsedTimer clock;
        clock.start();
        quint64 newer = 0;
        switch (c.end) {
        case End::Cancel:
            measurer->cancel();
            break;
        case End::NewerRequest:
            newer = measurer->measure(mp3, QFileInfo(mp3).size());
            break;
        case End::MeasurerGone:
            measurer.reset();
            break;
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return log.finished.contains(first); }, 5000));
        EXPECT_LT(clock.elapsed(), 3000);
        if (c.end == End::NewerRequest) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }, 15000));
            EXPECT_EQ(answers, QList<quint64>{newer}); // nothing of the first request
        } else {
            QTest::qWait(100);
            EXPECT_TRUE(answers.isEmpty());
        }
    }
}
