#include "folded_prefix.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>

using namespace foldedprefix;

TEST(FoldedMap, TextsOfOneHashAreToldApartAndReplaced) {
    // Hashes forced into a few buckets, so that most texts share one with others.
    QRandomGenerator rng(20261210);
    FoldedMap<int> map;
    std::map<QString, std::pair<quint64, int>> want;
    for (int round = 0; round < 2000; ++round) {
        const QString text = QString::number(rng.bounded(300));
        const quint64 hash = quint64(text.toInt() % 7);
        const int value = int(rng.bounded(1000));
        const bool isNew = want.find(text) == want.end();
        EXPECT_EQ(map.insert(text, hash, value), isNew) << text.toStdString();
        want[text] = {hash, value};
    }
    EXPECT_EQ(map.size(), qsizetype(want.size()));
    for (const auto& [text, hv] : want) {
        const int* found = map.find(text, hv.first);
        ASSERT_NE(found, nullptr) << text.toStdString();
        EXPECT_EQ(*found, hv.second) << text.toStdString();
        // The right text under another hash is not found, nor another text under this one.
        EXPECT_EQ(map.find(text, hv.first + 7), nullptr);
        EXPECT_FALSE(map.contains(text + u'x', hv.first));
    }
}

TEST(FoldedSet, PrefixHashesMatchTheHashOfThePrefix) {
    const QString texts[] = {u""_qs, u"a"_qs, u"r:\\pop\\abba\\waterloo.mp3"_qs,
                             QString::fromUtf8("m\xC3\xBCller\\\xF0\x9F\x8E\xB5\\x")};
    for (const QString& text : texts) {
        PrefixHashes hashes(text);
        FoldedSet set;
        for (qsizetype len = 0; len <= text.size(); ++len) {
            EXPECT_EQ(hashes.of(len), PrefixHashes::hashOf(QStringView(text).left(len)));
            set.insert(text.left(len));
        }
        for (qsizetype len = 0; len <= text.size(); ++len)
            EXPECT_TRUE(set.contains(QStringView(text).left(len), hashes.of(len)));
        EXPECT_FALSE(set.contains(text + u'\\'));
    }
}
