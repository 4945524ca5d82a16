#include "window_views.h"

#include "collection_views.h"
#include "command_panel.h"
#include "main_window.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

int WindowViews::listedEntries() const {
    return window_.views() ? window_.views()->itemCount() : 0;
}

void WindowViews::showStatusMessage(const QString& text) {
    window_.statusBar()->showMessage(text);
}

QWidget* WindowViews::dialogParent() {
    return &window_;
}

void WindowViews::addStatusWidget(QWidget* widget) {
    window_.statusBar()->addPermanentWidget(widget);
}

QAbstractButton* WindowViews::panelStreamingButton() {
    return window_.commands ? window_.commands->strm_btn : nullptr;
}

void WindowViews::showPanelStreaming(bool buttonEnabled, const QString& text,
                                     const QString& toolTip) {
    CommandPanel* panel = window_.commands;
    if (!panel) return;
    panel->strm_btn->setEnabled(buttonEnabled);
    panel->strm_status->setText(text);
    panel->strm_status->setToolTip(toolTip);
}

QStringList WindowViews::selectedTitles() const {
    return window_.views() ? window_.views()->selectedTitles() : QStringList();
}

QMessageBox::StandardButton WindowViews::ask(QMessageBox::Icon icon, const QString& text,
                                             QMessageBox::StandardButtons buttons) {
    return window_.messageBox(icon, text, buttons);
}
