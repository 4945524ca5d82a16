#include "mail_account.h"

#include "settings_keys.h"

#include "settings_store.h"

int MailAccount::effectivePort() const {
    if (port > 0 && port < 65536) return port;
    switch (security) {
    case Tls:
        return 465;
    case StartTls:
        return 587;
    default:
        return 25;
    }
}

MailAccount MailAccount::load(const SettingsStore& store) {
    const QString key = QLatin1String(kMailKey);
    MailAccount a;
    a.server = store.readText(key, QLatin1String(settingskeys::mail::Server)).value_or(QString());
    a.port = store.readInteger(key, QLatin1String(settingskeys::mail::Port)).value_or(0);
    a.security = std::clamp(
        store.readInteger(key, QLatin1String(settingskeys::mail::Security)).value_or(None),
        int(None), int(Tls));
    a.user = store.readText(key, QLatin1String(settingskeys::mail::User)).value_or(QString());
    a.password =
        store.readText(key, QLatin1String(settingskeys::mail::Password)).value_or(QString());
    a.sender = store.readText(key, QLatin1String(settingskeys::mail::Sender)).value_or(QString());
    a.passwordInKeyring =
        store.readBool(key, QLatin1String(settingskeys::mail::PasswordInKeyring)).value_or(false);
    if (a.passwordInKeyring) a.password.clear();
    return a;
}

void MailAccount::save(SettingsStore& store) const {
    const QString key = QLatin1String(kMailKey);
    store.writeText(key, QLatin1String(settingskeys::mail::Server), server);
    store.writeInteger(key, QLatin1String(settingskeys::mail::Port), port);
    store.writeInteger(key, QLatin1String(settingskeys::mail::Security), security);
    store.writeText(key, QLatin1String(settingskeys::mail::User), user);
    if (passwordInKeyring)
        store.deleteValue(key, QLatin1String(settingskeys::mail::Password));
    else
        store.writeText(key, QLatin1String(settingskeys::mail::Password), password);
    store.writeText(key, QLatin1String(settingskeys::mail::Sender), sender);
    store.writeBool(key, QLatin1String(settingskeys::mail::PasswordInKeyring), passwordInKeyring);
}
