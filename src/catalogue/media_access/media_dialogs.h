#pragma once

#include "media_prompts.h"

#include <QDialog>

#include <functional>

class MediumWait;
class QLabel;
class QLineEdit;
class QPushButton;

// Plays an event sound by its name ("VLWaitForMedia", "VLPasswordRequest").
using EventSoundFn = std::function<void(const QString&)>;

// The insert-medium dialog: waits for a medium with a MediumWait and closes when it is
// found (accepted) or on Cancel (rejected).
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Starts the wait for a label and shows the dialog modally once its first pass over
    // the roots has found nothing or a moment has passed; the found root, or empty on
    // Cancel.
    QString waitFor(const QString& label, MediumWait& wait);

    // How long the first pass may run before the dialog shows.
    static constexpr int kQuietMs = 300;

    void setEventSound(EventSoundFn play) { playSound_ = std::move(play); }
    // Brings a running copy dialog back to the front while the dialog shows.
    void setRaiseCopyDialog(std::function<void()> raise) { raiseCopyDialog_ = std::move(raise); }

    QLabel* cdtitle = nullptr;
    QPushButton* cancel_btn = nullptr;

private:
    EventSoundFn playSound_;
    std::function<void()> raiseCopyDialog_;
};

// The password prompt, with or without the user name field.
class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);

    // False on Cancel. The caption is the medium's label.
    bool ask(const QString& caption, bool withUserName, QString& user, QString& password);

    void setEventSound(EventSoundFn play) { playSound_ = std::move(play); }

    // Empties the fields and sets the text and focus for the field set; before exec().
    void prepare(bool withUserName);

    QLabel* info = nullptr;
    QLabel* user_label = nullptr;
    QLineEdit* user_edit = nullptr;
    QLineEdit* password_edit = nullptr;
    QPushButton* ok_btn = nullptr;
    QPushButton* cancel_btn = nullptr;

private:
    void updateOk();

    bool withUserName_ = true;
    EventSoundFn playSound_;
};

// MediaPrompts answered with the dialogs and message boxes.
class DialogMediaPrompts : public MediaPrompts {
public:
    DialogMediaPrompts(TForm2* insertMedium, TForm6* password, QWidget* boxParent)
        : insertMedium_(insertMedium), password_(password), boxParent_(boxParent) {}

    bool askPassword(const QString& caption, bool withUserName, QString& user,
                     QString& password) override;
    void warn(const QString& text) override;
    bool confirm(const QString& text) override;
    QString waitForMedium(const QString& label, MediumWait& wait) override;

private:
    TForm2* insertMedium_;
    TForm6* password_;
    QWidget* boxParent_;
};
