#include "app_paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdlib>
#include <sys/stat.h>

namespace apppaths {

namespace {

QString xdgDir(const char* variable, const QString& fallbackBelowHome) {
    const QByteArray value = qgetenv(variable);
    // XDG base directories must be absolute; a relative value is ignored.
    if (!value.isEmpty() && value.startsWith('/')) return QFile::decodeName(value);
    return QDir::homePath() + fallbackBelowHome;
}

} // namespace

bool makePrivateDir(const QString& path) {
    QDir dir(path);
    if (dir.exists()) return true;
    const QString parent = QFileInfo(QDir::cleanPath(path)).absolutePath();
    if (!QDir().mkpath(parent)) return false;
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0) return QDir(path).exists();
    return true;
}

QString dataDir() {
    QString dir;
    const QByteArray home = qgetenv("VORLUNE_HOME");
    if (!home.isEmpty())
        dir = QDir::cleanPath(QDir(QFile::decodeName(home)).absolutePath());
    else
        dir = xdgDir("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/vorlune");
    makePrivateDir(dir);
    return dir;
}

QString configDir() {
    const QString dir =
        xdgDir("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/vorlune");
    makePrivateDir(dir);
    return dir;
}

QString registryFile() {
    return configDir() + QStringLiteral("/registry.json");
}

QString applicationsDir() {
    return xdgDir("XDG_DATA_HOME", QStringLiteral("/.local/share")) +
           QStringLiteral("/applications");
}

} // namespace apppaths

PrivateTempDir::PrivateTempDir() {
    QString base = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (base.isEmpty() || !base.startsWith(QLatin1Char('/')) || !QDir(base).exists())
        base = QStringLiteral("/tmp");
    QByteArray templ = QFile::encodeName(base + QStringLiteral("/vorlune-XXXXXX"));
    if (::mkdtemp(templ.data())) path_ = QFile::decodeName(templ);
}

PrivateTempDir::~PrivateTempDir() {
    remove();
}

QString PrivateTempDir::filePath(const QString& name) const {
    return path_ + QLatin1Char('/') + name;
}

void PrivateTempDir::remove() {
    if (path_.isEmpty()) return;
    QDir(path_).removeRecursively();
    path_.clear();
}
