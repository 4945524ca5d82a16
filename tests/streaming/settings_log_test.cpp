#include "settings_store.h"
#include "stream_log.h"
#include "stream_title.h"
#include "streaming_settings.h"
#include "tone_source.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StreamingSettings, LoadRulesForEncoderAndDevice) {
    QTemporaryDir dir;
    const QList<AudioDevice> devices = {{"alsa_input.mic", "Mikrofon", false},
                                        {"vtest.monitor", "Monitor of Null Output", true}};
    appsettings::StreamingSettings s;
    s.enabled = true;
    s.encoder = LAME_LIBRARY;
    s.device = 1;
    s.deviceName = "vtest.monitor";
    auto check = streamingsettings::validate(s, devices);
    EXPECT_TRUE(s.enabled);
    EXPECT_FALSE(check.encoderMissing);
    EXPECT_FALSE(check.deviceNotFound);

    // The device at the stored index has another name: off, first device selected.
    s.device = 0;
    check = streamingsettings::validate(s, devices);
    EXPECT_FALSE(s.enabled);
    EXPECT_TRUE(check.deviceNotFound);
    EXPECT_EQ(s.device, 0);
    EXPECT_EQ(s.deviceName, "alsa_input.mic");

    // Index beyond the list, or none stored.
    s.enabled = true;
    s.device = 5;
    streamingsettings::validate(s, devices);
    EXPECT_FALSE(s.enabled);
    EXPECT_EQ(s.device, 0);
    s.enabled = true;
    s.device.reset();
    streamingsettings::validate(s, devices);
    EXPECT_FALSE(s.enabled);

    // Encoder file gone.
    s.enabled = true;
    s.encoder = dir.filePath("libmp3lame.so.0");
    check = streamingsettings::validate(s, devices);
    EXPECT_TRUE(check.encoderMissing);
    EXPECT_FALSE(s.enabled);

    // No devices at all: streaming cannot be enabled.
    s.encoder = LAME_LIBRARY;
    s.enabled = true;
    check = streamingsettings::validate(s, {});
    EXPECT_FALSE(check.canEnable);
    EXPECT_FALSE(s.enabled);
    EXPECT_FALSE(s.device.has_value());
}

TEST(StreamingSettings, IndexesBecomeServerValues) {
    appsettings::StreamingSettings s;
    StreamConfig c = streamingsettings::toConfig(s);
    EXPECT_EQ(c.SampleRate, 44100);
    EXPECT_EQ(c.BitRate, 128);
    EXPECT_EQ(c.VBRMethod, StreamMode::ABR);
    EXPECT_EQ(c.Quality, 3);
    EXPECT_TRUE(c.LimitListeners);
    EXPECT_EQ(c.MaxListeners, 16);
    EXPECT_EQ(c.Port, 8000);
    s.sampleRate = 4;
    s.bitRate = 7;
    s.vbrMethod = 3;
    s.streamPort = 9000;
    s.deviceName = "vtest.monitor";
    c = streamingsettings::toConfig(s);
    EXPECT_EQ(c.SampleRate, 22050);
    EXPECT_EQ(c.BitRate, 64);
    EXPECT_EQ(c.VBRMethod, StreamMode::R3Mix);
    EXPECT_EQ(c.Port, 9000);
    EXPECT_EQ(c.Device, "vtest.monitor");
}

TEST(StreamingSettings, FreshStoreWithStreamingEnabledStartsTheServer) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("registry.json"));
    const QString key = "Software\\Vorlune\\Streaming";
    store.writeBool(key, "Enabled", true);
    store.writeText(key, "Encoder", LAME_LIBRARY);
    store.writeText(key, "StationID", "Radio Vorlune");
    store.writeBool(key, "Logging", true);
    store.writeInteger(key, "StreamPort", 0);
    store.writeInteger(key, "Device", 0);
    store.writeText(key, "DeviceName", "tone");
    ASSERT_TRUE(store.save());
    SettingsStore reread(store.filePath());
    ASSERT_TRUE(reread.load());
    appsettings::Settings settings = appsettings::Settings::defaults(dir.path());
    appsettings::load(reread, settings);
    EXPECT_TRUE(settings.streaming.logFile.endsWith("vorlune.streaming.log"));
    ASSERT_FALSE(streamingsettings::validate(settings.streaming, {{"tone", "Testton", false}})
                     .deviceNotFound);
    ASSERT_TRUE(settings.streaming.enabled);

    WStreamingServer server("Vorlune, Version test");
    server.setCaptureSource(new ToneSource);
    EXPECT_TRUE(streamingsettings::apply(settings.streaming, server));
    EXPECT_EQ(server.config().StationID, "Radio Vorlune");
    EXPECT_TRUE(server.logging());
    EXPECT_NE(server.listeningPort(), 0);
    settings.streaming.enabled = false;
    EXPECT_FALSE(streamingsettings::apply(settings.streaming, server));
    QFile log(settings.streaming.logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("=== SESSION STOP"));
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
