#include "icy_stream_checker.h"

namespace {

constexpr int kBitRates[2][16] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}, // MPEG-1 L3
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},     // MPEG-2/2.5 L3
};
constexpr int kRates[4][3] = {
    {11025, 12000, 8000},  // MPEG-2.5
    {0, 0, 0},             // reserved
    {22050, 24000, 16000}, // MPEG-2
    {44100, 48000, 32000}, // MPEG-1
};

} // namespace

int IcyStreamChecker::frameLength(const uchar* p, int* sampleRate) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
    const int version = (p[1] >> 3) & 3;
    const int layer = (p[1] >> 1) & 3;
    const int brIndex = p[2] >> 4;
    const int srIndex = (p[2] >> 2) & 3;
    const int pad = (p[2] >> 1) & 1;
    if (version == 1 || layer != 1 || srIndex == 3 || brIndex == 0 || brIndex == 15) return 0;
    const bool mpeg1 = version == 3;
    const int br = kBitRates[mpeg1 ? 0 : 1][brIndex] * 1000;
    const int sr = kRates[version][srIndex];
    if (sampleRate) *sampleRate = sr;
    return (mpeg1 ? 144 : 72) * br / sr + pad;
}

QByteArray IcyStreamChecker::statusLine() const {
    const qsizetype e = m_header.indexOf("\r\n");
    return e < 0 ? m_header : m_header.left(e);
}

QByteArray IcyStreamChecker::headerValue(const char* name) const {
    const QByteArray key = QByteArray(name).toLower() + ':';
    for (const QByteArray& line : m_header.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.toLower().startsWith(key)) return t.mid(key.size()).trimmed();
    }
    return QByteArray();
}

void IcyStreamChecker::fail(const QString& why) {
    if (m_error.isEmpty()) m_error = why;
}

void IcyStreamChecker::feed(const char* data, qsizetype n) {
    qsizetype i = 0;
    if (!m_headerDone) {
        const qsizetype before = m_header.size();
        m_header.append(data, n);
        const qsizetype end = m_header.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_header.size() > 65536) fail(QStringLiteral("header too long"));
            return;
        }
        i = end + 4 - before;
        m_header.truncate(end + 4);
        m_headerDone = true;
        m_metaInt = headerValue("icy-metaint").toInt();
        m_untilMeta = m_metaInt;
    }
    while (i < n && !corrupt()) {
        if (m_metaLeft >= 0) {
            const qsizetype take = qMin<qsizetype>(m_metaLeft, n - i);
            m_meta.append(data + i, take);
            m_metaLeft -= int(take);
            i += take;
            if (m_metaLeft == 0) {
                const QByteArray text = m_meta.left(m_meta.indexOf('\0'));
                if (!text.isEmpty()) m_texts << QString::fromUtf8(text);
                m_meta.clear();
                m_metaLeft = -1;
                m_untilMeta = m_metaInt;
            }
            continue;
        }
        if (m_metaInt > 0 && m_untilMeta == 0) {
            m_metaLeft = uchar(data[i]) * 16;
            ++m_metaBlocks;
            ++i;
            if (m_metaLeft == 0) {
                m_metaLeft = -1;
                m_untilMeta = m_metaInt;
            }
            continue;
        }
        qsizetype take = n - i;
        if (m_metaInt > 0) take = qMin<qsizetype>(take, m_untilMeta);
        audio(data + i, take);
        m_untilMeta -= take;
        i += take;
    }
}

void IcyStreamChecker::audio(const char* p, qsizetype n) {
    m_audioBytes += n;
    m_audio.append(p, n);
    parseFrames();
}

void IcyStreamChecker::parseFrames() {
    const auto* d = reinterpret_cast<const uchar*>(m_audio.constData());
    qsizetype pos = 0;
    const qsizetype size = m_audio.size();
    if (!m_synced) {
        // At the start find a header that is followed by another one.
        while (pos + 4 <= size) {
            const int len = frameLength(d + pos);
            if (len > 0) {
                if (pos + len + 4 > size) break;
                if (frameLength(d + pos + len) > 0) {
                    m_synced = true;
                    break;
                }
            }
            ++pos;
        }
        m_skipped += pos;
        if (!m_synced) {
            if (size > 16384) fail(QStringLiteral("no MPEG frame in the first %1 bytes").arg(size));
            m_audio.remove(0, pos);
            return;
        }
    }
    while (pos + 4 <= size) {
        int rate = 0;
        const int len = frameLength(d + pos, &rate);
        if (len <= 0) {
            fail(QStringLiteral("bad frame header at audio byte %1")
                     .arg(m_audioBytes - (size - pos)));
            return;
        }
        if (m_lastRate && rate != m_lastRate) {
            fail(QStringLiteral("sample rate changed"));
            return;
        }
        if (pos + len > size) break;
        m_lastRate = rate;
        ++m_frames;
        pos += len;
    }
    m_audio.remove(0, pos);
}
