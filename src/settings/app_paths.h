#pragma once

#include <QString>

// Where vorlune keeps its files on this system.
namespace apppaths {

// The data folder: $VORLUNE_HOME, else $XDG_DATA_HOME/vorlune (created, mode 0700).
// Ends without a slash.
QString dataDir();

// $XDG_CONFIG_HOME/vorlune (created, mode 0700).
QString configDir();

// The settings store's file.
QString registryFile();

// $XDG_DATA_HOME/applications, where desktop entries of the user live.
QString applicationsDir();

// Creates a folder with its parents; the last component gets mode 0700 when new.
bool makePrivateDir(const QString& path);

} // namespace apppaths

// A private folder for this run (mkdtemp, mode 0700) under $XDG_RUNTIME_DIR or /tmp,
// removed with everything in it when the object goes.
class PrivateTempDir {
public:
    PrivateTempDir();
    ~PrivateTempDir();
    PrivateTempDir(const PrivateTempDir&) = delete;
    PrivateTempDir& operator=(const PrivateTempDir&) = delete;

    bool isValid() const { return !path_.isEmpty(); }
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const;
    void remove();

private:
    QString path_;
};
