#include "frame_tracker.h"

#include "icy_stream_checker.h"

void FrameTracker::reset() {
    m_next = m_at;
    m_partial.clear();
    m_synced = false;
}

qint64 FrameTracker::feed(const char* data, qint64 n) {
    if (n <= 0) return -1;
    const qint64 end = m_at + n;
    qint64 first = -1;
    if (m_next >= end) { // the piece lies inside one frame
        m_at = end;
        return -1;
    }
    // The bytes from the next header on: a cut header's start, then the piece.
    QByteArray buf;
    qint64 bufAt;
    if (!m_partial.isEmpty()) {
        buf = m_partial + QByteArray::fromRawData(data, n);
        bufAt = m_next;
    } else {
        bufAt = qMax(m_next, m_at);
        buf = QByteArray::fromRawData(data + (bufAt - m_at), end - bufAt);
    }
    m_partial.clear();
    const auto* d = reinterpret_cast<const uchar*>(buf.constData());
    const qint64 size = buf.size();
    qint64 pos = 0;
    while (pos < size) {
        if (pos + 4 > size) { // the header goes on in the next piece
            m_partial = QByteArray(buf.constData() + pos, size - pos);
            // In step, the last frame's length says where this one begins.
            if (m_synced && first < 0 && bufAt + pos >= m_at) first = bufAt + pos - m_at;
            break;
        }
        const int len = IcyStreamChecker::frameLength(d + pos);
        // Out of step (only after a reset or a damaged piece): a header counts only when the
        // frame it announces is followed by another one, where that can be seen.
        const bool ok = len > 0 && (m_synced || pos + len + 4 > size ||
                                    IcyStreamChecker::frameLength(d + pos + len) > 0);
        if (!ok) {
            m_synced = false;
            ++pos;
            continue;
        }
        m_synced = true;
        if (first < 0 && bufAt + pos >= m_at) first = bufAt + pos - m_at;
        pos += len;
    }
    m_next = bufAt + pos;
    m_at = end;
    return first;
}
