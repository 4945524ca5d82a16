#pragma once

#include "encoder_config.h"

#include <QString>
#include <QStringList>

// Version numbers of an encoder library, as the encoder search shows them.
struct EncoderVersion {
    int libMajor = 0; // from the file name: libmp3lame.so.<major>.<minor>
    int libMinor = 0;
    int engineMajor = 0; // the encoder's own version, e.g. 3.100
    int engineMinor = 0;
    int alpha = 0;
    int beta = 0;
    int day = 0; // release date: the library file's modification date
    int month = 0;
    int year = 0;
    bool mmx = false;
};

// Run-time binding to libmp3lame loaded with dlopen from a chosen path. It counts as
// loaded only when every function it uses resolves. Streams are opaque handles.
class LameBinding {
public:
    enum Result {
        Ok = 0,
        InvalidConfig = 1,
        InvalidParameters = 2,
        NoMoreHandles = 3,
        InvalidHandle = 4,
        BufferTooSmall = 5,
        LoadFailed = 6,
        NotBound = 7,
    };
    using Stream = void*;

    LameBinding();
    ~LameBinding();
    LameBinding(const LameBinding&) = delete;
    LameBinding& operator=(const LameBinding&) = delete;

    // 0 when loaded (also when a library is loaded already: the first one stays),
    // 6 when the file cannot be loaded or a function is missing.
    int load(const QString& path);
    // 0, or 6 when the platform refuses to release the library (nothing is cleared).
    int unload();
    bool isLoaded() const;
    QString path() const { return m_path; }

    // Names of every function the binding needs.
    static const QStringList& requiredSymbols();
    // The required names that the library at path does not export (empty when complete);
    // loadError is set when the file does not load at all.
    static QStringList missingSymbols(const QString& path, QString* loadError = nullptr);

    int initStream(const EncoderConfig& config, quint32* samplesPerChunk, quint32* outBufferSize,
                   Stream* stream);
    // samples: 16-bit samples of both channels together, interleaved.
    int encodeChunk(Stream stream, quint32 samples, const qint16* pcm, quint8* out,
                    quint32* written);
    int deinitStream(Stream stream, quint8* out, quint32* written);
    int closeStream(Stream stream);
    int version(EncoderVersion* v);

    // Output buffer the encoder needs for one chunk of that many samples per channel.
    static quint32 outputBufferSize(int samplesPerChannel);

private:
    struct Api;
    void* m_handle = nullptr;
    Api* m_api = nullptr;
    QString m_path;
};
