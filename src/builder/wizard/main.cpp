#include "udisks_client.h"
#include "udisks_media.h"
#include "wizard_window.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Reapwell"));
    QApplication::setApplicationDisplayName(QStringLiteral("Reapwell"));

    // Started for a new medium: its folder, label and type are filled in.
    QCommandLineParser parser;
    const QCommandLineOption folder(QStringLiteral("folder"), QString(), QStringLiteral("path"));
    const QCommandLineOption label(QStringLiteral("label"), QString(), QStringLiteral("label"));
    const QCommandLineOption type(QStringLiteral("type"), QString(), QStringLiteral("code"));
    parser.addOptions({folder, label, type});
    parser.process(app);

    // The private folder for the tool and its info file; removed when the program ends.
    QString base = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (base.isEmpty() || !QDir(base).exists()) base = QStringLiteral("/tmp");
    auto tempDir =
        std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("reapwell-XXXXXX")));
    if (!tempDir->isValid()) tempDir = std::make_unique<QTemporaryDir>();

    UDisksClient volumes(UDisksClient::systemBus());
    WizardWindow window(tempDir->path());
    window.setVolumeClient(&volumes);
    if (parser.isSet(folder) || parser.isSet(label) || parser.isSet(type))
        window.presetMedium(parser.value(folder), parser.value(label),
                            udisksmedia::typeIndexForCode(parser.value(type)));
    window.show();
    return app.exec();
}
