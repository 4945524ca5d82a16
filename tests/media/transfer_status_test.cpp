#include "transfer_status.h"
#include "web_client.h"

#include <gtest/gtest.h>

using namespace transferstatus;

TEST(TransferStatusTexts, RemainingTime) {
    EXPECT_EQ(formatRemaining(0), "0:00");
    EXPECT_EQ(formatRemaining(9), "0:09");
    EXPECT_EQ(formatRemaining(61), "1:01");
    EXPECT_EQ(formatRemaining(3599), "59:59");
    EXPECT_EQ(formatRemaining(3600), "1:00:00");
    EXPECT_EQ(formatRemaining(36061), "10:01:01");
}

TEST(TransferStatusTexts, SpeedUnitsAndDecimals) {
    const QLocale de(QLocale::German, QLocale::Germany);
    EXPECT_EQ(formatSpeed(0, de), "0 Byte");
    EXPECT_EQ(formatSpeed(1023, de), "1.023 Byte"); // the locale groups digits
    EXPECT_EQ(formatSpeed(1024, de), "1,0 kB");
    EXPECT_EQ(formatSpeed(1536, de), "1,5 kB");
    EXPECT_EQ(formatSpeed(1024.0 * 1024 * 3.25, de), "3,25 MB");
    EXPECT_EQ(formatSpeed(1024.0 * 1024 * 1024 * 2, de), "2,00 GB");
    EXPECT_EQ(formatSpeed(1024.0 * 1024 * 1024 * 1024 * 5, de), "5,00 TB");
    EXPECT_EQ(formatSpeed(1024.0 * 1024 * 1024 * 1024 * 2048, de), "2.048,00 TB");
    EXPECT_EQ(formatSpeed(1536, QLocale::c()), "1.5 kB");
}

TEST(TransferStatusTexts, MeterRefreshesEveryHalfSecond) {
    TransferMeter meter(QLocale(QLocale::German, QLocale::Germany));
    meter.start(TransferMeter::Download, 1024 * 1000, 1000);
    EXPECT_EQ(meter.statusText(), "Datei herunterladen...");
    EXPECT_EQ(meter.remainingText(), "(?:?"
                                     "?)");
    EXPECT_EQ(meter.speedText(), "(?) Byte/s");

    EXPECT_FALSE(meter.update(1000, 1400)); // too early
    EXPECT_EQ(meter.value(), 1000);
    EXPECT_EQ(meter.statusText(), "Datei herunterladen...");

    // 1 s, 102,400 bytes: just under 100 kB/s (the 0.001 s), 900 kB left: 9.009 s -> 10.
    ASSERT_TRUE(meter.update(102400, 2000));
    EXPECT_EQ(meter.statusText(), "Datei herunterladen... (noch 0:10 bei 99,9 kB/s)");
    EXPECT_FALSE(meter.update(204800, 2300));

    // No byte yet: speed 0 keeps the estimate of the last update.
    TransferMeter stalled(QLocale::c());
    stalled.start(TransferMeter::Upload, 5000, 0);
    ASSERT_TRUE(stalled.update(0, 600));
    EXPECT_EQ(stalled.statusText(), "Datei hochladen... (noch (?:?"
                                    "?) bei 0 Byte/s)");
    ASSERT_TRUE(stalled.update(1000, 1200));
    EXPECT_EQ(stalled.remainingText(), "0:05"); // 4000 bytes at ~833 B/s: 4.8 -> 5
    ASSERT_TRUE(stalled.update(1000, 4000000)); // very slow now, estimate recomputed
    EXPECT_EQ(stalled.remainingText(), "4:26:41");
}

// Header lines as a web medium's server sends them: the last reply and the status text,
// trimmed, whatever the spacing.
TEST(WebHeaders, LastReplyAndStatusTextAreTrimmedPiecesOfTheLines) {
    const struct {
        QList<QByteArray> lines;
        QByteArray lastLine;
        QByteArray statusText;
    } cases[] = {
        {{"HTTP/1.1 401 Unauthorized\r\n", "Content-Length: 0\r\n", "\r\n"},
         "Content-Length: 0",
         "Unauthorized"},
        {{"HTTP/1.1 401  Nicht erlaubt \r\n"}, "HTTP/1.1 401  Nicht erlaubt", "Nicht erlaubt"},
        {{QByteArray("HTTP/1$\0  \r\xff\n", 13)}, QByteArray("HTTP/1$\0  \r\xff", 12), "\xff"},
        {{"HTTP/2 200\r\n"}, "HTTP/2 200", "200"},
        {{"HTTP/2 \ri   \r\n"}, "HTTP/2 \ri", "i"},
        {{"220 Willkommen\r\n", "530 Login incorrect.\r\n", "   \r\n"}, "530 Login incorrect.", ""},
    };
    for (const auto& c : cases) {
        webclient::Replies replies;
        for (const QByteArray& line : c.lines)
            webclient::noteHeaderLine(replies, line);
        EXPECT_EQ(replies.lastLine, c.lastLine) << c.lastLine.data();
        EXPECT_EQ(replies.statusText, c.statusText) << c.lastLine.data();
    }
}
