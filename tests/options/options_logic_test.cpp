#include "copy_profiles.h"
#include "desktop_shortcut.h"
#include "options_pages.h"
#include "profile_editor.h"
#include "settings_store.h"
#include "streaming_settings.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using appsettings::kHiddenPanelsKey;
using appsettings::kMainKey;
using appsettings::kStreamingKey;

namespace {

// A store that went through its file: what the next start reads.
SettingsStore reread(const SettingsStore& store) {
    SettingsStore again(store.filePath());
    EXPECT_TRUE(store.save());
    EXPECT_TRUE(again.load());
    return again;
}

SettingsStore::Type typeOf(const SettingsStore& s, const QString& key, const char* name) {
    const SettingsStore::Value* v = s.value(key, QLatin1String(name));
    EXPECT_NE(v, nullptr) << name;
    return v ? v->type : SettingsStore::Type::Binary;
}

} // namespace

TEST(OptionsPages, SearchPageExitWritesTypedValuesWithinRanges) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        optionspages::SearchValues in;
        int limitStored, minStored;
    };
    const Case cases[] = {
        {"defaults", {}, 50, 3},
        {"all on", {true, true, true, 120, true, true, 5, true}, 120, 5},
        {"counts above their ranges",
         {false, false, true, 20000, false, true, 99, false},
         10000,
         50},
        {"negative counts", {false, false, true, -4, false, true, -1, false}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore store(dir.filePath(QString("%1.json").arg(c.name)));
        appsettings::MainSettings main;
        optionspages::writeSearch(store, main, c.in);
        const SettingsStore s = reread(store);
        const std::pair<const char*, bool> switches[] = {
            {"SearchExcludeMedia", c.in.nomedia},     {"SearchExcludePads", c.in.nopads},
            {"SearchDisableBalloon", c.in.noballoon}, {"SearchDisableHighlight", c.in.nosyntax},
            {"SearchLimit", c.in.reslimit},           {"SearchMinLength", c.in.minln}};
        for (const auto& [name, on] : switches) {
            EXPECT_EQ(s.readBool(kMainKey, name), on) << name;
            EXPECT_EQ(typeOf(s, kMainKey, name), SettingsStore::Type::Integer);
        }
        EXPECT_EQ(s.readInteger(kMainKey, "SearchLimitCount"), c.limitStored);
        EXPECT_EQ(s.readInteger(kMainKey, "SearchMinLengthCount"), c.minStored);
        // The settings the program saves at exit say the same.
        EXPECT_EQ(main.searchLimitCount, c.limitStored);
        EXPECT_EQ(main.searchDisableHighlight, c.in.nosyntax);
        appsettings::Settings loaded;
        appsettings::load(s, loaded);
        EXPECT_EQ(optionspages::searchValues(loaded.main).reslimitcnt, c.limitStored);
    }
}

TEST(OptionsPages, HiddenPanelsAreWrittenAndDeleted) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    const QStringList steps[] = {
        {"Aktionen", "Streaming"},
        {"Streaming", "Lautstärke"},
        {},
    };
    for (const QStringList& hidden : steps) {
        optionspages::writeHiddenPanels(store, hidden);
        const SettingsStore s = reread(store);
        for (const QString& group : appsettings::commandGroups()) {
            EXPECT_EQ(s.hasValue(kHiddenPanelsKey, group), hidden.contains(group))
                << group.toStdString();
            if (hidden.contains(group)) {
                EXPECT_EQ(s.readBool(kHiddenPanelsKey, group), true);
            }
        }
        appsettings::Settings loaded;
        appsettings::load(s, loaded);
        QStringList expected = hidden;
        EXPECT_EQ(QSet<QString>(loaded.hiddenPanels.begin(), loaded.hiddenPanels.end()),
                  QSet<QString>(expected.begin(), expected.end()));
    }
}

TEST(OptionsPages, SoundsGoToTheEventsCurrentKeys) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    appsettings::registerSoundEvents(store);
    QFile wav(dir.filePath("ding.wav"));
    ASSERT_TRUE(wav.open(QIODevice::WriteOnly));
    wav.write("RIFF");
    wav.close();
    const QStringList files{dir.filePath("ding.wav"), "", "  " + dir.filePath("ding.wav") + " ",
                            dir.filePath("fehlt.wav")};
    optionspages::writeSounds(store, files);
    const SettingsStore s = reread(store);
    EXPECT_EQ(optionspages::readSounds(s), files);
    EXPECT_EQ(s.readText("AppEvents\\Schemes\\Apps\\Vorlune\\VLInsufficientSpace\\.current", ""),
              dir.filePath("fehlt.wav"));
    const bool playable[] = {true, false, true, false};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(optionspages::playable(files[i]), playable[i]) << i;
}

TEST(OptionsPages, StreamingPageExitWritesEveryValue) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    appsettings::StreamingSettings st;
    st.enabled = true;
    st.encoder = "/usr/lib/x86_64-linux-gnu/libmp3lame.so.0";
    st.stationId = "Radio";
    st.streamPort = 8123;
    st.device = 2;
    st.deviceName = "vtest.monitor";
    st.sampleRate = 8;
    st.vbrMethod = 2;
    st.bitRate = 17;
    st.quality = 9;
    st.limitListeners = false;
    st.maxListeners = 99;
    st.privateFlag = false;
    optionspages::writeStreaming(store, st);
    const SettingsStore s = reread(store);
    appsettings::Settings loaded;
    appsettings::load(s, loaded);
    const appsettings::StreamingSettings& l = loaded.streaming;
    EXPECT_EQ(l.enabled, true);
    EXPECT_EQ(l.encoder, st.encoder);
    EXPECT_EQ(l.stationId, "Radio");
    EXPECT_EQ(l.streamPort, 8123);
    EXPECT_EQ(l.device, 2);
    EXPECT_EQ(l.deviceName, QString("vtest.monitor"));
    EXPECT_EQ(std::tuple(l.sampleRate, l.vbrMethod, l.bitRate, l.quality), std::tuple(8, 2, 17, 9));
    EXPECT_EQ(std::tuple(l.limitListeners, l.maxListeners, l.privateFlag),
              std::tuple(false, 99, false));
    for (const char* text : {"Encoder", "StationID", "DeviceName"})
        EXPECT_EQ(typeOf(s, kStreamingKey, text), SettingsStore::Type::Text);
    for (const char* number : {"Enabled", "StreamPort", "Device", "SampleRate", "VBRMethod",
                               "BitRate", "Quality", "LimitListeners", "MaxListeners"})
        EXPECT_EQ(typeOf(s, kStreamingKey, number), SettingsStore::Type::Integer);
    // The private flag reaches the server's configuration.
    EXPECT_FALSE(streamingsettings::toConfig(l).PrivateFlag);
    EXPECT_EQ(streamingsettings::toConfig(l).SampleRate, 48000);
    EXPECT_EQ(streamingsettings::toConfig(l).BitRate, 320);
}

TEST(OptionsPages, RelayRoundTrip) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    struct Case {
        const char* name;
        RelaySettings in;
        QString mount, user;
        bool enabled;
    };
    RelaySettings plain;
    plain.Enabled = true;
    plain.Host = " icecast.example.org ";
    plain.Port = 8443;
    plain.Mount = "radio.mp3";
    plain.User = "";
    plain.Password = "geheim ";
    plain.TLS = true;
    RelaySettings badPort = plain;
    badPort.Port = 0;
    const Case cases[] = {
        {"mount without slash, empty user", plain, "/radio.mp3", "source", true},
        {"a port out of range turns it off", badPort, "/radio.mp3", "source", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        streamingsettings::writeRelay(store, c.in);
        const RelaySettings r = streamingsettings::readRelay(reread(store));
        EXPECT_EQ(r.Enabled, c.enabled);
        EXPECT_EQ(r.Host, "icecast.example.org");
        EXPECT_EQ(r.Mount, c.mount);
        EXPECT_EQ(r.User, c.user);
        EXPECT_EQ(r.Password, "geheim ");
        EXPECT_TRUE(r.TLS);
    }
}

TEST(OptionsPages, StreamingControlRules) {
    struct Case {
        bool enabled;
        int method;
        bool limit;
        optionspages::StreamingRules expected;
    };
    using R = optionspages::StreamingRules;
    const QString bit = "&Bitrate:", quality = "&Qualität:";
    const Case cases[] = {
        {true, 0, true, R{true, true, bit, true, true, false}},
        {true, 1, false, R{true, false, bit, true, true, false}},
        {true, 2, true, R{true, true, quality, true, false, true}},
        {true, 3, true, R{true, true, bit, false, false, false}},
        {false, 2, true, R{false, false, quality, true, false, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(optionspages::streamingRules(c.enabled, c.method, c.limit), c.expected)
            << c.enabled << " " << c.method << " " << c.limit;
    EXPECT_EQ(optionspages::bitRateItems().size(), 18);
    EXPECT_EQ(optionspages::bitRateItems().value(11), "128 kbps");
    EXPECT_EQ(optionspages::sampleRateItems().value(7), "44.100 Hz");
    EXPECT_EQ(optionspages::qualityItems().value(3), "3 (Hoch)");
}

TEST(ProfileEditor, LimitOverwriteAndDelete) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    ProfileEditor editor(store, dir.path());
    using Check = ProfileEditor::SaveCheck;
    for (int i = 0; i < copyprofiles::kMaxProfiles - 1; ++i) {
        copyprofiles::Profile p;
        p.name = QString("P%1").arg(i, 2, 10, QChar('0'));
        p.path = "/musik/%F";
        editor.save(p, QImage());
    }
    struct Case {
        const char* name;
        Check expected;
    };
    EXPECT_EQ(editor.checkSave("Neu"), Check::New); // the 64th
    copyprofiles::Profile last;
    last.name = " Neu ";
    editor.save(last, QImage());
    const Case cases[] = {
        {"Noch eins", Check::LimitReached}, {"neu", Check::Exists}, {"P07", Check::Exists}};
    for (const Case& c : cases)
        EXPECT_EQ(editor.checkSave(c.name), c.expected) << c.name;
    EXPECT_EQ(editor.names().size(), 64);
    EXPECT_FALSE(ProfileEditor::canSave("  "));
    EXPECT_FALSE(ProfileEditor::canSave(" (Neues Profil) "));
    EXPECT_TRUE(ProfileEditor::canSave("Stick"));

    // Deleting takes the picture file along, and frees a place.
    const QString glyph = copyprofiles::glyphFilePath(dir.path(), "P07");
    QFile f(glyph);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    editor.remove("P07");
    EXPECT_FALSE(QFile::exists(glyph));
    EXPECT_FALSE(editor.exists("P07"));
    EXPECT_EQ(editor.checkSave("Noch eins"), Check::New);
}

TEST(ProfileEditor, GlyphHalvesMakeAReadableBitmap) {
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("r.json"));
    ProfileEditor editor(store, dir.path());
    // White ground (the bottom-left pixel), a blue square in the middle.
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(Qt::white);
    for (int y = 12; y < 36; ++y)
        for (int x = 12; x < 36; ++x)
            picture.setPixelColor(x, y, Qt::blue);
    copyprofiles::Profile p;
    p.name = "Stick";
    p.glyph = "/bilder/stick.png";
    editor.save(p, picture);

    const SettingsStore s = reread(store);
    const QString key = copyprofiles::kProfilesKey + "\\Stick";
    const QByteArray first = s.readBinary(key, "GlyphData1").value_or(QByteArray());
    const QByteArray second = s.readBinary(key, "GlyphData2").value_or(QByteArray());
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first.size(), (first.size() + second.size()) / 2);
    EXPECT_LE(second.size(), copyprofiles::kGlyphHalfLimit);
    QImage glyph;
    ASSERT_TRUE(glyph.loadFromData(first + second, "BMP"));
    EXPECT_EQ(glyph.size(), QSize(24, 24));
    EXPECT_EQ(glyph.pixelColor(12, 12), QColor(Qt::blue));
    EXPECT_EQ(glyph.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(copyprofiles::readProfile(s, "Stick").glyph, "/bilder/stick.png");

    // Saving again without a picture keeps the stored one.
    p.path = "/neu/%F";
    editor.save(p, QImage());
    const copyprofiles::Profile again = copyprofiles::readProfile(store, "Stick");
    EXPECT_EQ(again.glyphData, first + second);
    EXPECT_EQ(again.path, "/neu/%F");

    // A red ground ANDs the picture with red: the blue square turns black.
    QImage red = picture;
    red.setPixelColor(0, 47, Qt::red);
    EXPECT_EQ(ProfileEditor::transparentColour(red), QColor(Qt::red));
    QImage anded;
    ASSERT_TRUE(anded.loadFromData(ProfileEditor::glyphBitmap(red), "BMP"));
    EXPECT_EQ(anded.pixelColor(12, 12), QColor(Qt::black));
    EXPECT_EQ(anded.pixelColor(2, 2), QColor(Qt::red));
}

TEST(DesktopShortcut, WrittenExecutableAndValid) {
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    QTemporaryDir dir;
    const char* programs[] = {"/usr/bin/vorlune", "/opt/Mein Programm/vorlune",
                              "/home/a\"b/100%/vor$lune"};
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        QString path, error;
        ASSERT_TRUE(desktopshortcut::create(dir.filePath("Schreibtisch"), program, "vorlune", &path,
                                            &error))
            << error.toStdString();
        EXPECT_EQ(path, dir.filePath("Schreibtisch/vorlune.desktop"));
        EXPECT_TRUE(QFile::permissions(path) & QFile::ExeOwner);
        QProcess v;
        v.start(validator, {path});
        ASSERT_TRUE(v.waitForFinished(20000));
        EXPECT_EQ(v.exitCode(), 0)
            << v.readAllStandardOutput().toStdString() << v.readAllStandardError().toStdString();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        EXPECT_TRUE(text.contains("Comment=Startet die Vorlune.\n"));
        EXPECT_TRUE(text.contains("\nExec=\"")) << text.toStdString();
    }
    // A desktop folder that cannot be made is reported, not claimed done.
    QFile blocker(dir.filePath("datei"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString error;
    EXPECT_FALSE(desktopshortcut::create(dir.filePath("datei/Desktop"), "/usr/bin/vorlune",
                                         "vorlune", nullptr, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(DesktopShortcut, FolderFollowsTheUsersDirectories) {
    QTemporaryDir dir;
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(dir.filePath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    QDir().mkpath(dir.filePath("config"));
    QDir().mkpath(dir.filePath("home/Schreibtisch"));
    EXPECT_EQ(desktopshortcut::desktopFolder(), dir.filePath("home/Desktop"));
    QFile dirs(dir.filePath("config/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    dirs.close();
    EXPECT_EQ(desktopshortcut::desktopFolder(), dir.filePath("home/Schreibtisch"));
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);
}
