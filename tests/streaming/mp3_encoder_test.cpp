#include "icy_stream_checker.h"
#include "mp3_encoder.h"
#include "tone_source.h"

#include <gtest/gtest.h>

TEST(Mp3Encoder, EncodesARunAndRejectsWrongChunks) {
    LameBinding lame;
    ASSERT_EQ(lame.load(LAME_LIBRARY), 0);
    struct Case {
        int rate, kbps;
        StreamMode mode;
        int samples;
    } cases[] = {{44100, 128, StreamMode::CBR, 2304},
                 {48000, 192, StreamMode::VBR, 2304},
                 {22050, 64, StreamMode::ABR, 1152}};
    Mp3Encoder enc; // one object for every run: each open replaces the last stream
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.kbps << " kbps");
        ASSERT_TRUE(enc.open(lame, c.rate, c.kbps, 3, c.mode, false));
        EXPECT_EQ(enc.samplesPerChunk(), c.samples);
        IcyStreamChecker out;
        out.feed(QByteArray("ICY 200 OK\r\n\r\n"));
        const int frames = c.samples / 2;
        for (qint64 pos = 0; pos < c.rate; pos += frames) {
            const QByteArray pcm = ToneSource::tone(880, c.rate, pos, frames);
            // A short, a long and an empty chunk are refused and leave the stream intact.
            for (const QByteArray& wrong : {pcm.left(pcm.size() - 4), pcm + pcm, QByteArray()})
                EXPECT_TRUE(enc.encode(wrong).isNull());
            const QByteArray mp3 = enc.encode(pcm);
            ASSERT_FALSE(mp3.isNull());
            out.feed(mp3);
        }
        out.feed(enc.finish());
        EXPECT_FALSE(enc.isOpen());
        EXPECT_EQ(enc.samplesPerChunk(), 0);
        EXPECT_FALSE(out.corrupt()) << out.error().toStdString();
        EXPECT_EQ(out.skippedAtStart(), 0);
        EXPECT_EQ(out.sampleRate(), c.rate);
        // With the flush every second of input is there (one frame of slack).
        EXPECT_GE(out.frames(), c.rate / frames);
        EXPECT_TRUE(enc.encode(ToneSource::tone(880, c.rate, 0, frames)).isNull());
    }
}

TEST(Mp3Encoder, NeedsALoadedLibrary) {
    LameBinding lame;
    Mp3Encoder enc;
    EXPECT_FALSE(enc.open(lame, 44100, 128, 3, StreamMode::CBR, false));
    EXPECT_FALSE(enc.isOpen());
    EXPECT_TRUE(enc.finish().isEmpty());
    ASSERT_EQ(lame.load(LAME_LIBRARY), 0);
    EXPECT_TRUE(enc.open(lame, 44100, 128, 3, StreamMode::CBR, false));
}
