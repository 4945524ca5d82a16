#pragma once

#include "mail_password.h"
#include "merkzettel_sharing.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QMenu;
class TForm1;

// The Merkzettel in the main window: its commands (remember, remove, clear, save, mail),
// the menu under "&Verwalten...", the title list's context menu, and the answers the
// dialogs give. The web view calls the public entry points with explicit selections.
class ListsIntegration : public QObject {
    Q_OBJECT
public:
    explicit ListsIntegration(TForm1* window);
    ~ListsIntegration() override;

    QStringList& list();
    // Entry points: add the given title lines, save, mail, clear (asking first when told).
    void rememberTitles(const QStringList& lines);
    void removeTitles(const QStringList& lines);
    void saveList();
    void mailList();
    void clearList(bool askFirst);

    // Dialog answers, replaceable in tests: the file to save to (empty: cancelled) and
    // the recipient (empty: cancelled).
    std::function<QString()> askSaveFile;
    std::function<QString()> askRecipient;
    // The desktop mail program, started detached.
    QString desktopMailProgram = QStringLiteral("xdg-email");

    QMenu* popupMenu2() const { return popup2_; }
    QMenu* popupMenu1() const { return popup1_; }
    MerkzettelSharing& sharing() { return sharing_; }
    QString lastMailError() const { return lastMailError_; }
    // From the recipient's answer until the mail went out or failed; mailing is disabled
    // meanwhile.
    bool mailUnderWay() const { return mailPending_ || sharing_.isSending(); }

signals:
    // A mail went out or failed (after its message was shown).
    void mailDone(bool ok);

private:
    void registerCommands();
    void buildMenus();
    MerkzettelSharing::Context context() const;
    QStringList selectedTitles() const;
    void rebuildView();
    void onMailFinished(bool ok, const QString& reason);
    void mailWith(const MailAccount& account, const QString& to);

    TForm1* window_;
    MerkzettelSharing sharing_;
    MailPasswordVault* vault_;
    QMenu* popup2_ = nullptr;
    QMenu* popup1_ = nullptr;
    QString lastMailError_;
    bool mailPending_ = false; // the account is being read
};
