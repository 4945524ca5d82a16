#include "listener_request.h"

#include <cstring>

namespace {

QByteArrayView trimControl(QByteArrayView v) {
    qsizetype b = 0, e = v.size();
    while (b < e && uchar(v[b]) <= 32)
        ++b;
    while (e > b && uchar(v[e - 1]) <= 32)
        --e;
    return v.sliced(b, e - b);
}

QByteArray headerValue(QByteArrayView request, QByteArrayView upper, const char* name) {
    const qsizetype at = upper.indexOf(QByteArrayView(name));
    if (at < 0) return QByteArray();
    const qsizetype from = at + qsizetype(std::strlen(name));
    qsizetype end = request.indexOf(QByteArrayView("\r\n"), from);
    if (end < 0) end = request.size();
    const QByteArrayView v = trimControl(request.sliced(from, end - from));
    return v.isEmpty() ? QByteArray("") : v.toByteArray();
}

} // namespace

ListenerRequest parseListenerRequest(QByteArrayView received, qsizetype maxBytes) {
    ListenerRequest r;
    const qsizetype end = received.indexOf(QByteArrayView("\r\n\r\n"));
    if (end < 0) {
        if (received.size() > maxBytes) r.state = ListenerRequest::State::TooLong;
        return r;
    }
    r.state = ListenerRequest::State::Complete;
    r.headerSize = end + 4;
    const QByteArrayView request = received.first(r.headerSize);
    const QByteArray upper = request.toByteArray().toUpper();
    r.userAgent = headerValue(request, upper, "USER-AGENT:");
    r.icyMetadata = headerValue(request, upper, "ICY-METADATA:");
    return r;
}
