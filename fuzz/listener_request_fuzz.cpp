// libFuzzer target: reading a listener's request header block. The input is what the
// socket delivered; its first byte picks where an earlier, shorter read stopped.
#include "listener_request.h"
#include "streaming_server.h"

#include <cstddef>
#include <cstdint>

namespace {

bool isTrimmedPieceOf(const QByteArray& value, QByteArrayView block) {
    if (value.isEmpty()) return true;
    if (uchar(value.front()) <= 32 || uchar(value.back()) <= 32) return false;
    return !value.contains("\r\n") && block.indexOf(value) >= 0;
}

bool sameRequest(const ListenerRequest& a, const ListenerRequest& b) {
    return a.state == b.state && a.headerSize == b.headerSize &&
           a.userAgent.isNull() == b.userAgent.isNull() && a.userAgent == b.userAgent &&
           a.icyMetadata.isNull() == b.icyMetadata.isNull() && a.icyMetadata == b.icyMetadata;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    constexpr qsizetype limit = WStreamingServer::MaxRequestBytes;
    const QByteArrayView all(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const ListenerRequest r = parseListenerRequest(all, limit);

    const qsizetype blank = all.indexOf(QByteArrayView("\r\n\r\n"));
    switch (r.state) {
    case ListenerRequest::State::Complete: {
        if (blank < 0 || r.headerSize != blank + 4) __builtin_trap();
        const QByteArrayView block = all.first(r.headerSize);
        const QByteArray upper = block.toByteArray().toUpper();
        if (r.userAgent.isNull() == upper.contains("USER-AGENT:")) __builtin_trap();
        if (r.icyMetadata.isNull() == upper.contains("ICY-METADATA:")) __builtin_trap();
        if (!isTrimmedPieceOf(r.userAgent, block) || !isTrimmedPieceOf(r.icyMetadata, block))
            __builtin_trap();
        break;
    }
    case ListenerRequest::State::Incomplete:
    case ListenerRequest::State::TooLong:
        if (blank >= 0 || r.headerSize != 0 || !r.userAgent.isNull() || !r.icyMetadata.isNull())
            __builtin_trap();
        if ((r.state == ListenerRequest::State::TooLong) != (all.size() > limit)) __builtin_trap();
        break;
    }

    // A request complete in an earlier read is not changed by what arrives after it.
    const qsizetype cut = qsizetype(data[0]) * all.size() / 255;
    const ListenerRequest early = parseListenerRequest(all.first(cut), limit);
    if (early.state == ListenerRequest::State::Complete && !sameRequest(early, r)) __builtin_trap();
    return 0;
}
