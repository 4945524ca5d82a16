#include "stream_log.h"
#include "stream_title.h"
#include "streaming_settings.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StreamingSettings, LoadRulesForEncoderAndDevice) {
    QTemporaryDir dir;
    const QList<AudioDevice> devices = {{"alsa_input.mic", "Mikrofon", false},
                                        {"vtest.monitor", "Monitor of Null Output", true}};
    StreamingSettings s;
    s.Enabled = true;
    s.Encoder = LAME_LIBRARY;
    s.Device = 1;
    s.DeviceName = "vtest.monitor";
    auto check = s.validate(devices);
    EXPECT_TRUE(s.Enabled);
    EXPECT_FALSE(check.encoderMissing);
    EXPECT_FALSE(check.deviceNotFound);

    // The device at the stored index has another name: off, first device selected.
    s.Device = 0;
    check = s.validate(devices);
    EXPECT_FALSE(s.Enabled);
    EXPECT_TRUE(check.deviceNotFound);
    EXPECT_EQ(s.Device, 0);
    EXPECT_EQ(s.DeviceName, "alsa_input.mic");

    // Index beyond the list.
    s.Enabled = true;
    s.Device = 5;
    s.validate(devices);
    EXPECT_FALSE(s.Enabled);
    EXPECT_EQ(s.Device, 0);

    // Encoder file gone.
    s.Enabled = true;
    s.Encoder = dir.filePath("libmp3lame.so.0");
    check = s.validate(devices);
    EXPECT_TRUE(check.encoderMissing);
    EXPECT_FALSE(s.Enabled);

    // No devices at all: streaming cannot be enabled.
    s.Encoder = LAME_LIBRARY;
    s.Enabled = true;
    check = s.validate({});
    EXPECT_FALSE(check.canEnable);
    EXPECT_FALSE(s.Enabled);
    EXPECT_EQ(s.Device, -1);
}

TEST(StreamingSettings, IndexesBecomeServerValues) {
    StreamingSettings s;
    StreamConfig c = s.toConfig();
    EXPECT_EQ(c.SampleRate, 44100);
    EXPECT_EQ(c.BitRate, 128);
    EXPECT_EQ(c.VBRMethod, StreamMode::ABR);
    EXPECT_EQ(c.Quality, 3);
    EXPECT_TRUE(c.LimitListeners);
    EXPECT_EQ(c.MaxListeners, 16);
    EXPECT_EQ(c.Port, 8000);
    s.SampleRate = 4;
    s.BitRate = 7;
    s.VBRMethod = 3;
    s.StreamPort = 9000;
    s.DeviceName = "vtest.monitor";
    c = s.toConfig();
    EXPECT_EQ(c.SampleRate, 22050);
    EXPECT_EQ(c.BitRate, 64);
    EXPECT_EQ(c.VBRMethod, StreamMode::R3Mix);
    EXPECT_EQ(c.Port, 9000);
    EXPECT_EQ(c.Device, "vtest.monitor");
    EXPECT_TRUE(StreamingSettings::defaultLogFile("/d").endsWith("/d/vorlune.streaming.log"));
}

TEST(StreamTitle, PlayerStates) {
    const QString line = "CD01:\\Pop\\Artist - Song.mp3";
    EXPECT_EQ(streamTitleFor(line, PlayState::Playing), "Artist - Song");
    EXPECT_EQ(streamTitleFor(line, PlayState::Paused), "Artist - Song [PAUSE]");
    EXPECT_EQ(streamTitleFor(line, PlayState::Stopped), "Artist - Song [STOP]");
}

TEST(StreamLog, AppendsStampedLinesAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath("vorlune.streaming.log");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("earlier line\n");
    }
    StreamLog log;
    EXPECT_FALSE(log.append("no path yet"));
    log.setPath(path);
    ASSERT_TRUE(log.append("first"));
    // Complete after every line, while the log stays open.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "earlier line");
    const QString stamped = QString::fromUtf8(lines[1]);
    const qsizetype tab = stamped.indexOf('\t');
    ASSERT_GT(tab, 0);
    EXPECT_EQ(stamped.mid(tab + 1), "first");
    const QLocale loc;
    EXPECT_TRUE(stamped.startsWith(loc.toString(QDate::currentDate(), QLocale::ShortFormat) + ' '))
        << stamped.toStdString();
    const QString time =
        stamped.left(tab).mid(loc.toString(QDate::currentDate(), QLocale::ShortFormat).size() + 1);
    EXPECT_TRUE(time.contains(QRegularExpression("^\\d{1,2}:\\d\\d:\\d\\d"))) << time.toStdString();
    // The log's folder vanishes: the write fails and is reported, nothing crashes.
    ASSERT_TRUE(dir.remove());
    EXPECT_FALSE(log.append("second") && QFile::exists(path));
}
