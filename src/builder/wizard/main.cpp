#include "wizard_window.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Reapwell"));
    QApplication::setApplicationDisplayName(QStringLiteral("Reapwell"));

    // The private folder for the tool and its info file; removed when the program ends.
    QString base = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (base.isEmpty() || !QDir(base).exists()) base = QStringLiteral("/tmp");
    auto tempDir =
        std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("reapwell-XXXXXX")));
    if (!tempDir->isValid()) tempDir = std::make_unique<QTemporaryDir>();

    WizardWindow window(tempDir->path());
    window.show();
    return app.exec();
}
