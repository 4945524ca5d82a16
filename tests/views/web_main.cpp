#include "web_view.h"

#include <QApplication>

#include "run_all_tests.h"

#include <unistd.h>

// The web view's tests need a display (xvfb-run) and the real engine.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-dev-shm-usage");
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
    webview::registerSchemes();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return runAllTests();
}
