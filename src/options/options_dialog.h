#pragma once

#include "options_host.h"
#include "options_pages.h"
#include "profile_editor.h"

#include <QDialog>
#include <QImage>

#include <functional>
#include <memory>

class MailJob;
class MailPasswordVault;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class TForm9;

// "Optionen": profiles, event sounds, search switches, command groups, streaming, a few
// housekeeping actions and the mail account, one page each. Most pages write their
// values when they are left (another page chosen, or the dialog closed); the profile
// page writes on its save button.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    TForm5(OptionsHost& host, QWidget* parent = nullptr);
    ~TForm5() override;

    // Shows the dialog (modal, without blocking the caller) on a page.
    void openOn(int page);
    int currentPage() const;

    // File choosers (title, start, filter) and the encoder search; tests answer here.
    using FilePrompt =
        std::function<QString(const QString& title, const QString& start, const QString& filter)>;
    void setFilePrompt(FilePrompt prompt) { filePrompt_ = std::move(prompt); }
    // Called when streaming is switched on without an encoder file; the answer is the
    // path (empty: cancelled). Without a prompt the encoder search window opens.
    void setEncoderPrompt(std::function<QString()> prompt) { encoderPrompt_ = std::move(prompt); }
    void setEncoderSearch(TForm9* form9);
    MailPasswordVault& mailVault() { return *vault_; }

    QTabWidget* PageControl1 = nullptr;
    QPushButton* closeButton = nullptr;

    // "Profile"
    QComboBox* profnames = nullptr;
    QLineEdit* dir_text = nullptr;
    QComboBox* pl_text = nullptr;
    QLineEdit* cmd_text = nullptr;
    QLabel* btnico24 = nullptr;
    QPushButton* btn_save = nullptr;
    QPushButton* btn_del = nullptr;
    QList<QPushButton*> placeholderButtons;
    QPushButton* pl_btn = nullptr;
    QPushButton* cmd_btn = nullptr;
    // "Klänge": vlfc, vlwfm, vlpr, vlis with their browse and play buttons.
    QList<QLineEdit*> soundFields;
    QList<QPushButton*> soundBrowse;
    QList<QPushButton*> soundPlay;
    // "Suche"
    QCheckBox* nomedia = nullptr;
    QCheckBox* nopads = nullptr;
    QCheckBox* reslimit = nullptr;
    QSpinBox* reslimitcnt = nullptr;
    QLabel* reslimitlbl = nullptr;
    QCheckBox* nosyntax = nullptr;
    QCheckBox* minln = nullptr;
    QSpinBox* minlncnt = nullptr;
    QLabel* minlnlbl = nullptr;
    QCheckBox* noballoon = nullptr;
    // "Befehle"
    QListWidget* cmdpanels = nullptr;
    // "Streaming"
    QCheckBox* cbStreamingEnabled = nullptr;
    QSpinBox* seStreamPort = nullptr;
    QComboBox* dbStreamDevice = nullptr;
    QLineEdit* taStationID = nullptr;
    QComboBox* dbSampleRate = nullptr;
    QLabel* lbBitrate = nullptr;
    QComboBox* dbBitrate = nullptr;
    QComboBox* dbVBRMethod = nullptr;
    QComboBox* dbQuality = nullptr;
    QCheckBox* cbMaxListeners = nullptr;
    QSpinBox* seMaxListeners = nullptr;
    QLabel* lbMaxListeners = nullptr;
    QCheckBox* cbStreamPrivate = nullptr;
    QCheckBox* cbStreamLogging = nullptr;
    QList<QWidget*> streamingControls; // enabled only while streaming is
    QCheckBox* cbRelay = nullptr;
    QLineEdit* edRelayHost = nullptr;
    QSpinBox* seRelayPort = nullptr;
    QLineEdit* edRelayMount = nullptr;
    QLineEdit* edRelayUser = nullptr;
    QLineEdit* edRelayPassword = nullptr;
    QCheckBox* cbRelayTls = nullptr;
    // "Sonstiges"
    QPushButton* btn_link = nullptr;
    QPushButton* btn_clearsearch = nullptr;
    QPushButton* btn_clearplaylists = nullptr;
    QPushButton* btn_cleanregistry = nullptr;
    // "E-Mail"
    QLineEdit* mailServer = nullptr;
    QSpinBox* mailPort = nullptr;
    QComboBox* mailSecurity = nullptr;
    QLineEdit* mailUser = nullptr;
    QLineEdit* mailPassword = nullptr;
    QLineEdit* mailSender = nullptr;
    QLabel* mailPasswordPlace = nullptr;
    QPushButton* mailTest = nullptr;

    // Page entry and exit (also run by page changes and closing).
    void pageEntry(int page);
    void pageExit(int page);

    // The profile page's actions.
    void profileNameChanged();
    void saveProfile();
    void deleteProfile();
    void insertPlaceholder(const QString& placeholder);
    bool dirTextExit();
    void plTextExit();
    void chooseIcon();
    void chooseCommand();
    void choosePlaylist();
    QImage iconPicture() const { return picture_; }
    QString chosenIconFile() const { return iconFile_; }

    // The streaming page: applies the controls' values live.
    void applyStreaming();
    void streamingSwitched(bool on);
    void encoderChosen(const QString& path);

    // "Sonstiges"
    void createShortcut();
    void clearSearchHistory();
    void clearPlaylistHistory();
    void cleanRegistry();

    // "E-Mail": a test message to the sender's own address.
    void sendTestMessage();

signals:
    // The streaming settings were applied (the server may run or not).
    void streamingApplied();
    // A test message went out or failed.
    void testMessageDone(bool ok, const QString& reason);
    void closedDialog();

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildProfilePage();
    QWidget* buildSoundsPage();
    QWidget* buildSearchPage();
    QWidget* buildCommandsPage();
    QWidget* buildStreamingPage();
    QWidget* buildMiscPage();
    QWidget* buildMailPage();
    void showingSteps();
    void pageChanged(int page);
    void updateSearchControls();
    void updateSoundButtons();
    void updateStreamingControls();
    void fillStreamingControls();
    void collectStreaming();
    void fillMail();
    void showPasswordPlace();
    QString askFile(const QString& title, const QString& start, const QString& filter);
    // Writes the settings store; a failure is told. False when the file was not written.
    bool saveStore();
    QImage defaultPicture() const;
    void setPreview(const QImage& picture);

    OptionsHost& host_;
    std::unique_ptr<ProfileEditor> editor_;
    MailPasswordVault* vault_;
    TForm9* form9_ = nullptr;
    FilePrompt filePrompt_;
    std::function<QString()> encoderPrompt_;
    MailJob* testMail_;
    QImage picture_;          // the preview's picture
    QString iconFile_;        // the picture file the user chose, or the profile's own
    bool iconChosen_ = false; // a picture was picked since the profile was loaded
    QString remembered_;      // a field's text when it was entered
    int page_ = -1;           // the page that was entered last
    bool filling_ = false;
    bool checkingTemplate_ = false;
    bool awaitingEncoder_ = false;
};
