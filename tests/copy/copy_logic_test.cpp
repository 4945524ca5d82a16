#include "copy_profiles.h"
#include "m3u_playlist.h"
#include "path_template.h"
#include "settings_store.h"
#include "size_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pathtemplate;

namespace {

const QString home = QStringLiteral("/home/hans");

TEST(PathTemplate, Check) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"/media/musik/%A/%T%E", true},
        {"/media/musik/%a/%t%e", true},
        {"/media/musik/%A/%E", false},   // the extension alone is no file name
        {"/media/musik/%A/%E%F", true},  // ... unless %F names one
        {"/media/musik/%X%F", false},    // %X is no placeholder
        {"/media/musik/%F%", false},     // "%" at the end
        {"/media/musik", false},         // no file part
        {"Musik/%F", false},             // relative
        {"/media//musik/%F", false},     // "//"
        {"/media\\musik/%F", false},     // "\" in a local path
        {"\\\\server\\share\\%F", true}, // a share
        {"\\\\server\\share\\a\\%C\\%F", true},
        {"\\\\server\\%F", false},          // no share name
        {"\\\\server\\share\\\\%F", false}, // "\\" inside
        {"C:\\Music\\%F", false},           // an old drive path
        {"/%?/%D/%P/%M/%F", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckPathTemplate(QString::fromUtf8(c.text)), c.valid) << c.text;
}

TEST(PathTemplate, Correction) {
    const struct {
        const char* text;
        const char* corrected;
    } cases[] = {
        {"/media/musik/%A/%T%E", "/media/musik/%A/%T%E"},
        {"/media/musik/%A/%E", "/media/musik/%A/%F"},
        {"/media/musik/%A/%e", "/media/musik/%A/%F"},
        {"Musik/%F", "/home/hans/Musik/%F"},
        {"/media/musik", "/media/musik/%F"},
        {"/media/musik/", "/media/musik/%F"},
        {"/media/musik/%X%F", "/media/musik/X%F"},
        {"/media/musik/%%F", "/media/musik/%F"},
        {"\\\\server\\share\\%F", "\\\\server\\share\\%F"},
        {"\\\\server\\share", "\\\\server\\share\\%F"},
        {"\\\\server\\share\\\\a\\%E", "\\\\server\\share\\a\\%F"},
        {"C:\\Music", "/home/hans/Music/%F"},
        {"D:\\Musik\\%A\\%T%E", "/home/hans/Musik/%A/%T%E"},
        {":\\Musik\\%F", "/home/hans/Musik/%F"},
        {"/media//musik///%F", "/media/musik/%F"},
        {"~/Musik", "/home/hans/Musik/%F"},
        {"  /media/musik/%F  ", "/media/musik/%F"},
        {"", "/home/hans/%F"},
        {"\\\\server", "/home/hans/server/%F"},
        // The URL form of a share becomes its share path.
        {"smb://nas/musik/%A/%F", "\\\\nas\\musik\\%A\\%F"},
        {"SMB://nas/musik", "\\\\nas\\musik\\%F"},
    };
    for (const auto& c : cases) {
        const QString corrected = CorrectPathTemplate(QString::fromUtf8(c.text), home);
        EXPECT_EQ(corrected, QString::fromUtf8(c.corrected)) << c.text;
        EXPECT_TRUE(CheckPathTemplate(corrected)) << c.text;
    }
    // A home folder with a trailing separator gives no "//".
    EXPECT_EQ(CorrectPathTemplate(QStringLiteral("Musik"), QStringLiteral("/home/hans/")),
              "/home/hans/Musik/%F");
}

TEST(PathTemplate, Expansion) {
    Context ctx;
    ctx.profile = QStringLiteral("Stick");
    ctx.parameter = QStringLiteral("Party");
    ctx.date = QDate(2026, 12, 8);
    ctx.locale = QLocale(QLocale::German, QLocale::Germany);
    const QString innuendo = QStringLiteral("Rock 1:\\Queen\\Queen - Innuendo.mp3");
    const struct {
        const char* tmpl;
        QString line;
        const char* expected;
    } cases[] = {
        {"/media/usb/%P/%C/%A/%T%E", innuendo, "/media/usb/Stick/Rock 1/Queen/Innuendo.mp3"},
        {"/media/usb/%M/%F", innuendo, "/media/usb/MP3/Queen - Innuendo.mp3"},
        {"/m/%a-%t%e", QStringLiteral("X:\\Song.ogg"), "/m/Song-Song.ogg"},
        {"/m/%D/%?/%F", innuendo, "/m/08-12-26/Party/Queen - Innuendo.mp3"},
        {"/m/%F", QStringLiteral("X:\\a\\b\\Readme"), "/m/Readme"},
        {"/m/%C/%T%E", QStringLiteral("A - B:\\x\\A - B - C.flac"), "/m/A - B/B - C.flac"},
        // Hostile values never add path components.
        {"/m/%C/%F", QStringLiteral("../..:\\x\\song.mp3"), "/m/..-../song.mp3"},
        {"/m/%C/%F", QStringLiteral("..:\\x\\song.mp3"), "/m/_/song.mp3"},
        {"/m/%C/%F", QStringLiteral(".:\\x\\song.mp3"), "/m/_/song.mp3"},
        {"/m/%A/%T%E", QStringLiteral("L:\\x\\.. - ...mp3"), "/m/_/_.mp3"},
        {"/m/%C/%F", QStringLiteral("a/b:\\x\\c/d.mp3"), "/m/a-b/c-d.mp3"},
        // A value inserted by one pass is read by the later passes, never by its own.
        {"/m/%C/%F", QStringLiteral("%C%P:\\x\\s.mp3"), "/m/%CStick/s.mp3"},
        // On a share, the characters the server reserves become "_" (a local folder
        // keeps them).
        {"\\\\srv\\z\\%C\\%A\\%T%E", QStringLiteral("Live?:\\x\\AC*DC - What? <Yes>|\"No\".mp3"),
         "\\\\srv\\z\\Live_\\AC_DC\\What_ _Yes___No_.mp3"},
        {"/m/%C/%T%E", QStringLiteral("Live?:\\x\\AC*DC - What?.mp3"), "/m/Live?/What?.mp3"},
        {"\\\\srv\\z\\%C\\%F", QStringLiteral("..:\\x\\a\tb.mp3"), "\\\\srv\\z\\_\\a_b.mp3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandPathTemplate(QString::fromUtf8(c.tmpl), c.line, ctx),
                  QString::fromUtf8(c.expected))
            << c.tmpl << " " << c.line.toStdString();

    // Hostile profile name, parameter and a date format with "/".
    Context hostile = ctx;
    hostile.profile = QStringLiteral("../../etc");
    hostile.parameter = QStringLiteral("..");
    hostile.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(ExpandPathTemplate(QStringLiteral("/m/%P/%?/%D/%F"), innuendo, hostile),
              "/m/..-..-etc/_/12-8-26/Queen - Innuendo.mp3");

    // Results that would leave the template's folder or name no file are refused.
    QString error;
    EXPECT_EQ(
        ExpandPathTemplate(QStringLiteral("/m/.%E"), QStringLiteral("L:\\x\\abc"), ctx, &error),
        QString());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ExpandPathTemplate(QStringLiteral("/m/%C/../../%F"), innuendo, ctx), QString());
    // Nor is a result with a NUL, a ".." left above the root, or a share folder that
    // climbs out of its share.
    const QString nul = QStringLiteral("/m") + QChar(0) + QStringLiteral("/%F");
    const char* const refused[] = {"/m/../../%F", "../%F", "x/../../%F", "\\\\srv\\share\\..\\%F",
                                   "\\\\srv\\share\\.\\..\\%A\\%F"};
    EXPECT_EQ(ExpandPathTemplate(nul, innuendo, ctx), QString());
    for (const char* t : refused)
        EXPECT_EQ(ExpandPathTemplate(QString::fromUtf8(t), innuendo, ctx), QString()) << t;
    EXPECT_EQ(ExpandPathTemplate(QStringLiteral("/m/a/../%F"), innuendo, ctx),
              "/m/Queen - Innuendo.mp3");
    EXPECT_EQ(ExpandPathTemplate(QStringLiteral("\\\\srv\\share\\%C\\%F"),
                                 QStringLiteral("a\\..:\\x\\s.mp3"), ctx),
              "\\\\srv\\share\\a-..\\s.mp3");
}

TEST(PathTemplate, ExpandCommandReplacesOnlyDateProfileAndParameter) {
    Context ctx;
    ctx.profile = QStringLiteral("Stick");
    ctx.parameter = QStringLiteral("x y");
    ctx.date = QDate(2026, 1, 2);
    ctx.locale = QLocale(QLocale::German, QLocale::Germany);
    EXPECT_EQ(ExpandCommand(QStringLiteral("sync %p %F %d \"%?\" %%A"), ctx),
              "sync Stick %F 02.01.26 \"x y\" %%A");
}

TEST(CommandLine, Splitting) {
    const struct {
        const char* text;
        const char* program;
        const char* parameters;
        QStringList arguments;
    } cases[] = {
        {"  eject  /dev/sr0 ", "eject", "/dev/sr0", {"/dev/sr0"}},
        {"\"/opt/my tools/sync\" -a \"b c\"", "/opt/my tools/sync", "-a \"b c\"", {"-a", "b c"}},
        {"/usr/bin/true", "/usr/bin/true", "", {}},
        {"a\"b c\"d e", "ab cd", "e", {"e"}},
        {"", "", "", {}},
    };
    for (const auto& c : cases) {
        const CommandLine cl = SplitCommandLine(QString::fromUtf8(c.text));
        EXPECT_EQ(cl.program, QString::fromUtf8(c.program)) << c.text;
        EXPECT_EQ(cl.parameters, QString::fromUtf8(c.parameters)) << c.text;
        EXPECT_EQ(cl.arguments(), c.arguments) << c.text;
    }
}

TEST(Profiles, RoundTripWithGlyphHalvesAndOrder) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("registry.json"));
    {
        SettingsStore store(file);
        for (const char* name : {"b", "A", "c"}) {
            copyprofiles::Profile p;
            p.name = QString::fromLatin1(name);
            p.path = QStringLiteral("/media/%1/%F").arg(p.name);
            p.playlist = QStringLiteral("/media/%1.m3u").arg(p.name);
            p.command = QStringLiteral("sync %P");
            store.createKey(copyprofiles::kProfilesKey);
            copyprofiles::writeProfile(store, p);
        }
        copyprofiles::Profile glyph;
        glyph.name = QStringLiteral(" Stick ");
        glyph.glyph = QStringLiteral("usb.bmp");
        glyph.glyphData = QByteArray("BM") + QByteArray(1799, 'x'); // 1801 bytes
        copyprofiles::writeProfile(store, glyph);
        copyprofiles::setActiveProfileName(store, QStringLiteral("b"));
        ASSERT_TRUE(store.save());
    }
    SettingsStore store(file);
    ASSERT_TRUE(store.load());
    EXPECT_EQ(copyprofiles::profileNames(store), QStringList({"A", "b", "c", "Stick"}));
    EXPECT_EQ(copyprofiles::activeProfileName(store), "b");
    const copyprofiles::Profile b = copyprofiles::readProfile(store, QStringLiteral("b"));
    EXPECT_EQ(b.path, "/media/b/%F");
    EXPECT_EQ(b.playlist, "/media/b.m3u");
    EXPECT_EQ(b.command, "sync %P");
    EXPECT_FALSE(b.hasGlyphData);
    const QString key = copyprofiles::kProfilesKey + QStringLiteral("\\Stick");
    EXPECT_EQ(store.readBinary(key, QStringLiteral("GlyphData1"))->size(), 900);
    EXPECT_EQ(store.readBinary(key, QStringLiteral("GlyphData2"))->size(), 901);
    const copyprofiles::Profile s = copyprofiles::readProfile(store, QStringLiteral("Stick"));
    EXPECT_TRUE(s.hasGlyphData);
    EXPECT_EQ(s.glyphData, QByteArray("BM") + QByteArray(1799, 'x'));
    EXPECT_EQ(s.glyph, "usb.bmp");

    // Readers take at most 1200 bytes from each half.
    store.writeBinary(key, QStringLiteral("GlyphData1"), QByteArray(1500, '1'));
    store.writeBinary(key, QStringLiteral("GlyphData2"), QByteArray(1300, '2'));
    const QByteArray capped = copyprofiles::readProfile(store, QStringLiteral("Stick")).glyphData;
    EXPECT_EQ(capped, QByteArray(1200, '1') + QByteArray(1200, '2'));

    // A sub key without values loads empty fields.
    store.createKey(copyprofiles::kProfilesKey + QStringLiteral("\\leer"));
    const copyprofiles::Profile empty = copyprofiles::readProfile(store, QStringLiteral("leer"));
    EXPECT_TRUE(empty.path.isEmpty() && empty.playlist.isEmpty() && empty.command.isEmpty());

    // Glyph files only for names that stay in the data folder.
    EXPECT_EQ(copyprofiles::glyphFilePath(QStringLiteral("/d"), QStringLiteral("A")), "/d/A.glyph");
    EXPECT_EQ(copyprofiles::glyphFilePath(QStringLiteral("/d"), QStringLiteral("../x")), "");
    EXPECT_EQ(copyprofiles::glyphFilePath(QStringLiteral("/d"), QStringLiteral("..")), "");
}

TEST(SizeText, HumanAndExact) {
    const QLocale de(QLocale::German, QLocale::Germany);
    const struct {
        qint64 bytes;
        const char* row;
    } cases[] = {
        {512, "512 Byte (512 Byte)"},
        {1023, "1023 Byte (1.023 Byte)"},
        {1536, "1,5 kByte (1.536 Byte)"},
        {5000000, "4,77 MByte (5.000.000 Byte)"},
        {1023000, "0,98 MByte (1.023.000 Byte)"},
        {qint64(3) << 30, "3,00 GByte (3.221.225.472 Byte)"},
        {qint64(2000) << 40, "2000,0 TByte (2.199.023.255.552.000 Byte)"},
        {qint64(5000000) << 40, "5000000 TByte (5.497.558.138.880.000.000 Byte)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sizetext::row(c.bytes, de), QString::fromUtf8(c.row)) << c.bytes;
}

TEST(M3u, LinesDuplicatesAndAtomicWrite) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("liste.m3u"));
    M3uPlaylist pl;
    pl.load(file); // missing file
    EXPECT_EQ(pl.lines(), QStringList({"#EXTM3U"}));
    EXPECT_TRUE(pl.addEntry(222, QStringLiteral("Queen - Innuendo"),
                            QStringLiteral("/m/Queen/Innuendo.mp3")));
    EXPECT_FALSE(pl.addEntry(222, QStringLiteral("Queen - Innuendo"),
                             QStringLiteral("/m/Queen/Innuendo.mp3")));
    EXPECT_TRUE(pl.addEntry(-1, QStringLiteral("Song"), QStringLiteral("/m/Song.ogg")));
    EXPECT_TRUE(pl.addEntry(0, QStringLiteral("Überall"), QStringLiteral("/m/Überall.wav")));
    ASSERT_TRUE(pl.save(file));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              "#EXTM3U\n#EXTINF:222,Queen - Innuendo\n/m/Queen/Innuendo.mp3\n#EXTINF:,Song\n"
              "/m/Song.ogg\n#EXTINF:0,Überall\n/m/Überall.wav\n");
    f.close();

    // Loaded again, the same entries stay single; an old Windows-1252 file reads too.
    M3uPlaylist again;
    again.load(file);
    EXPECT_FALSE(again.addEntry(5, QStringLiteral("Song"), QStringLiteral("/x/Song.ogg")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("#EXTM3U\r\n#EXTINF:3,\xDC"
            "ber\r\nC:\\\xDC"
            "ber.mp3\r\n");
    f.close();
    again.load(file);
    EXPECT_EQ(again.lines(), QStringList({"#EXTM3U", "#EXTINF:3,Über", "C:\\Über.mp3"}));

    // Every entry stays one "#EXTINF" line and one path line, whatever the names.
    const struct {
        QString name;
        QString path;
        bool added;
        const char* info;
    } entries[] = {
        {QStringLiteral("A\r\n/etc/passwd"), QStringLiteral("/m/A.mp3"), true,
         "#EXTINF:7,A  /etc/passwd"},
        {QStringLiteral("B"), QStringLiteral("/m/B\n#EXTINF:1,C"), false, nullptr},
        {QStringLiteral("D"), QStringLiteral("#D.mp3"), false, nullptr},
        {QStringLiteral("E"), QString(), false, nullptr},
        {QStringLiteral("#F"), QStringLiteral("/m/#F.mp3"), true, "#EXTINF:7,#F"},
    };
    // Marks left at the start of an old file are dropped: they would not read back.
    M3uPlaylist marked;
    marked.loadData("\xEF\xBB\xBF\xEF\xBB\xBF#EXTM3U\n");
    EXPECT_EQ(marked.lines(), QStringList({"#EXTM3U"}));
    M3uPlaylist reread;
    reread.loadData(marked.data());
    EXPECT_EQ(reread.lines(), marked.lines());
    for (const auto& e : entries) {
        M3uPlaylist list;
        list.loadData({});
        EXPECT_EQ(list.addEntry(7, e.name, e.path), e.added) << qPrintable(e.name);
        M3uPlaylist read;
        read.loadData(list.data());
        EXPECT_EQ(read.lines(),
                  e.added ? QStringList({"#EXTM3U", e.info, e.path}) : QStringList({"#EXTM3U"}));
    }

    // A playlist that cannot be written leaves the old file whole.
    const QString locked = dir.filePath(QStringLiteral("nodir/liste.m3u"));
    QString error;
    EXPECT_FALSE(again.save(locked, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(locked));
}

} // namespace
