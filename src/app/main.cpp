#include "app_paths.h"
#include "control_channel.h"
#include "control_server.h"
#include "entry.h"
#include "main_window.h"
#include "settings_store.h"
#include "signal_watcher.h"
#include "single_instance.h"
#include "web_view.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTranslator>

#include <unistd.h>

int main(int argc, char** argv) {
    // The web engine refuses to start as root with its sandbox, and would end the program;
    // root has no sandbox to keep anyway.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The web view's "res" scheme exists before the application object.
    webview::registerSchemes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorlune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vorlune"));
    QApplication::setDesktopFileName(QStringLiteral("vorlune"));
    QApplication::setQuitOnLastWindowClosed(true);
    QTranslator toolkitTexts;
    entry::installToolkitTexts(toolkitTexts);

    const QStringList args = QApplication::arguments();
    const QString first = args.size() > 1 ? args.at(1) : QString();
    const QString dataDir = apppaths::dataDir();

    // 1. Import an index file named by a "vorlune:" URL.
    const int importCode = entry::importStep(first, dataDir, [](const QString& text) {
        QMessageBox::warning(nullptr, QStringLiteral("Vorlune"), text, QMessageBox::Ok);
    });
    if (importCode != entry::kGoOn) return importCode;

    // 2. One instance per user: a second start brings the first to the front.
    SingleInstance instance(control::lockPath());
    const int instanceCode = entry::instanceStep(instance, [](const QString& text) {
        QMessageBox::critical(nullptr, QStringLiteral("Vorlune"), text, QMessageBox::Ok);
    });
    if (instanceCode != entry::kGoOn) return instanceCode;
    // Listen at once, so that a second start during the set-up is not turned away.
    ControlServer server(nullptr);
    server.listen();

    // 3. The windows.
    PrivateTempDir temp;
    SettingsStore store(apppaths::registryFile());
    store.load();
    // Said once; the store then keeps its hands off the file.
    if (!store.loadWarning().isEmpty())
        QMessageBox::warning(nullptr, QStringLiteral("Vorlune"), store.loadWarning(),
                             QMessageBox::Ok);
    else if (!store.resetNotice().isEmpty())
        QMessageBox::warning(nullptr, QStringLiteral("Vorlune"), store.resetNotice(),
                             QMessageBox::Ok);

    AppCore::Environment env;
    env.dataDir = dataDir;
    env.catalogDir = entry::catalogDir(first, dataDir);
    env.tempDir = temp.path();
    env.executable = QFileInfo(QApplication::applicationFilePath()).absoluteFilePath();
    env.applicationsDir = apppaths::applicationsDir();
    env.store = &store;

    AppCore core(env);
    TForm1 form(core);
    server.setTarget(&core);

    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &form,
                     [&form] { form.endSession(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form] { form.saveSettings(); });

    form.show();
    const int rc = QApplication::exec();
    server.setTarget(nullptr);
    instance.release();
    return rc;
}
