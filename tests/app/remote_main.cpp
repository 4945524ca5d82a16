#include <QApplication>
#include <QProcess>

#include "run_all_tests.h"

#include <cstdio>

// Every run gets a session bus of its own: a dbus-daemon started here and ended at exit.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QProcess daemon;
    if (!::testing::GTEST_FLAG(list_tests)) {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        while (!daemon.canReadLine())
            if (!daemon.waitForReadyRead(10000)) {
                std::fprintf(stderr, "dbus-daemon did not start\n");
                return 1;
            }
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed());
        qunsetenv("DBUS_SESSION_BUS_PID");
    }
    int rc = 0;
    {
        QApplication app(argc, argv);
        rc = runAllTests();
    }
    if (daemon.state() != QProcess::NotRunning) {
        daemon.terminate();
        daemon.waitForFinished(3000);
    }
    return rc;
}
