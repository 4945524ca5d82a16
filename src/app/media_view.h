#pragma once

#include <QMessageBox>
#include <QString>

class QPoint;
class QWidget;

// What media access needs of the main window: questions, the status text, a place in the
// status bar and the medium selected in the tree. Its progress bar follows the task service.
class MediaView {
public:
    virtual ~MediaView() = default;

    virtual QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                            QMessageBox::StandardButtons buttons) = 0;
    virtual void setStatusText(const QString& text) = 0;
    // Puts a widget of media access into the status bar (it stays media access's own).
    virtual void addStatusWidget(QWidget* widget) = 0;
    // The label of the medium selected in the tree; empty when no medium is selected.
    virtual QString selectedMedium() const = 0;
    // The medium's menu with its eject item at `globalPos`; true when the item was chosen.
    virtual bool askEject(const QPoint& globalPos) = 0;
    // Closes the window as the user would (the close request runs again).
    virtual void closeWindow() = 0;
};
