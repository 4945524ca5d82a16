#include "wizard_window.h"

#include "index_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace reapwell;

namespace {

struct RecordingDialogs : WizardDialogs {
    QStringList informations;
    QStringList errors;
    bool confirmCancel(QWidget*) override { return true; }
    void information(QWidget*, const QString& text) override { informations << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
};

struct RunCase {
    RootOption root;
    int type;
    bool connect;
    const char* mediaTypeLine; // empty: none expected
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << (c.root == RootOption::RootFolder ? "root" : "sub") << "/type " << c.type
        << (c.connect ? "/connect" : "");
}

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class FullRunTest : public ::testing::TestWithParam<RunCase> {};

// Finishes the wizard on a real folder tree with the embedded tool, then checks the index
// file and compares it with the file the tool writes when run by hand.
TEST_P(FullRunTest, WritesTheIndexFileWithTheEmbeddedTool) {
    const RunCase& c = GetParam();
    QTemporaryDir media, output, toolTemp, byHand;
    ASSERT_TRUE(media.isValid() && output.isValid() && toolTemp.isValid() && byHand.isValid());
    const QString base = media.filePath("Musik");
    ASSERT_TRUE(touch(base + "/Best/a.mp3"));
    ASSERT_TRUE(touch(base + "/Best/notes.txt"));
    ASSERT_TRUE(touch(base + "/x.OGG"));
    ASSERT_TRUE(touch(base + "/Nur Text/readme.txt"));
    ASSERT_TRUE(QDir().mkpath(base + "/Leer/Tief"));
    const QString savedCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(output.path()));

    auto* dialogs = new RecordingDialogs;
    WizardWindow window(toolTemp.path(), dialogs);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto click = [&window](const char* name) {
        QTest::mouseClick(window.findChild<QPushButton*>(name), Qt::LeftButton);
    };

    click("next");
    window.selectBaseDir(base);
    click("next");
    if (c.root == RootOption::SubFolder) window.findChild<QRadioButton*>("cb_subdir")->click();
    click("next");
    QTest::keyClicks(window.findChild<QLineEdit*>("mediatitle"), "Rock 1");
    click("next");
    window.findChild<QComboBox*>("icon")->setCurrentIndex(c.type);
    window.findChild<QCheckBox*>("cb_connect")->setChecked(c.connect);
    click("next");
    if (window.flow().page() == 5) {
        QTest::keyClicks(window.findChild<QLineEdit*>("netdir"), "\\\\nas\\mp3");
        click("next");
    }
    if (window.flow().page() == 6) {
        auto* url = window.findChild<QLineEdit*>("wwwdir");
        url->end(false);
        QTest::keyClicks(url, "host/mp3");
        click("next");
    }
    ASSERT_EQ(window.flow().page(), 7)
        << window.findChild<QLineEdit*>("wwwdir")->text().toStdString();
    window.findChild<QLineEdit*>("version")->setText("Ausgabe 1");
    click("next");
    ASSERT_EQ(window.flow().page(), 8);
    const ToolParameters parameters = window.flow().parameters(byHand.filePath("info.cdi"));
    click("finish");
    ASSERT_TRUE(QTest::qWaitFor([&window] { return window.isDone(); }, 30000))
        << dialogs->errors.join("\n").toStdString();

    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs->errors.isEmpty());
    EXPECT_EQ(dialogs->informations, QStringList{"Das Medium wurde erfolgreich erstellt."});
    EXPECT_EQ(window.findChild<QLabel*>("heading")->text(), "Medium fertiggestellt");
    EXPECT_EQ(window.findChild<QLabel*>("finishText")->text(),
              "Das Medium \"Rock 1\" wurde erfolgreich erstellt.");
    EXPECT_EQ(window.findChild<QLabel*>("fileCaption")->text(),
              "Die Index-Datei des Mediums ist unter folgendem Namen zu finden:");
    EXPECT_TRUE(QDir(toolTemp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    const QString indexPath = output.filePath("Rock 1.cd");
    QStringList lines;
    ASSERT_TRUE(indexfile::readIndexFile(indexPath, lines, nullptr));
    const QString owner = registeredOwner();
    EXPECT_TRUE(lines.contains("BEGIN::CD"));
    EXPECT_TRUE(lines.contains("LABEL::Rock 1"));
    EXPECT_TRUE(lines.contains("AUTHOR::" + owner));
    EXPECT_TRUE(lines.contains("VERSION::Ausgabe 1"));
    EXPECT_TRUE(lines.contains("COMMENT::Erzeugt mit Reapwell, Version 1.4a"));
    const QStringList typeLines = lines.filter(QRegularExpression("^MEDIATYPE::"));
    if (*c.mediaTypeLine)
        EXPECT_EQ(typeLines, QStringList{QString::fromLatin1(c.mediaTypeLine)});
    else
        EXPECT_TRUE(typeLines.isEmpty());

    const QStringList titles = lines.filter(QRegularExpression("^Rock 1:"));
    if (c.root == RootOption::RootFolder) {
        EXPECT_EQ(titles,
                  (QStringList{"Rock 1:\\Best\\", "Rock 1:\\Best\\a.mp3", "Rock 1:\\x.OGG"}));
    } else {
        // The folder keeps its path below the medium's root.
        ASSERT_EQ(titles.size(), 3);
        EXPECT_TRUE(titles[0].startsWith("Rock 1:\\"));
        EXPECT_TRUE(titles[0].endsWith("\\Musik\\Best\\")) << titles[0].toStdString();
        EXPECT_TRUE(titles[1].endsWith("\\Musik\\Best\\a.mp3"));
        EXPECT_TRUE(titles[2].endsWith("\\Musik\\x.OGG"));
    }

    // The same parameters given to the tool by hand give the same file.
    ASSERT_TRUE(indexfile::writeIndexFile(
        byHand.filePath("info.cdi"),
        indexfile::infoFileLines(owner, "Ausgabe 1", "Erzeugt mit Reapwell, Version 1.4a"),
        nullptr));
    QProcess tool;
    tool.setWorkingDirectory(byHand.path());
    tool.start(TALLYER_PATH, parameters.arguments);
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(readAll(indexPath), readAll(byHand.filePath("Rock 1.cd")));

    QDir::setCurrent(savedCwd);
}

INSTANTIATE_TEST_SUITE_P(
    RootOptionsAndTypes, FullRunTest,
    ::testing::Values(RunCase{RootOption::RootFolder, 0, false, ""},
                      RunCase{RootOption::SubFolder, 4, false, "MEDIATYPE::CDR"},
                      RunCase{RootOption::RootFolder, 6, true, "MEDIATYPE::LAN::\\\\nas\\mp3"},
                      RunCase{RootOption::SubFolder, 7, true, "MEDIATYPE::WWW::http://host/mp3/"},
                      RunCase{RootOption::RootFolder, 7, false, "MEDIATYPE::WWW"}));
