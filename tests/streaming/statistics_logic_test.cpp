// The statistics window's logic without a display: texts, page rules, the listener list.
#include "collection.h"
#include "listener_model.h"
#include "statistics_pages.h"
#include "statistics_texts.h"
#include "title_properties.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QLocale de(QLocale::German, QLocale::Germany);

TEST(StatisticsTexts, ClientProgramRecognitionLastMatchWins) {
    const struct {
        const char* agent;
        int icon;
    } cases[] = {
        {"__NO_USER-AGENT_SENT__", 0},
        {"WinampMPEG/5.66, Ultravox/2.1", 1},
        {"NSPlayer/12.0", 2},
        {"Windows-Media-Player/11 WMFSDK/11", 2},
        {"foobar2000/1.6", 3},
        {"Apache-HttpClient/4.5", 4},
        {"Mozilla/5.0 (X11; Linux x86_64) Firefox/120.0", 5},
        {"Mozilla/5.0 Winamp", 5},                 // browser after Winamp
        {"Mozilla/4.0 (compatible; MSIE 6.0)", 6}, // both: Internet Explorer
        {"RMA/1.0 (compatible; RealMedia)", 7},
        {"xrma", 0}, // must begin with RMA
        {"Something RealMedia", 7},
        {"QuickTime/7.6", 8},
        {"iTunes/12.1 (Macintosh)", 9},
        {"VLC/3.0.18 LibVLC/3.0.18", 10},
        {"Mozilla/5.0 MSIE iTunes VLC", 10}, // VLC whatever else
        {"vlc lowercase", 10},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stattexts::agentIcon(QString::fromLatin1(c.agent)), c.icon) << c.agent;
}

TEST(StatisticsTexts, SentAmount) {
    const struct {
        quint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0 Byte"},
        {512, "512 Byte"},
        {999, "999 Byte"},
        {1000, "0,98 kByte"},
        {1536, "1,50 kByte"},
        {12 * 1024 * 1024 + 300 * 1024, "12,2 MByte"},
        {100ull * 1024 * 1024, "100 MByte"}, // "100," loses its comma
        {100ull * 1024 * 1000, "97,6 MByte"},
        {5ull << 40, "5,00 TByte"},
        {3ull << 60, "3,00 EByte"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stattexts::sentText(c.bytes, de), QString::fromUtf8(c.text)) << c.bytes;
    EXPECT_EQ(stattexts::sentDetailText(1536, de), QStringLiteral("1,50 kByte   (1.536 Byte)"));
}

TEST(StatisticsTexts, ConnectionTime) {
    const qint64 h = 3600 * 1000;
    const QString f = QStringLiteral("HH:mm:ss");
    const struct {
        qint64 ms;
        const char* text;
    } cases[] = {
        {0, "00:00:00"},
        {59 * 1000 + 999, "00:00:59"},
        {23 * h + 59 * 60 * 1000 + 59 * 1000, "23:59:59"},
        {24 * h, "1 Tag, 00:00:00"},
        {25 * h + 1000, "1 Tag, 01:00:01"},
        {50 * h, "2 Tage, 02:00:00"},
        {-5000, "00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stattexts::connectionTime(c.ms, f), QString::fromUtf8(c.text)) << c.ms;
    // Another long format goes through the locale's own formatter, without time zones.
    EXPECT_EQ(stattexts::connectionTime(50 * h + 61000, QStringLiteral("H.mm.ss")),
              QStringLiteral("2 Tage, 2.01.01"));
    EXPECT_FALSE(stattexts::longTimeFormat(de).contains(QLatin1Char('t')));
}

TEST(StatisticsTexts, SizeWithUnitRuleAndLength) {
    const struct {
        qint64 bytes;
        const char* extra;
        const char* text;
    } cases[] = {
        {0, "", "0 Byte (0 Byte)"},
        {999, "", "999 Byte (999 Byte)"},
        {1000, "", "1,0 kByte (1.000 Byte)"},
        {1536, "", "1,5 kByte (1.536 Byte)"},
        {1024 * 1000, "", "0,98 MByte (1.024.000 Byte)"}, // 1000 k is above 999: a second step
        {5 * 1024 * 1024, ", 0:05:00, 128 kbps", "5,00 MByte (5.242.880 Byte, 0:05:00, 128 kbps)"},
        {3ll << 30, "", "3,000 GByte (3.221.225.472 Byte)"},
        {2000ll << 30, "", "2000,000 GByte (2.147.483.648.000 Byte)"}, // three steps at most
    };
    for (const auto& c : cases)
        EXPECT_EQ(stattexts::sizeText(c.bytes, QString::fromUtf8(c.extra), de),
                  QString::fromUtf8(c.text))
            << c.bytes;
    EXPECT_EQ(stattexts::lengthExtra(3725000, 128), QStringLiteral(", 1:02:05, 128 kbps"));
    EXPECT_EQ(stattexts::lengthExtra(59000, 131), QStringLiteral(", 0:00:59, ca. 131 kbps"));
    EXPECT_EQ(stattexts::lengthExtra(59000, 0), QStringLiteral(", 0:00:59"));
    EXPECT_EQ(stattexts::lengthExtra(-1, 128), QString());
    EXPECT_EQ(stattexts::bitRateOf(4000000, 250000), 128);
    EXPECT_EQ(stattexts::bitRateOf(4100000, 250000), 131);
    EXPECT_EQ(stattexts::bitRateOf(4100000, 0), 0);
}

TEST(StatisticsTexts, LengthChoiceForTitlesNotPlaying) {
    titlescan::ScanResult scan;
    scan.lengthMs = 180000;
    scan.bitRate = 128;
    const struct {
        qint64 scanMs;
        qint64 deviceMs;
        qint64 ms;
        int kbps;
    } cases[] = {
        {180000, 600000, 180000, 128}, // the player's length is three times the scan's or more
        {180000, 500000, 500000, 46},  // below: the player's length, rate from the size
        {180000, 0, 180000, 128},      // the player failed
        {-1, 200000, 200000, 115},     // no frames found: the player's length
        {-1, 0, -1, 0},
    };
    for (const auto& c : cases) {
        scan.lengthMs = c.scanMs;
        scan.bitRate = c.scanMs > 0 ? 128 : 0;
        const titleprops::Length l = titleprops::chooseLength(2880000, scan, c.deviceMs);
        EXPECT_EQ(l.ms, c.ms) << c.scanMs << " " << c.deviceMs;
        EXPECT_EQ(l.kbps, c.kbps) << c.scanMs << " " << c.deviceMs;
    }
}

TEST(StatisticsTexts, FileTypeAndDrive) {
    EXPECT_TRUE(titleprops::typeDescription(QStringLiteral("a.mp3")).size() > 0);
    EXPECT_EQ(titleprops::typeDescription(QStringLiteral("a.zzqx")), QString());
    EXPECT_EQ(stattexts::fileTypeText(QStringLiteral("zzqx"), QString()),
              QStringLiteral("ZZQX   (Unregistrierter Dateityp)"));
    EXPECT_EQ(stattexts::fileTypeText(QStringLiteral(".mp3"), QStringLiteral("MP3-Audio")),
              QStringLiteral("MP3   (MP3-Audio)"));
    EXPECT_EQ(stattexts::driveText(QStringLiteral("/media/usb"), 3ll * 1048576 * 1500, false, de),
              QStringLiteral("Laufwerk /media/usb (4.500 MByte)"));
    EXPECT_EQ(stattexts::driveText(QStringLiteral("/run/w/VORLUNEWWW-1"), 0, true, de),
              QStringLiteral("Laufwerk /run/w/VORLUNEWWW-1 (Web-Umleitung)"));
    EXPECT_EQ(stattexts::driveText(QStringLiteral("smb://nas/musik"), -1, false, de),
              QStringLiteral("Laufwerk smb://nas/musik"));
    EXPECT_TRUE(stattexts::noticeLine(2031).contains(QStringLiteral("2002\u20132031")));
}

TEST(StatisticsTexts, MemoryFigureCountsListsNamesAndTree) {
    Collection c;
    const qint64 empty = stattexts::catalogueMemory(c, 0);
    c.addMedium(QStringLiteral("Rock.cd"),
                {QStringLiteral("BEGIN::HDD"), QStringLiteral("LABEL::Rock"),
                 QStringLiteral("Rock:\\Band\\"), QStringLiteral("Rock:\\Band\\Song one.mp3"),
                 QStringLiteral("Rock:\\Band\\Song two.mp3")});
    const qint64 loaded = stattexts::catalogueMemory(c, 0);
    // At least the two title lines' characters, in UTF-16.
    EXPECT_GT(loaded - empty, 2 * 2 * qint64(QStringLiteral("Rock:\\Band\\Song one.mp3").size()));
    EXPECT_EQ(loaded, stattexts::catalogueBulkMemory(c) + stattexts::catalogueLiveMemory(c, 0));
    // A line in the Merkzettel: one slot, one string; the shown list: two slots per entry.
    const QString line = QStringLiteral("Rock:\\Band\\Song one.mp3");
    c.titleLists.list(TitleLists::Merkzettel).append(line);
    const qint64 withNote = stattexts::catalogueMemory(c, 0);
    EXPECT_EQ(withNote - loaded, qint64(sizeof(QString)) + 16 + (line.size() + 1) * 2);
    EXPECT_EQ(stattexts::catalogueMemory(c, 10) - withNote, 10 * 2 * qint64(sizeof(QString)));
}

TEST(StatisticsPages, VisibilityAndSelection) {
    using namespace statpages;
    const struct {
        Request request;
        bool connections;
        bool active;
        bool visible[PageCount];
        Page current;
        bool cleared;
        const char* caption;
    } cases[] = {
        {{}, false, false, {false, true, false, false, true}, Statistics, false, "Statistik"},
        {{}, true, true, {false, true, true, true, true}, Statistics, false, "Statistik"},
        {Request::page("about"),
         false,
         false,
         {false, true, false, false, true},
         Information,
         true,
         "Statistik"},
        {Request::page("connections"),
         true,
         false,
         {false, true, true, false, true},
         Connections,
         true,
         "Statistik"},
        {Request::page("connections"),
         false,
         false,
         {false, true, false, false, true},
         Statistics,
         true,
         "Statistik"},
        {Request::page("listeners"),
         false,
         true,
         {false, true, false, true, true},
         Listeners,
         true,
         "Statistik"},
        {Request::page("listeners"),
         false,
         false,
         {false, true, false, false, true},
         Statistics,
         true,
         "Statistik"},
        {Request::title("Song", "Musik", "Musik:\\A\\Song.mp3"),
         false,
         true,
         {true, true, false, true, true},
         Properties,
         false,
         "Eigenschaften von Song"},
        // A title named like a page word is still a title.
        {Request::title("about", "Musik", "Musik:\\about.mp3"),
         false,
         false,
         {true, true, false, false, true},
         Properties,
         false,
         "Eigenschaften von about"},
    };
    for (const auto& c : cases) {
        const Selection s = select(c.request, c.connections, c.active);
        for (int i = 0; i < PageCount; ++i)
            EXPECT_EQ(s.visible[i], c.visible[i]) << c.caption << " page " << i;
        EXPECT_EQ(s.current, c.current) << c.request.name.toStdString();
        EXPECT_EQ(s.clearRequest, c.cleared) << c.request.name.toStdString();
        EXPECT_EQ(s.caption, QString::fromUtf8(c.caption));
        EXPECT_EQ(s.fillProperties, c.request.isTitle());
    }
}

WClientInfo record(int index, const QDateTime& connected, quint64 sent, bool streaming,
                   const QString& agent = QStringLiteral("__NO_USER-AGENT_SENT__")) {
    WClientInfo i;
    i.Index = index;
    i.RemoteAddress = QStringLiteral("10.0.0.%1").arg(index + 1);
    i.ConnectTime = connected;
    i.BytesSent = sent;
    i.Streaming = streaming;
    i.UserAgent = agent;
    return i;
}

TEST(ListenerModel, RowsFollowEventsAndOnlyChangedCellsAreAnnounced) {
    ListenerModel m;
    m.setLocale(de);
    const QDateTime t0 = QDateTime::currentDateTime();
    for (int i = 0; i < 4; ++i)
        m.clientConnected(record(i, t0, 0, false));
    ASSERT_EQ(m.rowCount(), 4);
    EXPECT_EQ(m.text(2, ListenerModel::AddressColumn), QStringLiteral("10.0.0.3"));
    EXPECT_EQ(m.text(2, ListenerModel::SentColumn), QStringLiteral("Verbinde..."));
    EXPECT_EQ(m.text(2, ListenerModel::TimeColumn), QStringLiteral("00:00:00"));

    // The server's records: rows 1 and 2 stream; row 1 is a browser.
    std::vector<WClientInfo> server;
    for (int i = 0; i < 4; ++i)
        server.push_back(record(i, t0, 0, i == 1 || i == 2));
    server[1].UserAgent = QStringLiteral("Mozilla/5.0");
    server[1].BytesSent = 1536;
    server[2].BytesSent = 999;
    const auto fetch = [&server](int i, WClientInfo& info) {
        if (i >= int(server.size())) return false;
        info = server[size_t(i)];
        return true;
    };
    QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
    m.refresh(fetch, t0.addMSecs(400)); // same second: only the sent cells of rows 1-2 and icon
    EXPECT_EQ(m.text(1, ListenerModel::SentColumn), QStringLiteral("1,50 kByte"));
    EXPECT_EQ(m.text(2, ListenerModel::SentColumn), QStringLiteral("999 Byte"));
    EXPECT_EQ(m.text(0, ListenerModel::SentColumn), QStringLiteral("Verbinde..."));
    EXPECT_EQ(m.iconOf(1), 5);
    EXPECT_EQ(m.iconOf(2), 0);
    int cells = 0;
    for (const QList<QVariant>& args : spy) {
        const QModelIndex a = args[0].toModelIndex(), b = args[1].toModelIndex();
        EXPECT_GE(a.row(), 1);
        EXPECT_LE(b.row(), 2);
        cells += (b.row() - a.row() + 1) * (b.column() - a.column() + 1);
    }
    EXPECT_EQ(cells, 3); // two sent cells and the icon's cell
    spy.clear();
    m.refresh(fetch, t0.addMSecs(450)); // nothing changed: nothing announced
    EXPECT_EQ(spy.count(), 0);
    m.refresh(fetch, t0.addMSecs(50 * 3600 * 1000)); // every time cell, in one run
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(spy[0][1].toModelIndex().row(), 3);
    EXPECT_EQ(m.text(3, ListenerModel::TimeColumn), QStringLiteral("2 Tage, 02:00:00"));

    // A record beyond the rows is ignored; a disconnect removes its row.
    m.clientInfoChanged(record(9, t0, 5, true), t0);
    m.clientDisconnected(record(9, t0, 5, true));
    EXPECT_EQ(m.rowCount(), 4);
    m.clientDisconnected(record(1, t0, 5, true));
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(m.text(1, ListenerModel::AddressColumn), QStringLiteral("10.0.0.3"));
    // An event updates one row; the host name arriving later shows too.
    WClientInfo named = record(0, t0, 2048, true, QStringLiteral("VLC/3.0"));
    named.RemoteHost = QStringLiteral("radio.example");
    m.clientInfoChanged(named, t0);
    EXPECT_EQ(m.text(0, ListenerModel::HostColumn), QStringLiteral("radio.example"));
    EXPECT_EQ(m.iconOf(0), 10);
    EXPECT_TRUE(m.takeHostQuestion(1));
    EXPECT_FALSE(m.takeHostQuestion(1)); // asked once
    EXPECT_FALSE(m.takeHostQuestion(0)); // known already
    m.clear();
    EXPECT_EQ(m.rowCount(), 0);
}

} // namespace
