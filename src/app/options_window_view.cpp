#include "options_window_view.h"

#include "command_binding.h"
#include "command_panel.h"
#include "commands.h"
#include "copy_integration.h"
#include "main_window.h"
#include "options_integration.h"
#include "streaming_integration.h"

#include "quick_search.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

void OptionsWindowView::wire(OptionsIntegration& options) {
    // The menu items and the panel's button are bound by the window; the profile bar's
    // button here.
    if (const auto* p = commandcatalogue::placement(u"newprof"))
        commandbinding::bind(window_.commandTable(), window_.newprof, *p);
    // The command panel's handle hides it like the menu item.
    TForm1* w = &window_;
    QObject::connect(window_.commands, &CommandPanel::hideRequested, &options, [w] {
        if (QAction* a = w->action(QStringLiteral("Befehle1"))) a->setChecked(false);
    });
    if (QuickSearch* search = window_.quickSearch())
        QObject::connect(search, &QuickSearch::tipsShown, &options,
                         &OptionsIntegration::playTipsSound);
}

QWidget* OptionsWindowView::window() {
    return &window_;
}

QMessageBox::StandardButton OptionsWindowView::ask(QMessageBox::Icon icon, const QString& text,
                                                   QMessageBox::StandardButtons buttons) {
    return window_.messageBox(icon, text, buttons);
}

QString OptionsWindowView::destinationTemplate() const {
    return window_.dir_text->text();
}

QString OptionsWindowView::playlistFile() const {
    return window_.pl_text->currentText();
}

QStringList OptionsWindowView::playlistHistory() const {
    QStringList items;
    for (int i = 0; i < window_.pl_text->count(); ++i)
        items.append(window_.pl_text->itemText(i));
    return items;
}

void OptionsWindowView::addPlaylistToHistory(const QString& file) {
    QComboBox* box = window_.pl_text;
    if (box->findText(file) >= 0) return;
    const QString edit = box->currentText();
    box->insertItem(0, file);
    box->setEditText(edit);
}

void OptionsWindowView::clearPlaylistHistory() {
    QComboBox* box = window_.pl_text;
    const QString edit = box->currentText();
    box->clear();
    box->setEditText(edit);
}

void OptionsWindowView::setSearchOptions(const quicksearch::SearchOptions& options) {
    if (QuickSearch* search = window_.quickSearch()) search->setOptions(options);
}

int OptionsWindowView::searchHistoryCount() const {
    return window_.qs_text->count();
}

void OptionsWindowView::clearSearchHistory() {
    if (QuickSearch* search = window_.quickSearch()) search->setMru({});
}

QStringList OptionsWindowView::hiddenPanels() const {
    return window_.commands->hiddenGroups();
}

void OptionsWindowView::setPanelShown(const QString& group, bool shown) {
    if (QGroupBox* box = window_.commands->group(group)) {
        box->setVisible(shown);
        window_.commands->moveGroupToBottom(group);
    }
}

void OptionsWindowView::releaseRegistry() {
    window_.registryCleaningReleased = true;
}

bool OptionsWindowView::registryReleased() const {
    return window_.registryCleaningReleased;
}

void StreamingForOptions::wire(OptionsIntegration& options) {
    QObject::connect(&streaming_, &StreamingIntegration::applied, &options,
                     &OptionsIntegration::streamingApplied);
}

QList<AudioDevice> StreamingForOptions::devices() const {
    return streaming_.devices();
}

bool StreamingForOptions::started() const {
    return streaming_.started();
}

bool StreamingForOptions::applyLive(bool startStop) {
    return streaming_.applyLive(startStop);
}

void ProfilesForOptions::profilesChanged() {
    copy_.SaveActiveProfile();
    copy_.BuildProfileButtons();
}
