// libFuzzer target: reading a listener's request header block. The input is what the
// socket delivered; its first byte picks where an earlier, shorter read stopped.
#include "listener_request.h"

#include <cstddef>
#include <cstdint>

namespace {

bool isTrimmedPieceOf(const QByteArray& value, const QByteArray& block) {
    if (value.isEmpty()) return true;
    if (uchar(value.front()) <= 32 || uchar(value.back()) <= 32) return false;
    return !value.contains("\r\n") && block.contains(value);
}

bool sameRequest(const ListenerRequest& a, const ListenerRequest& b) {
    return a.complete == b.complete && a.length == b.length &&
           a.userAgent.isNull() == b.userAgent.isNull() && a.userAgent == b.userAgent &&
           a.icyMetadata.isNull() == b.icyMetadata.isNull() && a.icyMetadata == b.icyMetadata;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const QByteArray all(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const ListenerRequest r = parseListenerRequest(all);

    const qsizetype blank = all.indexOf("\r\n\r\n");
    if (r.complete) {
        if (blank < 0 || r.length != blank + 4) __builtin_trap();
        const QByteArray block = all.left(r.length);
        const QByteArray upper = block.toUpper();
        if (r.userAgent.isNull() == upper.contains("USER-AGENT:")) __builtin_trap();
        if (r.icyMetadata.isNull() == upper.contains("ICY-METADATA:")) __builtin_trap();
        if (!isTrimmedPieceOf(r.userAgent, block) || !isTrimmedPieceOf(r.icyMetadata, block))
            __builtin_trap();
    } else if (blank >= 0 || r.length != 0 || !r.userAgent.isNull() || !r.icyMetadata.isNull()) {
        __builtin_trap();
    }

    // A request complete in an earlier read is not changed by what arrives after it.
    const qsizetype cut = qsizetype(data[0]) * all.size() / 255;
    const ListenerRequest early = parseListenerRequest(all.left(cut));
    if (early.complete && !sameRequest(early, r)) __builtin_trap();

    // Log lines made from the values hold no control characters.
    for (QChar c : cleanForLog(QString::fromUtf8(r.userAgent)))
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) __builtin_trap();
    return 0;
}
