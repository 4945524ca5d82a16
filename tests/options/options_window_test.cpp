#include "options_fixture.h"

#include "command_panel.h"
#include "commands.h"
#include "copy_integration.h"
#include "copy_profiles.h"
#include "mail_password.h"
#include "quick_search.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace {

using OptionsWindow = OptionsWindowFixture;

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

TEST_F(OptionsWindow, MenuItemsAndButtonsOpenTheirPages) {
    auto w = shown();
    TForm5* d = dialog(*w);
    struct Case {
        const char* item; // menu item, or empty for a button
        QAbstractButton* button;
        int page;
    };
    const Case cases[] = {
        {"Profileverwalten1", nullptr, 0}, {"Klngendern1", nullptr, 1},
        {"Suchverhalten1", nullptr, 2},    {"Befehleanpassen1", nullptr, 3},
        {"Streaming1", nullptr, 4},        {"Sonstiges1", nullptr, 5},
        {"", w->commands->opt_btn, 3},     {"", w->newprof, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item[0] ? c.item : qPrintable(c.button->objectName()));
        if (c.button) {
            ASSERT_TRUE(c.button->isEnabled());
            c.button->click();
        } else {
            QAction* a = w->action(c.item);
            ASSERT_TRUE(a && a->isEnabled());
            a->trigger();
        }
        ASSERT_TRUE(d->isVisible());
        EXPECT_TRUE(d->isModal());
        EXPECT_EQ(d->currentPage(), c.page);
        EXPECT_EQ(d->PageControl1->tabText(c.page),
                  QStringList({"Profile", "Klänge", "Suche", "Befehle", "Streaming", "Sonstiges"})
                      .value(c.page));
        d->closeButton->click();
        EXPECT_FALSE(d->isVisible());
    }
    // Through the command table, as web pages and remote control do.
    EXPECT_TRUE(w->commandTable().run(cmd::Options, "2"));
    EXPECT_EQ(d->currentPage(), 2);
    d->closeButton->click();
}

TEST_F(OptionsWindow, PagesComeBackAfterARestart) {
    auto w = shown();
    TForm5* d = dialog(*w);
    QTemporaryDir sounds;
    const QString ding = sounds.filePath("ding.wav");
    QFile(ding).open(QIODevice::WriteOnly);

    d->openOn(optionspages::Sounds);
    EXPECT_FALSE(d->soundPlay[0]->isEnabled());
    d->soundFields[0]->setText(ding);
    EXPECT_TRUE(d->soundPlay[0]->isEnabled());
    d->soundFields[3]->setText(sounds.filePath("fehlt.wav"));
    EXPECT_FALSE(d->soundPlay[3]->isEnabled());

    d->PageControl1->setCurrentIndex(optionspages::Search);
    EXPECT_FALSE(d->reslimitcnt->isEnabled());
    d->reslimit->setChecked(true);
    EXPECT_TRUE(d->reslimitcnt->isEnabled());
    d->reslimitcnt->setValue(120);
    d->nomedia->setChecked(true);
    d->nosyntax->setChecked(true);
    // The quick-search box switches at once.
    EXPECT_TRUE(w->quickSearch()->options().nosyntax);

    d->PageControl1->setCurrentIndex(optionspages::Commands);
    QListWidgetItem* actions = d->cmdpanels->findItems("Aktionen", Qt::MatchExactly).value(0);
    ASSERT_TRUE(actions);
    actions->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(w->commands->group("Aktionen")->isHidden());
    actions->setCheckState(Qt::Checked);
    // Shown again, it moved below the others.
    EXPECT_FALSE(w->commands->group("Aktionen")->isHidden());
    auto* column = static_cast<QVBoxLayout*>(w->commands->widget()->layout());
    EXPECT_EQ(column->indexOf(w->commands->group("Aktionen")), column->count() - 2);
    d->cmdpanels->findItems("Lautstärke", Qt::MatchExactly).value(0)->setCheckState(Qt::Unchecked);
    d->closeButton->click();
    // Leaving the pages wrote them at once.
    EXPECT_EQ(store->readBool(appsettings::kHiddenPanelsKey, "Lautstärke"), true);
    EXPECT_FALSE(store->hasValue(appsettings::kHiddenPanelsKey, "Aktionen"));
    EXPECT_EQ(store->readInteger(appsettings::kMainKey, "SearchLimitCount"), 120);

    restart(w);
    d = dialog(*w);
    EXPECT_TRUE(w->commands->group("Lautstärke")->isHidden());
    EXPECT_TRUE(w->quickSearch()->options().nosyntax);
    EXPECT_TRUE(w->quickSearch()->options().reslimit);
    EXPECT_EQ(w->quickSearch()->options().reslimitcnt, 120);
    d->openOn(optionspages::Search);
    EXPECT_TRUE(d->reslimit->isChecked());
    EXPECT_EQ(d->reslimitcnt->value(), 120);
    EXPECT_TRUE(d->nomedia->isChecked());
    EXPECT_FALSE(d->minln->isChecked());
    EXPECT_EQ(d->minlncnt->value(), 3);
    d->PageControl1->setCurrentIndex(optionspages::Commands);
    EXPECT_EQ(d->cmdpanels->findItems("Lautstärke", Qt::MatchExactly).value(0)->checkState(),
              Qt::Unchecked);
    EXPECT_EQ(d->cmdpanels->findItems("Aktionen", Qt::MatchExactly).value(0)->checkState(),
              Qt::Checked);
    d->PageControl1->setCurrentIndex(optionspages::Sounds);
    EXPECT_EQ(d->soundFields[0]->text(), ding);
    EXPECT_EQ(d->soundFields[3]->text(), sounds.filePath("fehlt.wav"));
    d->closeButton->click();
}

TEST_F(OptionsWindow, ProfilesMadeUsedAndDeleted) {
    auto w = shown();
    TForm5* d = dialog(*w);
    QTemporaryDir pictures;
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(pictures.filePath("rot.png")));
    d->setFilePrompt([&](const QString&, const QString&, const QString&) {
        return pictures.filePath("rot.png");
    });

    EXPECT_TRUE(w->newprof->isVisible());
    w->newprof->click();
    ASSERT_EQ(d->currentPage(), 0);
    EXPECT_EQ(d->profnames->currentText(), "(Neues Profil)");
    EXPECT_FALSE(d->btn_save->isEnabled());
    const QImage standard = d->iconPicture();
    d->profnames->setEditText("Stick");
    EXPECT_TRUE(d->btn_save->isEnabled());
    EXPECT_FALSE(d->btn_del->isEnabled());
    d->dir_text->setText("/media/stick/");
    d->dir_text->setCursorPosition(d->dir_text->text().size());
    d->placeholderButtons[6]->click(); // "Profil-Name"
    d->dir_text->insert("/");
    d->placeholderButtons[2]->click(); // "Dateiname"
    EXPECT_EQ(d->dir_text->text(), "/media/stick/%P/%F");
    d->cmd_text->setText("echo");
    d->chooseIcon();
    EXPECT_NE(d->iconPicture(), standard);
    d->btn_save->click();

    const copyprofiles::Profile p = copyprofiles::readProfile(*store, "Stick");
    EXPECT_EQ(p.path, "/media/stick/%P/%F");
    EXPECT_EQ(p.command, "echo");
    EXPECT_EQ(p.glyph, pictures.filePath("rot.png"));
    QImage glyph;
    ASSERT_TRUE(glyph.loadFromData(p.glyphData));
    EXPECT_EQ(glyph.size(), QSize(24, 24));
    EXPECT_EQ(glyph.pixelColor(5, 5), QColor(Qt::red));
    ASSERT_EQ(w->copying()->profileButtons().size(), 1);
    EXPECT_EQ(w->copying()->profileButtons().first()->toolTip(), "Stick");
    EXPECT_FALSE(w->newprof->isVisible());
    EXPECT_TRUE(d->btn_del->isEnabled());

    // Overwriting asks; No keeps the stored profile.
    messages.clear();
    answers = {QMessageBox::No};
    d->dir_text->setText("/anders/%F");
    d->btn_save->click();
    EXPECT_EQ(messages.value(0),
              "Das Profil \"Stick\" existiert bereits.\n\rSoll es überschrieben werden?");
    EXPECT_EQ(copyprofiles::readProfile(*store, "Stick").path, "/media/stick/%P/%F");
    answers = {QMessageBox::Ok};
    d->btn_save->click();
    EXPECT_EQ(copyprofiles::readProfile(*store, "Stick").path, "/anders/%F");

    // The profile button is used for copying: a click loads its destination.
    w->copying()->profileButtons().first()->click();
    EXPECT_EQ(w->dir_text->text(), "/anders/%F");

    // A Glyph naming a missing file shows the default picture.
    store->writeText(copyprofiles::kProfilesKey + "\\Stick", "Glyph", "/fehlt/bild.png");
    d->profnames->setEditText("Stic");
    d->profnames->setEditText("Stick");
    EXPECT_EQ(d->iconPicture(), standard);

    // Deleting asks, removes the picture file and the button.
    const QString glyphFile = copyprofiles::glyphFilePath(env.dataDir(), "Stick");
    QFile(glyphFile).open(QIODevice::WriteOnly);
    messages.clear();
    answers = {QMessageBox::Ok};
    d->btn_del->click();
    EXPECT_EQ(messages.value(0), "Das Profil \"Stick\" wirklich löschen?");
    EXPECT_FALSE(QFile::exists(glyphFile));
    EXPECT_FALSE(store->keyExists(copyprofiles::kProfilesKey + "\\Stick"));
    EXPECT_TRUE(w->copying()->profileButtons().isEmpty());
    EXPECT_TRUE(w->newprof->isVisible());
    EXPECT_EQ(d->profnames->currentText(), "(Neues Profil)");
    d->closeButton->click();
}

TEST_F(OptionsWindow, HousekeepingButtons) {
    auto w = shown();
    TForm5* d = dialog(*w);
    w->quickSearch()->setMru({"beatles", "queen"});
    w->pl_text->addItem("/tmp/liste.m3u");
    store->writeText(appsettings::kQuickSearchMruKey, "beatles", "");
    store->writeText(appsettings::kPlaylistMruKey, "/tmp/liste.m3u", "");
    d->openOn(optionspages::Misc);
    ASSERT_TRUE(d->btn_clearsearch->isEnabled());
    ASSERT_TRUE(d->btn_clearplaylists->isEnabled());

    struct Case {
        QPushButton* button;
        QMessageBox::StandardButton answer;
        QString key;
        bool cleared;
    };
    const Case cases[] = {
        {d->btn_clearsearch, QMessageBox::No, appsettings::kQuickSearchMruKey, false},
        {d->btn_clearsearch, QMessageBox::Ok, appsettings::kQuickSearchMruKey, true},
        {d->btn_clearplaylists, QMessageBox::Ok, appsettings::kPlaylistMruKey, true},
    };
    for (const Case& c : cases) {
        answers = {c.answer};
        c.button->click();
        EXPECT_EQ(store->keyExists(c.key), !c.cleared) << c.key.toStdString();
        EXPECT_EQ(c.button->isEnabled(), !c.cleared);
    }
    EXPECT_EQ(w->qs_text->count(), 0);
    EXPECT_EQ(w->pl_text->count(), 0);

    // The desktop starter goes to $HOME/Desktop here and is reported.
    messages.clear();
    d->btn_link->click();
    EXPECT_EQ(messages.value(0), "Verknüpfung wurde erstellt.");
    const QString starter = env.path("home/Desktop/vorlune.desktop");
    EXPECT_TRUE(readText(starter).contains("Exec=\"/usr/bin/vorlune\""));
    EXPECT_TRUE(QFile::permissions(starter) & QFile::ExeOwner);

    // Cleaning the settings file happens at exit; the warning names the file, not Windows.
    messages.clear();
    answers = {QMessageBox::Ok};
    d->btn_cleanregistry->click();
    EXPECT_TRUE(messages.value(0).contains("aus der Einstellungsdatei"));
    EXPECT_FALSE(messages.value(0).contains("Windows"));
    EXPECT_TRUE(w->registryCleaningReleased);
    EXPECT_FALSE(d->btn_cleanregistry->isEnabled());
    d->closeButton->click();
    answers = {QMessageBox::Ok};
    w->close();
    SettingsStore after(storePath);
    ASSERT_TRUE(after.load());
    EXPECT_FALSE(after.keyExists(appsettings::kMainKey));
}

// A real SMTP server on loopback (aiosmtpd); it keeps each message as received.
class SmtpPeer {
public:
    SmtpPeer() {
        process_.setProgram(QStringLiteral("/usr/bin/python3"));
        process_.setArguments({QStringLiteral(LISTS_TEST_DIR "/smtp_server.py"), out_.path()});
        process_.start();
        if (process_.waitForReadyRead(10000)) port_ = process_.readLine().trimmed().toInt();
    }
    ~SmtpPeer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(1000);
    }
    int port() const { return port_; }
    QString file(const char* name) const { return readText(out_.filePath(name)); }

private:
    QTemporaryDir out_;
    QProcess process_;
    int port_ = 0;
};

TEST_F(OptionsWindow, MailPageSendsATestAndKeepsTheAccount) {
    SmtpPeer peer;
    ASSERT_GT(peer.port(), 0);
    auto w = shown();
    TForm5* d = dialog(*w);
    d->openOn(optionspages::Mail);
    // Without a session bus there is no keyring: the page says where the password goes.
    ASSERT_TRUE(waitFor([&] { return !d->mailPasswordPlace->text().isEmpty(); }));
    if (d->mailVault().place() == MailPasswordVault::Place::Keyring)
        GTEST_SKIP() << "a keyring runs on this session bus; the test leaves it alone";
    EXPECT_TRUE(d->mailPasswordPlace->text().contains("Einstellungsdatei"));
    EXPECT_EQ(d->mailPassword->echoMode(), QLineEdit::Password);

    struct Case {
        const char* name;
        QString server, sender;
        bool ok;
        QString message;
    };
    const Case cases[] = {
        {"no sender", "127.0.0.1", "", false,
         "Bitte geben Sie den Server und Ihre Absenderadresse an."},
        {"bad sender", "127.0.0.1", "ich at example", false,
         "\"ich at example\" ist keine gültige e-Mail-Adresse."},
        {"sent", "127.0.0.1", "ich@example.org", true, "Die Testnachricht wurde gesendet."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        d->mailServer->setText(c.server);
        d->mailPort->setValue(peer.port());
        d->mailSender->setText(c.sender);
        d->mailUser->clear();
        QSignalSpy done(d, &TForm5::testMessageDone);
        d->mailTest->click();
        if (c.ok) {
            ASSERT_TRUE(done.wait(40000));
        }
        EXPECT_EQ(messages.value(0), c.message);
    }
    EXPECT_TRUE(peer.file("1.env").contains("to=ich@example.org"));
    EXPECT_TRUE(peer.file("1.eml").contains("Subject: Vorlune: Testnachricht"));

    d->mailUser->setText("ich");
    d->mailPassword->setText("geheim");
    d->mailSecurity->setCurrentIndex(1);
    d->closeButton->click();
    const MailAccount a = MailAccount::load(*store);
    EXPECT_EQ(a.server, "127.0.0.1");
    EXPECT_EQ(a.port, peer.port());
    EXPECT_EQ(a.security, MailAccount::StartTls);
    EXPECT_EQ(a.user, "ich");
    EXPECT_EQ(a.password, "geheim");
    EXPECT_FALSE(a.passwordInKeyring);
    EXPECT_EQ(a.sender, "ich@example.org");
    EXPECT_EQ(QFile::permissions(storePath) & (QFile::ReadOther | QFile::ReadGroup), 0);
}

// A test mail to a server that takes the connection and never answers: closing the
// window does not wait for it, and the transfer stops long before its time-out.
TEST_F(OptionsWindow, ClosingDuringASlowTestMailDoesNotWait) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    auto w = shown();
    TForm5* d = dialog(*w);
    d->openOn(optionspages::Mail);
    d->mailServer->setText(QStringLiteral("127.0.0.1"));
    d->mailPort->setValue(silent.serverPort());
    d->mailSender->setText(QStringLiteral("ich@example.org"));
    QSignalSpy done(d, &TForm5::testMessageDone);
    d->mailTest->click();
    QTest::qWait(300);
    EXPECT_FALSE(d->mailTest->isEnabled()); // under way
    QElapsedTimer clock;
    clock.start();
    d->closeButton->click();
    w->close();
    w.reset();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(15000));
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(done.isEmpty());
}

// A settings file that cannot be written is told at each save of the dialog; a folder the
// user asked for that cannot be made is told, and the field goes back.
TEST_F(OptionsWindow, FailedSavesAndFoldersAreTold) {
    storePath = env.path(QStringLiteral("fehlt/registry.json"));
    store = std::make_unique<SettingsStore>(storePath);
    auto w = shown();
    TForm5* d = dialog(*w);
    w->newprof->click();
    ASSERT_EQ(d->currentPage(), 0);
    const QString remembered = d->pl_text->currentText();

    // A file where the folder should be: "Ja" cannot make it.
    const QString blocker = env.path(QStringLiteral("datei"));
    QFile(blocker).open(QIODevice::WriteOnly);
    messages.clear();
    answers = {QMessageBox::Yes};
    d->pl_text->setEditText(blocker + QStringLiteral("/ordner/liste.m3u"));
    emit d->pl_text->lineEdit()->editingFinished();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(blocker + QStringLiteral("/ordner")))
        << qPrintable(messages[1]);
    EXPECT_EQ(d->pl_text->currentText(), remembered);

    struct Step {
        const char* name;
        std::function<void()> act;
    } steps[] = {
        {"profile saved",
         [&] {
             d->profnames->setEditText(QStringLiteral("Stick"));
             d->dir_text->setText(QStringLiteral("/media/stick/%F"));
             d->btn_save->click();
         }},
        {"profile deleted", [&] { d->btn_del->click(); }},
        {"dialog closed", [&] { d->closeButton->click(); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        messages.clear();
        answers.clear();
        s.act();
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_TRUE(messages.last().contains(storePath)) << qPrintable(messages.last());
        EXPECT_FALSE(QFile::exists(storePath));
    }
}
