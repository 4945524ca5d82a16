#include "control_server.h"
#include "test_env.h"

#include <QCoreApplication>
#include <QFuture>
#include <QLocalSocket>
#include <QTest>
#include <QtConcurrent/QtConcurrentRun>

#include <gtest/gtest.h>

namespace {

struct FakeTarget : ControlTarget {
    int fronts = 0;
    int reloads = 0;
    QList<int> ran;
    bool enabled[6] = {false, false, false, false, false, false};
    void bringToFront() override { ++fronts; }
    bool commandEnabled(int code) const override { return code >= 1 && code <= 5 && enabled[code]; }
    void runCommand(int code) override { ran.append(code); }
    void reloadMedia() override { ++reloads; }
};

control::Message msg(control::Message::Kind kind, qint64 handle, qint64 code = 0) {
    control::Message m;
    m.kind = kind;
    m.handle = handle;
    m.code = code;
    return m;
}

TEST(ControlDispatch, HandleCheckCodesAndTheEnabledButtonRule) {
    FakeTarget t;
    using K = control::Message;
    EXPECT_FALSE(dispatchControlMessage(msg(K::Mp3Ctrl, 41, 0), 42, t));
    EXPECT_FALSE(dispatchControlMessage(msg(K::Mp3Ctrl, -42, 0), -42, t)); // negative never matches
    EXPECT_FALSE(dispatchControlMessage(msg(K::Refresh, 7), 42, t));
    EXPECT_FALSE(dispatchControlMessage(msg(K::Invalid, 42), 42, t));
    EXPECT_EQ(t.fronts + t.reloads + t.ran.size(), 0);

    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 0), 42, t));
    EXPECT_EQ(t.fronts, 1);
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 1), 42,
                                       t)); // play disabled: handled, nothing run
    EXPECT_TRUE(t.ran.isEmpty());
    t.enabled[1] = t.enabled[5] = true;
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 1), 42, t));
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 5), 42, t));
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 3), 42, t));
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, 9), 42, t));
    EXPECT_TRUE(dispatchControlMessage(msg(K::Mp3Ctrl, 42, -1), 42, t));
    EXPECT_EQ(t.ran, (QList<int>{1, 5}));
    EXPECT_EQ(t.fronts, 1);
    EXPECT_TRUE(dispatchControlMessage(msg(K::Refresh, 42), 42, t));
    EXPECT_EQ(t.reloads, 1);
}

// Talks to the server from another thread, as another process would.
struct Exchange {
    QByteArray greeting;
    QByteArray reply;
    bool closedEarly = false;
};

Exchange talk(const QString& path, const QByteArray& line, bool useGreetedHandle,
              int waitMs = 3000) {
    Exchange e;
    QLocalSocket s;
    s.connectToServer(path);
    if (!s.waitForConnected(waitMs)) return e;
    while (!e.greeting.contains('\n') && s.waitForReadyRead(waitMs))
        e.greeting += s.readAll();
    QByteArray out = line;
    if (useGreetedHandle) out.replace("<h>", e.greeting.trimmed().split(' ').value(1));
    s.write(out);
    s.waitForBytesWritten(waitMs);
    while (s.state() == QLocalSocket::ConnectedState && s.waitForReadyRead(waitMs))
        e.reply += s.readAll();
    e.reply += s.readAll();
    e.closedEarly = e.reply.isEmpty();
    return e;
}

Exchange exchange(const QString& path, const QByteArray& line, bool useHandle = true,
                  int waitMs = 3000) {
    QFuture<Exchange> f = QtConcurrent::run([=] { return talk(path, line, useHandle, waitMs); });
    while (!f.isFinished())
        QTest::qWait(5);
    return f.result();
}

class ControlServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.setHandle(4711);
        ASSERT_TRUE(server.listen(env.path(QStringLiteral("runtime/test.sock"))));
    }
    QString path() const { return env.path(QStringLiteral("runtime/test.sock")); }
    IsolatedEnvironment env;
    FakeTarget target;
    ControlServer server{&target};
};

TEST_F(ControlServerTest, GreetsAndAnswersMatchingAndWrongHandles) {
    Exchange e = exchange(path(), "MP3CTRL <h> 0\n");
    EXPECT_EQ(e.greeting, QByteArray("VORLUNE 4711\n"));
    EXPECT_EQ(e.reply, QByteArray("OK\n"));
    EXPECT_EQ(target.fronts, 1);

    e = exchange(path(), "MP3CTRL 4712 0\n", false);
    EXPECT_EQ(e.reply, QByteArray("IGNORED\n"));
    e = exchange(path(), "REFRESH -4711\n", false);
    EXPECT_EQ(e.reply, QByteArray("IGNORED\n"));
    e = exchange(path(), "HELLO\n", false);
    EXPECT_EQ(e.reply, QByteArray("IGNORED\n"));
    EXPECT_EQ(target.fronts, 1);
    EXPECT_EQ(target.reloads, 0);

    e = exchange(path(), "REFRESH <h>\n");
    EXPECT_EQ(e.reply, QByteArray("OK\n"));
    EXPECT_TRUE(waitFor([&] { return target.reloads == 1; }));
    e = exchange(path(), "MP3CTRL <h> 1\n"); // play disabled: handled, not run
    EXPECT_EQ(e.reply, QByteArray("OK\n"));
    EXPECT_TRUE(target.ran.isEmpty());
}

TEST_F(ControlServerTest, OverlongLinesAndSilentClientsAreCutOff) {
    Exchange e = exchange(path(), QByteArray(ControlServer::kMaxLine + 50, 'x'), false);
    EXPECT_TRUE(e.closedEarly);
    server.setTimeoutMs(200);
    QElapsedTimer timer;
    timer.start();
    e = exchange(path(), QByteArray("MP3CTRL 4711 0"), false, 5000); // never ends its line
    EXPECT_TRUE(e.closedEarly);
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_EQ(target.fronts, 0);
    // The server still serves after both.
    e = exchange(path(), "MP3CTRL <h> 0\n");
    EXPECT_EQ(e.reply, QByteArray("OK\n"));
}

TEST_F(ControlServerTest, ClientHelpersOfTheChannelReachTheServer) {
    // control::socketPath() lives in the isolated runtime folder.
    ControlServer standard(&target);
    ASSERT_TRUE(standard.listen());
    QFuture<bool> f = QtConcurrent::run(
        [] { return control::sendMp3Ctrl(0, 3000) && control::sendRefresh(3000); });
    while (!f.isFinished())
        QTest::qWait(5);
    EXPECT_TRUE(f.result());
    EXPECT_TRUE(waitFor([&] { return target.fronts == 1; }));
    EXPECT_TRUE(waitFor([&] { return target.reloads == 1; }));
}

} // namespace
