#include "mail_account.h"

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
    a.server = store.readText(key, QStringLiteral("Server")).value_or(QString());
    a.port = store.readInteger(key, QStringLiteral("Port")).value_or(0);
    a.security = std::clamp(store.readInteger(key, QStringLiteral("Security")).value_or(None),
                            int(None), int(Tls));
    a.user = store.readText(key, QStringLiteral("User")).value_or(QString());
    a.password = store.readText(key, QStringLiteral("Password")).value_or(QString());
    a.sender = store.readText(key, QStringLiteral("Sender")).value_or(QString());
    a.passwordInKeyring = store.readBool(key, QStringLiteral("PasswordInKeyring")).value_or(false);
    if (a.passwordInKeyring) a.password.clear();
    return a;
}

void MailAccount::save(SettingsStore& store) const {
    const QString key = QLatin1String(kMailKey);
    store.writeText(key, QStringLiteral("Server"), server);
    store.writeInteger(key, QStringLiteral("Port"), port);
    store.writeInteger(key, QStringLiteral("Security"), security);
    store.writeText(key, QStringLiteral("User"), user);
    if (passwordInKeyring)
        store.deleteValue(key, QStringLiteral("Password"));
    else
        store.writeText(key, QStringLiteral("Password"), password);
    store.writeText(key, QStringLiteral("Sender"), sender);
    store.writeBool(key, QStringLiteral("PasswordInKeyring"), passwordInKeyring);
}
