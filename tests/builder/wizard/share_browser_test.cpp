#include "share_browser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

using namespace reapwell;

namespace {

// Processes whose command line names `needle` (smbd starts samba-dcerpcd and its rpcd_*
// workers in sessions of their own, so they outlive smbd unless ended by name).
QList<qint64> processesNaming(const QByteArray& needle) {
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == QCoreApplication::applicationPid()) continue;
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle)) found << pid;
    }
    return found;
}

// Ends every process started for the configuration file; true when none is left.
bool endProcessesNaming(const QByteArray& needle) {
    for (int signal : {SIGTERM, SIGKILL}) {
        const QList<qint64> pids = processesNaming(needle);
        if (pids.isEmpty()) return true;
        for (qint64 pid : pids)
            ::kill(pid_t(pid), signal);
        if (QTest::qWaitFor([&] { return processesNaming(needle).isEmpty(); }, 3000)) return true;
    }
    return processesNaming(needle).isEmpty();
}

} // namespace

TEST(SharePaths, UncAndSmbUrlsConvertBothWays) {
    EXPECT_EQ(smbUrlFromUnc(u"\\\\nas\\mp3\\Rock"), "smb://nas/mp3/Rock");
    EXPECT_EQ(smbUrlFromUnc(u"\\\\nas\\mp3\\"), "smb://nas/mp3");
    EXPECT_EQ(smbUrlFromUnc(u""), "smb://");
    EXPECT_EQ(uncFromSmbUrl(u"smb://nas/mp3/Rock"), "\\\\nas\\mp3\\Rock");
    EXPECT_EQ(uncFromSmbUrl(u"SMB://nas/"), "\\\\nas");
    EXPECT_EQ(uncFromSmbUrl(u"smb://"), "");
    for (const char* unc : {"\\\\nas", "\\\\nas\\mp3", "\\\\nas\\mp3\\A B\\C"}) {
        EXPECT_EQ(uncFromSmbUrl(smbUrlFromUnc(QString::fromLatin1(unc))), unc);
    }

    EXPECT_EQ(childUrl(u"smb://", ShareEntry::Workgroup, "HEIM"), "smb://HEIM");
    EXPECT_EQ(childUrl(u"smb://HEIM", ShareEntry::Server, "nas"), "smb://nas");
    EXPECT_EQ(childUrl(u"smb://nas", ShareEntry::Share, "mp3"), "smb://nas/mp3");
    EXPECT_EQ(childUrl(u"smb://nas/mp3/", ShareEntry::Folder, "Rock"), "smb://nas/mp3/Rock");
}

// A real smbd on a loopback port with a guest share and an administrative share.
class ShareListerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString smbd = QStandardPaths::findExecutable("smbd", {"/usr/sbin", "/usr/bin"});
        if (smbd.isEmpty()) GTEST_SKIP() << "smbd is not installed";
        ASSERT_TRUE(dir.isValid());
        const QString d = dir.path();
        for (const char* sub : {"private", "lock", "state", "cache", "pid", "ncalrpc",
                                "share/Rock/Best", "share/Pop", "other"})
            ASSERT_TRUE(QDir().mkpath(d + "/" + sub));
        QFile(d).setPermissions(QFile::permissions(d) | QFile::ReadOther | QFile::ExeOther);
        port = quint16(20000 + QCoreApplication::applicationPid() % 20000);
        QFile conf(d + "/smb.conf");
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QString("[global]\n workgroup = TESTGRP\n netbios name = VLTEST\n"
                           " smb ports = %2\n interfaces = lo\n bind interfaces only = yes\n"
                           " private dir = %1/private\n lock directory = %1/lock\n"
                           " state directory = %1/state\n cache directory = %1/cache\n"
                           " pid directory = %1/pid\n ncalrpc dir = %1/ncalrpc\n"
                           " log file = %1/log.smbd\n map to guest = Bad User\n"
                           " server role = standalone server\n load printers = no\n"
                           " printcap name = /dev/null\n disable spoolss = yes\n"
                           " disable netbios = yes\n"
                           "[musik]\n path = %1/share\n guest ok = yes\n read only = yes\n"
                           "[geheim$]\n path = %1/other\n guest ok = yes\n")
                       .arg(d)
                       .arg(port)
                       .toUtf8());
        conf.close();
        // Its own process group: smbd signals its whole group when it shuts down.
        server.start(smbd, {"--foreground", "-s", d + "/smb.conf"});
        if (!server.waitForStarted(5000)) GTEST_SKIP() << "smbd cannot be started";
        const bool listening = QTest::qWaitFor(
            [this] {
                QTcpSocket probe;
                probe.connectToHost("127.0.0.1", port);
                return probe.waitForConnected(200);
            },
            10000);
        if (!listening) GTEST_SKIP() << "smbd does not listen (not run as a privileged user?)";
    }
    void TearDown() override {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            if (!server.waitForFinished(5000)) server.kill();
            server.waitForFinished(2000);
        }
        // The RPC helpers smbd started for the share list run on without it.
        if (dir.isValid()) {
            EXPECT_TRUE(endProcessesNaming(QFile::encodeName(dir.path() + "/smb.conf")));
        }
    }

    static QStringList names(const QList<ShareEntry>& entries, ShareEntry::Kind kind) {
        QStringList out;
        for (const ShareEntry& e : entries)
            if (e.kind == kind) out << e.name;
        out.sort();
        return out;
    }

    QTemporaryDir dir;
    QProcess server;
    quint16 port = 0;
};

TEST_F(ShareListerTest, ListsSharesAndFoldersOfAServer) {
    ShareLister lister(port);
    QSignalSpy spy(&lister, &ShareLister::listed);

    lister.list("smb://127.0.0.1");
    ASSERT_TRUE(spy.wait(20000));
    QList<QVariant> answer = spy.takeFirst();
    EXPECT_EQ(answer.at(0).toString(), "smb://127.0.0.1");
    auto entries = answer.at(1).value<QList<ShareEntry>>();
    EXPECT_EQ(names(entries, ShareEntry::Share), QStringList{"musik"}) // no "geheim$", no IPC$
        << answer.at(2).toString().toStdString();
    for (const ShareEntry& e : entries) {
        if (e.name == "musik") {
            EXPECT_EQ(uncFromSmbUrl(e.url), "\\\\127.0.0.1\\musik");
        }
    }

    lister.list("smb://127.0.0.1/musik");
    ASSERT_TRUE(spy.wait(20000));
    answer = spy.takeFirst();
    entries = answer.at(1).value<QList<ShareEntry>>();
    EXPECT_EQ(names(entries, ShareEntry::Folder), (QStringList{"Pop", "Rock"}));
    EXPECT_TRUE(answer.at(2).toString().isEmpty());

    lister.list("smb://127.0.0.1/nichtda");
    ASSERT_TRUE(spy.wait(20000));
    answer = spy.takeFirst();
    EXPECT_TRUE(answer.at(1).value<QList<ShareEntry>>().isEmpty());
    EXPECT_FALSE(answer.at(2).toString().isEmpty());
}
