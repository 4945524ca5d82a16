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

    // The drives whose medium can be ejected (id, text) and how to eject one; without
    // them the eject button stays hidden.
    struct EjectTarget {
        QString id;
        QString text;
    };
    void setEjector(std::function<QList<EjectTarget>()> targets,
                    std::function<void(const QString& id)> eject);
    // The drives changed: the eject button follows.
    void refreshEject();

    QLabel* cdtitle = nullptr;
    QLabel* notice = nullptr; // mounts under way, refusals
    QPushButton* eject_btn = nullptr;
    QPushButton* cancel_btn = nullptr;

private:
    void ejectClicked();

    EventSoundFn playSound_;
    std::function<void()> raiseCopyDialog_;
    std::function<QList<EjectTarget>()> ejectTargets_;
    std::function<void(const QString&)> eject_;
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
