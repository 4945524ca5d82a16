#pragma once
// What the streaming benches share: the encoder library, the descriptor limit, and a
// server streaming a tone.

#include "streaming_server.h"
#include "tone_source.h"

#include <sys/resource.h>

namespace benchstream {

inline const char* const kLame = "/usr/lib/x86_64-linux-gnu/libmp3lame.so.0";

// As many descriptors as the hard limit allows; children inherit it.
inline void raiseFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

// Starts `server` streaming a 440 Hz tone at `bitRate` kbit/s CBR on `port`, without a
// listener limit.
inline bool startToneServer(WStreamingServer& server, const char* station, quint16 port,
                            int bitRate) {
    server.setCaptureSource(new ToneSource(440));
    server.SetEncoderLibrary(kLame);
    StreamConfig c;
    c.StationID = station;
    c.Port = port;
    c.BitRate = bitRate;
    c.VBRMethod = StreamMode::CBR;
    c.LimitListeners = false;
    server.Configure(c);
    return server.Start();
}

} // namespace benchstream
