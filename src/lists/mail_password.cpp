#include "mail_password.h"

#include "settings_store.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <qt6keychain/keychain.h>

namespace {
const QString kSecrets = QStringLiteral("org.freedesktop.secrets");
}

MailPasswordVault::MailPasswordVault(QObject* parent, const QDBusConnection& bus)
    : QObject(parent), bus_(bus) {}

MailPasswordVault::~MailPasswordVault() = default;

void MailPasswordVault::settle(Place place) {
    place_ = place;
    probing_ = false;
    emit availabilityKnown(place == Place::Keyring);
    const auto waiting = std::exchange(waiting_, {});
    for (const auto& step : waiting)
        step();
}

void MailPasswordVault::probe() {
    if (place_ != Place::Unknown) {
        emit availabilityKnown(place_ == Place::Keyring);
        return;
    }
    if (probing_) return;
    if (!bus_.isConnected()) {
        settle(Place::SettingsFile);
        return;
    }
    probing_ = true;
    // Running now, or started by the bus on the first call.
    auto ask = [this](const QString& method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), method);
        m.setArguments(args);
        return new QDBusPendingCallWatcher(bus_.asyncCall(m, 5000), this);
    };
    QDBusPendingCallWatcher* owner = ask(QStringLiteral("NameHasOwner"), {kSecrets});
    connect(owner, &QDBusPendingCallWatcher::finished, this,
            [this, ask](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<bool> reply = *w;
                if (!reply.isError() && reply.value()) {
                    settle(Place::Keyring);
                    return;
                }
                QDBusPendingCallWatcher* list = ask(QStringLiteral("ListActivatableNames"), {});
                connect(list, &QDBusPendingCallWatcher::finished, this,
                        [this](QDBusPendingCallWatcher* l) {
                            l->deleteLater();
                            const QDBusPendingReply<QStringList> names = *l;
                            settle(!names.isError() && names.value().contains(kSecrets)
                                       ? Place::Keyring
                                       : Place::SettingsFile);
                        });
            });
}

void MailPasswordVault::save(SettingsStore& store, MailAccount account,
                             std::function<void(Place, const QString&)> done) {
    if (place_ == Place::Unknown) {
        waiting_.push_back([this, &store, account, done] { save(store, account, done); });
        probe();
        return;
    }
    auto inFile = [&store, account, done](const QString& error) mutable {
        account.passwordInKeyring = false;
        account.save(store);
        if (done) done(Place::SettingsFile, error);
    };
    if (place_ != Place::Keyring) {
        inFile(QString());
        return;
    }
    auto* job = new QKeychain::WritePasswordJob(kService, this);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(kKey);
    job->setTextData(account.password);
    connect(job, &QKeychain::Job::finished, this,
            [&store, account, done, inFile](QKeychain::Job* j) mutable {
                if (j->error() != QKeychain::NoError) {
                    inFile(j->errorString());
                    return;
                }
                account.passwordInKeyring = true;
                account.save(store);
                if (done) done(Place::Keyring, QString());
            });
    job->start();
}

void MailPasswordVault::load(const SettingsStore& store, std::function<void(MailAccount)> done) {
    MailAccount account = MailAccount::load(store);
    if (!account.passwordInKeyring) {
        done(account);
        return;
    }
    auto* job = new QKeychain::ReadPasswordJob(kService, this);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(kKey);
    connect(job, &QKeychain::Job::finished, this, [account, done](QKeychain::Job* j) mutable {
        if (j->error() == QKeychain::NoError)
            account.password = static_cast<QKeychain::ReadPasswordJob*>(j)->textData();
        done(account);
    });
    job->start();
}
