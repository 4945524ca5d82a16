#include "icy_stream_checker.h"
#include "lame_binding.h"
#include "tone_source.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Encodes a second of tone and checks the output as an MP3 stream.
IcyStreamChecker encodeTone(LameBinding& lame, const EncoderConfig& cfg, quint32* samples) {
    IcyStreamChecker checker;
    checker.feed(QByteArray("ICY 200 OK\r\n\r\n"));
    quint32 outSize = 0;
    LameBinding::Stream s = nullptr;
    EXPECT_EQ(lame.initStream(cfg, samples, &outSize, &s), 0);
    if (!s) return checker;
    QByteArray out(outSize, '\0');
    const int frames = int(*samples / 2);
    for (qint64 pos = 0; pos < cfg.inSampleRate; pos += frames) {
        const QByteArray pcm = ToneSource::tone(1000, int(cfg.inSampleRate), pos, frames);
        quint32 written = 0;
        EXPECT_EQ(lame.encodeChunk(s, *samples, reinterpret_cast<const qint16*>(pcm.constData()),
                                   reinterpret_cast<quint8*>(out.data()), &written),
                  0);
        checker.feed(out.constData(), written);
    }
    quint32 flushed = 0;
    EXPECT_EQ(lame.deinitStream(s, reinterpret_cast<quint8*>(out.data()), &flushed), 0);
    EXPECT_EQ(lame.closeStream(s), 0);
    return checker;
}

} // namespace

TEST(LameBinding, LoadsRealLibraryAndKeepsTheFirst) {
    LameBinding lame;
    EXPECT_FALSE(lame.isLoaded());
    EXPECT_EQ(lame.load(LAME_LIBRARY), 0);
    EXPECT_TRUE(lame.isLoaded());
    EXPECT_EQ(lame.load(INCOMPLETE_LAME), 0); // already loaded: the first stays
    EXPECT_EQ(lame.path(), QString(LAME_LIBRARY));
    EncoderVersion v;
    EXPECT_EQ(lame.version(&v), 0);
    EXPECT_EQ(v.engineMajor, 3);
    EXPECT_GE(v.engineMinor, 90);
    EXPECT_EQ(v.libMajor, 0);
    EXPECT_GT(v.year, 1990);
    EXPECT_EQ(lame.unload(), 0);
    EXPECT_FALSE(lame.isLoaded());
    EXPECT_EQ(lame.unload(), 0);
}

TEST(LameBinding, RefusesMissingAndIncompleteLibraries) {
    LameBinding lame;
    EXPECT_EQ(lame.load(INCOMPLETE_LAME), 6);
    EXPECT_FALSE(lame.isLoaded());
    EXPECT_EQ(LameBinding::missingSymbols(INCOMPLETE_LAME), QStringList{"lame_get_lametag_frame"});
    QTemporaryDir dir;
    EXPECT_EQ(lame.load(dir.filePath("libmp3lame.so.0")), 6);
    QString err;
    EXPECT_EQ(LameBinding::missingSymbols(dir.filePath("none.so"), &err).size(),
              LameBinding::requiredSymbols().size());
    EXPECT_FALSE(err.isEmpty());
    EXPECT_TRUE(LameBinding::missingSymbols(LAME_LIBRARY).isEmpty());
}

TEST(LameBinding, CallsWithoutLibraryReportNotBound) {
    LameBinding lame;
    quint32 a = 0, b = 0;
    LameBinding::Stream s = nullptr;
    EXPECT_EQ(lame.initStream(EncoderConfig{}, &a, &b, &s), 7);
    EXPECT_EQ(lame.encodeChunk(s, 0, nullptr, nullptr, &a), 7);
    EXPECT_EQ(lame.deinitStream(s, nullptr, &a), 7);
    EXPECT_EQ(lame.closeStream(s), 7);
    EncoderVersion v;
    EXPECT_EQ(lame.version(&v), 7);
}

TEST(LameBinding, EncodesEveryModeToValidFrames) {
    LameBinding lame;
    ASSERT_EQ(lame.load(LAME_LIBRARY), 0);
    struct Case {
        int rate, kbps;
        StreamMode mode;
        quint32 samples;
    } cases[] = {{44100, 128, StreamMode::CBR, 2304}, {44100, 128, StreamMode::ABR, 2304},
                 {48000, 192, StreamMode::VBR, 2304}, {44100, 128, StreamMode::R3Mix, 2304},
                 {22050, 64, StreamMode::CBR, 1152},  {8000, 8, StreamMode::ABR, 1152}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << " Hz, " << c.kbps << " kbps, mode " << int(c.mode));
        quint32 samples = 0;
        const auto cfg = EncoderConfig::fromSettings(c.rate, c.kbps, 4, c.mode, true);
        const IcyStreamChecker out = encodeTone(lame, cfg, &samples);
        EXPECT_EQ(samples, c.samples);
        EXPECT_FALSE(out.corrupt()) << out.error().toStdString();
        // The encoder holds back a few frames of look-ahead until the flush.
        EXPECT_GT(out.frames(), c.rate / int(c.samples / 2) / 2);
        EXPECT_EQ(out.sampleRate(), c.rate);
        EXPECT_EQ(out.skippedAtStart(), 0);
    }
}

TEST(LameBinding, CbrSetsPrivateBitAndRate) {
    LameBinding lame;
    ASSERT_EQ(lame.load(LAME_LIBRARY), 0);
    quint32 samples = 0, outSize = 0, written = 0;
    LameBinding::Stream s = nullptr;
    ASSERT_EQ(lame.initStream(EncoderConfig::fromSettings(44100, 160, 0, StreamMode::CBR, true),
                              &samples, &outSize, &s),
              0);
    QByteArray out(outSize, '\0'), all;
    for (int i = 0; i < 10; ++i) {
        const QByteArray pcm = ToneSource::tone(440, 44100, i * 1152, 1152);
        ASSERT_EQ(lame.encodeChunk(s, samples, reinterpret_cast<const qint16*>(pcm.constData()),
                                   reinterpret_cast<quint8*>(out.data()), &written),
                  0);
        all += out.left(written);
    }
    lame.closeStream(s);
    ASSERT_GE(all.size(), 4);
    const auto* h = reinterpret_cast<const uchar*>(all.constData());
    EXPECT_EQ(h[2] >> 4, 10);      // 160 kbps in MPEG-1 layer III
    EXPECT_EQ(h[2] & 1, 1);        // private bit
    EXPECT_EQ((h[3] >> 2) & 1, 1); // original
    EXPECT_EQ(h[1] & 1, 1);        // no CRC
    EXPECT_EQ(h[3] >> 6, 1);       // joint stereo
}
