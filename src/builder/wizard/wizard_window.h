#pragma once

#include "share_browser.h"
#include "tool_runner.h"
#include "wizard_logic.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class ShareLister;
class UDisksClient;

// The message boxes and file dialogs of the wizard; tests answer them without a user.
class WizardDialogs {
public:
    virtual ~WizardDialogs() = default;
    virtual bool confirmCancel(QWidget* parent);
    virtual void information(QWidget* parent, const QString& text);
    virtual void error(QWidget* parent, const QString& text);
    virtual QString infoFileToOpen(QWidget* parent);
    virtual QString outputFolder(QWidget* parent, const QString& start);
};

// The wizard's window: nine pages without tabs and the four buttons below them.
class WizardWindow : public QWidget {
    Q_OBJECT
public:
    // tempDir: the private folder for the tool and the info file. The window takes
    // ownership of dialogs; null gives the interactive ones.
    explicit WizardWindow(const QString& tempDir, WizardDialogs* dialogs = nullptr,
                          QWidget* parent = nullptr);
    ~WizardWindow() override;

    const reapwell::WizardFlow& flow() const { return flow_; }
    bool isDone() const { return done_; }
    bool isRunning() const { return runner_ != nullptr; }

    // The resource the tool is extracted from.
    void setToolResource(const QString& resource) { toolResource_ = resource; }

    // Selects a folder in the folder tree, as a click on it does.
    void selectBaseDir(const QString& path);

    // Lists the removable volumes of the client above the folder tree (not owned).
    void setVolumeClient(UDisksClient* client);
    QListWidget* volumeList() const { return volumeList_; }
    // Opens the tree at the folder and fills the label and the type (an index of the
    // type list; negative leaves it).
    void presetMedium(const QString& folder, const QString& label, int typeIndex);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildPage(int page);
    void move(int direction);
    void sync();
    void focusPageControl();
    void showIndexFileName();
    void labelChanged(const QString& text);
    void urlChanged(const QString& text);
    void takeInfoFromFile();
    void changeOutputFolder();
    void finish();
    void toolFinished(const ToolRunner::Result& result);
    void setFinishButtonsEnabled(bool on);
    void browseNetwork(QStandardItem* item);
    void refreshVolumes();
    void volumeChosen(QListWidgetItem* item);
    void volumeMounted(const QString& path, const QString& mountPoint);
    void networkListed(const QString& url, const QList<reapwell::ShareEntry>& entries,
                       const QString& error);

    reapwell::WizardFlow flow_;
    std::unique_ptr<WizardDialogs> dialogs_;
    QString tempDir_;
    QString toolResource_ = QStringLiteral(":/reapwell/tallyer");
    ToolRunner* runner_ = nullptr;
    QString runOutputDir_;
    bool done_ = false;

    QLabel* heading_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* finish_ = nullptr;

    UDisksClient* volumes_ = nullptr;
    QListWidget* volumeList_ = nullptr;
    QLabel* volumeCaption_ = nullptr;
    QString mountingVolume_; // chosen, waiting for its mount
    QTreeView* baseDirTree_ = nullptr;
    QFileSystemModel* folders_ = nullptr;
    QRadioButton* rootDir_ = nullptr;
    QRadioButton* subDir_ = nullptr;
    QLabel* rootDirText_ = nullptr;
    QLabel* subDirText_ = nullptr;
    QLineEdit* mediaTitle_ = nullptr;
    QComboBox* icon_ = nullptr;
    QCheckBox* connect_ = nullptr;
    QLabel* connectText_ = nullptr;
    QLineEdit* netDir_ = nullptr;
    QTreeView* netTree_ = nullptr;
    QStandardItemModel* network_ = nullptr;
    ShareLister* shares_ = nullptr;
    QLineEdit* wwwDir_ = nullptr;
    QLineEdit* author_ = nullptr;
    QLineEdit* version_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QLabel* infoLink_ = nullptr;
    QLabel* finishText_ = nullptr;
    QLabel* fileCaption_ = nullptr;
    QLabel* fileName_ = nullptr;
    QPushButton* changeDir_ = nullptr;
};
