#include "app_settings.h"

#include <gtest/gtest.h>

namespace {

using namespace appsettings;

Settings loaded(const SettingsStore& store) {
    Settings s = Settings::defaults(QStringLiteral("/data"));
    load(store, s);
    return s;
}

TEST(AppSettings, EmptyStoreGivesTheDesignedFirstStart) {
    SettingsStore store(QString{});
    const Settings s = loaded(store);
    EXPECT_TRUE(s.main.webView());
    EXPECT_EQ(s.main.listViewStyle(), int(Details));
    EXPECT_EQ(s.main.songsHistorySize, 5);
    EXPECT_EQ(s.main.chartsSize, 10);
    EXPECT_EQ(s.main.splitPos, 217);
    EXPECT_FALSE(s.main.fullNameColumn);
    EXPECT_TRUE(s.main.nameColumn && s.main.cdColumn);
    EXPECT_TRUE(s.main.commandPanel && s.main.searchPanel && s.main.destPanel &&
                s.main.profilePanel);
    EXPECT_EQ(s.main.copyMode, 0);
    EXPECT_EQ(s.main.timeMode, 0);
    EXPECT_FALSE(s.main.winPosX.has_value());
    EXPECT_FALSE(s.main.winMaximized);
    EXPECT_EQ(s.main.searchLimitCount, 50);
    EXPECT_EQ(s.main.searchMinLengthCount, 3);
    EXPECT_FALSE(s.main.musicDir.isEmpty());
    EXPECT_FALSE(s.streaming.enabled);
    EXPECT_EQ(s.streaming.sampleRate, 7);
    EXPECT_EQ(s.streaming.vbrMethod, 1);
    EXPECT_EQ(s.streaming.bitRate, 11);
    EXPECT_EQ(s.streaming.quality, 3);
    EXPECT_TRUE(s.streaming.limitListeners);
    EXPECT_EQ(s.streaming.maxListeners, 16);
    EXPECT_EQ(s.streaming.logFile, QStringLiteral("/data/vorlune.streaming.log"));
    EXPECT_FALSE(s.streaming.device.has_value());
    EXPECT_TRUE(s.hiddenPanels.isEmpty());
    EXPECT_TRUE(s.brainMru.isEmpty());
}

TEST(AppSettings, RoundTripKeepsEveryValueAndTheSaveOrder) {
    Settings s = Settings::defaults(QStringLiteral("/data"));
    s.main.splitPos = 300;
    s.main.winPosX = 10;
    s.main.winPosY = 20;
    s.main.winSizeX = 800;
    s.main.winSizeY = 600;
    s.main.songsPlayed = 42;
    s.main.chartsSize = 25;
    s.main.repeat = true;
    s.main.destPanel = false;
    s.main.fullNameColumn = true;
    s.main.musicDir = QStringLiteral("/musik/%A/%T");
    s.main.searchText = QStringLiteral("+beatles -live");
    s.main.searchLimit = true;
    s.main.searchLimitCount = 99;
    s.main.viewStyle = 1;
    s.main.copyMode = 2;
    s.main.timeMode = 1;
    s.main.trayDisplay = false;
    s.streaming.enabled = true;
    s.streaming.device = 2;
    s.streaming.deviceName = QStringLiteral("Monitor of Built-in Audio");
    s.streaming.streamPort = 8123;
    s.hiddenPanels = {QStringLiteral("Streaming")};
    s.quickSearchMru = {QStringLiteral("beatles"), QStringLiteral("abba")};
    s.brainMru = {QStringLiteral("CD1:\\a\\b.mp3")};

    SettingsStore store(QString{});
    store.writeBool(kHiddenPanelsKey, QStringLiteral("Streaming"), true);
    save(store, s, QDate(2026, 12, 8));
    const QStringList names = store.valueNames(kMainKey);
    ASSERT_GE(names.size(), 8);
    EXPECT_EQ(names.mid(0, 8),
              (QStringList{QStringLiteral("SplitPos"), QStringLiteral("WinPosX"),
                           QStringLiteral("WinPosY"), QStringLiteral("WinSizeX"),
                           QStringLiteral("WinSizeY"), QStringLiteral("SongsHistorySize"),
                           QStringLiteral("SongsPlayed"), QStringLiteral("ChartsSize")}));
    EXPECT_EQ(names.last(), QStringLiteral("TrayDisplay"));

    const Settings r = loaded(store);
    EXPECT_EQ(r.main.splitPos, 300);
    EXPECT_EQ(r.main.winPosX, 10);
    EXPECT_EQ(r.main.winSizeY, 600);
    EXPECT_EQ(r.main.songsPlayed, 42);
    EXPECT_EQ(r.main.chartsSize, 25);
    EXPECT_TRUE(r.main.repeat);
    EXPECT_FALSE(r.main.destPanel);
    EXPECT_TRUE(r.main.fullNameColumn);
    EXPECT_EQ(r.main.musicDir, s.main.musicDir);
    EXPECT_EQ(r.main.searchText, s.main.searchText);
    EXPECT_TRUE(r.main.searchLimit);
    EXPECT_EQ(r.main.searchLimitCount, 99);
    EXPECT_EQ(r.main.viewStyle, 1);
    EXPECT_FALSE(r.main.webView());
    EXPECT_EQ(r.main.copyMode, 2);
    EXPECT_EQ(r.main.timeMode, 1);
    EXPECT_FALSE(r.main.trayDisplay);
    EXPECT_TRUE(r.streaming.enabled);
    EXPECT_EQ(r.streaming.device, 2);
    EXPECT_EQ(r.streaming.deviceName, QStringLiteral("Monitor of Built-in Audio"));
    EXPECT_EQ(r.streaming.streamPort, 8123);
    EXPECT_EQ(r.hiddenPanels, QStringList{QStringLiteral("Streaming")});
    EXPECT_EQ(r.quickSearchMru, s.quickSearchMru);
    EXPECT_EQ(r.brainMru, s.brainMru);
}

TEST(AppSettings, MaximisedWindowKeepsTheLastNormalGeometry) {
    SettingsStore store(QString{});
    Settings s = Settings::defaults(QString());
    s.main.winPosX = 50;
    s.main.winPosY = 60;
    s.main.winSizeX = 700;
    s.main.winSizeY = 500;
    save(store, s);
    s.main.winMaximized = true;
    s.main.winPosX = 0;
    s.main.winSizeX = 1920;
    save(store, s);
    const Settings r = loaded(store);
    EXPECT_TRUE(r.main.winMaximized);
    EXPECT_EQ(r.main.winPosX, 50);
    EXPECT_EQ(r.main.winPosY, 60);
    EXPECT_EQ(r.main.winSizeX, 700);
    EXPECT_EQ(r.main.winSizeY, 500);
}

TEST(AppSettings, ViewCopyAndTimeModesFollowTheirRules) {
    SettingsStore store(QString{});
    store.writeInteger(kMainKey, QStringLiteral("ViewStyle"), 6);
    store.writeInteger(kMainKey, QStringLiteral("CopyMode"), 1);
    Settings r = loaded(store);
    EXPECT_EQ(r.main.listViewStyle(), int(ListStyle));
    EXPECT_TRUE(r.main.webView());
    EXPECT_EQ(r.main.copyMode, 1);
    EXPECT_EQ(r.main.timeMode, 0);

    // Values outside the designed ones change nothing.
    store.writeInteger(kMainKey, QStringLiteral("CopyMode"), 7);
    store.writeInteger(kMainKey, QStringLiteral("TimeMode"), -1);
    r = loaded(store);
    EXPECT_EQ(r.main.copyMode, 0);
    EXPECT_EQ(r.main.timeMode, 0);

    // A value of another type counts as absent.
    store.writeText(kMainKey, QStringLiteral("ChartsSize"), QStringLiteral("zwanzig"));
    store.writeInteger(kMainKey, QStringLiteral("FullNameColumn"), 5); // any non-zero is true
    r = loaded(store);
    EXPECT_EQ(r.main.chartsSize, 10);
    EXPECT_TRUE(r.main.fullNameColumn);
}

TEST(AppSettings, ListsWithBackslashesAndHistoryDates) {
    SettingsStore store(QString{});
    Settings s = Settings::defaults(QString());
    const QString a = QStringLiteral("Rock 1:\\Band X\\Album Y\\01 - Song.mp3");
    const QString b = QStringLiteral("USB:\\Hörbuch\\Kapitel 1.ogg");
    s.brainMru = {a, b};
    s.chartsMru = {{a, QStringLiteral("3:01.12.26")}, {b, QStringLiteral("5")}};
    s.quickSearchMru = {QStringLiteral("erste")};
    s.playlistMru = {QStringLiteral("/home/u/pl.m3u")};
    const QLocale de(QLocale::German, QLocale::Germany);
    save(store, s, QDate(2026, 12, 8), de);

    // Stale Merkzettel and history entries go; so do search terms no longer in the box.
    s.brainMru = {b};
    s.chartsMru = {{b, QStringLiteral("6:08.12.26")}};
    s.quickSearchMru = {QStringLiteral("zweite")};
    save(store, s, QDate(2026, 12, 8), de);

    const Settings r = loaded(store);
    EXPECT_EQ(r.brainMru, QStringList{b});
    ASSERT_EQ(r.chartsMru.size(), 1);
    EXPECT_EQ(r.chartsMru[0].first, b);
    EXPECT_EQ(r.chartsMru[0].second, QStringLiteral("6:08.12.26"));
    EXPECT_EQ(r.quickSearchMru, QStringList{QStringLiteral("zweite")});
    EXPECT_EQ(r.playlistMru, QStringList{QStringLiteral("/home/u/pl.m3u")});

    SettingsStore first(QString{});
    s.chartsMru = {{a, QStringLiteral("5")}};
    save(first, s, QDate(2026, 12, 8), de);
    EXPECT_EQ(first.readText(kChartsMruKey, a),
              QStringLiteral("5:") + de.toString(QDate(2026, 12, 8), QLocale::ShortFormat));
}

// The search history comes back newest first after any number of sessions, and keeps no
// more than fifty entries.
TEST(AppSettings, SearchHistoryKeepsItsOrderAndIsCapped) {
    SettingsStore store(QString{});
    Settings s = Settings::defaults(QString());
    const QStringList sessions[] = {{"c", "b", "a"}, {"d", "c", "b", "a"}, {"b", "d", "c", "a"}};
    for (const QStringList& box : sessions) {
        s.quickSearchMru = box;
        save(store, s);
        EXPECT_EQ(loaded(store).quickSearchMru, box);
    }
    QStringList many;
    for (int i = 0; i < 60; ++i)
        many << QStringLiteral("suche %1").arg(i);
    s.quickSearchMru = many;
    save(store, s);
    EXPECT_EQ(loaded(store).quickSearchMru, many.mid(0, 50));
    EXPECT_EQ(store.valueNames(kQuickSearchMruKey).size(), 50);
    // A longer list written by an older version is cut when it is read.
    for (const QString& name : many.mid(50))
        store.writeText(kQuickSearchMruKey, name, QString());
    EXPECT_EQ(loaded(store).quickSearchMru, many.mid(0, 50));
}

TEST(AppSettings, HiddenPanelsFollowTheGroupOrderAndCleaningRemovesOwnedKeys) {
    SettingsStore store(QString{});
    store.writeBool(kHiddenPanelsKey, QStringLiteral("Streaming"), true);
    store.writeBool(kHiddenPanelsKey, QStringLiteral("Aktionen"), true);
    store.writeBool(kHiddenPanelsKey, QStringLiteral("Unbekannt"), true);
    EXPECT_EQ(loaded(store).hiddenPanels,
              (QStringList{QStringLiteral("Aktionen"), QStringLiteral("Streaming")}));

    registerSoundEvents(store);
    EXPECT_EQ(store.readText(QStringLiteral("AppEvents\\EventLabels\\VLWaitForMedia"), QString()),
              QStringLiteral("Medium einlegen"));
    EXPECT_EQ(store.subKeys(QStringLiteral("AppEvents\\Schemes\\Apps\\Vorlune")).size(), 4);
    store.writeInteger(QStringLiteral("Software\\Other"), QStringLiteral("Keep"), 1);
    cleanStore(store);
    EXPECT_FALSE(store.keyExists(kMainKey));
    EXPECT_FALSE(store.keyExists(kHiddenPanelsKey));
    EXPECT_FALSE(store.keyExists(QStringLiteral("AppEvents\\EventLabels\\VLWaitForMedia")));
    EXPECT_FALSE(store.keyExists(QStringLiteral("AppEvents\\Schemes\\Apps\\Vorlune")));
    EXPECT_TRUE(store.keyExists(QStringLiteral("Software\\Other")));
    EXPECT_TRUE(loaded(store).main.webView());
}

} // namespace
