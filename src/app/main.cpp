#include "app_paths.h"
#include "control_channel.h"
#include "control_server.h"
#include "main_window.h"
#include "settings_store.h"
#include "signal_watcher.h"
#include "single_instance.h"
#include "url_import.h"
#include "version_info.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vorlune"));
    QApplication::setDesktopFileName(QStringLiteral("vorlune"));
    QApplication::setQuitOnLastWindowClosed(true);

    const QStringList args = QApplication::arguments();
    const QString first = args.size() > 1 ? args.at(1) : QString();
    const QString dataDir = apppaths::dataDir();
    const QString userAgent =
        QStringLiteral("Vorlune, Version ") + MyVersionInfo::current().VersionString;

    // 1. Import an index file named by a "vorlune:" URL.
    if (!first.isEmpty() && urlimport::isImportArgument(first)) {
        const urlimport::Result imported = urlimport::run(first, dataDir, userAgent);
        if (!imported.error.isEmpty()) {
            QMessageBox::warning(nullptr, QStringLiteral("Vorlune"), imported.warning,
                                 QMessageBox::Ok);
            return 255;
        }
        if (imported.imported) control::sendRefresh(1000);
    }

    // 2. One instance per user: a second start brings the first to the front.
    SingleInstance instance(control::lockPath());
    if (!instance.acquire()) {
        control::sendMp3Ctrl(0, 2000);
        return 0;
    }

    // 3. The windows.
    PrivateTempDir temp;
    SettingsStore store(apppaths::registryFile());
    store.load();

    TForm1::Environment env;
    env.dataDir = dataDir;
    env.catalogDir = dataDir;
    if (!first.isEmpty() && !urlimport::isImportArgument(first) && QFileInfo(first).isDir())
        env.catalogDir = QDir(first).absolutePath();
    env.tempDir = temp.path();
    env.executable = QFileInfo(QApplication::applicationFilePath()).absoluteFilePath();
    env.applicationsDir = apppaths::applicationsDir();
    env.store = &store;

    TForm1 form(env);
    ControlServer server(&form);
    server.listen();

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &form,
                     [&form] { form.endSession(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form] { form.saveSettings(); });

    form.show();
    const int rc = QApplication::exec();
    instance.release();
    return rc;
}
