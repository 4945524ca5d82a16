// Every writer of the user's files on a small file system: with room it writes exactly
// its bytes; full, or with room for only a part, it fails with a reason, the old file
// keeps its contents and nothing is left beside it.
#include "atomic_file.h"
#include "data_js.h"
#include "desktop_integration.h"
#include "desktop_shortcut.h"
#include "index_file.h"
#include "m3u_playlist.h"
#include "merkzettel_sharing.h"
#include "settings_store.h"
#include "small_file_system.h"
#include "stream_log.h"
#include "text_codec.h"
#include "web_pages.h"

#include <QFileInfo>

#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// About 60 kB of title lines with umlauts, so that a write needs many pages.
QStringList manyTitles() {
    QStringList lines;
    for (int i = 0; i < 1200; ++i)
        lines.append(QStringLiteral("Künstler %1:\\Alben\\Größte Hits\\Titel %1.mp3").arg(i));
    return lines;
}

struct Writer {
    const char* name;
    QString file; // in the folder; the writer's own name when empty
    // Writes into `folder`; the file written, empty on failure with `error` set.
    std::function<QString(const QString& folder, QString* error)> write;
    QByteArray expected; // what the file holds afterwards
    QByteArray old = {}; // the file before, when it must be of a certain kind
};

QString written(bool ok, const QString& path) {
    return ok ? path : QString();
}

std::vector<Writer> writers() {
    std::vector<Writer> all;
    const QStringList titles = manyTitles();

    const QByteArray raw = QByteArray(70000, 'x') + "Ende";
    all.push_back({"atomic write", QStringLiteral("roh.bin"),
                   [raw](const QString& folder, QString* error) {
                       const QString p = folder + QStringLiteral("/roh.bin");
                       return written(atomicfile::write(p, raw, error), p);
                   },
                   raw});

    all.push_back({"index file", QStringLiteral("Medium.cd"),
                   [titles](const QString& folder, QString* error) {
                       const QString p = folder + QStringLiteral("/Medium.cd");
                       return written(indexfile::writeIndexFile(p, titles, error), p);
                   },
                   textcodec::encodeIndexText(textcodec::joinLinesCrLf(titles))});

    MerkzettelSharing::Context context{QStringLiteral("Anna"), QStringLiteral("1.0"),
                                       QDateTime(QDate(2026, 12, 9), QTime(11, 0))};
    all.push_back(
        {"saved Merkzettel", QStringLiteral("Gemerkt.cd"),
         [titles, context](const QString& folder, QString* error) {
             const QString p = folder + QStringLiteral("/Gemerkt.cd");
             return written(MerkzettelSharing::save(p, titles, context, error), p);
         },
         textcodec::encodeIndexText(textcodec::joinLinesCrLf(indexfile::savedMerkzettelLines(
             context.owner, MerkzettelSharing::dateTimeText(context.now), context.versionString,
             titles)))});

    auto store = std::make_shared<SettingsStore>(QString());
    for (int i = 0; i < titles.size(); ++i)
        store->writeText(QStringLiteral("Software\\Vorlune\\BrainMRU"), titles[i],
                         QString::number(i));
    all.push_back({"settings", QStringLiteral("registry.json"),
                   [titles](const QString& folder, QString* error) {
                       SettingsStore s(folder + QStringLiteral("/registry.json"));
                       for (int i = 0; i < titles.size(); ++i)
                           s.writeText(QStringLiteral("Software\\Vorlune\\BrainMRU"), titles[i],
                                       QString::number(i));
                       return written(s.save(error), s.filePath());
                   },
                   store->toData()});

    auto playlist = std::make_shared<M3uPlaylist>();
    for (int i = 0; i < titles.size(); ++i)
        playlist->addEntry(i, titles[i], QStringLiteral("/musik/") + QString::number(i));
    all.push_back({"M3U playlist", QStringLiteral("Liste.m3u"),
                   [playlist](const QString& folder, QString* error) {
                       const QString p = folder + QStringLiteral("/Liste.m3u");
                       return written(playlist->save(p, error), p);
                   },
                   playlist->data()});

    const QString js = titles.join(QStringLiteral("\r\n"));
    all.push_back({"data.js", QStringLiteral("data.js"),
                   [js](const QString& folder, QString* error) {
                       const QString p = folder + QStringLiteral("/data.js");
                       return written(datajs::write(p, js, error), p);
                   },
                   datajs::encode(js)});

    const QString html = QStringLiteral("<html><body>") + js + QStringLiteral("</body></html>");
    all.push_back({"web page", QString(),
                   [html](const QString& folder, QString* error) {
                       webpages::PageWriter pages(folder, folder, QString());
                       const webpages::PageWriter::Result r = pages.writeHtml(html);
                       *error = r.error;
                       // The writer deletes its pages when it goes: keep a copy.
                       if (r.file.isEmpty() ||
                           !QFile::copy(r.file, r.file + QStringLiteral(".kopie")))
                           return QString();
                       return r.file + QStringLiteral(".kopie");
                   },
                   html.toUtf8()});

    const QString exe = QStringLiteral("/opt/vorlune dir/vorlune");
    all.push_back({"URL scheme entry", QStringLiteral("vorlune.desktop"),
                   [exe](const QString& folder, QString* error) {
                       // Without the cache updater on the path: it would run detached and
                       // write into the folder while the next step removes it.
                       const QByteArray path = qgetenv("PATH");
                       qputenv("PATH", "");
                       const bool ok =
                           desktopintegration::registerUrlScheme(exe, folder, {}, error);
                       qputenv("PATH", path);
                       return written(ok, folder + QStringLiteral("/vorlune.desktop"));
                   },
                   desktopintegration::desktopEntryText(exe).toUtf8(),
                   // An entry of ours for another path: one we did not write is kept.
                   desktopintegration::desktopEntryText(QStringLiteral("/alt/vorlune")).toUtf8()});

    all.push_back({"desktop shortcut", QStringLiteral("vorlune.desktop"),
                   [exe](const QString& folder, QString* error) {
                       QString path;
                       return written(desktopshortcut::create(
                                          folder, exe, QStringLiteral("vorlune"), &path, error),
                                      path);
                   },
                   desktopshortcut::entryText(exe, QStringLiteral("vorlune")).toUtf8()});
    return all;
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs.mounted()) GTEST_SKIP() << fs.why().toStdString();
    }
    SmallFileSystem fs{256};
};

TEST_F(FullDisk, EveryWriterWritesAllItsBytesOrKeepsTheOldFile) {
    const QByteArray old = QByteArray("ALT\r\n").repeated(166);
    // Full: not one page left. Part: room for a few pages of the many the new file needs.
    for (const qint64 room : {qint64(0), qint64(3 * 4096)}) {
        for (const Writer& w : writers()) {
            // Room for a part only makes sense for files bigger than that room.
            if (room > 0 && w.expected.size() < 4 * room) continue;
            SCOPED_TRACE(std::string(w.name) + (room ? ", room for a part" : ", full"));
            const QString folder = fs.filePath(QString::fromLatin1(w.name).replace(u' ', u'_'));
            ASSERT_TRUE(QDir().mkpath(folder));
            const QString target = w.file.isEmpty() ? QString() : folder + u'/' + w.file;
            const QByteArray& before_bytes = w.old.isEmpty() ? old : w.old;
            if (!target.isEmpty()) {
                ASSERT_TRUE(putFile(target, before_bytes));
            }
            const QStringList before = fs.entries(folder);

            ASSERT_TRUE(fs.fill(room));
            QString error;
            const QString path = w.write(folder, &error);
            EXPECT_TRUE(path.isEmpty()) << "claimed as written: " << path.toStdString();
            EXPECT_FALSE(error.isEmpty());
            if (!target.isEmpty()) {
                EXPECT_EQ(fileBytes(target), before_bytes);
            }
            EXPECT_EQ(fs.entries(folder), before);

            fs.release();
            error.clear();
            const QString again = w.write(folder, &error);
            ASSERT_FALSE(again.isEmpty()) << error.toStdString();
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(fileBytes(again), w.expected);
            ASSERT_TRUE(QDir(folder).removeRecursively());
        }
    }
}

TEST_F(FullDisk, TheStreamingLogNeverKeepsAPartOfALine) {
    StreamLog log;
    const QString path = fs.filePath(QStringLiteral("stream.log"));
    log.setPath(path);
    const QString text(6000, u'ä'); // 12 kB a line: more than the two pages left
    ASSERT_TRUE(log.append(QStringLiteral("erste")));
    ASSERT_TRUE(fs.fill(4096));
    EXPECT_FALSE(log.append(text));
    EXPECT_FALSE(log.lastError().isEmpty());
    fs.release();
    EXPECT_TRUE(log.append(QStringLiteral("dritte")));
    EXPECT_TRUE(log.lastError().isEmpty());
    const QList<QByteArray> lines = fileBytes(path).split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines and the empty rest after the last LF
    EXPECT_TRUE(lines[0].endsWith("\terste"));
    EXPECT_TRUE(lines[1].endsWith("\tdritte"));
    EXPECT_TRUE(lines[2].isEmpty());
}

} // namespace

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// What a write keeps of the file it replaces and where it goes, without a full disk.
TEST(AtomicFile, ModesLinksAndFoldersThatCannotTakeTheFile) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("liste.cd"));
    ASSERT_TRUE(putFile(file, "alt"));
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    ASSERT_TRUE(atomicfile::write(file, "neu"));
    EXPECT_EQ(modeOf(file), 0640u);
    ASSERT_TRUE(atomicfile::write(file, "geheim", nullptr, {.mode = 0600}));
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(fileBytes(file), "geheim");

    // A link stays a link; the file it names gets the contents.
    const QString link = dir.filePath(QStringLiteral("verweis.cd"));
    ASSERT_TRUE(QFile::link(file, link));
    ASSERT_TRUE(atomicfile::write(link, "über den Verweis"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(fileBytes(file), "über den Verweis");

    struct Case {
        const char* name;
        QString path;
    } cases[] = {
        {"missing folder", dir.filePath(QStringLiteral("fehlt/datei"))},
        {"a folder in the way", dir.path()},
        {"a file as folder", file + QStringLiteral("/datei")},
        {"name too long", dir.filePath(QString(300, u'n'))},
    };
    for (const Case& c : cases) {
        QString reason;
        EXPECT_FALSE(atomicfile::write(c.path, "x", &reason)) << c.name;
        EXPECT_FALSE(reason.isEmpty()) << c.name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"liste.cd", "verweis.cd"}));
}

} // namespace
