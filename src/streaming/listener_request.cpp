#include "listener_request.h"

namespace {

QByteArray trimControl(const QByteArray& v) {
    qsizetype b = 0, e = v.size();
    while (b < e && uchar(v[b]) <= 32)
        ++b;
    while (e > b && uchar(v[e - 1]) <= 32)
        --e;
    return v.mid(b, e - b);
}

// The text after the first occurrence of name up to the next CR LF, trimmed; null when
// the name does not occur.
QByteArray headerValue(const QByteArray& request, const QByteArray& upper, const char* name) {
    const qsizetype at = upper.indexOf(name);
    if (at < 0) return QByteArray();
    const qsizetype from = at + qsizetype(qstrlen(name));
    qsizetype end = request.indexOf("\r\n", from);
    if (end < 0) end = request.size();
    QByteArray v = trimControl(request.mid(from, end - from));
    if (v.isNull()) v = QByteArray("");
    return v;
}

} // namespace

ListenerRequest parseListenerRequest(const QByteArray& received) {
    ListenerRequest r;
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) return r;
    r.complete = true;
    r.length = end + 4;
    const QByteArray request = received.left(r.length);
    const QByteArray upper = request.toUpper();
    r.userAgent = headerValue(request, upper, "USER-AGENT:");
    r.icyMetadata = headerValue(request, upper, "ICY-METADATA:");
    return r;
}

QString cleanForLog(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = QChar(QChar::ReplacementCharacter);
    }
    return out;
}
