#include "encoder_config.h"

#include "rate_tables.h"

#include <QtEndian>

EncoderConfig EncoderConfig::fromSettings(int sampleRate, int bitRate, int quality, StreamMode mode,
                                          bool privateFlag) {
    EncoderConfig c;
    const bool mpeg1 = RateTables::mpegVersion(sampleRate) == 1;
    c.inSampleRate = c.outSampleRate = quint32(sampleRate);
    c.mpegVersion = mpeg1 ? 1 : 0;
    c.bitRate = mpeg1 ? 32 : 8;
    c.maxBitRate = mpeg1 ? 320 : 160;
    c.privateBit = privateFlag;
    switch (mode) {
    case StreamMode::CBR:
        c.enableVbr = false;
        c.bitRate = quint32(bitRate);
        break;
    case StreamMode::ABR:
        c.vbrMethod = 4;
        c.abrBitsPerSecond = quint32(bitRate) * 1000;
        break;
    case StreamMode::VBR:
        c.vbrQuality = quint32(quality);
        break;
    case StreamMode::R3Mix:
        c.preset = 4;
        break;
    }
    return c;
}

StreamMode EncoderConfig::mode() const {
    if (!enableVbr) return StreamMode::CBR;
    if (preset == 4) return StreamMode::R3Mix;
    return vbrMethod == 4 ? StreamMode::ABR : StreamMode::VBR;
}

QByteArray EncoderConfig::toRecord() const {
    QByteArray r(RecordSize, '\0');
    auto put32 = [&r](int offset, quint32 v) {
        qToLittleEndian<quint32>(v, reinterpret_cast<uchar*>(r.data() + offset));
    };
    auto putBool = [&put32](int offset, bool v) { put32(offset, v ? 0xFFFFFFFFu : 0u); };
    put32(0, kind);
    put32(4, version);
    put32(8, size);
    put32(12, inSampleRate);
    put32(16, outSampleRate);
    put32(20, channelMode);
    put32(24, bitRate);
    put32(28, maxBitRate);
    put32(32, quint32(preset));
    put32(36, mpegVersion);
    put32(40, psyModel);
    put32(44, emphasis);
    putBool(48, privateBit);
    putBool(52, crc);
    putBool(56, copyright);
    putBool(60, original);
    putBool(64, writeVbrHeader);
    putBool(68, enableVbr);
    put32(72, vbrQuality);
    put32(76, abrBitsPerSecond);
    put32(80, vbrMethod);
    putBool(84, disableReservoir);
    putBool(88, strictIso);
    qToLittleEndian<quint16>(quality, reinterpret_cast<uchar*>(r.data() + 92));
    return r;
}
