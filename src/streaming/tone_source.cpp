#include "tone_source.h"

#include <QtEndian>
#include <cmath>

ToneSource::ToneSource(double frequencyHz, QObject* parent)
    : CaptureSource(parent), m_freq(frequencyHz) {
    m_timer.setInterval(20);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ToneSource::tick);
}

bool ToneSource::open(const QString&, int sampleRate, int bytesPerChunk) {
    if (sampleRate <= 0 || bytesPerChunk <= 0 || bytesPerChunk % 4 != 0) return false;
    m_rate = sampleRate;
    m_chunkBytes = bytesPerChunk;
    m_framesSent = 0;
    m_clock.start();
    m_timer.start();
    return true;
}

void ToneSource::close() {
    m_timer.stop();
}

QByteArray ToneSource::tone(double frequencyHz, int sampleRate, qint64 start, int count,
                            double amplitude) {
    QByteArray out(count * 4, Qt::Uninitialized);
    auto* p = reinterpret_cast<uchar*>(out.data());
    for (int i = 0; i < count; ++i) {
        const double t = double(start + i) / sampleRate;
        const auto v =
            qint16(std::lround(amplitude * 32767.0 * std::sin(2 * M_PI * frequencyHz * t)));
        qToLittleEndian<qint16>(v, p + i * 4);
        qToLittleEndian<qint16>(v, p + i * 4 + 2);
    }
    return out;
}

void ToneSource::tick() {
    const int framesPerChunk = m_chunkBytes / 4;
    const qint64 due = m_clock.elapsed() * m_rate / 1000;
    while (m_timer.isActive() && m_framesSent + framesPerChunk <= due) {
        const QByteArray chunk = tone(m_freq, m_rate, m_framesSent, framesPerChunk);
        m_framesSent += framesPerChunk;
        emit chunkReady(chunk);
    }
}
