#pragma once

#include "encoder_config.h"
#include "lame_binding.h"

#include <QByteArray>

// One encoding run on a loaded encoder library: the stream handle, the chunk size the
// encoder asks for and the buffer for its output. The server and the relay's own feed both
// encode through it.
class Mp3Encoder {
public:
    Mp3Encoder() = default;
    ~Mp3Encoder() { close(); }
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Opens a stream on lame (which must stay loaded until close); false when the library
    // is not loaded or refuses the settings. An open stream is closed first.
    bool open(LameBinding& lame, int sampleRate, int bitRate, int quality, StreamMode mode,
              bool privateFlag);
    bool isOpen() const { return m_stream != nullptr; }
    // 16-bit samples of both channels that one chunk of PCM must hold (0 while closed).
    int samplesPerChunk() const { return m_samplesPerChunk; }
    int chunkBytes() const { return m_samplesPerChunk * 2; }

    // Encodes one chunk of exactly chunkBytes(). The result points into the encoder's own
    // buffer (valid until the next call); null on a wrong size or an encoder failure, empty
    // when the encoder keeps the samples for later.
    QByteArray encode(const QByteArray& pcm);
    // What the encoder still holds, then the stream is closed.
    QByteArray finish();
    void close();

private:
    LameBinding* m_lame = nullptr;
    LameBinding::Stream m_stream = nullptr;
    int m_samplesPerChunk = 0;
    QByteArray m_out;
};
