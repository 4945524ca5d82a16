#include "media_access.h"
#include "media_log.h"
#include "media_roots.h"
#include "medium_label.h"
#include "test_peers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

// `idName`: the identification file's name; separators become "-" and "." or ".." "_", as
// in destination paths, so that such a medium can still be found. Empty: none can be named.
TEST(MediumLabels, OnlyLabelsThatStayInTheirFolderNameFiles) {
    const struct {
        QString label;
        bool safe;
        QString idName;
    } cases[] = {
        {"Rock 1", true, "Rock 1.id"},
        {"Mañana – Live", true, "Mañana – Live.id"},
        {"a.b", true, "a.b.id"},
        {"..Punkte..", true, "..Punkte...id"},
        {"...", true, "....id"},
        {" Leer ", true, " Leer .id"},
        {QString(240, u'x'), true, QString(240, u'x') + ".id"},
        {QString(241, u'x'), false, ""},
        {QString(120, u'ä'), true, QString(120, u'ä') + ".id"}, // 240 bytes
        {QString(121, u'ä'), false, ""},
        {"", false, ""},
        {".", false, "_.id"},
        {"..", false, "_.id"},
        {"../x", false, "..-x.id"},
        {"a/b", false, "a-b.id"},
        {"AC/DC", false, "AC-DC.id"},
        {"/etc/passwd", false, "-etc-passwd.id"},
        {"a\\b", false, "a-b.id"},
        {"..\\..\\x", false, "..-..-x.id"},
        {QString(239, u'x') + "/", false, QString(239, u'x') + "-.id"},
        {QString(240, u'x') + "/", false, ""},
        {QString("a") + QChar(0) + "b", false, ""},
        {"zeile\nx", false, ""},
        {QString("tab\tx"), false, ""},
        {QString("del") + QChar(0x7f), false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label.toStdString());
        EXPECT_EQ(mediumlabel::isFileNameSafe(c.label), c.safe);
        const QString name = mediumlabel::fileName(c.label, u".id");
        EXPECT_EQ(name, c.safe ? c.label + ".id" : QString());
        EXPECT_EQ(mediumlabel::idFileName(c.label), c.idName);
        // Exactly the labels without an identification file have a reason.
        EXPECT_EQ(mediumlabel::idFileProblem(c.label).isEmpty(), !c.idName.isEmpty());
        const QString idFile = mediaroots::idFilePath(u"/media/cd/", c.label);
        EXPECT_EQ(idFile, c.idName.isEmpty() ? QString() : "/media/cd/" + c.idName);
    }
}

// A medium whose label holds a separator is found by its identification file with "-"; a
// FIFO in the place of an identification file does not hold up the search.
TEST(MediumLabels, LabelsWithSeparatorsAreFound) {
    QTemporaryDir temp;
    const QString root = temp.filePath("medium");
    ASSERT_TRUE(QDir().mkpath(root));
    QFile id(root + "/AC-DC.id");
    ASSERT_TRUE(id.open(QIODevice::WriteOnly));
    ASSERT_EQ(id.write("MEDIATYPE::USB\r\n"), 16);
    id.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/Rohr.id").constData(), 0600), 0);
    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(root));
    MediaAccess::Options options;
    options.tempDir = temp.filePath("tmp");
    ScriptedPrompts prompts;
    MediaAccess access(options, &prompts);
    for (const QString label : {"AC/DC", "AC\\DC", "AC-DC"}) {
        EXPECT_EQ(access.FindMediumDrive(label), root) << label.toStdString();
        EXPECT_EQ(access.lastFoundType(), 3);
    }
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(access.locateMedium("Rohr"), root); // there, but not read
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(prompts.waits, 0);
    qunsetenv("VORLUNE_MEDIA_ROOTS");
}

// Collects what the media category says.
QStringList* captured = nullptr;
void capture(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (captured && QByteArrayView(context.category) == "vorlune.media") *captured << text;
}

TEST(MediumLabels, FailedChecksAreLoggedUnlessTheCategoryIsOff) {
    EXPECT_TRUE(lcMedia().isWarningEnabled());
    EXPECT_FALSE(lcMedia().isInfoEnabled());
    EXPECT_FALSE(lcMedia().isDebugEnabled());

    QTemporaryDir temp;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString dead = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    MediaAccess::Options options;
    options.tempDir = temp.path();
    ScriptedPrompts prompts;
    MediaAccess access(options, &prompts);

    QStringList lines;
    captured = &lines;
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    QLoggingCategory::setFilterRules(QStringLiteral("vorlune.media.warning=false"));
    access.ConnectWebMedium("Tot", dead); // off: nothing said
    EXPECT_TRUE(lines.isEmpty());
    QLoggingCategory::setFilterRules(QString());
    access.ConnectWebMedium("Tot", dead);
    access.ConnectWebMedium("../weg", dead);
    qInstallMessageHandler(previous);
    captured = nullptr;

    EXPECT_EQ(prompts.warnings.size(), 3); // the user is told either way
    ASSERT_EQ(lines.size(), 2) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines[0].contains(dead)) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("..%2Fweg")) << lines[1].toStdString();
}

} // namespace
