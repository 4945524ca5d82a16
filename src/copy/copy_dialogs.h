#pragma once

#include "copy_run.h"

#include <QDialog>
#include <QIcon>

#include <functional>

#include <QLabel>
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

using CopySoundFn = std::function<void(const QString& event)>;

// A label for names of any length: it asks for little width and shows its text shortened
// with an ellipsis where it does not fit; text() and the tool tip keep the whole text.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr, Qt::TextElideMode mode = Qt::ElideMiddle);
    void setFullText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
};

// The insufficient-space dialog: shows what does not fit where, measures the free space
// again every 250 ms and closes itself with Retry as soon as the title fits.
class TForm8 : public QDialog {
    Q_OBJECT
public:
    enum Result { Skip = 1, Cancel = 2, Retry = 3 };

    explicit TForm8(QWidget* parent = nullptr);

    void setEventSound(CopySoundFn play) { playSound_ = std::move(play); }

    // Shows the dialog (without blocking) for a title; `answered` tells the result.
    void ask(const QString& localSource, const QString& folder, qint64 needed,
             CopyRun::FreeSpaceFn freeSpace);

    ElidedLabel* nameValue = nullptr;
    QLabel* neededValue = nullptr;
    ElidedLabel* folderValue = nullptr;
    QLabel* freeValue = nullptr;
    QPushButton* skip_btn = nullptr;
    QPushButton* cancel_btn = nullptr;
    QTimer* timer = nullptr;

signals:
    void answered(int result);

protected:
    void done(int result) override;

private:
    void timerTimer();

    CopySoundFn playSound_;
    CopyRun::FreeSpaceFn freeSpace_;
    QString folder_;
    qint64 needed_ = 0;
};

// The copy dialog: shows the run's progress and owns the run, stays on top, can be
// minimised while copying goes on.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    TForm3(MediaAccess* media, QWidget* parent = nullptr);
    ~TForm3() override;

    CopyRun& run() { return *run_; }
    TForm8* spaceDialog() const { return form8_; }
    void setEventSound(CopySoundFn play);
    // The picture of a medium type (-1: the unknown medium).
    void setMediumIcons(std::function<QIcon(int type)> icons) { icons_ = std::move(icons); }

    // Shows the dialog and starts the run; false while one is running.
    bool startRun(const QStringList& titles, const CopyRun::Setup& setup);
    bool isRunning() const { return run_->isRunning(); }

    QLabel* dirlabel = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    ElidedLabel* fnlabel = nullptr;
    QLabel* typimg = nullptr;
    ElidedLabel* cdlabel = nullptr;
    QLabel* rest = nullptr;
    QListWidget* titlelist = nullptr;
    QProgressBar* Gauge1 = nullptr;
    ElidedLabel* errlabel = nullptr; // why the current title failed
    QPushButton* skip_btn = nullptr; // leaves out a title whose copy failed
    QPushButton* btn_cancel = nullptr;
    QTimer* timer = nullptr;

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void timerTimer();
    void btn_cancelClick();
    void skip_btnClick();
    void SpeedButton1Click();

    CopyRun* run_;
    TForm8* form8_;
    CopySoundFn playSound_;
    std::function<QIcon(int)> icons_;
    int shownType_ = -2;
};
