#pragma once

#include <QHash>
#include <QScrollArea>

class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

// The command panel on the right of the main window: one group box per command group,
// captioned with the group's name between two blanks.
class CommandPanel : public QScrollArea {
    Q_OBJECT
public:
    explicit CommandPanel(QWidget* parent = nullptr);

    // The group box of a group name ("Wiedergabe" ...), or null.
    QGroupBox* group(const QString& name) const { return groups_.value(name); }
    // Shows exactly the groups not named in `hidden`.
    void setHiddenGroups(const QStringList& hidden);
    QStringList hiddenGroups() const;
    // Puts a group below all others.
    void moveGroupToBottom(const QString& name);

    // Wiedergabe
    QToolButton* play = nullptr;
    QToolButton* pause = nullptr;
    QToolButton* stop = nullptr;
    QToolButton* prev = nullptr;
    QToolButton* next = nullptr;
    QToolButton* rept = nullptr;
    QToolButton* shuf = nullptr;
    QSlider* seeker = nullptr;
    QLabel* seekpos = nullptr;
    // Aktionen
    QPushButton* copy_btn = nullptr;
    QPushButton* burn_btn = nullptr;
    // Sammlung
    QPushButton* reload_btn = nullptr;
    QPushButton* stat_btn = nullptr;
    // Lautstärke
    QPushButton* vol_btn = nullptr;
    // Merkzettel
    QPushButton* mz_btn = nullptr;
    // Optionen
    QPushButton* opt_btn = nullptr;
    // Streaming: the server's state and a button that acts like the status bar's `strm_btn`.
    QPushButton* strm_btn = nullptr;
    QLabel* strm_status = nullptr;

signals:
    // The handle at the panel's top was double-clicked.
    void hideRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* addGroup(const QString& name, const QString& hint);

    QWidget* content_;
    QLabel* handle_ = nullptr;
    QHash<QString, QGroupBox*> groups_;
    QStringList order_;
};
