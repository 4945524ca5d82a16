#include "streaming_settings.h"

#include "rate_tables.h"

#include <QDir>
#include <QFileInfo>

QString StreamingSettings::defaultLogFile(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("vorlune.streaming.log"));
}

StreamingSettings::Check StreamingSettings::validate(const QList<AudioDevice>& devices) {
    Check c;
    if (Encoder.isEmpty() || !QFileInfo(Encoder).isFile()) {
        c.encoderMissing = true;
        Enabled = false;
    }
    const bool found = Device >= 0 && Device < devices.size() && devices[Device].name == DeviceName;
    if (!found) {
        c.deviceNotFound = true;
        Enabled = false;
        if (devices.isEmpty()) {
            c.canEnable = false;
            Device = -1;
        } else {
            Device = 0;
            DeviceName = devices.first().name;
        }
    }
    return c;
}

StreamConfig StreamingSettings::toConfig() const {
    StreamConfig c;
    c.StationID = StationID;
    c.Port = quint16(qBound(0, StreamPort, 65535));
    c.Device = DeviceName;
    c.SampleRate = RateTables::sampleRateAt(SampleRate);
    c.BitRate = RateTables::bitRateAt(BitRate);
    c.Quality = qBound(0, Quality, 9);
    c.VBRMethod = StreamMode(qBound(0, VBRMethod, 3));
    c.MaxListeners = MaxListeners;
    c.LimitListeners = LimitListeners;
    return c;
}
