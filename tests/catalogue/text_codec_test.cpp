#include "text_codec.h"

#include <gtest/gtest.h>

#include <vector>

using namespace textcodec;

TEST(TextCodec, DecodesUtf8Windows1252AndBom) {
    // Valid UTF-8 is read as UTF-8.
    EXPECT_EQ(decodeIndexText("M\xC3\xBCller"), QStringLiteral("Müller"));
    // The same name in Windows-1252 is not valid UTF-8.
    EXPECT_EQ(decodeIndexText("M\xFCller"), QStringLiteral("Müller"));
    // The 0x80..0x9F range maps to the Windows-1252 characters.
    EXPECT_EQ(decodeIndexText("\x80 \x93x\x94 \x9F"), QString::fromUtf8("€ “x” Ÿ"));
    // A BOM is dropped.
    EXPECT_EQ(decodeIndexText("\xEF\xBB\xBF\xC3\xA4"), QStringLiteral("ä"));
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_FALSE(isValidUtf8("\xC0\xAF", 2));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80", 3));
    EXPECT_FALSE(isValidUtf8("\xE2\x82", 2));
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x8E\xB5 plain ascii tail that is long", 33));
}

TEST(TextCodec, EncodesWindows1252WhenEverythingFitsElseUtf8WithBom) {
    EXPECT_EQ(encodeIndexText(QStringLiteral("Ärger €")), QByteArray("\xC4rger \x80"));
    const QString withNote = QString::fromUtf8("Ärger ♪");
    const QByteArray utf = encodeIndexText(withNote);
    EXPECT_TRUE(utf.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(decodeIndexText(utf), withNote);
}

TEST(TextCodec, EveryWindows1252ByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    // Not valid UTF-8, so it is read as Windows-1252 ...
    const QString text = decodeIndexText(all);
    ASSERT_EQ(text.size(), 255);
    // ... and written back to the same bytes.
    EXPECT_EQ(encodeIndexText(text), all);
}

TEST(TextCodec, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(splitLines(u"a\r\nb\nc\rd"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines(u"a\r\n"), QStringList({"a"}));
    EXPECT_EQ(splitLines(u"a\n\nb"), QStringList({"a", "", "b"}));
    EXPECT_TRUE(splitLines(u"").isEmpty());
    EXPECT_EQ(joinLinesCrLf({"a", "", "b"}), QStringLiteral("a\r\n\r\nb\r\n"));
}

TEST(TextCodec, LinesDecodedOneByOneEqualTheWholeTextSplit) {
    // Random bytes drawn mostly from line ends, ASCII, UTF-8 sequences (some cut short) and
    // Windows-1252 bytes, with and without a byte order mark.
    const QByteArray pieces[] = {"\r\n",  "\r",          "\n",           "a",
                                 "Z 1\\", "\xC3\xBC",    "\xE2\x82\xAC", "\xF0\x9F\x8E\xB5",
                                 "\xFC",  "\x80",        "\xE2\x82",     "\xED\xA0\x80",
                                 "\x9F",  "\xEF\xBB\xBF"};
    quint32 seed = 12345;
    const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes;
        const int count = int(next() % 12);
        for (int i = 0; i < count; ++i)
            bytes += pieces[next() % std::size(pieces)];
        // Often only the plain and valid pieces, so that every decoder is taken.
        if (round % 3 == 0) bytes.replace("\xFC", "u").replace("\x80", "e").replace("\x9F", "y");
        if (round % 3 == 1) bytes = "\xEF\xBB\xBF" + bytes;
        ASSERT_EQ(decodeIndexLines(bytes), splitLines(decodeIndexText(bytes)))
            << bytes.toHex().toStdString();
    }
}

TEST(TextCodec, LinesSharingOneBlockBehaveAsLinesOfTheirOwn) {
    const QByteArray inputs[] = {"one\r\ntwo\nthree\rfour", "M\xFCller\r\n\r\nlast",
                                 "\xC3\xA4 x\n\xE2\x82\xAC\n", "\xEF\xBB\xBFwith bom\r\nb"};
    for (const QByteArray& bytes : inputs) {
        const QStringList expected = splitLines(decodeIndexText(bytes));
        QStringList lines = decodeIndexLines(bytes);
        ASSERT_EQ(lines, expected);
        // Every line ends in '\0', as strings of their own do.
        for (const QString& line : lines)
            EXPECT_EQ(line.utf16()[line.size()], 0) << line.toStdString();
        // Writing to one line changes no other; a line outlives the list it came from.
        QString first = lines.first();
        lines[0].append(QStringLiteral("+appended"));
        lines[lines.size() - 1].replace(0, 1, QStringLiteral("X"));
        for (qsizetype i = 1; i + 1 < lines.size(); ++i)
            EXPECT_EQ(lines[i], expected[i]);
        EXPECT_EQ(lines[0], expected[0] + QStringLiteral("+appended"));
        lines.clear();
        EXPECT_EQ(first, expected[0]);
        // The last holder of a block may write in place without harm.
        first.append(QStringLiteral("++"));
        EXPECT_EQ(first, expected[0] + QStringLiteral("++"));
        EXPECT_EQ(first.utf16()[first.size()], 0);
    }

    // A line from the middle of its block, left as its last holder, grows and shrinks.
    {
        QStringList lines = decodeIndexLines("first\r\nmiddle\r\nlast\r\n");
        QString middle = lines[1];
        lines.clear();
        const QString tail(5000, u'x');
        middle.append(tail);
        EXPECT_EQ(middle, QStringLiteral("middle") + tail);
        middle.truncate(3);
        middle.squeeze();
        EXPECT_EQ(middle, QStringLiteral("mid"));
        middle.prepend(QStringLiteral(">"));
        EXPECT_EQ(middle, QStringLiteral(">mid"));
        EXPECT_EQ(middle.utf16()[middle.size()], 0);
    }
}

// Copies in one block read as the parts (folded as QString folds each, when asked), end in
// '\0', and change one at a time.
TEST(TextCodec, CopiesSharingABlockAreTheirPartsAlone) {
    // With surrogates (a lone one too) and without.
    const QString parts[] = {QStringLiteral("Rock:\\Best Of"),
                             QString(),
                             QStringLiteral("\u00c4\u00df\u03a3 \u0130X"),
                             QStringLiteral("x"),
                             QString(QChar(0xD801)) + QChar(0xDC00) + u'X',
                             QString(QChar(0xD801))};
    for (const qsizetype n : {4, 6}) {
        const std::vector<QStringView> views(parts, parts + n);
        for (const bool fold : {false, true}) {
            std::vector<QString> out(static_cast<size_t>(n));
            copiesSharingBlock(views.data(), n, out.data(), fold);
            const auto want = [&](qsizetype i) {
                return fold ? parts[i].toCaseFolded() : parts[i];
            };
            for (qsizetype i = 0; i < n; ++i) {
                EXPECT_EQ(out[size_t(i)], want(i)) << n << fold << i;
                EXPECT_EQ(out[size_t(i)].utf16()[out[size_t(i)].size()], 0);
            }
            out[0].append(u'!');
            out[2][0] = u'a';
            EXPECT_EQ(out[0], want(0) + u'!');
            EXPECT_EQ(out[1], QString());
            EXPECT_EQ(out[3], want(3));
        }
    }
}

// Texts whose Windows-1252 bytes the reader would take for UTF-8 or for a byte order mark
// go as UTF-8 with a mark; every one reads back as written.
TEST(TextCodec, WrittenTextReadsBackWhateverItsBytesLookLike) {
    const struct {
        QString text;
        bool windows1252;
    } cases[] = {
        {QStringLiteral("Müller €"), true},
        {QStringLiteral("plain"), true},
        {QString::fromUtf8("Beyonc\xC3\x83\xC2\xA9"), false}, // "BeyoncÃ©": C3 A9 in 1252
        {QString::fromUtf8("\xC3\x83\xC2\xBC\r\n\xC3\x83\xC2\xA4"), false},
        {QString::fromUtf8("\xC3\xAF\xC2\xBB\xC2\xBFTitel"), false}, // "ï»¿": EF BB BF in 1252
        {QChar(0xFEFF) + QStringLiteral("Titel ♪"), false},
        {QString(2, QChar(0xFEFF)) + QStringLiteral("x"), false},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = encodeIndexText(c.text);
        EXPECT_EQ(!bytes.startsWith("\xEF\xBB\xBF"), c.windows1252) << qPrintable(c.text);
        EXPECT_EQ(decodeIndexText(bytes), c.text) << qPrintable(c.text);
        EXPECT_EQ(decodeIndexLines(bytes), splitLines(c.text)) << qPrintable(c.text);
    }
}

TEST(TextCodec, SplitLinesAreIndependentStrings) {
    // The lines share one block of text; writing to one must leave the others as they were.
    const QString text = u"eins\r\nzwei\rdrei\n\nvier"_qs;
    const QStringList want = {"eins", "zwei", "drei", "", "vier"};
    for (qsizetype changed = 0; changed < want.size(); ++changed) {
        QStringList lines = splitLines(text);
        ASSERT_EQ(lines, want);
        lines[changed] += u"!";
        lines[changed][0] = u'X';
        QStringList expected = want;
        expected[changed] = u'X' + (want[changed] + u'!').mid(1);
        EXPECT_EQ(lines, expected) << changed;
        // Each line still ends where it should, for code that reads its raw data.
        for (const QString& l : lines)
            EXPECT_EQ(
                std::char_traits<char16_t>::length(reinterpret_cast<const char16_t*>(l.utf16())),
                size_t(l.size()));
    }
    // A single line alone in its block may grow in place.
    QStringList one = splitLines(u"einzeln"_qs);
    one[0].append(QStringLiteral(" und mehr"));
    EXPECT_EQ(one, QStringList({"einzeln und mehr"}));
}

// Decoded in blocks, a text reads as its bytes decoded one at a time, wherever the bytes
// from 0x80 up fall within and around the blocks.
TEST(TextCodec, Windows1252TextDecodesAsItsBytesOneByOne) {
    for (const int length : {0, 1, 7, 8, 31, 32, 33, 63, 64, 65, 100}) {
        for (int high = -1; high < length; ++high) {
            QByteArray bytes;
            for (int i = 0; i < length; ++i)
                bytes.append(char(i == high ? 0x80 + (i % 128) : 'A' + (i % 40)));
            QString want;
            for (const char b : bytes)
                want += decodeWindows1252(QByteArrayView(&b, 1));
            EXPECT_EQ(decodeWindows1252(bytes), want) << length << " " << high;
        }
    }
}

// Every byte value at every place of a block and its neighbours reads as itself alone, among
// ASCII and among Latin-1 letters (blocks without 0x80..0x9F are only widened).
TEST(TextCodec, EveryByteDecodesAsItselfWhereverItFalls) {
    const char fillers[] = {'a', char(0xE9)};
    for (const char filler : fillers) {
        for (int b = 0; b < 256; ++b) {
            for (int at = 0; at < 40; ++at) {
                QByteArray bytes(40, filler);
                bytes[at] = char(b);
                const QString text = decodeWindows1252(bytes);
                ASSERT_EQ(text.size(), 40);
                const char one = char(b);
                EXPECT_EQ(text[at], decodeWindows1252(QByteArrayView(&one, 1)).at(0))
                    << b << " " << at;
                EXPECT_EQ(text[(at + 1) % 40].unicode(), char16_t(uchar(filler))) << b << " " << at;
            }
        }
    }
}

// Splitting finds every break wherever it falls: lines of every length around the blocks the
// breaks are searched in, against a plain walk over the units.
TEST(TextCodec, SplitsLikeAPlainWalkAtEveryPlace) {
    const QString breaks[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n"};
    const auto plainSplit = [](const QString& text) {
        QStringList out;
        QString line;
        qsizetype i = 0;
        bool open = false;
        for (; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c == u'\r' || c == u'\n') {
                out.append(line);
                line.clear();
                open = false;
                if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
                continue;
            }
            line += c;
            open = true;
        }
        if (open) out.append(line);
        return out;
    };
    for (const QString& lineBreak : breaks) {
        for (int first = 0; first < 20; ++first) {
            for (int second = 0; second < 20; second += 3) {
                QString text = QString(first, u'x') + lineBreak + QString(second, u'\u00e4');
                for (const bool trailing : {false, true}) {
                    const QString t = trailing ? text + lineBreak : text;
                    EXPECT_EQ(splitLines(t), plainSplit(t))
                        << first << " " << second << " " << trailing;
                }
            }
        }
    }
}

// Folding in place gives what the library's folding gives: every unit below 0x100 at every
// place of the blocks of eight, among ASCII capitals and Latin-1 letters; a unit beyond
// 0x100 or one that folds to more than one unit is refused, and folding the part-folded
// text with the library then gives the same as folding the original.
TEST(TextCodec, FoldingInPlaceIsTheLibrarysFolding) {
    const QString fillers[] = {"ABCXYZ@[`{ az", "\u00c4\u00d6\u00dc\u00e4\u00b5 Q"};
    for (const QString& filler : fillers) {
        for (int c = 0; c < 0x100; ++c) {
            for (int at = 0; at < 19; ++at) {
                QString text;
                while (text.size() < 19)
                    text += filler;
                text.truncate(19);
                text[at] = QChar(c);
                const QString want = text.toCaseFolded();
                QString folded = text;
                const bool done =
                    textcodec::foldLatin1InPlace(reinterpret_cast<char16_t*>(folded.data()), 19);
                if (done)
                    EXPECT_EQ(folded, want) << c << " " << at;
                else
                    EXPECT_NE(want.size(), 19) << c << " " << at; // only where it grows
                EXPECT_EQ(folded.toCaseFolded(), want) << c << " " << at;
            }
        }
    }
    for (const char16_t beyond :
         {char16_t(0x100), char16_t(0x130), char16_t(0x3A3), char16_t(0x1E9E), char16_t(0xFF21)}) {
        QString text = QStringLiteral("ABC\u00c4 defGHIJ");
        text.append(QChar(beyond));
        text.append(QStringLiteral("KL\u00dc"));
        const QString want = text.toCaseFolded();
        QString folded = text;
        EXPECT_FALSE(
            textcodec::foldLatin1InPlace(reinterpret_cast<char16_t*>(folded.data()), folded.size()))
            << int(beyond);
        EXPECT_EQ(folded.toCaseFolded(), want) << int(beyond);
    }
}

// Copies and joined texts from a pool read as their parts, end in '\0' and change one at a
// time, short and long, across many blocks and after the pool is cleared.
TEST(TextCodec, PooledTextsAreTheirPartsAlone) {
    for (const qsizetype length : {0, 1, 9, 300, 511, 513, 3000}) {
        TextPool pool;
        std::vector<QString> out, want;
        for (int i = 0; i < 40; ++i) {
            const QString a = QString(length, QChar(u'a' + i % 26));
            const QString b = QString::number(i);
            const QStringView parts[] = {a, b};
            QString copies[2], joined;
            pool.copies(parts, 2, copies);
            pool.joined(parts, 2, &joined);
            for (const QString& t : {copies[0], copies[1], joined})
                out.push_back(t);
            want.insert(want.end(), {a, b, a + b});
            if (i == 20) pool.clear();
        }
        for (size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], want[i]) << length << " " << i;
            EXPECT_EQ(out[i].utf16()[out[i].size()], 0);
        }
        // The last text made in a block it now holds alone is written in place or copied;
        // either way, no other text changes.
        pool.clear();
        out.back().append(u"!!");
        want.back().append(u"!!");
        if (!out.front().isEmpty()) {
            out.front()[0] = u'#';
            want.front()[0] = u'#';
        }
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i], want[i]) << length << " " << i;
    }
}

// Every UTF-16 unit has the byte that decodes to it, and only those units have one.
TEST(TextCodec, Windows1252BytesAreExactlyTheDecodedUnits) {
    std::vector<int> byteOf(0x10000, -1);
    for (int b = 0; b < 256; ++b) {
        const char c = char(b);
        byteOf[decodeWindows1252(QByteArrayView(&c, 1)).at(0).unicode()] = b;
    }
    for (int u = 0; u < 0x10000; ++u)
        ASSERT_EQ(windows1252Byte(char16_t(u)), byteOf[size_t(u)]) << u;
}
