#pragma once

#include "mail_account.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <utility>
#include <vector>

class SettingsStore;

// Where the mail account's password lives: the desktop's keyring (Secret Service, through
// QtKeychain) when the session bus has one, else the settings file (mode 0600). Every
// step is asynchronous; nothing waits on the bus.
class MailPasswordVault : public QObject {
    Q_OBJECT
public:
    explicit MailPasswordVault(QObject* parent = nullptr,
                               const QDBusConnection& bus = QDBusConnection::sessionBus());
    ~MailPasswordVault() override;

    enum class Place { Unknown, Keyring, SettingsFile };
    Place place() const { return place_; }
    // Asks the bus whether a Secret Service runs or can be started; availabilityKnown
    // follows (at once when the answer is known already).
    void probe();

    // Writes the account; the password goes to the keyring when there is one, else (or
    // when the keyring refuses) into the settings file. `done` gets where it went.
    void save(SettingsStore& store, MailAccount account,
              std::function<void(Place place, const QString& error)> done = {});
    // The account with its password, read from the keyring when it is kept there.
    void load(const SettingsStore& store, std::function<void(MailAccount account)> done);

    static inline const QString kService = QStringLiteral("Vorlune");
    static inline const QString kKey = QStringLiteral("Mail");

signals:
    void availabilityKnown(bool keyring);

private:
    void settle(Place place);
    QDBusConnection bus_;
    Place place_ = Place::Unknown;
    bool probing_ = false;
    std::vector<std::function<void()>> waiting_;
};
