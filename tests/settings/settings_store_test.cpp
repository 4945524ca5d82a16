#include "settings_store.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

const QString kKey = QStringLiteral("Software\\Vorlune");

TEST(SettingsStore, KeysAndValueNamesIgnoreCaseAndKeepInsertionOrder) {
    SettingsStore s(QString{});
    s.writeInteger(kKey, QStringLiteral("Zeta"), 1);
    s.writeText(QStringLiteral("SOFTWARE\\vorlune"), QStringLiteral("Alpha"), QStringLiteral("a"));
    s.writeInteger(kKey, QStringLiteral("zeta"), 7); // same value, keeps its place
    s.writeBinary(kKey, QStringLiteral("Mid"), QByteArray("\x00\x01", 2));
    EXPECT_EQ(s.valueNames(kKey), (QStringList{QStringLiteral("Zeta"), QStringLiteral("Alpha"),
                                               QStringLiteral("Mid")}));
    EXPECT_EQ(s.readInteger(QStringLiteral("software\\VORLUNE"), QStringLiteral("ZETA")), 7);
    EXPECT_EQ(s.readBinary(kKey, QStringLiteral("mid")), QByteArray("\x00\x01", 2));
    // A read of another type finds nothing.
    EXPECT_FALSE(s.readInteger(kKey, QStringLiteral("Alpha")).has_value());
    EXPECT_FALSE(s.readText(kKey, QStringLiteral("Zeta")).has_value());
    EXPECT_TRUE(s.keyExists(QStringLiteral("Software")));

    s.deleteValue(kKey, QStringLiteral("ZETA"));
    EXPECT_EQ(s.valueNames(kKey), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Mid")}));
    EXPECT_EQ(s.readText(kKey, QStringLiteral("alpha")), QStringLiteral("a"));
}

TEST(SettingsStore, DeleteKeyTakesSubKeysButNotSiblingsWithTheSamePrefix) {
    SettingsStore s(QString{});
    s.writeInteger(kKey + QStringLiteral("\\Streaming"), QStringLiteral("Enabled"), 1);
    s.writeInteger(kKey + QStringLiteral("\\Profiles\\A"), QStringLiteral("X"), 1);
    s.writeInteger(QStringLiteral("Software\\VorluneOther"), QStringLiteral("Y"), 2);
    EXPECT_EQ(s.subKeys(kKey),
              (QStringList{QStringLiteral("Streaming"), QStringLiteral("Profiles")}));
    s.deleteKey(QStringLiteral("software\\vorlune"));
    EXPECT_FALSE(s.keyExists(kKey));
    EXPECT_FALSE(s.keyExists(kKey + QStringLiteral("\\Profiles\\A")));
    EXPECT_EQ(s.readInteger(QStringLiteral("Software\\VorluneOther"), QStringLiteral("Y")), 2);
}

TEST(SettingsStore, FileRoundTripKeepsTypesOrderAndBackslashNamesWithMode0600) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.json"));
    const QString brain = kKey + QStringLiteral("\\BrainMRU");
    const QString line = QStringLiteral("Rock 1:\\Band\\Album\\01 - Lied.mp3");
    {
        SettingsStore s(path);
        s.writeText(brain, line, QString());
        s.writeText(brain, QStringLiteral("Ä:\\ö\\\"quoted\".mp3"), QString());
        s.writeInteger(kKey, QStringLiteral("Neg"), -5);
        s.writeInteger(kKey, QStringLiteral("Big"), qint32(0xFFFFFFFFu));
        s.writeBinary(kKey, QStringLiteral("Bin"), QByteArray("\xff\x00z", 3));
        s.writeText(kKey, QString(), QStringLiteral("default value"));
        ASSERT_TRUE(s.save());
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    SettingsStore r(path);
    ASSERT_TRUE(r.load());
    EXPECT_EQ(r.valueNames(brain), (QStringList{line, QStringLiteral("Ä:\\ö\\\"quoted\".mp3")}));
    EXPECT_EQ(r.readInteger(kKey, QStringLiteral("Neg")), -5);
    EXPECT_EQ(r.readInteger(kKey, QStringLiteral("Big")), -1);
    EXPECT_EQ(r.readBinary(kKey, QStringLiteral("Bin")), QByteArray("\xff\x00z", 3));
    EXPECT_EQ(r.readText(kKey, QString()), QStringLiteral("default value"));
}

TEST(SettingsStore, CorruptOrMalformedFileIsMovedAsideAndDefaultsUsed) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.json"));
    const QByteArray samples[] = {
        "{ not json",
        R"({"keys":[{"path":"Software\\Vorlune","values":[{"name":"A","type":"integer","data":"x"}]}]})",
        R"({"keys":[{"path":"Software\\Vorlune","values":[{"name":"A","type":"integer","data":1e20}]}]})",
        R"({"keys":[{"path":"","values":[]}]})",
        R"({"keys":[{"path":"K","values":[{"name":"B","type":"binary","data":"@@@"}]}]})",
        R"({"keys":[{"path":"K","values":[{"name":"C","type":"qword","data":1}]}]})",
    };
    for (const QByteArray& sample : samples) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(sample);
        f.close();
        SettingsStore s(path);
        QString aside;
        EXPECT_TRUE(s.load(&aside)) << sample.constData();
        EXPECT_FALSE(s.keyExists(kKey)) << sample.constData();
        EXPECT_FALSE(QFile::exists(path)) << sample.constData();
        ASSERT_FALSE(aside.isEmpty());
        // Told once at start, naming both places; the store may write a fresh file.
        EXPECT_TRUE(s.resetNotice().contains(path) && s.resetNotice().contains(aside));
        EXPECT_TRUE(s.mayWrite());
        QFile moved(aside);
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
        EXPECT_EQ(moved.readAll(), sample);
        moved.close();
        QFile::remove(aside);
    }
}

TEST(SettingsStore, MissingFileIsAnEmptyStore) {
    QTemporaryDir dir;
    SettingsStore s(dir.filePath(QStringLiteral("none.json")));
    EXPECT_TRUE(s.load());
    EXPECT_TRUE(s.valueNames(kKey).isEmpty());
}

TEST(SettingsStore, KeyPathsBeyondTheRegistryLimitsMakeTheFileUnreadable) {
    auto fileWithKey = [](const QString& path) {
        QJsonObject value{{"name", "V"}, {"type", "integer"}, {"data", 7}};
        QJsonObject key{{"path", path}, {"values", QJsonArray{value}}};
        return QJsonDocument(QJsonObject{{"format", 1}, {"keys", QJsonArray{key}}}).toJson();
    };
    auto pathOf = [](int depth, int partLength) {
        QStringList parts(depth, QString(partLength, u'k'));
        return parts.join(u'\\');
    };
    struct Case {
        int depth;
        int partLength;
        bool loads;
    };
    const Case cases[] = {
        {SettingsStore::MaxKeyDepth, 1, true},
        {SettingsStore::MaxKeyDepth + 1, 1, false},
        {2, SettingsStore::MaxKeyPartLength, true},
        {2, SettingsStore::MaxKeyPartLength + 1, false},
    };
    for (const Case& c : cases) {
        const QString path = pathOf(c.depth, c.partLength);
        SettingsStore s{QString()};
        ASSERT_EQ(s.loadFromData(fileWithKey(path)), c.loads) << c.depth << " " << c.partLength;
        EXPECT_EQ(s.readInteger(path, QStringLiteral("V")).has_value(), c.loads);
        if (!c.loads) {
            EXPECT_TRUE(s.subKeys(QString()).isEmpty());
            continue;
        }
        // Every parent was created, top down, and the store reads back what it writes.
        QString parent = path.section(u'\\', 0, 0);
        for (int d = 1; d < c.depth; ++d) {
            const QStringList sub = s.subKeys(parent);
            ASSERT_EQ(sub.size(), 1) << d;
            parent += u'\\' + sub.first();
        }
        EXPECT_EQ(parent, path);
        SettingsStore again{QString()};
        ASSERT_TRUE(again.loadFromData(s.toData()));
        EXPECT_EQ(again.toData(), s.toData());
    }
}

} // namespace

namespace {

// A settings file that could not be read, or that its owner made read-only, is
// reported once and never written over.
TEST(SettingsStore, FilesThatCannotBeReadOrAreReadOnlyAreNeverWrittenOver) {
    const QByteArray valid =
        R"({"format":1,"keys":[{"path":"Software\\Vorlune","values":[{"name":"SplitPos","type":"integer","data":321}]}]})";
    struct Case {
        const char* name;
        std::function<void(const QString& path)> make;
        bool loads;       // load() returns true
        bool keepsValues; // SplitPos was read
        bool protectedFile;
    };
    const Case cases[] = {
        {"a folder in its place", [](const QString& p) { ASSERT_TRUE(QDir().mkpath(p)); }, false,
         false, true},
        {"a dangling link",
         [](const QString& p) { ASSERT_TRUE(QFile::link(p + QStringLiteral(".weg"), p)); }, false,
         false, true},
        {"read-only",
         [&valid](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(valid);
             f.close();
             ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0444), 0);
         },
         true, true, true},
        {"writable",
         [&valid](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(valid);
         },
         true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("registry.json"));
        c.make(path);
        const QFileInfo before(path);
        const QByteArray contentBefore = before.isFile() ? [&path] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }()
                                                         : QByteArray();
        SettingsStore s(path);
        EXPECT_EQ(s.load(), c.loads);
        EXPECT_EQ(s.readInteger(kKey, QStringLiteral("SplitPos")).has_value(), c.keepsValues);
        EXPECT_EQ(s.loadWarning().isEmpty(), !c.protectedFile);
        if (c.protectedFile) {
            EXPECT_TRUE(s.loadWarning().contains(path));
        }
        s.writeInteger(kKey, QStringLiteral("SplitPos"), 99);
        QString error;
        EXPECT_EQ(s.save(&error), !c.protectedFile);
        const QFileInfo after(path);
        EXPECT_EQ(after.isDir(), before.isDir());
        EXPECT_EQ(after.isSymLink(), before.isSymLink());
        if (c.protectedFile) {
            EXPECT_EQ(error, s.loadWarning());
            if (before.isFile()) {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                EXPECT_EQ(f.readAll(), contentBefore);
            }
            // Nothing was left beside it either.
            EXPECT_EQ(QDir(dir.path())
                          .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)
                          .filter(QStringLiteral("registry.json."))
                          .size(),
                      0);
        } else {
            SettingsStore reread(path);
            ASSERT_TRUE(reread.load());
            EXPECT_EQ(reread.readInteger(kKey, QStringLiteral("SplitPos")), 99);
        }
    }
}

} // namespace

namespace {

// Counts the keys below `key` by walking subKeys() as the settings walkers do.
int countBelow(const SettingsStore& s, const QString& key) {
    int count = 0;
    for (const QString& sub : s.subKeys(key))
        count += 1 + countBelow(s, key.isEmpty() ? sub : key + u'\\' + sub);
    return count;
}

// Keys written without stray backslashes are taken as they are; written with them, they
// name the same key.
TEST(SettingsStore, StrayBackslashesNameTheSameKey) {
    SettingsStore s{QString()};
    s.writeInteger(QStringLiteral("Software\\Vorlune\\X"), QStringLiteral("a"), 7);
    const struct {
        const char* key;
        bool exists;
        bool holdsValue;
    } cases[] = {
        {"Software\\Vorlune\\X", true, true},   {"\\Software\\Vorlune\\X\\", true, true},
        {"software\\\\vorlune\\x", true, true}, {"\\\\SOFTWARE\\Vorlune\\\\X\\\\", true, true},
        {"Software\\Vorlune", true, false},     {"Software\\Vorlune\\X\\Y", false, false},
        {"Software\\VorluneX", false, false},   {"\\", false, false}};
    for (const auto& c : cases) {
        const QString key = QString::fromUtf8(c.key);
        EXPECT_EQ(s.keyExists(key), c.exists) << c.key;
        EXPECT_EQ(s.readInteger(key, QStringLiteral("A")).value_or(0), c.holdsValue ? 7 : 0)
            << c.key;
    }
    EXPECT_EQ(s.subKeys(QStringLiteral("\\software\\")), QStringList{"Vorlune"});
}

TEST(SettingsStore, WalkingSubKeysCostsEachKeyOnce) {
    // subKeys() used to look at every key of the store: walking a wide or deep store
    // took time in the square of its keys (a 1 kB file fed to the parser took seconds).
    struct Case {
        const char* name;
        int siblings;
        int depth;
    } cases[] = {{"wide", 30000, 1}, {"deep", 1, 510}, {"both", 300, 100}};
    for (const Case& c : cases) {
        SettingsStore s{QString()};
        QString chain = QStringLiteral("Root");
        for (int d = 0; d < c.depth; ++d) {
            chain += QStringLiteral("\\Ebene");
            for (int i = 0; i < c.siblings; ++i)
                s.createKey(chain + QStringLiteral("\\K") + QString::number(i));
        }
        const int keys = 1 + c.depth * (1 + c.siblings);
        EXPECT_EQ(countBelow(s, QString()), keys) << c.name;
        EXPECT_EQ(s.subKeys(QStringLiteral("root\\ebene")).size(),
                  c.siblings + (c.depth > 1 ? 1 : 0))
            << c.name;
    }
    // Sub keys keep their creation order, also after a deletion, and case does not matter.
    SettingsStore s{QString()};
    for (const char* k : {"A\\z", "A\\b", "A\\Y\\1", "A\\c", "B"})
        s.createKey(QString::fromUtf8(k));
    s.deleteKey(QStringLiteral("a\\B"));
    EXPECT_EQ(s.subKeys(QStringLiteral("a")), (QStringList{"z", "Y", "c"}));
    EXPECT_EQ(s.subKeys(QString()), (QStringList{"A", "B"}));
    s.createKey(QStringLiteral("a\\b"));
    EXPECT_EQ(s.subKeys(QStringLiteral("A")), (QStringList{"z", "Y", "c", "b"}));
}

} // namespace

namespace {

// Hostile files: what is not a regular file is not read (a FIFO would hang the start, a
// device never end), and deep paths cannot make loading or the next save explode.
TEST(SettingsStore, OnlyRegularFilesAreReadAndOnlyUpToTheBound) {
    struct Case {
        const char* name;
        std::function<bool(const QString& path)> make;
    } cases[] = {
        {"FIFO without a writer",
         [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
        {"link to /dev/zero",
         [](const QString& p) { return QFile::link(QStringLiteral("/dev/zero"), p); }},
        {"link to a FIFO",
         [](const QString& p) {
             return ::mkfifo(QFile::encodeName(p + QStringLiteral(".fifo")).constData(), 0600) ==
                        0 &&
                    QFile::link(p + QStringLiteral(".fifo"), p);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("registry.json"));
        ASSERT_TRUE(c.make(path));
        SettingsStore s(path);
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(s.load());
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_FALSE(s.mayWrite());
        EXPECT_TRUE(s.loadWarning().contains(path));
        s.writeInteger(kKey, QStringLiteral("X"), 1);
        EXPECT_FALSE(s.save());
    }
}

TEST(SettingsStore, DeepHostilePathsCostAtMostAFewTimesTheFileSize) {
    // Many distinct chains of short parts, as deep as allowed: each path implies a parent
    // key per part, every one holding its full path.
    auto chains = [](int count, int depth) {
        QJsonArray keys;
        for (int i = 0; i < count; ++i) {
            QStringList parts(depth, QStringLiteral("k"));
            parts[0] = QString::number(i);
            keys.append(QJsonObject{{"path", parts.join(u'\\')}, {"values", QJsonArray{}}});
        }
        return QJsonDocument(QJsonObject{{"format", 1}, {"keys", keys}}).toJson();
    };
    struct Case {
        const char* name;
        QByteArray data;
        bool loads;
    } cases[] = {
        {"few shallow chains", chains(50, 6), true},
        {"many shallow chains", chains(5000, 4), true},
        {"deep chains", chains(64, SettingsStore::MaxKeyDepth), false},
        {"a megabyte of deep chains", chains(700, SettingsStore::MaxKeyDepth), false},
        {"one deep chain", chains(1, SettingsStore::MaxKeyDepth), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore s{QString()};
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(s.loadFromData(c.data), c.loads);
        EXPECT_LT(clock.elapsed(), 1000);
        // What the store would write again stays near the file's size and loads again.
        const QByteArray saved = s.toData();
        EXPECT_LT(saved.size(), 8 * c.data.size() + 4 * 1024 * 1024) << saved.size();
        SettingsStore again{QString()};
        EXPECT_TRUE(again.loadFromData(saved));
        EXPECT_EQ(again.toData(), saved);
    }
}

} // namespace

namespace {

// Every key below `key` in walking order, as "path: name=type/data, ...".
void dumpBelow(const SettingsStore& s, const QString& key, QStringList& out) {
    for (const QString& sub : s.subKeys(key)) {
        const QString path = key.isEmpty() ? sub : key + u'\\' + sub;
        QString line = path + u':';
        for (const QString& name : s.valueNames(path)) {
            const SettingsStore::Value* v = s.value(path, name);
            line += u' ' + name + u'=' + QString::number(int(v->type)) + u'/' +
                    QString::number(v->integer) + v->text + QString::fromLatin1(v->binary.toHex());
        }
        out.append(line);
        dumpBelow(s, path, out);
    }
}

// A saved file leaves out the empty parents that loading their sub keys creates again; what
// loads is the same store, keys in the same order and spelling.
TEST(SettingsStore, SavedFileLeavesOutParentsThatLoadingCreatesAgain) {
    using Step = std::function<void(SettingsStore&)>;
    auto create = [](const char* key) -> Step {
        return [key](SettingsStore& s) { s.createKey(QString::fromUtf8(key)); };
    };
    auto write = [](const char* key) -> Step {
        return [key](SettingsStore& s) {
            s.writeInteger(QString::fromUtf8(key), QStringLiteral("V"), 5);
        };
    };
    auto remove = [](const char* key) -> Step {
        return [key](SettingsStore& s) { s.deleteKey(QString::fromUtf8(key)); };
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int keysWritten;
    } cases[] = {
        {"deep chain with a value at the end", {write("A\\B\\C\\D")}, 1},
        {"empty chain", {create("A\\B\\C")}, 1},
        {"parent spelt otherwise than its sub key", {create("A"), create("a\\x")}, 2},
        {"sibling between parent and sub key", {create("A"), create("B"), create("A\\x")}, 3},
        {"parent holding a value", {write("A"), create("A\\x")}, 2},
        {"parents of several sub keys", {create("A\\x"), create("A\\y\\z"), write("A\\w")}, 3},
        {"first sub key deleted", {create("A\\x"), create("A\\y"), remove("A\\x")}, 1},
        {"sub key with its own sub key deleted",
         {create("A\\x\\g"), create("B"), create("A\\z"), remove("A\\x")},
         3},
        {"name sharing a prefix", {create("Ab"), create("Abc\\d")}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore s{QString()};
        for (const Step& step : c.steps)
            step(s);
        QStringList before;
        dumpBelow(s, QString(), before);
        const QByteArray saved = s.toData();
        const QJsonArray keys = QJsonDocument::fromJson(saved).object().value("keys").toArray();
        EXPECT_EQ(keys.size(), c.keysWritten) << saved.constData();
        SettingsStore again{QString()};
        ASSERT_TRUE(again.loadFromData(saved));
        QStringList after;
        dumpBelow(again, QString(), after);
        EXPECT_EQ(after, before);
        EXPECT_EQ(again.toData(), saved);
    }
}

} // namespace

namespace {

// Whatever loads saves a file that loads again into the same store, however much smaller
// the saved file is than the one read.
TEST(SettingsStore, WhatLoadsSavesAFileThatLoadsAgain) {
    // `count` chains as deep as allowed; every level listed, or only the deepest one with
    // `padding` blanks after it.
    auto chains = [](int count, bool everyLevel, int padding) {
        QJsonArray keys;
        for (int i = 0; i < count; ++i) {
            QStringList parts(SettingsStore::MaxKeyDepth, QStringLiteral("k"));
            parts[0] = QString::number(i);
            for (int d = everyLevel ? 1 : SettingsStore::MaxKeyDepth;
                 d <= SettingsStore::MaxKeyDepth; ++d)
                keys.append(QJsonObject{{"path", QStringList(parts.mid(0, d)).join(u'\\')},
                                        {"values", QJsonArray{}}});
        }
        return QJsonDocument(QJsonObject{{"format", 1}, {"keys", keys}}).toJson() +
               QByteArray(padding, ' ');
    };
    struct Case {
        const char* name;
        QByteArray data;
    } cases[] = {
        {"every level of many chains listed", chains(40, true, 0)},
        {"a few chains and blanks", chains(5, false, 16 * 1024)},
        {"one chain", chains(1, false, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore s{QString()};
        ASSERT_TRUE(s.loadFromData(c.data));
        QStringList before;
        dumpBelow(s, QString(), before);
        const QByteArray saved = s.toData();
        SettingsStore again{QString()};
        ASSERT_TRUE(again.loadFromData(saved)) << saved.size();
        QStringList after;
        dumpBelow(again, QString(), after);
        EXPECT_EQ(after, before);
        EXPECT_EQ(again.toData(), saved);
    }
}

} // namespace
