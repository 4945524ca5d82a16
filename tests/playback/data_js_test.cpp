#include "data_js.h"
#include "test_support.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace datajs;
using playbacktest::readFile;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

QByteArray golden(const char* name) {
    return readFile(QStringLiteral(PLAYBACK_TEST_DIR "/golden/") + QLatin1String(name));
}

QByteArray bytes(Writer writer, const NowPlaying& now) {
    return encode(build(writer, now, kGerman));
}

QStringList names(int n) {
    QStringList lines;
    for (int i = 0; i < n; ++i)
        lines.append(QStringLiteral("M:\\d\\T%1.mp3").arg(i));
    return lines;
}

std::vector<int> identity(int n) {
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[size_t(i)] = i;
    return order;
}

} // namespace

TEST(DataJs, WritersMatchGoldenFilesByteForByte) {
    NowPlaying tick;
    tick.displayName = QStringLiteral("Simon \"&\" Garfunkel - Mrs \\ Robinson");
    tick.position = 65;
    tick.duration = 200;
    tick.bitRate = QStringLiteral("ca. 131 kbps");
    tick.fileSize = 4100000;
    tick.repeat = true;
    tick.previous = {QStringLiteral("Yesterday"), QStringLiteral("Say \"Hi\" \\ Bye")};
    EXPECT_EQ(bytes(Writer::Tick, tick), golden("tick.js"));

    NowPlaying paused;
    paused.paused = true;
    paused.displayName = QStringLiteral("Yesterday");
    paused.duration = 250;
    paused.bitRate = QStringLiteral("128 kbps");
    paused.fileSize = 4000000;
    paused.shuffle = true;
    paused.next = {QStringLiteral("Queen - Innuendo"), QStringLiteral("Line\nBreak\x01"),
                   QStringLiteral("Café")};
    EXPECT_EQ(bytes(Writer::PauseSeek, paused), golden("pause.js"));

    NowPlaying seek;
    seek.displayName = QStringLiteral("Queen - Innuendo");
    seek.position = 12;
    seek.duration = 200;
    seek.bitRate = QStringLiteral("128 kbps");
    seek.fileSize = 3200000;
    seek.repeat = true;
    seek.shuffle = true;
    seek.previous = {QStringLiteral("A")};
    seek.next = {QStringLiteral("B")};
    EXPECT_EQ(bytes(Writer::PauseSeek, seek), golden("seek.js"));

    NowPlaying stopped = tick; // the stopped writer ignores everything but the switches
    EXPECT_EQ(bytes(Writer::Stopped, stopped), golden("stopped.js"));
}

TEST(DataJs, EscapingCoversQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(escape(u"plain"), "plain");
    EXPECT_EQ(escape(u"a\"b\\c"), "a\\\"b\\\\c");
    EXPECT_EQ(escape(u"\r\n\t\x1f\x7f"), "\\r\\n\\t\\x1f\\x7f");
    EXPECT_EQ(escape(QString(QChar(0x2028))), "\\u2028");
    // Nothing a name holds can end the string early.
    const QString hostile = QStringLiteral("\"; alert(1); \"\\");
    const QString out = escape(hostile);
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] == u'\\') {
            ++i;
            continue;
        }
        EXPECT_NE(out[i], u'"') << qPrintable(out);
    }
}

// Half a surrogate pair cannot be encoded in the file: it goes as an escape, so that the
// page gets the name as it is; whole pairs stay characters.
TEST(DataJs, UnpairedSurrogatesGoAsEscapes) {
    const struct {
        QString text;
        const char* escaped;
    } cases[] = {
        {QString(QChar(0xD800)), "\\ud800"},
        {QStringLiteral("a") + QChar(0xDC00) + QStringLiteral("b"), "a\\udc00b"},
        {QString(QChar(0xDBFF)) + QChar(0xD800), "\\udbff\\ud800"},
        {QString(QChar(0xD83C)) + QChar(0xDFB5), "\xF0\x9F\x8E\xB5"},
        {QString(QChar(0xDFB5)) + QChar(0xD83C), "\\udfb5\\ud83c"},
    };
    for (const auto& c : cases) {
        const QString out = escape(c.text);
        EXPECT_EQ(out, QString::fromUtf8(c.escaped)) << qPrintable(out);
        EXPECT_EQ(encode(out).startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(encode(out).mid(3))
                                                         : QString::fromLatin1(encode(out)),
                  out);
    }
}

TEST(DataJs, EncodingIsWindows1252UnlessACharacterDoesNotFit) {
    NowPlaying now;
    now.displayName = QStringLiteral("Café €");
    const QByteArray western = bytes(Writer::Tick, now);
    EXPECT_TRUE(western.contains("Caf\xE9 \x80"));
    EXPECT_FALSE(western.startsWith("\xEF\xBB\xBF"));

    now.displayName = QStringLiteral("日本 - 歌");
    const QByteArray other = bytes(Writer::Tick, now);
    EXPECT_TRUE(other.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(other.contains(QStringLiteral("artist    = \"日本\";").toUtf8()));
}

TEST(DataJs, NeighboursAroundThePosition) {
    const QStringList titles = names(20);
    Neighbours n = neighbours(titles, identity(20), 7, 5);
    EXPECT_EQ(n.previous, QStringList({"T6", "T5", "T4", "T3", "T2"}));
    EXPECT_EQ(n.next, QStringList({"T8", "T9", "T10", "T11", "T12"}));

    n = neighbours(titles, identity(20), 0, 5);
    EXPECT_TRUE(n.previous.isEmpty());
    EXPECT_EQ(n.next.size(), 5);
    n = neighbours(titles, identity(20), 19, 5);
    EXPECT_EQ(n.previous.size(), 5);
    EXPECT_TRUE(n.next.isEmpty());
    n = neighbours(titles, identity(20), 2, 5);
    EXPECT_EQ(n.previous, QStringList({"T1", "T0"}));

    // The play order decides which titles are neighbours.
    std::vector<int> order = {3, 1, 0, 2};
    n = neighbours(names(4), order, 1, 5);
    EXPECT_EQ(n.previous, QStringList({"T3"}));
    EXPECT_EQ(n.next, QStringList({"T0", "T2"}));

    // A history size of 0 or less lists nothing, written as empty arrays.
    n = neighbours(titles, identity(20), 7, 0);
    EXPECT_TRUE(n.previous.isEmpty());
    EXPECT_TRUE(n.next.isEmpty());
    NowPlaying now;
    now.displayName = QStringLiteral("T7");
    const QString text = build(Writer::Tick, now, kGerman);
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("prevFiles = new Array();\r\nnextFiles = new Array();\r\n")));
}

TEST(DataJs, WriteReplacesTheFileWhole) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data.js"));
    NowPlaying now;
    now.displayName = QStringLiteral("Queen - Innuendo");
    now.previous = names(3);
    ASSERT_TRUE(write(file, build(Writer::Tick, now, kGerman)));
    ASSERT_TRUE(write(file, build(Writer::Stopped, now, kGerman)));
    EXPECT_EQ(readFile(file), encode(build(Writer::Stopped, now, kGerman)));
    EXPECT_FALSE(write(dir.filePath(QStringLiteral("missing/data.js")), QStringLiteral("x")));
}
