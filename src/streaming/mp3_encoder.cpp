#include "mp3_encoder.h"

bool Mp3Encoder::open(LameBinding& lame, int sampleRate, int bitRate, int quality, StreamMode mode,
                      bool privateFlag) {
    close();
    if (!lame.isLoaded()) return false;
    const EncoderConfig config =
        EncoderConfig::fromSettings(sampleRate, bitRate, quality, mode, privateFlag);
    quint32 samples = 0, outSize = 0;
    LameBinding::Stream stream = nullptr;
    if (lame.initStream(config, &samples, &outSize, &stream) != LameBinding::Ok || !stream)
        return false;
    m_lame = &lame;
    m_stream = stream;
    m_samplesPerChunk = int(samples);
    m_out.resize(qsizetype(outSize));
    return true;
}

QByteArray Mp3Encoder::encode(const QByteArray& pcm) {
    if (!m_stream || m_samplesPerChunk <= 0 || pcm.size() != chunkBytes()) return QByteArray();
    quint32 written = 0;
    if (m_lame->encodeChunk(m_stream, quint32(m_samplesPerChunk),
                            reinterpret_cast<const qint16*>(pcm.constData()),
                            reinterpret_cast<quint8*>(m_out.data()), &written) != LameBinding::Ok)
        return QByteArray();
    return written ? QByteArray::fromRawData(m_out.constData(), qsizetype(written))
                   : QByteArray(""); // empty but not null
}

QByteArray Mp3Encoder::finish() {
    QByteArray rest;
    if (m_stream) {
        quint32 written = 0;
        if (m_lame->deinitStream(m_stream, reinterpret_cast<quint8*>(m_out.data()), &written) ==
            LameBinding::Ok)
            rest = QByteArray(m_out.constData(), qsizetype(written));
    }
    close();
    return rest;
}

void Mp3Encoder::close() {
    if (m_stream && m_lame && m_lame->isLoaded()) m_lame->closeStream(m_stream);
    m_stream = nullptr;
    m_lame = nullptr;
    m_samplesPerChunk = 0;
    m_out = QByteArray();
}
