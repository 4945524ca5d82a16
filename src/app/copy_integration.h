#pragma once

#include "copy_run.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class EventSounds;
class QAbstractButton;
class QButtonGroup;
class QMenu;
class QToolButton;
class SettingsStore;
class TForm1;
class TForm3;

// The main window's side of copying: the destination fields and their checks, the
// profile buttons, the copy mode with its context menu, the burn button, and the copy
// dialog that runs a copy of the selected titles.
class CopyIntegration : public QObject {
    Q_OBJECT
public:
    CopyIntegration(TForm1* window, SettingsStore* store);
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
    void applyCopyMode();
    void updateCopyState();
    void insertPlaylistAtTop(const QString& file);
    QString askParameter();

    TForm1* window_;
    SettingsStore* store_;
    std::unique_ptr<EventSounds> sounds_;
    TForm3* form3_ = nullptr;
    QButtonGroup* group_ = nullptr;
    QMenu* popupMenu3_ = nullptr;
    QString activeProfile_;
    QString command_; // cmd_text: the active profile's command
    QString parameter_;
    QString dirRemembered_;
    QString plRemembered_;
    bool checking_ = false;
    ParameterPrompt prompt_;
    PathPrompt folderPrompt_;
    PathPrompt playlistPrompt_;
};
