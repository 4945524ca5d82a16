#include "control_channel.h"
#include "http_peer.h"
#include "settings_store.h"
#include "test_env.h"

#include <QLocalSocket>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// One exchange with the running instance: its greeting and the answer to `line`
// ("<h>" stands for the greeted handle).
std::pair<QByteArray, QByteArray> talk(const QByteArray& line) {
    QLocalSocket s;
    s.connectToServer(control::socketPath());
    if (!s.waitForConnected(1000)) return {};
    QByteArray greeting;
    while (!greeting.contains('\n') && s.waitForReadyRead(2000))
        greeting += s.readAll();
    QByteArray out = line;
    out.replace("<h>", greeting.trimmed().split(' ').value(1));
    s.write(out);
    s.waitForBytesWritten(1000);
    QByteArray reply;
    while (!reply.contains('\n') && s.waitForReadyRead(3000))
        reply += s.readAll();
    return {greeting, reply};
}

class VorluneProcess : public ::testing::Test {
protected:
    void startFirst(const QStringList& args = {}) {
        first.setProgram(QStringLiteral(VORLUNE_EXE));
        first.setArguments(args);
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start();
        ASSERT_TRUE(first.waitForStarted());
        ASSERT_TRUE(waitFor([] { return !talk("PING\n").first.isEmpty(); }, 15000));
    }
    int runSecond(const QStringList& args, int ms = 20000) {
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(QStringLiteral(VORLUNE_EXE), args);
        if (!second.waitForFinished(ms)) {
            second.kill();
            second.waitForFinished();
            return -1000;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2000;
    }
    void TearDown() override {
        if (first.state() != QProcess::NotRunning) {
            first.kill();
            first.waitForFinished(5000);
        }
    }
    IsolatedEnvironment env;
    QProcess first;
};

TEST_F(VorluneProcess, SecondStartFrontsTheFirstAndWrongHandlesAreIgnored) {
    startFirst();
    const auto [greeting, reply] = talk("MP3CTRL <h> 9\n");
    EXPECT_EQ(greeting, "VORLUNE " + QByteArray::number(first.processId()) + '\n');
    EXPECT_EQ(reply, QByteArray("OK\n"));
    EXPECT_EQ(talk("MP3CTRL " + QByteArray::number(first.processId() + 1) + " 0\n").second,
              QByteArray("IGNORED\n"));
    EXPECT_EQ(talk("REFRESH 0\n").second, QByteArray("IGNORED\n"));

    EXPECT_EQ(runSecond({}), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(talk("REFRESH <h>\n").second, QByteArray("OK\n"));

    // SIGTERM saves the session and ends the program normally.
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(15000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    SettingsStore store(env.path(QStringLiteral("config/vorlune/registry.json")));
    ASSERT_TRUE(store.load());
    EXPECT_TRUE(store.readInteger(QStringLiteral("Software\\Vorlune"), QStringLiteral("ViewStyle"))
                    .has_value());
    // The private temporary folder went with the process.
    EXPECT_TRUE(QDir(env.path(QStringLiteral("runtime")))
                    .entryList({QStringLiteral("vorlune-*")}, QDir::Dirs)
                    .isEmpty());

    // The lock went too: the next start is a first instance again.
    startFirst();
    EXPECT_EQ(talk("MP3CTRL <h> 0\n").first,
              "VORLUNE " + QByteArray::number(first.processId()) + '\n');
}

TEST_F(VorluneProcess, ImportWhileRunningReachesTheDataFolder) {
    HttpPeer peer;
    ASSERT_GT(peer.port(), 0);
    peer.put(QStringLiteral("m.cd"),
             "BEGIN::CD\r\nLABEL::Importiert\r\nImportiert:\\A\\\r\nImportiert:\\A\\t.mp3\r\n");
    startFirst();
    EXPECT_EQ(runSecond({QStringLiteral("vorlune://127.0.0.1:%1/m.cd").arg(peer.port())}), 0);
    EXPECT_TRUE(QFile::exists(env.dataDir() + QStringLiteral("/Importiert.cd")));
    EXPECT_EQ(first.state(), QProcess::Running);
}

} // namespace
