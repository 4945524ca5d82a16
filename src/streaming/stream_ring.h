#pragma once

#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <deque>
#include <sys/uio.h>
#include <vector>

// The encoded audio of the last seconds, addressed by absolute stream offsets: every byte
// ever appended keeps its offset; the oldest bytes are overwritten once the ring is full.
// Offsets where a chunk began (MP3 frame starts) are remembered, so that a new listener can
// start on a frame.
class StreamRing {
public:
    explicit StreamRing(qint64 capacity = 0) { reset(capacity); }

    void reset(qint64 capacity) {
        m_data.assign(size_t(qMax<qint64>(capacity, 1)), 0);
        m_head = 0;
        m_starts.clear();
    }
    qint64 capacity() const { return qint64(m_data.size()); }
    quint64 head() const { return m_head; }
    // The oldest offset still held.
    quint64 tail() const { return m_head > quint64(capacity()) ? m_head - quint64(capacity()) : 0; }
    bool holds(quint64 offset) const { return offset >= tail() && offset <= m_head; }

    // Appends one chunk; the byte at startAt (the first one unless told otherwise; none
    // when negative) is a place where a listener may start.
    void append(const char* data, qint64 n, qint64 startAt = 0) {
        if (n <= 0) return;
        if (startAt >= 0 && startAt < n) m_starts.push_back(m_head + quint64(startAt));
        const qint64 cap = capacity();
        if (n > cap) { // only the newest bytes fit
            data += n - cap;
            m_head += quint64(n - cap);
            n = cap;
        }
        qint64 at = qint64(m_head % quint64(cap));
        const qint64 first = qMin(n, cap - at);
        memcpy(m_data.data() + at, data, size_t(first));
        if (first < n) memcpy(m_data.data(), data + first, size_t(n - first));
        m_head += quint64(n);
        while (!m_starts.empty() && m_starts.front() < tail())
            m_starts.pop_front();
    }

    // The chunk start nearest to (at or after) head - back; head when there is none.
    quint64 startPoint(qint64 back) const {
        const quint64 want = m_head > quint64(back) ? m_head - quint64(back) : 0;
        const auto it = std::lower_bound(m_starts.begin(), m_starts.end(), qMax(want, tail()));
        return it == m_starts.end() ? m_head : *it;
    }

    // Adds up to two iovecs for the bytes [from, from + n); from must be held.
    int slices(quint64 from, qint64 n, iovec* out) const {
        const qint64 cap = capacity();
        const qint64 at = qint64(from % quint64(cap));
        const qint64 first = qMin(n, cap - at);
        out[0].iov_base = const_cast<char*>(m_data.data() + at);
        out[0].iov_len = size_t(first);
        if (first == n) return 1;
        out[1].iov_base = const_cast<char*>(m_data.data());
        out[1].iov_len = size_t(n - first);
        return 2;
    }

private:
    std::vector<char> m_data;
    quint64 m_head = 0;
    std::deque<quint64> m_starts;
};
