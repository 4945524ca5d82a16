#include "options_integration.h"

#include "command_binding.h"
#include "command_panel.h"
#include "commands.h"
#include "copy_integration.h"
#include "main_window.h"
#include "options_dialog.h"
#include "streaming_integration.h"

#include "encoder_search_window.h"
#include "quick_search.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

// The options items' descriptors (command_catalogue.cpp) name the pages by number.
static_assert(optionspages::Profiles == 0 && optionspages::Sounds == 1 &&
                  optionspages::Search == 2 && optionspages::Commands == 3 &&
                  optionspages::Streaming == 4 && optionspages::Misc == 5,
              "the options placements name these page numbers");

OptionsIntegration::OptionsIntegration(TForm1* window)
    : QObject(window), window_(window), form9_(new TForm9(window, window->environment().dataDir)),
      form5_(new TForm5(*this, window)), sounds_(window->environment().store) {
    form5_->setEncoderSearch(form9_);
    CommandTable& table = window_->commandTable();
    table.add(QLatin1String(cmd::Options), [this](const QString& page) { open(page.toInt()); });
    // The menu items and the panel's button are bound by the window; the profile bar's
    // button here, each with the page its descriptor names.
    if (const auto* p = commandcatalogue::placement(u"newprof"))
        commandbinding::bind(table, window_->newprof, *p);

    // The command panel's handle hides it like the menu item.
    connect(window_->commands, &CommandPanel::hideRequested, this, [this] {
        if (QAction* a = window_->action(QStringLiteral("Befehle1"))) a->setChecked(false);
    });
    // The search tips open with the desktop's notification sound.
    if (QuickSearch* search = window_->quickSearch())
        connect(search, &QuickSearch::tipsShown, this,
                [this] { sounds_.playTheme(QStringLiteral("dialog-information")); });
    // A device list that arrives while the page is open shows at once.
    if (StreamingIntegration* streaming = window_->streaming())
        connect(streaming, &StreamingIntegration::applied, form5_, [this] {
            if (form5_->isVisible() && form5_->currentPage() == optionspages::Streaming &&
                form5_->dbStreamDevice->count() == 0 && !devices().isEmpty())
                form5_->pageEntry(optionspages::Streaming);
        });
}

OptionsIntegration::~OptionsIntegration() = default;

void OptionsIntegration::open(int page) {
    form5_->openOn(page);
}

SettingsStore* OptionsIntegration::store() {
    return window_->environment().store;
}

appsettings::Settings& OptionsIntegration::settings() {
    return window_->settings();
}

QString OptionsIntegration::dataDir() const {
    return window_->environment().dataDir;
}

QString OptionsIntegration::executable() const {
    const QString exe = window_->environment().executable;
    return exe.isEmpty() ? QCoreApplication::applicationFilePath() : exe;
}

QMessageBox::StandardButton OptionsIntegration::ask(QMessageBox::Icon icon, const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
    return window_->messageBox(icon, text, buttons);
}

QString OptionsIntegration::destinationTemplate() const {
    return window_->dir_text->text();
}

QString OptionsIntegration::playlistFile() const {
    return window_->pl_text->currentText();
}

QStringList OptionsIntegration::playlistHistory() const {
    QStringList items;
    for (int i = 0; i < window_->pl_text->count(); ++i)
        items.append(window_->pl_text->itemText(i));
    return items;
}

void OptionsIntegration::addPlaylistToHistory(const QString& file) {
    QComboBox* box = window_->pl_text;
    if (box->findText(file) >= 0) return;
    const QString edit = box->currentText();
    box->insertItem(0, file);
    box->setEditText(edit);
}

void OptionsIntegration::profilesChanged() {
    if (CopyIntegration* copy = window_->copying()) {
        copy->SaveActiveProfile();
        copy->BuildProfileButtons();
    }
}

void OptionsIntegration::playSound(const QString& file, const QString& event) {
    sounds_.playFile(file, event);
}

void OptionsIntegration::applySearchOptions(const optionspages::SearchValues& v) {
    QuickSearch* search = window_->quickSearch();
    if (!search) return;
    search->setOptions(searchOptions(v));
}

quicksearch::SearchOptions OptionsIntegration::searchOptions(const optionspages::SearchValues& v) {
    quicksearch::SearchOptions o;
    o.nomedia = v.nomedia;
    o.nopads = v.nopads;
    o.reslimit = v.reslimit;
    o.reslimitcnt = v.reslimitcnt;
    o.minln = v.minln;
    o.minlncnt = v.minlncnt;
    o.nosyntax = v.nosyntax;
    o.noballoon = v.noballoon;
    return o;
}

int OptionsIntegration::searchHistoryCount() const {
    return window_->qs_text->count();
}

void OptionsIntegration::clearSearchHistory() {
    if (QuickSearch* search = window_->quickSearch()) search->setMru({});
    window_->settings().quickSearchMru.clear();
}

void OptionsIntegration::clearPlaylistHistory() {
    QComboBox* box = window_->pl_text;
    const QString edit = box->currentText();
    box->clear();
    box->setEditText(edit);
    window_->settings().playlistMru.clear();
}

QStringList OptionsIntegration::hiddenPanels() const {
    return window_->commands->hiddenGroups();
}

void OptionsIntegration::setPanelShown(const QString& group, bool shown) {
    if (QGroupBox* box = window_->commands->group(group)) {
        box->setVisible(shown);
        window_->commands->moveGroupToBottom(group);
    }
}

QList<AudioDevice> OptionsIntegration::devices() const {
    StreamingIntegration* streaming = window_->streaming();
    return streaming ? streaming->devices() : QList<AudioDevice>();
}

bool OptionsIntegration::streamingCanEnable() const {
    StreamingIntegration* streaming = window_->streaming();
    return streaming && streaming->started() && !streaming->devices().isEmpty();
}

bool OptionsIntegration::applyStreaming(bool startStop) {
    StreamingIntegration* streaming = window_->streaming();
    if (!streaming) return false;
    const bool loaded = streaming->applyLive(startStop);
    // The streaming popup menu and every bound item follow.
    window_->commandTable().refresh();
    return loaded;
}

void OptionsIntegration::releaseRegistry() {
    window_->registryCleaningReleased = true;
}

bool OptionsIntegration::registryReleased() const {
    return window_->registryCleaningReleased;
}
