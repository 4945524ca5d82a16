#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// A source of 16-bit stereo PCM for the stream. After open() it emits chunkReady on the
// thread it lives on, each chunk exactly bytesPerChunk long (one encoder frame).
class CaptureSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // device: the source's name; empty means the default source.
    virtual bool open(const QString& device, int sampleRate, int bytesPerChunk) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

signals:
    void chunkReady(const QByteArray& pcm);
};
