#pragma once

#include "command_services.h"
#include "mail_password.h"
#include "merkzettel_sharing.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class Collection;
class CommandTable;
class QAbstractButton;
class QAbstractItemView;
class QAction;
class QMenu;
class SettingsStore;

// What the Merkzettel needs of the window: the list's selection, the places of its menus,
// the main menu's view items it mirrors, the status line and the questions to the user.
class ListsView {
public:
    virtual ~ListsView() = default;
    virtual QWidget* dialogParent() = 0;
    virtual QStringList selectedTitles() const = 0;
    // The list shows the Merkzettel again after it changed.
    virtual void rebuildList() = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            const QString& detail) = 0;
    // The file to save to, starting in `folder`, and the mail's recipient; empty: cancelled.
    virtual QString askSaveFile(const QString& folder) = 0;
    virtual QString askRecipient() = 0;
    // The button that opens the Merkzettel menu (null: none) and where that menu opens.
    virtual QAbstractButton* merkzettelButton() = 0;
    virtual QPoint merkzettelMenuPosition() const = 0;
    // A main menu item by object name (null: none), and the lists that get the context menu.
    virtual QAction* menuItem(const QString& objectName) const = 0;
    virtual QList<QAbstractItemView*> titleLists() const = 0;
};

// The Merkzettel: its commands (remember, remove, clear, save, mail), the menu under
// "&Verwalten...", the title list's context menu, and the answers the dialogs give. The
// web view calls the public entry points with explicit selections.
class ListsIntegration : public QObject, private ListsCommands {
    Q_OBJECT
public:
    // The collection pointer is replaced whole by a reload; the list is read from it when
    // needed. `store` may be null (no mail account then).
    ListsIntegration(CommandTable& commands, const std::shared_ptr<Collection>& collection,
                     SettingsStore* store, const QString& versionString, const QString& catalogDir,
                     const QString& tempDir, ListsView& view, QObject* parent = nullptr);
    ~ListsIntegration() override;

    QStringList& list();
    // Entry points: add the given title lines, save, mail, clear (asking first when told).
    void rememberTitles(const QStringList& lines);
    void removeTitles(const QStringList& lines);
    void saveList();
    void mailList();
    void clearList(bool askFirst);

    // Answers instead of the view's dialogs (tests): the file to save to and the
    // recipient, empty when cancelled.
    using Prompt = std::function<QString()>;
    void setSaveFilePrompt(Prompt prompt) { askSaveFile_ = std::move(prompt); }
    void setRecipientPrompt(Prompt prompt) { askRecipient_ = std::move(prompt); }
    // The desktop mail program, started detached.
    void setDesktopMailProgram(const QString& program) { desktopMailProgram_ = program; }

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
    void onRemember(const QString& selection) override;
    void onRemoveTitle() override;
    void onClearBrainList() override;
    void onSaveBrainList() override;
    void onMailBrainList() override;
    void buildMenus();
    MerkzettelSharing::Context context() const;
    QStringList selectedTitles() const;
    void rebuildView();
    void onMailFinished(bool ok, const QString& reason);
    void mailWith(const MailAccount& account, const QString& to);

    CommandTable& commands_;
    // The window may own the core: its table can go before this.
    QPointer<CommandTable> table_{&commands_};
    const std::shared_ptr<Collection>& collection_;
    SettingsStore* store_;
    const QString versionString_;
    const QString catalogDir_;
    const QString tempDir_;
    ListsView& view_;
    Prompt askSaveFile_;
    Prompt askRecipient_;
    QString desktopMailProgram_ = QStringLiteral("xdg-email");
    MerkzettelSharing sharing_;
    MailPasswordVault* vault_;
    QMenu* popup2_ = nullptr;
    QMenu* popup1_ = nullptr;
    QString lastMailError_;
    bool mailPending_ = false; // the account is being read
};
