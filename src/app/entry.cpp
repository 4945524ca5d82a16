#include "entry.h"

#include "control_channel.h"
#include "single_instance.h"
#include "url_import.h"
#include "version_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace entry {

int importStep(const QString& firstArgument, const QString& dataDir,
               const std::function<void(const QString&)>& warn, int timeoutSeconds) {
    if (firstArgument.isEmpty() || !urlimport::isImportArgument(firstArgument)) return kGoOn;
    const QString userAgent =
        QStringLiteral("Vorlune, Version ") + MyVersionInfo::current().VersionString;
    const urlimport::Result imported =
        urlimport::run(firstArgument, dataDir, userAgent, timeoutSeconds);
    if (!imported.error.isEmpty()) {
        if (warn) warn(imported.warning);
        return 255;
    }
    if (imported.imported) control::sendRefresh(1000);
    return kGoOn;
}

int secondInstance() {
    control::sendMp3Ctrl(0, 2000);
    return 0;
}

int instanceStep(SingleInstance& instance, const std::function<void(const QString&)>& fail) {
    switch (instance.acquire()) {
    case SingleInstance::Acquired:
        return kGoOn;
    case SingleInstance::HeldElsewhere:
        return secondInstance();
    case SingleInstance::Failed:
        break;
    }
    const QString path = control::lockPath();
    if (fail)
        fail(QStringLiteral("Vorlune kann nicht gestartet werden: Die Sperrdatei ") +
             (path.isEmpty() ? QString() : u'"' + path + QStringLiteral("\" ")) +
             QStringLiteral("lässt sich nicht anlegen.\n") + instance.errorText());
    return kNoLock;
}

QString catalogDir(const QString& firstArgument, const QString& dataDir) {
    if (!firstArgument.isEmpty() && !urlimport::isImportArgument(firstArgument) &&
        QFileInfo(firstArgument).isDir())
        return QDir::cleanPath(QDir(firstArgument).absolutePath());
    return dataDir;
}

bool installToolkitTexts(QTranslator& translator) {
    return translator.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
           QCoreApplication::installTranslator(&translator);
}

} // namespace entry
