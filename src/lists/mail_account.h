#pragma once

#include "settings_keys.h"

#include <QString>

class SettingsStore;

// The user's own mail account, key "Software\Vorlune\Mail".
struct MailAccount {
    enum Security { None = 0, StartTls = 1, Tls = 2 };
    QString server;
    int port = 0; // 0: the security's standard port
    int security = None;
    QString user;
    QString password;
    QString sender; // the user's address
    // The password is kept in the desktop's keyring, not in the settings file.
    bool passwordInKeyring = false;

    bool configured() const { return !server.trimmed().isEmpty() && !sender.trimmed().isEmpty(); }
    int effectivePort() const;

    static MailAccount load(const SettingsStore& store);
    void save(SettingsStore& store) const;
};

inline constexpr const char* kMailKey = settingskeys::mail::kPath;
