#include "folder_listing.h"

#include "task_service.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace folderlisting {

QByteArray fetch(const QString& folder, const webclient::Credentials& login, const QString& tempDir,
                 const TaskControl& control, const webclient::Timeouts& timeouts) {
    QTemporaryFile file(QDir(tempDir).filePath(QStringLiteral("listing-XXXXXX")));
    if (!file.open()) {
        control.fail(QStringLiteral("Die Liste kann nicht abgelegt werden."));
        return {};
    }
    file.close();
    const webclient::TransferResult r = webclient::download(
        folder, login, file.fileName(),
        [&control](qint64 bytes, qint64) { return bytes < kMaxBytes && !control.cancelled(); },
        timeouts);
    if (!r.ok) {
        control.fail(QStringLiteral("Fehler beim Lesen des Ordners: ") + r.error);
        return {};
    }
    QFile in(file.fileName());
    if (!in.open(QIODevice::ReadOnly)) {
        control.fail(QStringLiteral("Die Liste kann nicht gelesen werden."));
        return {};
    }
    return in.read(kMaxBytes);
}

} // namespace folderlisting
