#include "streaming_settings.h"

#include "rate_tables.h"

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

} // namespace streamingsettings
