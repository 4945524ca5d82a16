#pragma once

#include "pulse_capture.h"
#include "streaming_server.h"

#include <QList>
#include <QString>

// The values of the settings' "Streaming" key. The lists are kept as indexes into the
// sample-rate, stream-mode, bit-rate and quality lists.
struct StreamingSettings {
    bool Enabled = false;
    QString Encoder;
    QString StationID;
    bool Logging = false;
    QString LogFile; // empty: "vorlune.streaming.log" in the data folder
    int StreamPort = 8000;
    int Device = -1;
    QString DeviceName; // the capture source's name
    int SampleRate = 7; // 44100 Hz
    int VBRMethod = 1;  // ABR
    int BitRate = 11;   // 128 kbps
    int Quality = 3;
    bool LimitListeners = true;
    int MaxListeners = 16;

    static QString defaultLogFile(const QString& dataFolder);

    // What loading decides beside the values themselves.
    struct Check {
        bool encoderMissing = false;
        bool deviceNotFound = false;
        bool canEnable = true; // false when there is no capture device at all
    };
    // Applies the load-time rules: a missing encoder file or a stored device that is not
    // the one at its index switches streaming off; an unknown device selects the first
    // one; without devices streaming cannot be enabled.
    Check validate(const QList<AudioDevice>& devices);

    // The server configuration these values describe.
    StreamConfig toConfig() const;
};
