#include "task_service.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSet>

#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>

using tasks::Kind;

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    return QTest::qWaitFor(done, ms);
}

// Records every announcement of a service as one line each, in order.
struct Journal {
    explicit Journal(TaskService& s) {
        QObject::connect(&s, &TaskService::started, &s,
                         [this](tasks::Id id, Kind, const QString& label) {
                             lines << QStringLiteral("start %1 %2").arg(id).arg(label);
                         });
        QObject::connect(
            &s, &TaskService::progressed, &s, [this](tasks::Id id, qint64 done, qint64 total) {
                lines << QStringLiteral("progress %1 %2/%3").arg(id).arg(done).arg(total);
            });
        QObject::connect(
            &s, &TaskService::finished, &s, [this](tasks::Id id, bool ok, const QString& message) {
                lines
                    << QStringLiteral("finish %1 %2 %3").arg(id).arg(ok ? "ok" : "failed", message);
            });
    }
    QStringList lines;
};

} // namespace

TEST(TaskService, ReportedJobsAnnounceInOrderAndDriveTheBar) {
    TaskService s;
    Journal journal(s);
    QSignalSpy busy(&s, &TaskService::busyChanged);
    const tasks::Id a = s.start(Kind::Download, QStringLiteral("Herunterladen"), false);
    s.progress(a, 5, 10);
    s.progress(a, 50, 10);     // past the end: held at the end
    s.progress(a + 100, 1, 2); // unknown: ignored
    s.finish(a, true);
    s.finish(a, false); // twice: the second is ignored
    EXPECT_EQ(journal.lines, (QStringList{QStringLiteral("start %1 Herunterladen").arg(a),
                                          QStringLiteral("progress %1 5/10").arg(a),
                                          QStringLiteral("progress %1 10/10").arg(a),
                                          QStringLiteral("finish %1 ok ").arg(a)}));
    ASSERT_EQ(busy.size(), 2);
    EXPECT_TRUE(busy[0][0].toBool());
    EXPECT_FALSE(busy[1][0].toBool());
    EXPECT_FALSE(s.bar().visible);
    EXPECT_EQ(s.count(), 0);
}

TEST(TaskService, TheBarShowsTheNewestRunningJobThatShowsProgress) {
    TaskService s;
    QList<tasks::Bar> bars;
    QObject::connect(&s, &TaskService::barChanged, &s,
                     [&bars](const tasks::Bar& b) { bars.append(b); });
    struct Step {
        const char* what;
        int job;   // index into the started jobs
        Kind kind; // for starts
        qint64 done, total;
        bool visible; // the bar afterwards
        int shownJob; // whose label it shows (-1: none)
        int value, maximum;
        bool busy;
    };
    const Step steps[] = {
        {"start", 0, Kind::Load, 0, 0, true, 0, 0, 100, true},
        {"progress", 0, Kind::Load, 3, 6, true, 0, 3, 6, true},
        {"start", 1, Kind::Mail, 0, 0, true, 0, 3, 6, true}, // mail stays off the bar
        {"start", 2, Kind::Download, 0, 0, true, 2, 0, 100, true},
        {"progress", 0, Kind::Load, 4, 6, true, 2, 0, 100, true}, // the older job is hidden
        {"progress", 2, Kind::Download, 1, 5'000'000'000LL, true, 2, 0, 1'250'000'000, true},
        {"progress", 2, Kind::Download, 4'000'000'000LL, 5'000'000'000LL, true, 2, 1'000'000'000,
         1'250'000'000, true},
        {"finish", 2, Kind::Download, 0, 0, true, 0, 4, 6, true}, // back to the load
        {"finish", 0, Kind::Load, 0, 0, false, -1, 0, 100, false},
        {"finish", 1, Kind::Mail, 0, 0, false, -1, 0, 100, false},
    };
    QList<tasks::Id> ids;
    for (const Step& step : steps) {
        const QByteArray what = step.what;
        if (what == "start")
            ids.append(s.start(step.kind, QStringLiteral("Job %1").arg(step.job), true));
        else if (what == "progress")
            s.progress(ids[step.job], step.done, step.total);
        else
            s.finish(ids[step.job], true);
        SCOPED_TRACE(QStringLiteral("%1 job %2").arg(what).arg(step.job).toStdString());
        const tasks::Bar& b = s.bar();
        EXPECT_EQ(b.visible, step.visible);
        EXPECT_EQ(b.id, step.shownJob < 0 ? 0 : ids[step.shownJob]);
        EXPECT_EQ(b.label,
                  step.shownJob < 0 ? QString() : QStringLiteral("Job %1").arg(step.shownJob));
        EXPECT_EQ(b.value, step.value);
        EXPECT_EQ(b.maximum, step.maximum);
        EXPECT_LE(b.value, b.maximum);
        EXPECT_EQ(s.isBusy(), step.busy);
        ASSERT_FALSE(bars.isEmpty());
        EXPECT_EQ(bars.last(), b); // every change was announced
    }
}

TEST(TaskService, LookupsAndSearchesStayOffTheBarAndNeverMakeItBusy) {
    const struct {
        Kind kind;
        bool shown;
    } kinds[] = {
        {Kind::Load, true},  {Kind::Scan, true},    {Kind::Download, true}, {Kind::Copy, false},
        {Kind::Mail, false}, {Kind::Lookup, false}, {Kind::Search, false},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(int(k.kind));
        TaskService s;
        QSignalSpy busy(&s, &TaskService::busyChanged);
        // Beside a job that is on the bar, it neither takes the bar over nor ends its busy.
        const tasks::Id load = s.start(Kind::Load, QStringLiteral("Laden"), false);
        const tasks::Id id = s.start(k.kind, QStringLiteral("Neu"), true);
        s.progress(id, 1, 2);
        EXPECT_EQ(s.bar().id, k.shown ? id : load);
        s.finish(load, true);
        EXPECT_EQ(s.bar().visible, k.shown);
        EXPECT_EQ(s.isBusy(), k.shown);
        s.finish(id, true);
        EXPECT_FALSE(s.isBusy());
        EXPECT_EQ(busy.size(), 2); // on with the load, off with the last job on the bar
    }
}

TEST(TaskService, WorkRunsOffTheThreadAndItsOutcomeComesBackOnIt) {
    TaskService s;
    Journal journal(s);
    QThread* worker = nullptr;
    QThread* handBack = nullptr;
    TaskOutcome<int> got;
    bool doneBeforeFinish = false;
    const tasks::Id id = s.run(
        Kind::Load, QStringLiteral("Laden"), false,
        [&worker](const TaskControl& c) {
            worker = QThread::currentThread();
            for (int i = 1; i <= 3; ++i)
                c.progress(i, 3);
            return 42;
        },
        &s,
        [&](TaskOutcome<int> o) {
            handBack = QThread::currentThread();
            doneBeforeFinish = s.isRunning(Kind::Load);
            got = std::move(o);
        });
    ASSERT_TRUE(waitFor([&] { return !s.isRunning(id); }));
    EXPECT_NE(worker, nullptr);
    EXPECT_NE(worker, QThread::currentThread());
    EXPECT_EQ(handBack, QThread::currentThread());
    EXPECT_TRUE(doneBeforeFinish); // the job still counts while its result is taken over
    EXPECT_TRUE(got.ok);
    EXPECT_FALSE(got.cancelled);
    EXPECT_EQ(got.value, 42);
    // Progress from the worker arrives before the end, in order.
    EXPECT_EQ(journal.lines, (QStringList{QStringLiteral("start %1 Laden").arg(id),
                                          QStringLiteral("progress %1 1/3").arg(id),
                                          QStringLiteral("progress %1 2/3").arg(id),
                                          QStringLiteral("progress %1 3/3").arg(id),
                                          QStringLiteral("finish %1 ok ").arg(id)}));
}

TEST(TaskService, FailingWorkFinishesAsFailed) {
    struct Case {
        const char* name;
        std::function<int(const TaskControl&)> work;
        QString error;
    };
    const Case cases[] = {
        {"throws", [](const TaskControl&) -> int { throw std::runtime_error("kaputt"); }, "kaputt"},
        {"throws anything", [](const TaskControl&) -> int { throw 3; }, "Unbekannter Fehler"},
        {"fails",
         [](const TaskControl& c) {
             c.fail(QStringLiteral("Server antwortet nicht"));
             return 7;
         },
         "Server antwortet nicht"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TaskService s;
        QSignalSpy finished(&s, &TaskService::finished);
        TaskOutcome<int> got;
        got.ok = true;
        s.run(Kind::Mail, QStringLiteral("Mail"), false, c.work, nullptr,
              [&got](TaskOutcome<int> o) { got = std::move(o); });
        ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.error, c.error);
        EXPECT_FALSE(finished[0][1].toBool());
        EXPECT_EQ(finished[0][2].toString(), c.error);
    }
}

TEST(TaskService, CancelStopsARunningJob) {
    TaskService s;
    std::atomic_bool running{false};
    TaskOutcome<int> got;
    bool done = false;
    const tasks::Id id = s.run(
        Kind::Scan, QStringLiteral("Scan"), true,
        [&running](const TaskControl& c) {
            running = true;
            int rounds = 0;
            while (!c.cancelled() && rounds < 10000) { // at most 100 s
                QThread::msleep(10);
                ++rounds;
            }
            return rounds;
        },
        &s,
        [&](TaskOutcome<int> o) {
            got = std::move(o);
            done = true;
        });
    ASSERT_TRUE(waitFor([&] { return running.load(); }));
    EXPECT_TRUE(s.isRunning(id));
    EXPECT_TRUE(s.cancel(id));
    ASSERT_TRUE(waitFor([&] { return done; }, 3000));
    EXPECT_TRUE(got.cancelled);
    EXPECT_LT(got.value, 10000);
    EXPECT_FALSE(s.isRunning(id));

    // A job that cannot be cancelled says so, and keeps running.
    const tasks::Id fixed = s.start(Kind::Copy, QStringLiteral("Kopieren"), false);
    bool asked = false;
    const tasks::Id own =
        s.start(Kind::Copy, QStringLiteral("Kopieren"), true, [&] { asked = true; });
    EXPECT_FALSE(s.cancel(fixed));
    EXPECT_FALSE(s.control(fixed).cancelled());
    EXPECT_TRUE(s.cancel(own));
    EXPECT_TRUE(asked);
    EXPECT_TRUE(s.control(own).cancelled());
    EXPECT_TRUE(s.isRunning(own)); // until its owner finishes it
    EXPECT_FALSE(s.cancel(id));    // over already
}

TEST(TaskService, TwoJobsAtOnceEachGetTheirOwnOutcome) {
    TaskService s;
    std::atomic_int waiting{0};
    std::atomic_bool go{false};
    QMap<int, int> results;
    for (int n : {1, 2})
        s.run(
            Kind::Scan, QStringLiteral("Scan %1").arg(n), true,
            [n, &waiting, &go](const TaskControl& c) {
                ++waiting;
                // Both run at the same time: neither returns before both have started.
                while (!go.load() && !c.cancelled())
                    QThread::msleep(1);
                return n * 10;
            },
            &s, [n, &results](TaskOutcome<int> o) { results.insert(n, o.value); });
    ASSERT_TRUE(waitFor([&] { return waiting.load() == 2; }));
    EXPECT_EQ(s.bar().label, QStringLiteral("Scan 2"));
    go = true;
    ASSERT_TRUE(waitFor([&] { return s.count() == 0; }));
    EXPECT_EQ(results, (QMap<int, int>{{1, 10}, {2, 20}}));
}

TEST(TaskService, AGoneReceiverGetsNothingAndTheJobStillEnds) {
    TaskService s;
    QSignalSpy finished(&s, &TaskService::finished);
    auto* receiver = new QObject;
    bool called = false;
    std::atomic_bool go{false};
    s.run(
        Kind::Mail, QStringLiteral("Mail"), false,
        [&go](const TaskControl&) {
            while (!go.load())
                QThread::msleep(1);
            return 1;
        },
        receiver, [&called](TaskOutcome<int>) { called = true; });
    delete receiver;
    go = true;
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    EXPECT_FALSE(called);
    EXPECT_TRUE(finished[0][1].toBool());
}

TEST(TaskService, GoingAwayCancelsAndWaitsForTheWork) {
    std::atomic_bool stopped{false};
    TaskControl kept;
    {
        TaskService s;
        std::atomic_bool running{false};
        const tasks::Id id = s.run(
            Kind::Mail, QStringLiteral("Mail"), true,
            [&](const TaskControl& c) {
                running = true;
                while (!c.cancelled())
                    QThread::msleep(1);
                c.progress(1, 1); // after the service is gone this goes nowhere
                stopped = true;
                return 0;
            },
            nullptr, [](TaskOutcome<int>) {});
        kept = s.control(id);
        ASSERT_TRUE(waitFor([&] { return running.load(); }));
    }
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(kept.cancelled());
    kept.progress(2, 2); // the control outlives the service
    QCoreApplication::processEvents();
}

TEST(TaskService, WaitingForAJobsWorkReturnsWhenItHasReturned) {
    TaskService s;
    std::atomic_bool returned{false};
    std::atomic_bool go{false};
    bool done = false;
    const tasks::Id id = s.run(
        Kind::Load, QStringLiteral("Laden"), false,
        [&](const TaskControl&) {
            while (!go.load())
                QThread::msleep(1);
            QThread::msleep(50);
            returned = true;
            return 0;
        },
        &s, [&done](TaskOutcome<int>) { done = true; });
    const tasks::Id reported = s.start(Kind::Copy, QStringLiteral("Kopieren"), false);
    s.waitForWork(reported); // no work on the pool: returns at once
    go = true;
    s.waitForWork(id);
    EXPECT_TRUE(returned);
    EXPECT_FALSE(done); // the outcome still comes through the event loop
    EXPECT_TRUE(s.isRunning(id));
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_FALSE(s.isRunning(id));
}

// Every place work may run: its outcome comes back on the service's thread, a failure
// and a cancel come back as such.
TEST(TaskService, EveryPlaceOfWorkHandsBackTheSameWay) {
    struct Place {
        const char* name;
        Kind kind;
        QString lane;
    };
    const Place places[] = {
        {"pool", Kind::Load, {}},
        {"look-ups' pool", Kind::Lookup, {}},
        {"lane", Kind::Download, QStringLiteral("fetch")},
    };
    enum Ending { Returns, Fails, Cancelled };
    for (const Place& place : places) {
        for (Ending ending : {Returns, Fails, Cancelled}) {
            SCOPED_TRACE(std::string(place.name) + " ending " + std::to_string(ending));
            TaskService s;
            Journal journal(s);
            std::atomic_bool running{false};
            QThread* worker = nullptr;
            QThread* handBack = nullptr;
            std::optional<TaskOutcome<int>> got;
            const tasks::Id id = s.run(
                place.kind, QStringLiteral("Job"), true,
                [&](const TaskControl& c) {
                    worker = QThread::currentThread();
                    c.progress(1, 2);
                    running = true;
                    if (ending == Fails) c.fail(QStringLiteral("kaputt"));
                    while (ending == Cancelled && !c.cancelled())
                        QThread::msleep(1);
                    return 5;
                },
                &s,
                [&](TaskOutcome<int> o) {
                    handBack = QThread::currentThread();
                    got = std::move(o);
                },
                place.lane);
            ASSERT_TRUE(waitFor([&] { return running.load(); }));
            if (ending == Cancelled) {
                EXPECT_TRUE(s.cancel(id));
            }
            ASSERT_TRUE(waitFor([&] { return !s.isRunning(id); }));
            ASSERT_TRUE(got);
            EXPECT_NE(worker, QThread::currentThread());
            EXPECT_EQ(handBack, QThread::currentThread());
            EXPECT_EQ(got->value, 5);
            EXPECT_EQ(got->ok, ending != Fails);
            EXPECT_EQ(got->cancelled, ending == Cancelled);
            EXPECT_EQ(journal.lines,
                      (QStringList{QStringLiteral("start %1 Job").arg(id),
                                   QStringLiteral("progress %1 1/2").arg(id),
                                   QStringLiteral("finish %1 %2")
                                       .arg(id)
                                       .arg(ending == Fails ? "failed kaputt" : "ok ")}));
        }
    }
}

TEST(TaskService, ALaneRunsItsJobsOneAfterAnotherOnOneThreadInOrder) {
    TaskService s;
    std::mutex mutex;
    QList<int> order;
    QSet<QThread*> threads;
    std::atomic_int inside{0};
    std::atomic_bool overlapped{false};
    QList<int> handedBack;
    QThread* otherLane = nullptr;
    for (int n = 0; n < 6; ++n)
        s.run(
            Kind::Copy, QStringLiteral("Schritt %1").arg(n), false,
            [&, n](const TaskControl&) {
                if (++inside > 1) overlapped = true;
                QThread::msleep(n % 2 ? 1 : 15); // a slow one first must not be overtaken
                {
                    const std::lock_guard lock(mutex);
                    order.append(n);
                    threads.insert(QThread::currentThread());
                }
                --inside;
                return n;
            },
            &s, [&handedBack](TaskOutcome<int> o) { handedBack.append(o.value); },
            QStringLiteral("copy"));
    s.run(
        Kind::Copy, QStringLiteral("Anderswo"), false,
        [&otherLane](const TaskControl&) {
            otherLane = QThread::currentThread();
            return -1;
        },
        &s, [](TaskOutcome<int>) {}, QStringLiteral("meter"));
    ASSERT_TRUE(waitFor([&] { return s.count() == 0; }));
    EXPECT_EQ(order, (QList<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(handedBack, order);
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(threads.size(), 1);
    EXPECT_NE(otherLane, *threads.begin()); // each lane has its own thread
}

TEST(TaskService, StepsOfAReportedJobRunOnItsLaneAndLeaveItRunning) {
    TaskService s;
    const tasks::Id id = s.start(Kind::Copy, QStringLiteral("Kopieren"), true);
    QList<int> got;
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(s.runStep(
            id, QStringLiteral("copy"),
            [n](const TaskControl& c) {
                if (n == 2) c.progress(2, 3);
                return n;
            },
            &s, [&got](TaskOutcome<int> o) { got.append(o.ok ? o.value : -o.value); }));
    ASSERT_TRUE(waitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(got, (QList<int>{1, 2, 3}));
    EXPECT_TRUE(s.isRunning(id));
    s.finish(id, true);
    EXPECT_FALSE(s.runStep(
        id, QStringLiteral("copy"), [](const TaskControl&) { return 0; }, &s,
        [](TaskOutcome<int>) {}));
}

TEST(TaskService, AnAbandonedLaneGoesOnWithAFreshThreadAndDropsTheOldAnswer) {
    TaskService s;
    std::atomic_bool release{false};
    std::atomic_bool hung{false};
    QStringList got;
    const tasks::Id stuck = s.run(
        Kind::Copy, QStringLiteral("hängt"), false,
        [&](const TaskControl&) {
            hung = true;
            while (!release.load())
                QThread::msleep(1);
            return QStringLiteral("alt");
        },
        &s, [&got](TaskOutcome<QString> o) { got.append(o.value); }, QStringLiteral("copy"));
    // Queued behind the stuck one: moves to the fresh thread.
    s.run(
        Kind::Copy, QStringLiteral("danach"), false,
        [](const TaskControl&) { return QStringLiteral("neu"); }, &s,
        [&got](TaskOutcome<QString> o) { got.append(o.value); }, QStringLiteral("copy"));
    ASSERT_TRUE(waitFor([&] { return hung.load(); }));
    s.abandonLane(QStringLiteral("copy"));
    ASSERT_TRUE(waitFor([&] { return got.size() == 1; }));
    EXPECT_EQ(got, QStringList{"neu"});
    // The old thread's answer still reaches its own job, which its owner ends.
    release = true;
    ASSERT_TRUE(waitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(got.last(), "alt");
    EXPECT_FALSE(s.isRunning(stuck));
}

TEST(TaskService, ClosingDoesNotWaitLongForAHungLaneButWaitsForThePool) {
    auto release = std::make_shared<std::atomic_bool>(false);
    auto laneEnded = std::make_shared<std::atomic_bool>(false);
    std::atomic_bool poolEnded{false};
    QElapsedTimer clock;
    {
        TaskService s;
        s.setLaneCloseLimit(200);
        std::atomic_int running{0};
        // A lane job that ignores the cancel (a share that does not answer).
        s.run(
            Kind::Download, QStringLiteral("hängt"), true,
            [release, laneEnded, &running](const TaskControl&) {
                ++running;
                while (!release->load())
                    QThread::msleep(1);
                *laneEnded = true;
                return 0;
            },
            &s, [](TaskOutcome<int>) {}, QStringLiteral("fetch"));
        // Queued behind it: never started.
        s.run(
            Kind::Download, QStringLiteral("danach"), true,
            [laneEnded](const TaskControl&) {
                *laneEnded = true;
                return 0;
            },
            &s, [](TaskOutcome<int>) {}, QStringLiteral("fetch"));
        s.run(
            Kind::Scan, QStringLiteral("Pool"), true,
            [&](const TaskControl& c) {
                ++running;
                while (!c.cancelled())
                    QThread::msleep(1);
                QThread::msleep(300);
                poolEnded = true;
                return 0;
            },
            &s, [](TaskOutcome<int>) {});
        ASSERT_TRUE(waitFor([&] { return running.load() == 2; }));
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(poolEnded);   // the pool's work was waited for
    EXPECT_FALSE(*laneEnded); // the lane's was not, and what was queued never ran
    *release = true;          // the abandoned thread ends by itself
    QTest::qWait(50);
    EXPECT_TRUE(*laneEnded);
}

// Look-ups stuck on a drive that does not answer leave the pool to loads.
TEST(TaskService, StuckLookupsNeverHoldUpALoad) {
    TaskService s;
    std::atomic_bool release{false};
    std::atomic_int stuck{0};
    std::atomic_int lookupsAtOnce{0};
    int maxAtOnce = 0;
    std::mutex mutex;
    for (int n = 0; n < 24; ++n)
        s.run(
            Kind::Lookup, QStringLiteral("Kennung lesen"), true,
            [&](const TaskControl&) {
                {
                    const std::lock_guard lock(mutex);
                    maxAtOnce = std::max(maxAtOnce, ++lookupsAtOnce);
                }
                ++stuck;
                while (!release.load())
                    QThread::msleep(1);
                --lookupsAtOnce;
                return 0;
            },
            &s, [](TaskOutcome<int>) {});
    ASSERT_TRUE(waitFor([&] { return stuck.load() > 0; }));
    bool loaded = false;
    s.run(
        Kind::Load, QStringLiteral("Laden"), false, [](const TaskControl&) { return 1; }, &s,
        [&loaded](TaskOutcome<int> o) { loaded = o.ok; });
    EXPECT_TRUE(waitFor([&] { return loaded; }, 2000));
    release = true;
    ASSERT_TRUE(waitFor([&] { return s.count() == 0; }, 10000));
    EXPECT_EQ(stuck.load(), 24); // each ran in turn
    EXPECT_LE(maxAtOnce, 4);
}

TEST(TaskService, ProgressWithoutATotalShowsABusyBar) {
    TaskService s;
    const tasks::Id id = s.start(Kind::Download, QStringLiteral("Herunterladen"), false);
    EXPECT_EQ(s.bar().maximum, 100); // nothing reported yet
    struct Step {
        qint64 done, total;
        int value, maximum;
    };
    const Step steps[] = {{0, 0, 0, 0}, {5000, 0, 0, 0}, {5000, 9000, 5000, 9000}, {9000, 0, 0, 0}};
    QSignalSpy progressed(&s, &TaskService::progressed);
    for (const Step& step : steps) {
        s.progress(id, step.done, step.total);
        EXPECT_EQ(s.bar().value, step.value);
        EXPECT_EQ(s.bar().maximum, step.maximum);
        // The bytes so far still go out with the announcement.
        EXPECT_EQ(progressed.takeLast().at(1).toLongLong(), step.done);
    }
}
