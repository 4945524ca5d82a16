#include "frame_tracker.h"
#include "lame_binding.h"
#include "test_support.h"
#include "tone_source.h"

#include <QTest>

#include <algorithm>

namespace {

// The encoder's own pieces of two seconds of a tone.
QList<QByteArray> encodedPieces(const EncoderConfig& cfg) {
    LameBinding lame;
    EXPECT_EQ(lame.load(LAME_LIBRARY), 0);
    quint32 samples = 0, outSize = 0;
    LameBinding::Stream s = nullptr;
    EXPECT_EQ(lame.initStream(cfg, &samples, &outSize, &s), 0);
    QList<QByteArray> pieces;
    if (!s) return pieces;
    QByteArray out(outSize, '\0');
    const int frames = int(samples / 2);
    for (qint64 pos = 0; pos < 2 * cfg.inSampleRate; pos += frames) {
        const QByteArray pcm = ToneSource::tone(440, int(cfg.inSampleRate), pos, frames);
        quint32 written = 0;
        lame.encodeChunk(s, samples, reinterpret_cast<const qint16*>(pcm.constData()),
                         reinterpret_cast<quint8*>(out.data()), &written);
        if (written) pieces << QByteArray(out.constData(), written);
    }
    lame.closeStream(s);
    return pieces;
}

// Where the frames of a whole stream begin.
QList<qint64> frameStarts(const QByteArray& stream) {
    QList<qint64> starts;
    const auto* d = reinterpret_cast<const uchar*>(stream.constData());
    for (qint64 at = 0; at + 4 <= stream.size();) {
        const int len = IcyStreamChecker::frameLength(d + at);
        if (len <= 0) break;
        starts << at;
        at += len;
    }
    return starts;
}

} // namespace

TEST(FrameTracker, FindsTheFirstFrameOfEveryPieceHoweverTheStreamIsCut) {
    struct Case {
        int rate, kbps;
        StreamMode mode;
    } cases[] = {{44100, 128, StreamMode::CBR},
                 {44100, 320, StreamMode::CBR},
                 {48000, 192, StreamMode::VBR},
                 {22050, 64, StreamMode::ABR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.kbps << " kbps");
        const QList<QByteArray> encoded =
            encodedPieces(EncoderConfig::fromSettings(c.rate, c.kbps, 3, c.mode, false));
        const QByteArray stream = encoded.join();
        const QList<qint64> starts = frameStarts(stream);
        ASSERT_GT(starts.size(), 50);
        ASSERT_EQ(starts.first(), 0);
        // The encoder's own pieces, pieces of 1 to 7 bytes (headers cut anywhere), and
        // pieces larger than a frame.
        QList<QList<qint64>> cuts(3);
        for (const QByteArray& p : encoded)
            cuts[0] << p.size();
        for (qint64 at = 0, k = 0; at < stream.size(); at += 1 + k % 7, ++k)
            cuts[1] << qMin<qint64>(1 + k % 7, stream.size() - at);
        for (qint64 at = 0; at < stream.size(); at += 2000)
            cuts[2] << qMin<qint64>(2000, stream.size() - at);
        for (int k = 0; k < cuts.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "cut " << k);
            FrameTracker t;
            qint64 at = 0;
            int wrong = 0;
            for (qint64 n : cuts[k]) {
                const auto it = std::lower_bound(starts.begin(), starts.end(), at);
                const qint64 want = it != starts.end() && *it < at + n ? *it - at : -1;
                wrong += t.feed(stream.constData() + at, n) != want ? 1 : 0;
                at += n;
            }
            EXPECT_EQ(wrong, 0);
        }
        // A lost piece: after a reset the tracker finds its way back to true frames.
        FrameTracker t;
        qint64 at = 0;
        for (int i = 0; i < encoded.size(); ++i) {
            if (i == 10) {
                t.reset();
            } else {
                const qint64 got = t.feed(encoded[i].constData(), encoded[i].size());
                if (i > 11 && got >= 0) {
                    EXPECT_TRUE(starts.contains(at + got)) << "piece " << i;
                }
            }
            at += encoded[i].size();
        }
    }
}

class FrameStart : public ServerFixture {};

TEST_F(FrameStart, NewListenersStartOnAFrameAtEveryRate) {
    struct Case {
        int kbps;
        StreamMode mode;
    } cases[] = {{128, StreamMode::CBR}, {128, StreamMode::ABR}, {320, StreamMode::CBR}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kbps << " kbps, mode " << int(c.mode));
        StreamConfig cfg = baseConfig();
        cfg.BitRate = c.kbps;
        cfg.VBRMethod = c.mode;
        ASSERT_TRUE(startWith(cfg));
        QTest::qWait(1500); // the burst of a later listener starts inside the stream
        for (const QByteArray& meta : {QByteArray(""), QByteArray("Icy-MetaData: 1\r\n")}) {
            TestListener l(port, icyRequest(meta));
            ASSERT_TRUE(l.waitHeader());
            EXPECT_TRUE(QTest::qWaitFor([&] { return l.checker.frames() > 40; }, 10000));
            EXPECT_EQ(l.checker.skippedAtStart(), 0);
            EXPECT_FALSE(l.checker.corrupt()) << l.checker.error().toStdString();
        }
        server->Stop();
    }
}
