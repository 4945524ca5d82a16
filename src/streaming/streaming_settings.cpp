#include "streaming_settings.h"

#include "settings_keys.h"

#include "rate_tables.h"
#include "settings_store.h"

#include <QFileInfo>

namespace streamingsettings {

Check validate(appsettings::StreamingSettings& s, const QList<AudioDevice>& devices) {
    Check c;
    if (s.encoder.isEmpty() || !QFileInfo(s.encoder).isFile()) {
        c.encoderMissing = true;
        s.enabled = false;
    }
    const int index = s.device.value_or(-1);
    const bool found = index >= 0 && index < devices.size() && s.deviceName.has_value() &&
                       devices[index].name == *s.deviceName;
    if (!found) {
        c.deviceNotFound = true;
        s.enabled = false;
        if (devices.isEmpty()) {
            c.canEnable = false;
            s.device.reset();
            s.deviceName.reset();
        } else {
            s.device = 0;
            s.deviceName = devices.first().name;
        }
    }
    return c;
}

StreamConfig toConfig(const appsettings::StreamingSettings& s) {
    StreamConfig c;
    c.StationID = s.stationId;
    c.Port = quint16(qBound(0, s.streamPort, 65535));
    c.Device = s.deviceName.value_or(QString());
    c.SampleRate = RateTables::sampleRateAt(s.sampleRate);
    c.BitRate = RateTables::bitRateAt(s.bitRate);
    c.Quality = qBound(0, s.quality, 9);
    c.VBRMethod = StreamMode(qBound(0, s.vbrMethod, 3));
    c.MaxListeners = s.maxListeners;
    c.LimitListeners = s.limitListeners;
    c.PrivateFlag = s.privateFlag;
    return c;
}

bool apply(const appsettings::StreamingSettings& s, WStreamingServer& server) {
    server.SetEncoderLibrary(s.encoder);
    server.setLogFile(s.logFile);
    server.SetLogging(s.logging);
    server.Configure(toConfig(s));
    if (s.enabled)
        server.Start();
    else
        server.Stop();
    return server.isActive();
}

RelaySettings readRelay(const SettingsStore& store) {
    const QString& key = kRelayKey;
    RelaySettings r;
    r.Enabled = store.readBool(key, QLatin1String(settingskeys::relay::Enabled)).value_or(false);
    r.Host = store.readText(key, QLatin1String(settingskeys::relay::Host)).value_or(r.Host);
    r.Port = store.readInteger(key, QLatin1String(settingskeys::relay::Port)).value_or(r.Port);
    r.Mount = store.readText(key, QLatin1String(settingskeys::relay::Mount)).value_or(r.Mount);
    if (!r.Mount.startsWith(QLatin1Char('/'))) r.Mount.prepend(QLatin1Char('/'));
    const QString user =
        store.readText(key, QLatin1String(settingskeys::relay::User)).value_or(QString());
    if (!user.isEmpty()) r.User = user;
    r.Password =
        store.readText(key, QLatin1String(settingskeys::relay::Password)).value_or(QString());
    r.TLS = store.readBool(key, QLatin1String(settingskeys::relay::TLS)).value_or(false);
    if (r.Port <= 0 || r.Port > 65535) r.Enabled = false;
    return r;
}

void writeRelay(SettingsStore& store, const RelaySettings& r) {
    const QString& key = kRelayKey;
    store.writeBool(key, QLatin1String(settingskeys::relay::Enabled), r.Enabled);
    store.writeText(key, QLatin1String(settingskeys::relay::Host), r.Host.trimmed());
    store.writeInteger(key, QLatin1String(settingskeys::relay::Port), r.Port);
    QString mount = r.Mount.trimmed();
    if (!mount.startsWith(QLatin1Char('/'))) mount.prepend(QLatin1Char('/'));
    store.writeText(key, QLatin1String(settingskeys::relay::Mount), mount);
    store.writeText(key, QLatin1String(settingskeys::relay::User), r.User.trimmed());
    store.writeText(key, QLatin1String(settingskeys::relay::Password), r.Password);
    store.writeBool(key, QLatin1String(settingskeys::relay::TLS), r.TLS);
}

} // namespace streamingsettings
