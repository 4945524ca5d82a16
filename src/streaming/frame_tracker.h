#pragma once

#include <QByteArray>
#include <QtGlobal>

// Follows the MPEG audio frames of an encoded stream that arrives in pieces. The encoder's
// pieces do not end on frames (the bit reservoir lets a frame's data run ahead of its
// header), so where a listener may start has to be found in the bytes.
class FrameTracker {
public:
    // The next piece of the stream; returns the offset within it of the first frame header
    // that begins in it, or -1 when none does.
    qint64 feed(const char* data, qint64 n);
    // The next piece does not follow the last one: look for a header afresh (one counts
    // when the frame it announces is followed by another).
    void reset();

private:
    qint64 m_at = 0;      // stream offset of the next piece
    qint64 m_next = 0;    // stream offset of the next frame header
    QByteArray m_partial; // the first bytes of a header cut by the end of the last piece
    bool m_synced = true; // a stream begins with a frame
};
