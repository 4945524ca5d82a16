#include "version_info.h"

#include <gtest/gtest.h>

TEST(VersionInfo, BuildsTextsAndQuery) {
    const MyVersionInfo v = MyVersionInfo::fromStrings("1.4.98.294", "24.3.2007");
    EXPECT_EQ(v.VersionString, QStringLiteral("1.4b (Build 294)"));
    EXPECT_EQ(v.ReleaseDate, QStringLiteral("24-MAR-2007"));
    EXPECT_EQ(v.Query, QStringLiteral("Major=1&Minor=4&Extra=b&Build=294&ReleaseD=24&ReleaseM=3"
                                      "&ReleaseY=2007&VersionString=1.4b (Build 294)"
                                      "&ReleaseDate=24-MAR-2007&"));
    // An extra code outside a..z means no letter; single-digit days are padded.
    const MyVersionInfo w = MyVersionInfo::fromStrings("2.0.0.7", "5.1.2010");
    EXPECT_EQ(w.VersionString, QStringLiteral("2.0 (Build 7)"));
    EXPECT_EQ(w.ReleaseDate, QStringLiteral("05-JAN-2010"));
    // No version data: everything empty.
    const MyVersionInfo none = MyVersionInfo::fromStrings(QString(), QString());
    EXPECT_EQ(none.Major, 0);
    EXPECT_TRUE(none.VersionString.isEmpty());
    EXPECT_TRUE(none.Query.isEmpty());
}

TEST(VersionInfo, CurrentBuildIsOneFiveA) {
    const MyVersionInfo& v = MyVersionInfo::current();
    EXPECT_EQ(v.VersionString, QStringLiteral("1.5a (Build 300)"));
    EXPECT_EQ(v.Extra, QStringLiteral("a"));
    EXPECT_TRUE(v.Query.endsWith(u'&'));
}
