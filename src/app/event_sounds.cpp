#include "event_sounds.h"

#include "settings_keys.h"

#include "settings_store.h"

#include <QFile>
#include <QFileInfo>

#include <canberra.h>

EventSounds::~EventSounds() {
    if (context_) ca_context_destroy(context_);
}

QString EventSounds::soundFile(const SettingsStore& store, const QString& event) {
    const QString key = QLatin1String(settingskeys::events::kScheme) + u'\\' + event + u'\\' +
                        QLatin1String(settingskeys::events::kCurrent);
    const QString file = store.readText(key, QString()).value_or(QString()).trimmed();
    if (file.isEmpty() || !QFileInfo(file).isFile()) return {};
    return file;
}

bool EventSounds::play(const QString& event) {
    if (!store_) return false;
    return playFile(soundFile(*store_, event), event);
}

bool EventSounds::ensureContext() {
    if (!context_ && !contextFailed_) {
        if (ca_context_create(&context_) != CA_SUCCESS) {
            context_ = nullptr;
            contextFailed_ = true;
        } else {
            ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Vorlune",
                                    CA_PROP_APPLICATION_ID, "org.vorlune.vorlune", nullptr);
        }
    }
    return context_ != nullptr;
}

bool EventSounds::playTheme(const QString& themeEvent) {
    if (themeEvent.isEmpty() || !ensureContext()) return false;
    // Returns at once; a busy or missing sound device only makes it fail.
    return ca_context_play(context_, 0, CA_PROP_EVENT_ID, themeEvent.toUtf8().constData(),
                           nullptr) == CA_SUCCESS;
}

bool EventSounds::playFile(const QString& file, const QString& event) {
    if (file.isEmpty() || !QFileInfo(file).isFile()) return false;
    if (!ensureContext()) return false;
    // ca_context_play returns at once; the sound plays on libcanberra's own thread.
    return ca_context_play(context_, 0, CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData(),
                           CA_PROP_EVENT_ID, event.toUtf8().constData(),
                           CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr) == CA_SUCCESS;
}
