#include "window_views.h"

#include "collection_views.h"
#include "command_panel.h"
#include "main_window.h"
#include "quick_search.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>

int WindowViews::listedEntries() const {
    return window_.views() ? window_.views()->itemCount() : 0;
}

void WindowViews::whenSearchShown(QObject* context, std::function<void()> then) {
    if (QuickSearch* search = window_.quickSearch())
        search->whenShown(context, std::move(then));
    else
        then();
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

void WindowViews::rebuildList() {
    if (window_.views()) window_.views()->rebuild();
}

void WindowViews::setStatusText(const QString& text) {
    window_.setStatusText(text);
}

QMessageBox::StandardButton WindowViews::ask(QMessageBox::Icon icon, const QString& text,
                                             QMessageBox::StandardButtons buttons,
                                             const QString& detail) {
    return window_.messageBox(icon, text, buttons, detail);
}

QString WindowViews::askSaveFile(const QString& folder) {
    QFileDialog dialog(&window_, QStringLiteral("Merkzettel speichern als..."));
    dialog.setObjectName(QStringLiteral("mz_save"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("cd"));
    dialog.setNameFilters({QStringLiteral("Medienverzeichnisse (*.cd)"),
                           QStringLiteral("Textdateien (*.txt)"),
                           QStringLiteral("Alle Dateien (*)")});
    dialog.setDirectory(folder);
    dialog.selectFile(QStringLiteral("Gemerkte Titel.cd"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString WindowViews::askRecipient() {
    bool ok = false;
    const QString text =
        QInputDialog::getText(&window_, QStringLiteral("Merkzettel verschicken..."),
                              QStringLiteral("An welche Adresse soll die e-Mail gesandt werden?"),
                              QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QAbstractButton* WindowViews::merkzettelButton() {
    return window_.commands ? window_.commands->mz_btn : nullptr;
}

QPoint WindowViews::merkzettelMenuPosition() const {
    // Just below the button, at the left edge of the command bar.
    const QPushButton* mz = window_.commands->mz_btn;
    const QPoint below = mz->mapToGlobal(QPoint(0, mz->height()));
    return QPoint(window_.commands->mapToGlobal(QPoint(0, 0)).x(), below.y());
}

QAction* WindowViews::menuItem(const QString& objectName) const {
    return window_.action(objectName);
}

QList<QAbstractItemView*> WindowViews::titleLists() const {
    QList<QAbstractItemView*> lists;
    if (CollectionViews* views = window_.views())
        for (QAbstractItemView* list : views->findChildren<QAbstractItemView*>())
            if (list != views->tree()) lists.append(list);
    return lists;
}

QLineEdit* WindowViews::destinationField() {
    return window_.dir_text;
}

QComboBox* WindowViews::playlistField() {
    return window_.pl_text;
}

QAbstractButton* WindowViews::destinationButton() {
    return window_.dir_btn;
}

QAbstractButton* WindowViews::playlistButton() {
    return window_.pl_btn;
}

QAbstractButton* WindowViews::copyButton() {
    return window_.commands ? window_.commands->copy_btn : nullptr;
}

QAbstractButton* WindowViews::burnButton() {
    return window_.commands ? window_.commands->burn_btn : nullptr;
}

QWidget* WindowViews::profileRow() {
    return window_.profileButtons;
}

QAbstractButton* WindowViews::newProfileButton() {
    return window_.newprof;
}

void WindowViews::showCopyStatus(const QString& text) {
    // Names may be long: the line shows what fits, its tool tip the whole text.
    QLabel* line = window_.statusText;
    const int width = std::max(line->width(), 200);
    window_.setStatusText(line->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
    line->setToolTip(text);
}
