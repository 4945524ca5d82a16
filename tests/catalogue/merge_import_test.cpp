#include "merge_import.h"

#include <gtest/gtest.h>

namespace {
const QString G = "STYLE::#00AA00,BOLD::";
const QString R = "STYLE::#FF0000,STRIKEOUT::";
const QString O = "STYLE::#FFAA00,BOLD,STRIKEOUT::";
} // namespace

TEST(MergeImport, MarksNewTitlesAndTheirFoldersGreen) {
    const QStringList oldLines = {"head", "BEGIN::CD", "LABEL::R", "R:\\A\\", "R:\\A\\1.mp3"};
    const QStringList newLines = {"BEGIN::CD",    "LABEL::R",   "R:\\A\\",
                                  "R:\\A\\1.mp3", "R:\\A\\B\\", "R:\\A\\B\\2.mp3"};
    EXPECT_EQ(MergeImportedIndex(newLines, oldLines),
              QStringList({G + "R:\\A\\", G + "R:\\A\\B\\", G + "R:\\A\\B\\2.mp3"}));
}

TEST(MergeImport, KeepsRemovedTitlesVisibleStruckOutUntilTheNextImport) {
    const QStringList v1 = {"BEGIN::CD", "R:\\A\\", "R:\\A\\1.mp3", "R:\\A\\2.mp3"};
    const QStringList v2 = {"BEGIN::CD", "R:\\A\\", "R:\\A\\1.mp3"};
    const QStringList marks = MergeImportedIndex(v2, v1);
    EXPECT_EQ(marks, QStringList({"R:\\A\\2.mp3", R + "R:\\A\\", R + "R:\\A\\2.mp3"}));

    // The file as written: the downloaded lines plus the marks. Importing v2 again
    // finds the struck-out title and its mark and drops them.
    const QStringList written = v2 + marks;
    EXPECT_TRUE(MergeImportedIndex(v2, written).isEmpty());
}

TEST(MergeImport, FolderThatGainedAndLostTurnsOrange) {
    const QStringList oldLines = {"BEGIN::CD", "R:\\A\\", "R:\\A\\old.mp3"};
    const QStringList newLines = {"BEGIN::CD", "R:\\A\\", "R:\\A\\new.mp3"};
    EXPECT_EQ(
        MergeImportedIndex(newLines, oldLines),
        QStringList({"R:\\A\\old.mp3", G + "R:\\A\\new.mp3", R + "R:\\A\\old.mp3", O + "R:\\A\\"}));
}

TEST(MergeImport, ComparesWithoutCaseAndSkipsTagsHeadsAndDoubleColons) {
    const QStringList oldLines = {"r:\\a\\X.MP3", "LABEL::Old", "R:\\odd::name.mp3"};
    const QStringList newLines = {"junk head", "BEGIN::CD", "R:\\A\\x.mp3", "LABEL::New",
                                  "R:\\other::name.mp3"};
    // Old file has no marker: all its lines count. The head of the new one does not.
    EXPECT_TRUE(MergeImportedIndex(newLines, oldLines).isEmpty());
    // Unchanged file: no marks at all.
    EXPECT_TRUE(MergeImportedIndex(newLines, newLines).isEmpty());
    // Duplicates collapse to one mark.
    EXPECT_EQ(MergeImportedIndex({"R:\\n.mp3", "r:\\N.mp3"}, {}), QStringList({G + "R:\\n.mp3"}));
}
