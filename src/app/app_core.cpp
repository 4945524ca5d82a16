#include "app_core.h"

#include "collection_loader.h"

AppCore::AppCore(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)),
      settings_(appsettings::Settings::defaults(env_.dataDir)),
      collection_(std::make_shared<Collection>()), loader_(new CollectionLoader(this)) {
    collection_->CatalogDir = env_.catalogDir;
}

AppCore::~AppCore() {
    loader_->wait();
}

QString AppCore::controlCommand(int code) {
    switch (code) {
    case 1:
        return QLatin1String(cmd::Play);
    case 2:
        return QLatin1String(cmd::Pause);
    case 3:
        return QLatin1String(cmd::Stop);
    case 4:
        return QLatin1String(cmd::Prev);
    case 5:
        return QLatin1String(cmd::Next);
    default:
        return {};
    }
}

void AppCore::bringToFront() {
    commands_.run(QLatin1String(cmd::Raise));
}

bool AppCore::commandEnabled(int code) const {
    const QString name = controlCommand(code);
    return !name.isEmpty() && commands_.isEnabled(name);
}

void AppCore::runCommand(int code) {
    const QString name = controlCommand(code);
    if (!name.isEmpty()) commands_.run(name);
}

void AppCore::reloadMedia() {
    commands_.run(QLatin1String(cmd::Reload));
}
