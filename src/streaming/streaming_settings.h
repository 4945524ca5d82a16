#pragma once

#include "app_settings.h"

#include "icecast_relay.h"
#include "pulse_capture.h"
#include "settings_keys.h"
#include "streaming_server.h"

#include <QList>

// Bridges the settings' "Streaming" key and the server.
namespace streamingsettings {

// What the load-time check decided beside the values themselves.
struct Check {
    bool encoderMissing = false;
    bool deviceNotFound = false;
    bool canEnable = true; // false when there is no capture device at all
};

// The load-time rules: a missing encoder file switches streaming off; the stored device
// is kept only when the device at its index has the stored name, otherwise streaming is
// switched off and the first device is selected; without devices streaming cannot be
// enabled and is off.
Check validate(appsettings::StreamingSettings& s, const QList<AudioDevice>& devices);

// The server configuration the values describe (list indexes become values).
StreamConfig toConfig(const appsettings::StreamingSettings& s);

// Hands encoder, log and configuration to the server and starts it when enabled.
// Returns whether the server runs afterwards.
bool apply(const appsettings::StreamingSettings& s, WStreamingServer& server);

// The relay's settings under "Software\Vorlune\Streaming\Relay" (User defaults to
// "source", Port to 8000, Mount to "/vorlune.mp3"; a port out of range turns it off).
inline const QString kRelayKey = QLatin1String(settingskeys::relay::kPath);
RelaySettings readRelay(const SettingsStore& store);
void writeRelay(SettingsStore& store, const RelaySettings& relay);

} // namespace streamingsettings
