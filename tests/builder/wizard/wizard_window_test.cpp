#include "wizard_window.h"

#include "index_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace reapwell;

namespace {

struct StubDialogs : WizardDialogs {
    int confirmations = 0;
    bool confirmAnswer = false;
    QStringList informations;
    QStringList errors;
    QString infoFile;
    QString outputDir;

    bool confirmCancel(QWidget*) override {
        ++confirmations;
        return confirmAnswer;
    }
    void information(QWidget*, const QString& text) override { informations << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    QString infoFileToOpen(QWidget*) override { return infoFile; }
    QString outputFolder(QWidget*, const QString&) override { return outputDir; }
};

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

bool writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class WizardWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(toolTemp.isValid());
        ASSERT_TRUE(media.isValid());
        ASSERT_TRUE(output.isValid());
        savedCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(output.path()));
        dialogs = new StubDialogs;
        window = std::make_unique<WizardWindow>(toolTemp.path(), dialogs);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        dialogs->confirmAnswer = true;
        window.reset();
        QDir::setCurrent(savedCwd);
    }

    template <class T> T* child(const char* name) const {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    QString heading() const { return child<QLabel>("heading")->text(); }
    QWidget* focus() const { return window->focusWidget(); }
    bool tempIsEmpty() const {
        return QDir(toolTemp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
    }

    // From the welcome page to the type page with the media folder and a label.
    void toTypePage(const QString& label = "Rock") {
        click("next");
        window->selectBaseDir(media.path());
        click("next");
        click("next");
        QTest::keyClicks(child<QLineEdit>("mediatitle"), label);
        click("next");
        ASSERT_EQ(window->flow().page(), 4);
    }

    QTemporaryDir toolTemp, media, output;
    QString savedCwd;
    StubDialogs* dialogs = nullptr;
    std::unique_ptr<WizardWindow> window;
};

TEST_F(WizardWindowTest, ShowsTheWelcomePageWithItsDefaults) {
    EXPECT_EQ(window->windowTitle(), "Reapwell");
    EXPECT_EQ(heading(), "Medium erstellen");
    EXPECT_TRUE(button("next")->isVisible());
    EXPECT_TRUE(button("next")->isEnabled());
    EXPECT_FALSE(button("back")->isEnabled());
    EXPECT_FALSE(button("finish")->isVisible());
    EXPECT_EQ(button("cancel")->text(), "&Abbrechen");
    EXPECT_EQ(button("back")->text(), u8("&Zurück"));
    EXPECT_EQ(button("next")->text(), "W&eiter");
    EXPECT_EQ(button("finish")->text(), "F&ertig!");
    EXPECT_EQ(focus(), button("next"));

    auto* icon = child<QComboBox>("icon");
    ASSERT_EQ(icon->count(), 8);
    EXPECT_EQ(icon->currentIndex(), 0);
    EXPECT_EQ(icon->itemText(0), u8("(Standard-Datenträgersymbol)"));
    EXPECT_EQ(icon->itemText(2), u8("USB-fähiges Wiedergabe- / Massenspeichergerät"));
    EXPECT_EQ(icon->itemText(7), u8("Web-Laufwerk (HTTP/FTP)"));
    EXPECT_FALSE(child<QCheckBox>("cb_connect")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("cb_rootdir")->isChecked());
    EXPECT_EQ(child<QLineEdit>("author")->text(), registeredOwner());
    EXPECT_EQ(child<QLineEdit>("version")->text(), "%HTMLDATETIME%");
    EXPECT_EQ(child<QLineEdit>("comment")->text(), "Erzeugt mit Reapwell, Version 1.4a");
    EXPECT_EQ(child<QLineEdit>("wwwdir")->text(), "http://");
    EXPECT_EQ(child<QLineEdit>("mediatitle")->maxLength(), 60);
    EXPECT_EQ(child<QLineEdit>("wwwdir")->maxLength(), 2048);
    EXPECT_EQ(child<QLineEdit>("comment")->maxLength(), 4000);
}

TEST_F(WizardWindowTest, WalksThePagesWithRulesHeadingsAndFocus) {
    click("next");
    EXPECT_EQ(heading(), u8("Verzeichnis wählen"));
    EXPECT_TRUE(button("back")->isEnabled());
    EXPECT_FALSE(button("next")->isEnabled());
    EXPECT_EQ(focus(), child<QTreeView>("basedir"));
    window->selectBaseDir(media.filePath("missing"));
    EXPECT_FALSE(button("next")->isEnabled());
    window->selectBaseDir(media.path());
    EXPECT_TRUE(button("next")->isEnabled());
    EXPECT_EQ(window->flow().baseDir(), media.path());

    click("next");
    EXPECT_EQ(heading(), "Zielort festlegen");
    EXPECT_EQ(focus(), child<QRadioButton>("cb_rootdir"));
    // Clicking the explanatory text selects its button.
    QTest::mouseClick(child<QLabel>("subdirText"), Qt::LeftButton);
    EXPECT_TRUE(child<QRadioButton>("cb_subdir")->isChecked());
    EXPECT_EQ(window->flow().rootOption(), RootOption::SubFolder);

    click("next");
    EXPECT_EQ(heading(), "Medien-Bezeichnung");
    EXPECT_EQ(focus(), child<QLineEdit>("mediatitle"));
    EXPECT_FALSE(button("next")->isEnabled());
    QTest::keyClicks(child<QLineEdit>("mediatitle"), "Rock");
    EXPECT_TRUE(button("next")->isEnabled());

    click("next");
    EXPECT_EQ(heading(), "Medientyp");
    EXPECT_EQ(focus(), child<QComboBox>("icon"));
    click("next");
    EXPECT_EQ(heading(), u8("Zusätzliche Angaben"));
    EXPECT_EQ(focus(), child<QLineEdit>("author"));
    click("next");
    EXPECT_EQ(heading(), u8("Eingaben vollständig"));
    EXPECT_FALSE(button("next")->isVisible());
    EXPECT_TRUE(button("finish")->isVisible());
    EXPECT_EQ(focus(), button("finish"));
    EXPECT_EQ(child<QLabel>("fileName")->text(), output.path() + "/Rock.cd");

    click("back");
    click("back");
    EXPECT_EQ(heading(), "Medientyp");
    click("back");
    // Entering a field selects its text.
    EXPECT_EQ(child<QLineEdit>("mediatitle")->selectedText(), "Rock");
    click("back");
    // The root option survives the page changes.
    EXPECT_TRUE(child<QRadioButton>("cb_subdir")->isChecked());
    EXPECT_EQ(focus(), child<QRadioButton>("cb_subdir"));
    click("back");
    EXPECT_TRUE(button("next")->isEnabled());
    click("back");
    EXPECT_FALSE(button("back")->isEnabled());
    EXPECT_EQ(focus(), button("next"));
}

TEST_F(WizardWindowTest, TypeListEnablesTheConnectBoxAndSelectsTheExtraPages) {
    toTypePage();
    auto* icon = child<QComboBox>("icon");
    auto* connectBox = child<QCheckBox>("cb_connect");
    for (int type = 0; type < 8; ++type) {
        icon->setCurrentIndex(type);
        EXPECT_EQ(connectBox->isEnabled(), type >= 6) << type;
        EXPECT_EQ(child<QLabel>("connectText")->isEnabled(), type >= 6) << type;
    }

    // Type 5: pages 5 and 6 are skipped both ways.
    icon->setCurrentIndex(5);
    connectBox->setChecked(true);
    click("next");
    EXPECT_EQ(window->flow().page(), 7);
    click("back");
    EXPECT_EQ(window->flow().page(), 4);

    icon->setCurrentIndex(6);
    click("next");
    EXPECT_EQ(heading(), "Netzwerk-Ressource");
    EXPECT_EQ(focus(), child<QLineEdit>("netdir"));
    EXPECT_FALSE(button("next")->isEnabled());
    QTest::keyClicks(child<QLineEdit>("netdir"), "\\\\nas");
    EXPECT_FALSE(button("next")->isEnabled());
    QTest::keyClicks(child<QLineEdit>("netdir"), "\\mp3");
    EXPECT_TRUE(button("next")->isEnabled());
    click("next");
    EXPECT_EQ(window->flow().page(), 7);
    click("back");
    click("back");
    EXPECT_EQ(window->flow().page(), 4);

    connectBox->setChecked(false);
    click("next");
    EXPECT_EQ(window->flow().page(), 7);
    click("back");

    connectBox->setChecked(true);
    icon->setCurrentIndex(7);
    click("next");
    EXPECT_EQ(heading(), "Web-Verzeichnis");
    auto* url = child<QLineEdit>("wwwdir");
    EXPECT_EQ(focus(), url);
    EXPECT_FALSE(button("next")->isEnabled());
    url->end(false);
    QTest::keyClicks(url, "host");
    EXPECT_EQ(url->text(), "http://host/");
    EXPECT_EQ(url->cursorPosition(), 11);
    EXPECT_TRUE(button("next")->isEnabled());
    QTest::keyClicks(url, "/mp3");
    EXPECT_EQ(url->text(), "http://host/mp3/");
    EXPECT_EQ(url->cursorPosition(), 15);
    url->setCursorPosition(11);
    QTest::keyClicks(url, ":8080");
    EXPECT_EQ(url->text(), "http://host:8080/mp3/");
    EXPECT_FALSE(button("next")->isEnabled());
    url->setText("www.example.org/mp3");
    EXPECT_EQ(url->text(), "www.example.org/mp3/");
    EXPECT_FALSE(button("next")->isEnabled());
    click("back");
    click("next");
    // Mended after the forward move, and the typing rule applies to it.
    EXPECT_EQ(url->text(), "http://www.example.org/mp3/");
    EXPECT_TRUE(button("next")->isEnabled());
}

TEST_F(WizardWindowTest, LabelIsCleanedWhileTypingAndTheCaretStays) {
    click("next");
    window->selectBaseDir(media.path());
    click("next");
    click("next");
    auto* label = child<QLineEdit>("mediatitle");
    QTest::keyClicks(label, "Rock");
    label->setCursorPosition(2);
    QTest::keyClick(label, ':');
    EXPECT_EQ(label->text(), "Rock");
    EXPECT_EQ(label->cursorPosition(), 2);
    QTest::keyClick(label, '/');
    EXPECT_EQ(label->text(), "Rock");
    EXPECT_EQ(label->cursorPosition(), 2);
    label->end(false);
    QTest::keyClicks(label, "  Pop");
    EXPECT_EQ(label->text(), "Rock Pop");
    label->home(false);
    QTest::keyClicks(label, "  ");
    EXPECT_EQ(label->text(), "Rock Pop");
    EXPECT_EQ(label->cursorPosition(), 0);
    label->selectAll();
    QTest::keyClicks(label, "?");
    EXPECT_EQ(label->text(), "");
    EXPECT_FALSE(button("next")->isEnabled());
}

TEST_F(WizardWindowTest, CancellingOnAnyPageAsksFirst) {
    toTypePage();
    child<QComboBox>("icon")->setCurrentIndex(7);
    child<QCheckBox>("cb_connect")->setChecked(true);
    click("next");
    QTest::keyClicks(child<QLineEdit>("wwwdir"), "host");
    // Pages 6, 7, 8, then back to 0.
    for (int move : {1, 1, 0, -1, -1, -1, -1, -1, -1, -1, -1}) {
        const int asked = dialogs->confirmations;
        click("cancel");
        EXPECT_EQ(dialogs->confirmations, asked + 1);
        EXPECT_TRUE(window->isVisible()) << "page " << window->flow().page();
        if (move > 0) click("next");
        if (move < 0) click("back");
    }
    EXPECT_EQ(window->flow().page(), 0);
    window->close(); // the close box asks as well
    EXPECT_TRUE(window->isVisible());
    dialogs->confirmAnswer = true;
    click("cancel");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WizardWindowTest, TakesAuthorVersionAndCommentFromAFile) {
    const QString path = media.filePath("Jazz.cd");
    ASSERT_TRUE(writeFile(path, "*** TALLYER\r\n\r\nBEGIN::CD\r\nLABEL::Jazz\r\nAUTHOR::Herr "
                                "M\xFCller\r\nCOMMENT::<b>Alt</b>\r\nJazz:\\a.mp3\r\n"));
    dialogs->infoFile = path;
    emit child<QLabel>("infoLink")->linkActivated("#");
    EXPECT_EQ(child<QLineEdit>("author")->text(), u8("Herr Müller"));
    EXPECT_EQ(child<QLineEdit>("version")->text(), ""); // line 2 of the file
    EXPECT_EQ(child<QLineEdit>("comment")->text(), "<b>Alt</b>");

    dialogs->infoFile = media.filePath("gone.txt");
    emit child<QLabel>("infoLink")->linkActivated("#");
    EXPECT_EQ(dialogs->errors.size(), 1);
    EXPECT_EQ(child<QLineEdit>("author")->text(), u8("Herr Müller"));

    dialogs->infoFile.clear(); // the dialog was cancelled
    emit child<QLabel>("infoLink")->linkActivated("#");
    EXPECT_EQ(dialogs->errors.size(), 1);
}

TEST_F(WizardWindowTest, ChangingTheOutputFolderRenamesTheIndexFile) {
    toTypePage("Rock");
    click("next");
    click("next");
    ASSERT_EQ(window->flow().page(), 8);
    auto* fileName = child<QLabel>("fileName");
    EXPECT_TRUE(fileName->toolTip().isEmpty());

    const QString deep = output.filePath(QString(30, 'x') + "/" + QString(30, 'y') + "/" +
                                         QString(30, 'z') + "/" + QString(30, 'w'));
    ASSERT_TRUE(QDir().mkpath(deep));
    dialogs->outputDir = deep;
    click("changeDir");
    EXPECT_EQ(QDir::currentPath(), deep);
    EXPECT_EQ(focus(), button("finish"));
    // Too long for the field: shortened, with the full name as its hint.
    EXPECT_EQ(fileName->toolTip(), deep + "/Rock.cd");
    EXPECT_TRUE(fileName->text().contains(QChar(0x2026))) << fileName->text().toStdString();
    EXPECT_LT(fileName->text().size(), fileName->toolTip().size());

    dialogs->outputDir.clear(); // cancelled: nothing changes
    click("changeDir");
    EXPECT_EQ(QDir::currentPath(), deep);
}

TEST_F(WizardWindowTest, AFailingToolIsReportedAndTheInputCanBeCorrected) {
    // A stand-in tool that fails slowly enough to watch the waiting state.
    const QString tool = media.filePath("failing.sh");
    ASSERT_TRUE(writeFile(tool, "#!/bin/sh\nsleep 0.3\necho ' Fehler:   Kaputt'\nexit 2\n"));
    window->setToolResource(tool);
    toTypePage("Rock");
    click("next");
    click("next");
    click("finish");

    EXPECT_TRUE(window->isRunning());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_EQ(heading(), "Bitte warten...");
    EXPECT_EQ(child<QLabel>("finishText")->text(), shownText(waitingText("Rock")));
    for (const char* name : {"cancel", "back", "finish", "changeDir"})
        EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_EQ(QDir(toolTemp.path()).entryList(QDir::Files).size(), 2);
    window->close(); // ignored while the tool runs
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs->confirmations, 0);

    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->isRunning(); }, 20000));
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors.first().contains("Kaputt"));
    EXPECT_TRUE(dialogs->errors.first().contains("2"));
    EXPECT_TRUE(dialogs->informations.isEmpty());
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isDone());
    EXPECT_EQ(heading(), u8("Eingaben vollständig"));
    for (const char* name : {"cancel", "back", "finish", "changeDir"})
        EXPECT_TRUE(button(name)->isEnabled()) << name;
    EXPECT_TRUE(tempIsEmpty());

    // A tool that cannot be found is reported the same way.
    window->setToolResource(media.filePath("missing"));
    click("finish");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->isRunning(); }, 20000));
    EXPECT_EQ(dialogs->errors.size(), 2);
    EXPECT_TRUE(button("finish")->isEnabled());
    EXPECT_TRUE(tempIsEmpty());
}

TEST_F(WizardWindowTest, SuccessNeedsTheIndexFileTheToolWrote) {
    // Ends with code 0 but writes nothing: reported, the wizard stays open.
    const QString silent = media.filePath("silent.sh");
    ASSERT_TRUE(writeFile(silent, "#!/bin/sh\nexit 0\n"));
    window->setToolResource(silent);
    toTypePage("Rock ");
    click("next");
    click("next");
    click("finish");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->isRunning(); }, 20000));
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors.first().contains("Rock .cd"));
    EXPECT_FALSE(window->isDone());

    // Writes the file under the trimmed label: done, the window closes.
    const QString writing = media.filePath("writing.sh");
    ASSERT_TRUE(writeFile(writing, "#!/bin/sh\necho x > Rock.cd\nexit 0\n"));
    window->setToolResource(writing);
    click("finish");
    ASSERT_TRUE(QTest::qWaitFor([this] { return window->isDone(); }, 20000));
    EXPECT_EQ(dialogs->errors.size(), 1);
    EXPECT_EQ(dialogs->informations, QStringList{"Das Medium wurde erfolgreich erstellt."});
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs->confirmations, 0);
    EXPECT_TRUE(QFile::exists(output.filePath("Rock.cd")));
    EXPECT_TRUE(tempIsEmpty());
}

// The folder tree opens at the home folder, with the folders above it expanded; the
// home folder is the current item but not chosen, so "W&eiter" waits for the user.
TEST(WizardFolderTree, OpensAtTheHomeFolderWithoutChoosingIt) {
    QTemporaryDir toolTemp, home;
    ASSERT_TRUE(QDir(home.path()).mkpath("Musik"));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    {
        WizardWindow window(toolTemp.path(), new StubDialogs);
        window.show();
        QTest::mouseClick(window.findChild<QPushButton*>("next"), Qt::LeftButton);
        auto* tree = window.findChild<QTreeView*>("basedir");
        ASSERT_NE(tree, nullptr);
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        ASSERT_NE(model, nullptr);
        const QModelIndex start = model->index(QDir::cleanPath(home.path()));
        ASSERT_TRUE(start.isValid());
        for (QModelIndex i = start; i.isValid(); i = i.parent())
            EXPECT_TRUE(tree->isExpanded(i)) << qPrintable(model->filePath(i));
        EXPECT_EQ(tree->currentIndex(), start);
        EXPECT_TRUE(tree->selectionModel()->selectedRows().isEmpty());
        EXPECT_FALSE(window.findChild<QPushButton*>("next")->isEnabled());
    }
    qputenv("HOME", savedHome);
}
