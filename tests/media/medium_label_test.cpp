#include "media_access.h"
#include "media_log.h"
#include "media_roots.h"
#include "medium_label.h"
#include "test_peers.h"

#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(MediumLabels, OnlyLabelsThatStayInTheirFolderNameFiles) {
    const struct {
        QString label;
        bool safe;
    } cases[] = {
        {"Rock 1", true},
        {"Mañana – Live", true},
        {"a.b", true},
        {"..Punkte..", true},
        {"...", true},
        {" Leer ", true},
        {QString(240, u'x'), true},
        {QString(241, u'x'), false},
        {QString(120, u'ä'), true}, // 240 bytes
        {QString(121, u'ä'), false},
        {"", false},
        {".", false},
        {"..", false},
        {"../x", false},
        {"a/b", false},
        {"/etc/passwd", false},
        {"a\\b", false},
        {"..\\..\\x", false},
        {QString("a") + QChar(0) + "b", false},
        {"zeile\nx", false},
        {QString("tab\tx"), false},
        {QString("del") + QChar(0x7f), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label.toStdString());
        EXPECT_EQ(mediumlabel::isFileNameSafe(c.label), c.safe);
        const QString name = mediumlabel::fileName(c.label, u".id");
        EXPECT_EQ(name, c.safe ? c.label + ".id" : QString());
        const QString idFile = mediaroots::idFilePath(u"/media/cd/", c.label);
        EXPECT_EQ(idFile, c.safe ? "/media/cd/" + c.label + ".id" : QString());
    }
}

// Collects what the media category says.
QStringList* captured = nullptr;
void capture(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (captured && QByteArrayView(context.category) == "vorlune.media") *captured << text;
}

TEST(MediumLabels, FailedChecksAreLoggedWhenTheCategoryIsOn) {
    EXPECT_FALSE(lcMedia().isWarningEnabled());
    EXPECT_FALSE(lcMedia().isDebugEnabled());
    EXPECT_TRUE(lcMedia().isCriticalEnabled());

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
    access.ConnectWebMedium("Tot", dead); // off: nothing said
    EXPECT_TRUE(lines.isEmpty());
    QLoggingCategory::setFilterRules(QStringLiteral("vorlune.media.warning=true"));
    access.ConnectWebMedium("Tot", dead);
    access.ConnectWebMedium("../weg", dead);
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    captured = nullptr;

    EXPECT_EQ(prompts.warnings.size(), 3); // the user is told either way
    ASSERT_EQ(lines.size(), 2) << lines.join(" | ").toStdString();
    EXPECT_TRUE(lines[0].contains(dead)) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("..%2Fweg")) << lines[1].toStdString();
}

} // namespace
