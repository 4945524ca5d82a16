#pragma once

#include "command_services.h"
#include "copy_run.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class CommandTable;
class EventSounds;
class MediaAccess;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QMenu;
class QToolButton;
class SettingsStore;
class TForm3;

// The window's controls copying drives, and what it tells the user. The fields and
// buttons belong to the window; copying checks and fills them.
class CopyView {
public:
    virtual ~CopyView() = default;
    // The parent of the copy dialog, the mode menu and the choosers.
    virtual QWidget* dialogParent() = 0;
    // The destination template and the playlist field with their choosers' buttons.
    virtual QLineEdit* destinationField() = 0;
    virtual QComboBox* playlistField() = 0;
    virtual QAbstractButton* destinationButton() = 0;
    virtual QAbstractButton* playlistButton() = 0;
    // The command panel's copy and burn buttons (null: none).
    virtual QAbstractButton* copyButton() = 0;
    virtual QAbstractButton* burnButton() = 0;
    // The row the profile buttons go in, and the button for a new profile.
    virtual QWidget* profileRow() = 0;
    virtual QAbstractButton* newProfileButton() = 0;
    // A main menu item by object name (null: none): the choosers and the copy modes.
    virtual QAction* menuItem(const QString& objectName) const = 0;
    virtual QStringList selectedTitles() const = 0;
    // A copy run's progress: the status line shows what fits, its tool tip all.
    virtual void showCopyStatus(const QString& text) = 0;
    virtual void setStatusText(const QString& text) = 0;
    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;
};

// Copying: the destination fields and their checks, the profile buttons, the copy mode
// with its context menu, the burn button, and the copy dialog that runs a copy of the
// selected titles.
class CopyIntegration : public QObject, private CopyCommands {
    Q_OBJECT
public:
    // `store` may be null (no profiles then).
    CopyIntegration(CommandTable& commands, MediaAccess& media, SettingsStore* store,
                    const QString& catalogDir, const QString& dataDir, CopyView& view,
                    QObject* parent = nullptr);
    ~CopyIntegration() override;

    TForm3* copyDialog() const { return form3_; }

    // The free parameter asked for "%?": the answer, or empty for the default. The
    // default shows an input box; tests answer here.
    using ParameterPrompt = std::function<QString(const QString& preset)>;
    void setParameterPrompt(ParameterPrompt prompt) { prompt_ = std::move(prompt); }
    // Folder and file choosers; tests answer here.
    using PathPrompt = std::function<QString(const QString& start)>;
    void setFolderPrompt(PathPrompt prompt) { folderPrompt_ = std::move(prompt); }
    void setPlaylistPrompt(PathPrompt prompt) { playlistPrompt_ = std::move(prompt); }

    // Profiles from the settings store: one button each, sorted; the stored active one
    // pressed and loaded.
    void BuildProfileButtons();
    // Stores the active profile name and removes the buttons.
    void SaveActiveProfile();
    void ProfButtonClick(QAbstractButton* button);
    void ProfButtonDblClick(QAbstractButton* button);
    QList<QToolButton*> profileButtons() const;
    QString activeProfile() const { return activeProfile_; }
    QString command() const { return command_; }

    // Field checks (also run at every copy start): false when the user keeps a wrong
    // template.
    void dir_textExit();
    void pl_textExit();
    void dir_btnClick();
    void pl_btnClick();

    // 0 copy, 1 move, 2 burn.
    int copyMode() const;
    void burn_btnClick();

    // Whether a copy can start now (no run, titles selected, a destination given).
    bool copyEnabled() const;

    // Closing: a copy under way stops and its partial file goes; the active profile is
    // put into the store.
    void shutdown();

public slots:
    // Copies (or moves) the titles selected in the list.
    void copySelection();
    // Copies (or moves) the given title lines, e.g. a selection made in the web view.
    void copyTitles(const QStringList& titles);

signals:
    void enabledChanged(bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void releaseProfile();
    void onCopy(const QString& selection) override;
    void onBurn() override;
    void applyCopyMode();
    void updateCopyState();
    void insertPlaylistAtTop(const QString& file);
    QString askParameter();

    CommandTable& commands_;
    // The window may own the core: its table can go before this.
    QPointer<CommandTable> table_{&commands_};
    SettingsStore* store_;
    const QString catalogDir_;
    const QString dataDir_;
    CopyView& view_;
    QWidget* parent_;
    // The fields may go before this object when the window is torn down.
    QPointer<QLineEdit> dirText_;
    QPointer<QComboBox> plText_;
    // The same fields for the event filter, compared only: a field in its destructor is no
    // longer of its class, and a QPointer to it must not be read then.
    const QObject* dirWatched_ = nullptr;
    const QObject* plWatched_ = nullptr;
    const QObject* plEditWatched_ = nullptr;
    std::unique_ptr<EventSounds> sounds_;
    TForm3* form3_ = nullptr;
    QButtonGroup* group_ = nullptr;
    QMenu* popupMenu3_ = nullptr;
    QString activeProfile_;
    QString command_; // cmd_text: the active profile's command
    QString parameter_;
    QString dirRemembered_;
    QString destination_; // the destination field's text, for the command state
    QString plRemembered_;
    bool checking_ = false;
    ParameterPrompt prompt_;
    PathPrompt folderPrompt_;
    PathPrompt playlistPrompt_;
};
