#include "media_dialogs.h"
#include "medium_wait.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

namespace {

TEST(MediaDialogs, InsertMediumDialogWaitsUntilFoundOrCancelled) {
    TForm2 dialog;
    QStringList sounds;
    int raised = 0;
    dialog.setEventSound([&](const QString& name) { sounds << name; });
    dialog.setRaiseCopyDialog([&] { ++raised; });
    EXPECT_EQ(dialog.windowTitle(), "Datenträger einlegen...");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog.cancel_btn->text(), "&Abbrechen");
    EXPECT_TRUE(dialog.cancel_btn->isDefault());
    EXPECT_TRUE(dialog.cdtitle->font().bold());
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
        return l->text() == "Bitte das Medium mit der folgenden Bezeichnung einlegen:";
    }));

    std::atomic<bool> present = false; // read by the wait's worker
    MediumWait wait(
        [] {
            return QStringList{"/a", "/b"};
        },
        [&](const QString& root, const QString&) { return present && root == "/b" ? 5 : -1; });
    wait.setInterval(5);
    QTimer::singleShot(100, [&] {
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.cdtitle->text(), "Rock 1");
        present = true;
    });
    EXPECT_EQ(dialog.waitFor("Rock 1", wait), "/b");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(sounds, QStringList{"VLWaitForMedia"});
    EXPECT_EQ(raised, 1);

    present = false;
    QTimer::singleShot(100, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_TRUE(dialog.waitFor("Rock 1", wait).isEmpty());
    EXPECT_FALSE(wait.isActive()); // polling stopped with the dialog

    QTimer::singleShot(100, [&] { dialog.cancel_btn->click(); });
    EXPECT_TRUE(dialog.waitFor("Pop", wait).isEmpty());
    EXPECT_FALSE(wait.isActive());

    // A wait that is already running gets no second dialog.
    ASSERT_TRUE(wait.start("X"));
    EXPECT_TRUE(dialog.waitFor("X", wait).isEmpty());
    EXPECT_FALSE(dialog.isVisible());
    wait.cancel();
}

TEST(MediaDialogs, PasswordPromptFieldsFocusAndOkRule) {
    TForm6 dialog;
    QStringList sounds;
    dialog.setEventSound([&](const QString& name) { sounds << name; });
    EXPECT_EQ(dialog.windowTitle(), "Kennwort eingeben");
    EXPECT_EQ(dialog.password_edit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.ok_btn->text(), "&OK");
    EXPECT_TRUE(dialog.ok_btn->isDefault());
    EXPECT_EQ(dialog.cancel_btn->text(), "&Abbrechen");
    EXPECT_EQ(dialog.user_label->text(), "&Benutzername:");

    // With the user name field.
    dialog.user_edit->setText("alt");
    dialog.prepare(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    EXPECT_EQ(sounds, QStringList{"VLPasswordRequest"});
    EXPECT_TRUE(dialog.user_edit->text().isEmpty());
    EXPECT_EQ(dialog.info->text(), "Der Zugriff auf diese Ressource erfordert eine Anmeldung.\r\n"
                                   "Bitte authentifizieren, um die Verbindung herzustellen.");
    EXPECT_TRUE(dialog.user_edit->isVisible());
    EXPECT_EQ(dialog.focusWidget(), dialog.user_edit);
    EXPECT_FALSE(dialog.ok_btn->isEnabled());
    QTest::keyClicks(dialog.user_edit, "hans");
    EXPECT_FALSE(dialog.ok_btn->isEnabled()); // no password yet
    QTest::keyClick(dialog.user_edit, Qt::Key_Return);
    EXPECT_EQ(dialog.focusWidget(), dialog.password_edit);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClicks(dialog.password_edit, "geheim");
    EXPECT_TRUE(dialog.ok_btn->isEnabled());
    dialog.user_edit->clear();
    EXPECT_FALSE(dialog.ok_btn->isEnabled());
    dialog.hide();

    // Without it: the password alone enables OK.
    dialog.prepare(false);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(dialog.password_edit->text().isEmpty());
    EXPECT_FALSE(dialog.user_edit->isVisible());
    EXPECT_EQ(dialog.info->text(), "Der Zugriff auf diese Ressource wurde verweigert.\r\n"
                                   "Bitte das Kennwort eingeben, um eine Verbindung herzustellen.");
    EXPECT_EQ(dialog.focusWidget(), dialog.password_edit);
    EXPECT_FALSE(dialog.ok_btn->isEnabled());
    QTest::keyClicks(dialog.password_edit, "x");
    EXPECT_TRUE(dialog.ok_btn->isEnabled());
    dialog.hide();

    // ask() hands back what was typed, and nothing on Cancel.
    QString user = "vorher", password;
    QTimer::singleShot(100, [&] {
        QTest::keyClicks(dialog.user_edit, "ftpuser");
        QTest::keyClicks(dialog.password_edit, "pw");
        dialog.ok_btn->click();
    });
    ASSERT_TRUE(dialog.ask("Web 1", true, user, password));
    EXPECT_EQ(dialog.windowTitle(), "Web 1");
    EXPECT_EQ(user, "ftpuser");
    EXPECT_EQ(password, "pw");
    QTimer::singleShot(100, [&] { dialog.cancel_btn->click(); });
    EXPECT_FALSE(dialog.ask("Web 1", false, user, password));
    EXPECT_EQ(user, "ftpuser");
}

} // namespace
