#pragma once

#include <QByteArray>
#include <QtGlobal>

// Stream modes, as the settings and the server keep them.
enum class StreamMode : quint8 { CBR = 0, ABR = 1, VBR = 2, R3Mix = 3 };

// The encoder configuration record: the settings the encoder must be given for one
// streaming run. toRecord() lays it out as the 331-byte little-endian record.
struct EncoderConfig {
    static constexpr int RecordSize = 331;
    static constexpr quint16 QualityWord = 0xFD02; // quality 2, complement in the high byte

    quint32 kind = 256;
    quint32 version = 1;
    quint32 size = RecordSize;
    quint32 inSampleRate = 44100;
    quint32 outSampleRate = 44100;
    quint32 channelMode = 1; // joint stereo
    quint32 bitRate = 32;    // CBR rate, VBR minimum (kbps)
    quint32 maxBitRate = 320;
    qint32 preset = -1; // 4 = R3MIX
    quint32 mpegVersion = 1;
    quint32 psyModel = 0;
    quint32 emphasis = 0;
    bool privateBit = false;
    bool crc = false;
    bool copyright = false;
    bool original = true;
    bool writeVbrHeader = false;
    bool enableVbr = true;
    quint32 vbrQuality = 0;
    quint32 abrBitsPerSecond = 0;
    quint32 vbrMethod = 0; // 4 = average bit rate
    bool disableReservoir = false;
    bool strictIso = true;
    quint16 quality = QualityWord;

    // The record the server's settings produce.
    static EncoderConfig fromSettings(int sampleRate, int bitRate, int quality, StreamMode mode,
                                      bool privateFlag);

    StreamMode mode() const;
    QByteArray toRecord() const;
};
