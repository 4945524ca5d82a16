#include "encoder_config.h"
#include "rate_tables.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace RateTables;

static quint32 at32(const QByteArray& r, int offset) {
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(r.constData() + offset));
}

TEST(RateTables, ListsInOptionOrderWithMasks) {
    ASSERT_EQ(sampleRates().size(), 9);
    ASSERT_EQ(bitRates().size(), 18);
    EXPECT_EQ(sampleRateAt(7), 44100);
    EXPECT_EQ(bitRateAt(11), 128);
    EXPECT_EQ(bitRateAt(12), 144);
    EXPECT_EQ(bitRateMask(144), 2);
    EXPECT_EQ(bitRateMask(192), 1);
    EXPECT_EQ(sampleRateMask(32000), 1);
    EXPECT_EQ(sampleRateMask(24000), 2);
    EXPECT_EQ(sampleRateAt(99, -5), -5);
    EXPECT_EQ(indexOfBitRate(320), 17);
    EXPECT_EQ(indexOfSampleRate(12345), -1);
}

TEST(RateTables, PairRule) {
    EXPECT_TRUE(isValidPair(44100, 128));
    EXPECT_TRUE(isValidPair(32000, 160));
    EXPECT_TRUE(isValidPair(22050, 64));
    EXPECT_FALSE(isValidPair(48000, 144)); // masks 1 and 2
    EXPECT_FALSE(isValidPair(16000, 192));
    EXPECT_FALSE(isValidPair(44100, 8));
    EXPECT_FALSE(isValidPair(44100, 100)); // not in the list
    EXPECT_FALSE(isValidPair(44000, 128));
    EXPECT_EQ(mpegVersion(48000), 1);
    EXPECT_EQ(mpegVersion(24000), 0);
}

TEST(EncoderConfigRecord, LayoutForAbrAt44100) {
    const QByteArray r =
        EncoderConfig::fromSettings(44100, 128, 3, StreamMode::ABR, false).toRecord();
    ASSERT_EQ(r.size(), 331);
    EXPECT_EQ(at32(r, 0), 256u);
    EXPECT_EQ(at32(r, 4), 1u);
    EXPECT_EQ(at32(r, 8), 331u);
    EXPECT_EQ(at32(r, 12), 44100u);
    EXPECT_EQ(at32(r, 16), 44100u);
    EXPECT_EQ(at32(r, 20), 1u);
    EXPECT_EQ(at32(r, 24), 32u);
    EXPECT_EQ(at32(r, 28), 320u);
    EXPECT_EQ(at32(r, 32), 0xFFFFFFFFu); // no preset
    EXPECT_EQ(at32(r, 36), 1u);          // MPEG-1
    EXPECT_EQ(at32(r, 48), 0u);          // private
    EXPECT_EQ(at32(r, 52), 0u);          // CRC
    EXPECT_EQ(at32(r, 60), 0xFFFFFFFFu); // original
    EXPECT_EQ(at32(r, 64), 0u);          // VBR header
    EXPECT_EQ(at32(r, 68), 0xFFFFFFFFu); // VBR on
    EXPECT_EQ(at32(r, 72), 0u);
    EXPECT_EQ(at32(r, 76), 128000u);
    EXPECT_EQ(at32(r, 80), 4u);
    EXPECT_EQ(at32(r, 88), 0xFFFFFFFFu); // strict ISO
    EXPECT_EQ(uchar(r[92]), 0x02);
    EXPECT_EQ(uchar(r[93]), 0xFD);
    EXPECT_EQ(r.mid(94), QByteArray(237, '\0'));
}

TEST(EncoderConfigRecord, ModesAndMpeg2Bounds) {
    const EncoderConfig cbr = EncoderConfig::fromSettings(22050, 64, 5, StreamMode::CBR, true);
    EXPECT_EQ(cbr.mpegVersion, 0u);
    EXPECT_EQ(cbr.bitRate, 64u);
    EXPECT_EQ(cbr.maxBitRate, 160u);
    EXPECT_FALSE(cbr.enableVbr);
    EXPECT_EQ(at32(cbr.toRecord(), 48), 0xFFFFFFFFu);
    EXPECT_EQ(cbr.mode(), StreamMode::CBR);

    const EncoderConfig abr = EncoderConfig::fromSettings(22050, 64, 5, StreamMode::ABR, false);
    EXPECT_EQ(abr.bitRate, 8u);
    EXPECT_EQ(abr.maxBitRate, 160u);

    const EncoderConfig vbr = EncoderConfig::fromSettings(48000, 192, 5, StreamMode::VBR, false);
    EXPECT_EQ(vbr.vbrQuality, 5u);
    EXPECT_EQ(vbr.vbrMethod, 0u);
    EXPECT_EQ(vbr.abrBitsPerSecond, 0u);
    EXPECT_EQ(vbr.mode(), StreamMode::VBR);

    const EncoderConfig r3 = EncoderConfig::fromSettings(44100, 128, 5, StreamMode::R3Mix, false);
    EXPECT_EQ(at32(r3.toRecord(), 32), 4u);
    EXPECT_EQ(r3.vbrQuality, 0u);
    EXPECT_EQ(r3.mode(), StreamMode::R3Mix);
}
