#include "pulse_capture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <pulse/pulseaudio.h>

namespace {

const char* appName() {
    return "Vorlune";
}

// Waits, unlocked, until ready() holds or the deadline passes; the loop must be locked.
template <typename Pred>
bool waitLocked(pa_threaded_mainloop* loop, QDeadlineTimer deadline, Pred ready) {
    for (;;) {
        const int r = ready();
        if (r != 0) return r > 0;
        if (deadline.hasExpired()) return false;
        pa_threaded_mainloop_unlock(loop);
        QThread::msleep(5);
        pa_threaded_mainloop_lock(loop);
    }
}

int contextReady(pa_context* c) {
    switch (pa_context_get_state(c)) {
    case PA_CONTEXT_READY:
        return 1;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        return -1;
    default:
        return 0;
    }
}

struct ListState {
    QList<AudioDevice> devices;
    bool done = false;
};

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* st = static_cast<ListState*>(userdata);
    if (eol != 0) {
        st->done = true;
        return;
    }
    if (!info) return;
    AudioDevice d;
    d.name = QString::fromUtf8(info->name);
    d.description = QString::fromUtf8(info->description ? info->description : info->name);
    d.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    st->devices << d;
}

} // namespace

PulseCapture::PulseCapture(QObject* parent) : CaptureSource(parent) {}

PulseCapture::~PulseCapture() {
    close();
}

QList<AudioDevice> PulseCapture::listDevices(int timeoutMs) {
    ListState st;
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    if (!loop) return {};
    pa_context* ctx = pa_context_new(pa_threaded_mainloop_get_api(loop), appName());
    if (ctx && pa_threaded_mainloop_start(loop) == 0) {
        pa_threaded_mainloop_lock(loop);
        if (pa_context_connect(ctx, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
            waitLocked(loop, QDeadlineTimer(timeoutMs), [ctx] { return contextReady(ctx); })) {
            pa_operation* op = pa_context_get_source_info_list(ctx, onSourceInfo, &st);
            if (op) {
                waitLocked(loop, QDeadlineTimer(timeoutMs), [&st] { return st.done ? 1 : 0; });
                pa_operation_unref(op);
            }
        }
        pa_context_disconnect(ctx);
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
    }
    if (ctx) pa_context_unref(ctx);
    pa_threaded_mainloop_free(loop);
    return st.done ? st.devices : QList<AudioDevice>{};
}

bool PulseCapture::open(const QString& device, int sampleRate, int bytesPerChunk) {
    if (m_stream || sampleRate <= 0 || bytesPerChunk <= 0 || bytesPerChunk % 4 != 0) return false;
    m_chunkBytes = bytesPerChunk;
    m_pending.clear();
    m_pending.reserve(bytesPerChunk * 2);
    // m_queued stays: chunks of the last run may still wait in the event queue, and each
    // of them counts itself off when it arrives.
    ++m_generation;
    // One deadline for the whole opening: a sound server that hangs must not hold the
    // caller (the GUI thread) for long.
    const QDeadlineTimer deadline(OpenTimeoutMs);

    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) return false;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), appName());
    if (!m_context || pa_threaded_mainloop_start(m_loop) != 0) {
        close();
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    bool ok = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
              waitLocked(m_loop, deadline, [this] { return contextReady(m_context); });
    if (ok) {
        pa_sample_spec sampleFormat;
        sampleFormat.format = PA_SAMPLE_S16LE;
        sampleFormat.channels = 2;
        sampleFormat.rate = uint32_t(sampleRate);
        m_stream = pa_stream_new(m_context, "Stream capture", &sampleFormat, nullptr);
        ok = m_stream != nullptr;
    }
    if (ok) {
        pa_stream_set_read_callback(m_stream, &PulseCapture::onRead, this);
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(bytesPerChunk);
        const QByteArray dev = device.toUtf8();
        ok = pa_stream_connect_record(m_stream, device.isEmpty() ? nullptr : dev.constData(), &attr,
                                      PA_STREAM_ADJUST_LATENCY) == 0 &&
             waitLocked(m_loop, deadline, [this] {
                 switch (pa_stream_get_state(m_stream)) {
                 case PA_STREAM_READY:
                     return 1;
                 case PA_STREAM_FAILED:
                 case PA_STREAM_TERMINATED:
                     return -1;
                 default:
                     return 0;
                 }
             });
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (!ok) close();
    return ok;
}

void PulseCapture::close() {
    ++m_generation; // chunks still on their way are discarded
    if (!m_loop) return;
    pa_threaded_mainloop_lock(m_loop);
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context) pa_context_disconnect(m_context);
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    if (m_context) {
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
    m_pending.clear();
}

void PulseCapture::onRead(pa_stream* s, size_t, void* self) {
    auto* me = static_cast<PulseCapture*>(self);
    const void* data = nullptr;
    size_t n = 0;
    while (pa_stream_readable_size(s) > 0) {
        if (pa_stream_peek(s, &data, &n) < 0 || n == 0) return;
        if (data) {
            me->collect(static_cast<const char*>(data), n);
        } else {
            const QByteArray silence(qsizetype(n), '\0'); // a hole in the stream
            me->collect(silence.constData(), n);
        }
        pa_stream_drop(s);
    }
}

void PulseCapture::collect(const char* data, size_t n) {
    m_pending.append(data, qsizetype(n));
    qsizetype used = 0;
    const quint64 gen = m_generation.load();
    while (m_pending.size() - used >= m_chunkBytes) {
        if (m_queued.load() >= MaxPendingChunks) {
            ++m_dropped;
        } else {
            ++m_queued;
            QByteArray chunk = m_pending.mid(used, m_chunkBytes);
            QMetaObject::invokeMethod(
                this, [this, chunk, gen] { deliver(chunk, gen); }, Qt::QueuedConnection);
        }
        used += m_chunkBytes;
    }
    if (used > 0) m_pending.remove(0, used);
}

void PulseCapture::deliver(const QByteArray& chunk, quint64 generation) {
    --m_queued;
    if (generation == m_generation.load() && m_stream) emit chunkReady(chunk);
}
