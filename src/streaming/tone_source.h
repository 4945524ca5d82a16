#pragma once

#include "capture_source.h"

#include <QElapsedTimer>
#include <QTimer>

// Generates a sine tone at real-time pace: every tick emits the chunks that the elapsed
// time calls for. Used by the benchmark and as a device-free source.
class ToneSource : public CaptureSource {
    Q_OBJECT
public:
    explicit ToneSource(double frequencyHz = 440.0, QObject* parent = nullptr);
    bool open(const QString& device, int sampleRate, int bytesPerChunk) override;
    void close() override;
    bool isOpen() const override { return m_timer.isActive(); }

    // Fills count stereo frames of the tone starting at frame index start.
    static QByteArray tone(double frequencyHz, int sampleRate, qint64 start, int count,
                           double amplitude = 0.5);

private:
    void tick();
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_freq;
    int m_rate = 44100;
    int m_chunkBytes = 0;
    qint64 m_framesSent = 0;
};
