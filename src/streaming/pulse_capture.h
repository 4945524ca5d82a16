#pragma once

#include "capture_source.h"

#include <QList>
#include <QMutex>
#include <atomic>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// One recording source of the sound server.
struct AudioDevice {
    QString name;         // the server's source name, e.g. "alsa_input.pci-0000_00_1f.3"
    QString description;  // what the user sees
    bool monitor = false; // monitor of an output ("what you hear")
};

// Captures 16-bit stereo PCM from a PulseAudio (or PipeWire pulse) source. The server's
// own thread collects the data; chunks of exactly one encoder frame reach the object's
// thread (the GUI thread) as queued signals. At most 16 chunks wait there; more are
// dropped, as a device with 16 buffers loses audio when nobody empties them.
class PulseCapture : public CaptureSource {
    Q_OBJECT
public:
    static constexpr int MaxPendingChunks = 16;
    // How long open() may wait for the sound server in all.
    static constexpr int OpenTimeoutMs = 2000;

    explicit PulseCapture(QObject* parent = nullptr);
    ~PulseCapture() override;

    // Every source, monitors of outputs included, in the server's order. Empty when no
    // sound server answers within the time-out.
    static QList<AudioDevice> listDevices(int timeoutMs = 3000);

    bool open(const QString& device, int sampleRate, int bytesPerChunk) override;
    void close() override;
    bool isOpen() const override { return m_stream != nullptr; }

    qint64 droppedChunks() const { return m_dropped.load(); }
    // Chunks posted to this thread and not yet arrived, of this run and earlier ones.
    int queuedChunks() const { return m_queued.load(); }

private:
    static void onRead(pa_stream* s, size_t nbytes, void* self);
    void collect(const char* data, size_t n);
    void deliver(const QByteArray& chunk, quint64 generation);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    QByteArray m_pending; // touched only on the sound server thread
    int m_chunkBytes = 0;
    std::atomic<int> m_queued{0};
    std::atomic<qint64> m_dropped{0};
    std::atomic<quint64> m_generation{0};
};
