#include "main_window.h"

#include "app_paths.h"
#include "collection_loader.h"
#include "command_panel.h"
#include "copy_integration.h"
#include "desktop_integration.h"
#include "gui_thread_connector.h"
#include "media_dialogs.h"
#include "media_integration.h"
#include "options_integration.h"
#include "player_integration.h"
#include "settings_store.h"
#include "streaming_integration.h"

#include "collection_views.h"
#include "quick_search.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

static void initLcdFontResource() {
    Q_INIT_RESOURCE(lcd_font);
}

namespace {

// The grip at a bar's left end; a double click hides the bar.
class BarHandle : public QLabel {
public:
    BarHandle(QAction* toggle, QWidget* parent) : QLabel(parent), toggle_(toggle) {
        setObjectName(QStringLiteral("handle"));
        setToolTip(QStringLiteral("Doppelklicken, um Symbolleiste zu verstecken"));
        setFixedWidth(8);
        setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { toggle_->setChecked(false); }

private:
    QAction* toggle_;
};

constexpr int kDesignedWidth = 900;
constexpr int kDesignedHeight = 620;

} // namespace

TForm1::TForm1(AppCore& core, QWidget* parent) : TForm1(nullptr, &core, parent) {}

TForm1::TForm1(Environment environment, QWidget* parent)
    : TForm1(std::make_unique<AppCore>(std::move(environment)), nullptr, parent) {}

TForm1::TForm1(std::unique_ptr<AppCore> own, AppCore* core, QWidget* parent)
    : QMainWindow(parent), ownCore_(std::move(own)), core_(core ? *core : *ownCore_),
      chartsRecords(core_.chartsRecords()), env_(core_.environment()), settings_(core_.settings()),
      collection_(core_.collectionPtr()), loader_(&core_.loader()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vorlune"));
    createMenus();
    createBars();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(barStrip_);
    mainSplitter_ = new QSplitter(Qt::Horizontal, central);
    mainSplitter_->setObjectName(QStringLiteral("mainSplitter"));
    mainSplitter_->addWidget(createCollectionViews());
    commands = new CommandPanel(mainSplitter_);
    mainSplitter_->addWidget(commands);
    mainSplitter_->setStretchFactor(0, 1);
    mainSplitter_->setStretchFactor(1, 0);
    mainSplitter_->setCollapsible(0, false);
    layout->addWidget(mainSplitter_, 1);
    setCentralWidget(central);

    statusText = new QLabel(this);
    statusText->setObjectName(QStringLiteral("statusText"));
    statusText->setTextFormat(Qt::PlainText); // names of titles and media, never markup
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setMaximumWidth(240);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    statusBar()->addWidget(statusText, 1);
    statusBar()->addPermanentWidget(ProgressBar1);
    resize(kDesignedWidth, kDesignedHeight);

    // The bar mirrors the task service.
    connect(&core_.tasks(), &TaskService::barChanged, this, &TForm1::showBar);
    showBar(core_.tasks().bar());
    connect(loader_, &CollectionLoader::loaded, this, &TForm1::adoptCollection);

    registerCommands();
    bindCommands();
    wireViews();
    FormCreate();
}

TForm1::~TForm1() {
    // Hiding the window moves the focus out of the search field, which would start a
    // search on a collection that may be gone by then.
    qs_text->blockSignals(true);
    // A load that waits for a connection on this thread is let go before waiting for it.
    if (parts_.media) parts_.media->connector().close();
    loader_->wait();
    if (!closed_) FormClose();
    // The core may outlive the window: what runs on the window goes with it.
    core_.removeWindowCommands();
    if (fontId_ >= 0) QFontDatabase::removeApplicationFont(fontId_);
}

QAction* TForm1::addItem(QMenu* menu, const char* name, const QString& caption,
                         const QKeySequence& key, bool enabled) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    if (!key.isEmpty()) {
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    a->setEnabled(enabled);
    actions_.insert(QLatin1String(name), a);
    return a;
}

QAction* TForm1::addToggle(QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& key) {
    QAction* a = addItem(menu, name, caption, key, true);
    a->setCheckable(true);
    return a;
}

void TForm1::addCommandItems(QMenu* menu, const char* path, int section) {
    for (const commandcatalogue::MenuEntry& e : commandcatalogue::menuLayout()) {
        if (e.section != section || qstrcmp(e.menu, path) != 0) continue;
        if (e.objectName)
            addCommandItem(menu, e.objectName);
        else
            menu->addSeparator();
    }
}

QAction* TForm1::addCommandItem(QMenu* menu, const char* name) {
    const commandcatalogue::Descriptor* d = nullptr;
    const commandcatalogue::Placement* p = commandcatalogue::placement(QLatin1String(name), &d);
    Q_ASSERT(p && p->caption);
    QAction* a =
        addItem(menu, name, QString::fromUtf8(p->caption),
                p->shortcut ? QKeySequence(QString::fromLatin1(p->shortcut)) : QKeySequence());
    a->setCheckable(d->checkable);
    return a;
}

QAction* TForm1::action(const QString& objectName) const {
    return actions_.value(objectName);
}

void TForm1::createMenus() {
    // The command items come from the menu layout made from the descriptors; the window
    // adds its own items between their sections.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    addCommandItems(file, "&Datei", 0);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&Ansicht"));
    addToggle(view, "Befehle1", QStringLiteral("&Befehle"))->setChecked(true);
    addToggle(view, "Schnellsuche1", QStringLiteral("&Schnellsuche"))->setChecked(true);
    addToggle(view, "Zielangaben1", QStringLiteral("&Zielangaben"))->setChecked(true);
    addToggle(view, "Profile1", QStringLiteral("&Profile"))->setChecked(true);
    addCommandItems(view, "&Ansicht", 0);
    QMenu* list = view->addMenu(QStringLiteral("&Dateiliste"));
    viewStyleGroup_ = new QActionGroup(this);
    const char* styleNames[] = {"GroeSymbole1", "KleineSymbole1", "Liste1", "Details1"};
    const QString styleCaptions[] = {QStringLiteral("&Große Symbole"),
                                     QStringLiteral("&Kleine Symbole"), QStringLiteral("&Liste"),
                                     QStringLiteral("&Details")};
    for (int i = 0; i < 4; ++i) {
        QAction* a = addToggle(list, styleNames[i], styleCaptions[i]);
        a->setData(i);
        viewStyleGroup_->addAction(a);
    }
    action(QStringLiteral("Details1"))->setChecked(true);
    list->addSeparator();
    addToggle(list, "Name1", QStringLiteral("&Name"))->setChecked(true);
    addToggle(list, "Datentrger1", QStringLiteral("&Datenträger"))->setChecked(true);
    addToggle(list, "AusfhrlicherName1", QStringLiteral("&Ausführlicher Name"));
    addCommandItems(list, "&Ansicht/&Dateiliste", 0);

    QMenu* play = menuBar()->addMenu(QStringLiteral("W&iedergabe"));
    addCommandItems(play, "W&iedergabe", 0);
    play->addSeparator();
    timeModeGroup_ = new QActionGroup(this);
    QAction* elapsed = addToggle(play, "AktuelleZeit1", QStringLiteral("&Aktuelle Zeit"));
    QAction* remaining = addToggle(play, "VerbleibendeZeit1", QStringLiteral("&Verbleibende Zeit"));
    elapsed->setData(0);
    remaining->setData(1);
    timeModeGroup_->addAction(elapsed);
    timeModeGroup_->addAction(remaining);
    elapsed->setChecked(true);
    addToggle(play, "TrayAnzeige1", QStringLiteral("&Tray-Anzeige"))->setChecked(true);
    addCommandItems(play, "W&iedergabe", 1);

    QMenu* notes = menuBar()->addMenu(QStringLiteral("&Merkzettel"));
    addCommandItems(notes, "&Merkzettel", 0);

    QMenu* dest = menuBar()->addMenu(QStringLiteral("&Zielangaben"));
    addItem(dest, "Zielordner1", QStringLiteral("&Zielordner..."));
    addItem(dest, "Playlist1", QStringLiteral("&Playlist..."));
    dest->addSeparator();
    copyModeGroup_ = new QActionGroup(this);
    const char* modeNames[] = {"ZumZielortkopieren1", "ZumZielortverschieben1", "AufCDschreiben1"};
    const QString modeCaptions[] = {QStringLiteral("Zum Zielort &kopieren"),
                                    QStringLiteral("Zum Zielort &verschieben"),
                                    QStringLiteral("Auf &CD schreiben...")};
    for (int i = 0; i < 3; ++i) {
        QAction* a = addToggle(dest, modeNames[i], modeCaptions[i]);
        a->setData(i);
        copyModeGroup_->addAction(a);
    }
    action(QStringLiteral("ZumZielortkopieren1"))->setChecked(true);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Einstellungen"));
    addCommandItems(options, "&Einstellungen", 0);
}

QWidget* TForm1::makeBar(const char* name, QAction* toggle, QWidget* content) {
    auto* bar = new QWidget(barStrip_);
    bar->setObjectName(QLatin1String(name));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->addWidget(new BarHandle(toggle, bar));
    row->addWidget(content, 1);
    connect(toggle, &QAction::toggled, bar, [this, bar](bool on) {
        bar->setVisible(on);
        relayoutBars();
    });
    return bar;
}

void TForm1::createBars() {
    barStrip_ = new QWidget(this);
    barStrip_->setObjectName(QStringLiteral("barStrip"));
    auto* strip = new QVBoxLayout(barStrip_);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);

    auto* search = new QWidget;
    auto* row = new QHBoxLayout(search);
    row->setContentsMargins(0, 0, 0, 0);
    auto* searchLabel = new QLabel(QStringLiteral("Schnellsuche:"), search);
    qs_text = new QComboBox(search);
    qs_text->setObjectName(QStringLiteral("qs_text"));
    qs_text->setEditable(true);
    qs_text->setInsertPolicy(QComboBox::NoInsert);
    qs_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    searchLabel->setBuddy(qs_text);
    qs_go = new QPushButton(QStringLiteral("&Go!"), search);
    qs_go->setObjectName(QStringLiteral("qs_go"));
    row->addWidget(searchLabel);
    row->addWidget(qs_text, 1);
    row->addWidget(qs_go);
    searchBar_ = makeBar("searchBar", action(QStringLiteral("Schnellsuche1")), search);

    auto* dest = new QWidget;
    row = new QHBoxLayout(dest);
    row->setContentsMargins(0, 0, 0, 0);
    dir_text = new QLineEdit(dest);
    dir_text->setObjectName(QStringLiteral("dir_text"));
    dir_btn = new QPushButton(QStringLiteral("Durchsuchen..."), dest);
    dir_btn->setObjectName(QStringLiteral("dir_btn"));
    dir_btn->setEnabled(false);
    pl_text = new QComboBox(dest);
    pl_text->setObjectName(QStringLiteral("pl_text"));
    pl_text->setEditable(true);
    pl_text->setInsertPolicy(QComboBox::NoInsert);
    pl_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    pl_btn = new QPushButton(QStringLiteral("Durchsuchen..."), dest);
    pl_btn->setObjectName(QStringLiteral("pl_btn"));
    pl_btn->setEnabled(false);
    row->addWidget(new QLabel(QStringLiteral("Ziel:"), dest));
    row->addWidget(dir_text, 1);
    row->addWidget(dir_btn);
    row->addWidget(new QLabel(QStringLiteral("Playlist:"), dest));
    row->addWidget(pl_text, 1);
    row->addWidget(pl_btn);
    destBar_ = makeBar("destBar", action(QStringLiteral("Zielangaben1")), dest);

    auto* profiles = new QWidget;
    row = new QHBoxLayout(profiles);
    row->setContentsMargins(0, 0, 0, 0);
    profileButtons = new QWidget(profiles);
    profileButtons->setObjectName(QStringLiteral("profileButtons"));
    auto* buttons = new QHBoxLayout(profileButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    newprof = new QPushButton(QStringLiteral("Profile..."), profiles);
    newprof->setObjectName(QStringLiteral("newprof"));
    newprof->setEnabled(false);
    row->addWidget(profileButtons, 1);
    row->addWidget(newprof);
    profileBar_ = makeBar("profileBar", action(QStringLiteral("Profile1")), profiles);

    strip->addWidget(searchBar_);
    strip->addWidget(destBar_);
    strip->addWidget(profileBar_);

    connect(action(QStringLiteral("Befehle1")), &QAction::toggled, this, [this](bool on) {
        if (commands) commands->setVisible(on);
    });
}

QWidget* TForm1::createCollectionViews() {
    views_ = new CollectionViews;
    views_->setObjectName(QStringLiteral("views"));
    treeBaseFont_ = views_->font();
    listBaseFont_ = views_->font();
    return views_;
}

void TForm1::wireViews() {
    quickSearch_ = new QuickSearch(qs_text, qs_go, views_, this);
    quickSearch_->setRequestHandler([this] {
        core_.commands().run(QLatin1String(cmd::QuickSearch), QString(),
                             CommandTable::FrontEnd::Menu);
    });
    connect(quickSearch_, &QuickSearch::searchingChanged, &core_.commands(),
            &CommandTable::refresh);
    connect(views_, &CollectionViews::statusTextChanged, this, &TForm1::setStatusText);
    connect(views_, &CollectionViews::listSelectionChanged, &core_.commands(),
            &CommandTable::refresh);
    // The copy group follows the copy command.
    QGroupBox* actions = commands->group(QStringLiteral("Aktionen"));
    actions->setEnabled(false);
    connect(&core_.commands(), &CommandTable::enabledChanged, actions,
            [actions](const QString& name, bool on) {
                if (name == QLatin1String(cmd::Copy)) actions->setEnabled(on);
            });
    connect(viewStyleGroup_, &QActionGroup::triggered, views_, [this](QAction* a) {
        views_->setViewStyle(CollectionViews::ViewStyle(a->data().toInt()));
    });
    const std::pair<const char*, CollectionViews::ListColumn> columns[] = {
        {"Name1", CollectionViews::NameColumn},
        {"Datentrger1", CollectionViews::LabelColumn},
        {"AusfhrlicherName1", CollectionViews::FullNameColumn}};
    for (const auto& [name, column] : columns)
        connect(action(QLatin1String(name)), &QAction::toggled, views_,
                [this, column = column](bool on) { views_->setColumnVisible(column, on); });
}

// Shows the current collection in the views, back at the node that was selected.
void TForm1::showCollection(Collection* previous) {
    QStringList path;
    if (previous)
        for (TreeNode* n = views_->currentNode(); n && n->parent(); n = n->parent())
            path.prepend(n->text);
    ViewContext& context = views_->context();
    context.songsPlayed = settings_.main.songsPlayed;
    context.chartsSize = settings_.main.chartsSize;
    context.chartValues.clear();
    for (const QString& line : collection_->titleLists.list(TitleLists::Charts))
        context.chartValues.append(chartsRecords.value(line));
    views_->setCollection(collection_.get());
    TreeNode* node = collection_->root();
    for (const QString& caption : path) {
        TreeNode* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text == caption) next = node->child(i);
        if (!next) break;
        node = next;
    }
    if (node != collection_->root()) views_->selectNode(node);
}

int TForm1::splitPosition() const {
    return views_->splitPosition();
}

void TForm1::setSplitPosition(int treeWidth) {
    treeWidth = std::max(treeWidth, 0);
    views_->setSplitPosition(treeWidth);
}

void TForm1::relayoutBars() {
    const bool any = !searchBar_->isHidden() || !destBar_->isHidden() || !profileBar_->isHidden();
    barStrip_->setVisible(any);
    barStrip_->updateGeometry();
}

QMessageBox::StandardButton TForm1::ask(QMessageBox::Icon icon, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        const QString& detail) {
    if (messageBox_) return messageBox_(icon, text, buttons);
    QMessageBox box(icon, QStringLiteral("Vorlune"), text, buttons, this);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    // No and OK together confirm something that cannot be undone: Return must not do it.
    if (buttons.testFlags(QMessageBox::Ok | QMessageBox::No)) box.setDefaultButton(QMessageBox::No);
    return QMessageBox::StandardButton(box.exec());
}

void TForm1::setStatusText(const QString& text) {
    statusText->setText(text);
}

void TForm1::showBar(const tasks::Bar& bar) {
    ProgressBar1->setRange(0, bar.maximum);
    ProgressBar1->setValue(bar.value);
    ProgressBar1->setToolTip(bar.label);
    ProgressBar1->setVisible(bar.visible);
}

bool TForm1::isLoading() const {
    return loader_->isRunning();
}

void TForm1::FormCreate() {
    // Base fonts, version record and user agent; the control handler is installed by
    // the entry once the instance lock is held.
    version_ = MyVersionInfo::current();

    // The dialogs, in their order: insert-medium dialog, copy dialog, statistics window,
    // options dialog, password prompt, ...
    Form2 = new TForm2(this);
    Form6 = new TForm6(this);
    composeIntegrations(*this, core_, parts_);
}

MediaAccess* TForm1::mediaAccess() const {
    return parts_.media ? &parts_.media->access() : nullptr;
}

bool TForm1::isDownloading() const {
    return parts_.media && parts_.media->access().isDownloading();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TForm1::installDisplayFont() {
    initLcdFontResource();
    if (QFontDatabase::families().contains(QStringLiteral("DSEG7 Classic"))) return;
    fontId_ = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/lcddigit.ttf"));
}

void TForm1::FormShow() {
    installDisplayFont();
    if (env_.store) appsettings::registerSoundEvents(*env_.store);
    QString schemeError;
    if (!env_.applicationsDir.isEmpty() && !env_.executable.isEmpty() &&
        !desktopintegration::registerUrlScheme(env_.executable, env_.applicationsDir,
                                               desktopintegration::systemDataDirs(),
                                               &schemeError)) {
        startupNotice_ = QStringLiteral("Vorlune kann nicht als Programm für \"vorlune:\"-Links "
                                        "eingetragen werden. ") +
                         schemeError;
        qWarning().noquote() << startupNotice_;
    }
    collection_->CatalogDir = env_.catalogDir;
    loadSettings();
    parts_.copy->BuildProfileButtons();
    updateMerkzettelItems();
    showCollection(nullptr);
    startLoading();
    parts_.streaming->start();
}

void TForm1::loadSettings() {
    if (env_.store) appsettings::load(*env_.store, settings_);
    const appsettings::MainSettings& m = settings_.main;

    // 1. Window and splitter.
    QRect g = geometry();
    if (m.winPosX) g.moveLeft(*m.winPosX);
    if (m.winPosY) g.moveTop(*m.winPosY);
    if (m.winSizeX && *m.winSizeX > 100) g.setWidth(*m.winSizeX);
    if (m.winSizeY && *m.winSizeY > 100) g.setHeight(*m.winSizeY);
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    setGeometry(
        appsettings::placeOnScreen(g, screens, primary ? primary->availableGeometry() : QRect()));
    if (m.winMaximized) setWindowState(windowState() | Qt::WindowMaximized);
    setSplitPosition(m.splitPos);

    // 2. Toggles through the menu commands.
    action(QStringLiteral("Wiederholen1"))->setChecked(m.repeat);
    action(QStringLiteral("Zufllig1"))->setChecked(m.shuffle);
    action(QStringLiteral("Befehle1"))->setChecked(m.commandPanel);
    action(QStringLiteral("Schnellsuche1"))->setChecked(m.searchPanel);
    action(QStringLiteral("Zielangaben1"))->setChecked(m.destPanel);
    action(QStringLiteral("Profile1"))->setChecked(m.profilePanel);
    action(QStringLiteral("Name1"))->setChecked(m.nameColumn);
    action(QStringLiteral("Datentrger1"))->setChecked(m.cdColumn);
    action(QStringLiteral("AusfhrlicherName1"))->setChecked(m.fullNameColumn);
    dir_text->setText(m.musicDir);
    pl_text->setEditText(m.playlist);

    // 3. The search text, wholly selected.
    qs_text->setEditText(m.searchText);
    qs_text->lineEdit()->selectAll();

    // 4. View style; the web flag waits for the web view.
    viewStyleGroup_->actions().at(m.listViewStyle())->setChecked(true);
    webViewWanted_ = m.webView();

    // 5. Copy mode, time mode, tray display.
    copyModeGroup_->actions().at(m.copyMode)->setChecked(true);
    timeModeGroup_->actions().at(m.timeMode)->setChecked(true);
    action(QStringLiteral("TrayAnzeige1"))->setChecked(m.trayDisplay);

    // 7. Command panel groups.
    commands->setHiddenGroups(settings_.hiddenPanels);

    // 8. to 10. Remembered lists.
    qs_text->clear();
    qs_text->addItems(settings_.quickSearchMru);
    qs_text->setEditText(m.searchText);
    qs_text->lineEdit()->selectAll();
    quickSearch_->setOptions(OptionsIntegration::searchOptions(optionspages::searchValues(m)));
    views_->setViewStyle(CollectionViews::ViewStyle(m.listViewStyle()));
    views_->setColumnVisible(CollectionViews::NameColumn, m.nameColumn);
    views_->setColumnVisible(CollectionViews::LabelColumn, m.cdColumn);
    views_->setColumnVisible(CollectionViews::FullNameColumn, m.fullNameColumn);
    pl_text->clear();
    pl_text->addItems(settings_.playlistMru);
    pl_text->setEditText(m.playlist);
    collection_->titleLists.list(TitleLists::Merkzettel) = settings_.brainMru;
    QStringList charts;
    charts.reserve(settings_.chartsMru.size());
    chartsRecords.clear();
    for (const auto& [line, record] : settings_.chartsMru) {
        charts.append(line);
        chartsRecords.insert(line, record);
    }
    collection_->titleLists.list(TitleLists::Charts) = charts;
    if (parts_.player) parts_.player->applySettings(settings_);
}

void TForm1::collectSettings() {
    appsettings::MainSettings& m = settings_.main;
    m.splitPos = splitPosition();
    m.winMaximized = isMaximized();
    if (!m.winMaximized) {
        const QRect g = geometry();
        m.winPosX = g.x();
        m.winPosY = g.y();
        m.winSizeX = g.width();
        m.winSizeY = g.height();
    }
    m.repeat = action(QStringLiteral("Wiederholen1"))->isChecked();
    m.shuffle = action(QStringLiteral("Zufllig1"))->isChecked();
    m.commandPanel = action(QStringLiteral("Befehle1"))->isChecked();
    m.searchPanel = action(QStringLiteral("Schnellsuche1"))->isChecked();
    m.destPanel = action(QStringLiteral("Zielangaben1"))->isChecked();
    m.profilePanel = action(QStringLiteral("Profile1"))->isChecked();
    m.nameColumn = action(QStringLiteral("Name1"))->isChecked();
    m.cdColumn = action(QStringLiteral("Datentrger1"))->isChecked();
    m.fullNameColumn = action(QStringLiteral("AusfhrlicherName1"))->isChecked();
    m.musicDir = dir_text->text();
    m.playlist = pl_text->currentText();
    m.searchText = qs_text->currentText();
    const bool web = action(QStringLiteral("Browser1"))->isEnabled()
                         ? action(QStringLiteral("Browser1"))->isChecked()
                         : webViewWanted_;
    m.viewStyle =
        viewStyleGroup_->checkedAction()->data().toInt() + (web ? appsettings::WebViewBit : 0);
    m.copyMode = copyModeGroup_->checkedAction()->data().toInt();
    m.timeMode = timeModeGroup_->checkedAction()->data().toInt();
    m.trayDisplay = action(QStringLiteral("TrayAnzeige1"))->isChecked();
    settings_.hiddenPanels = commands->hiddenGroups();

    settings_.quickSearchMru.clear();
    for (int i = 0; i < qs_text->count(); ++i)
        settings_.quickSearchMru.append(qs_text->itemText(i));
    settings_.playlistMru.clear();
    for (int i = 0; i < pl_text->count(); ++i)
        settings_.playlistMru.append(pl_text->itemText(i));
    settings_.brainMru = collection_->titleLists.list(TitleLists::Merkzettel);
    settings_.chartsMru.clear();
    for (const QString& line : collection_->titleLists.list(TitleLists::Charts))
        settings_.chartsMru.append({line, chartsRecords.value(line)});
    if (parts_.player) parts_.player->collectSettings(settings_);
}

void TForm1::saveSettings() {
    collectSettings();
    if (!env_.store) return;
    appsettings::save(*env_.store, settings_);
    QString error;
    // A file the user was told about at start is left alone without another word.
    if (env_.store->mayWrite() && !env_.store->save(&error))
        setStatusText(SettingsStore::saveFailedText(env_.store->filePath(), error));
}

bool TForm1::saveSettingsAtClosing() {
    SettingsStore& store = *env_.store;
    if (!store.mayWrite()) return false;
    QString error;
    while (!store.save(&error)) {
        const QString text = SettingsStore::saveFailedText(store.filePath(), error) +
                             QStringLiteral("\n\nDie Änderungen dieser Sitzung gehen sonst "
                                            "verloren. Erneut versuchen?");
        if (ask(QMessageBox::Warning, text, QMessageBox::Retry | QMessageBox::Discard) !=
            QMessageBox::Retry)
            return false;
    }
    return true;
}

void TForm1::updateMerkzettelItems() {
    core_.commands().refresh();
}

void TForm1::startLoading() {
    loader_->start(env_.catalogDir);
}

void TForm1::adoptCollection(std::shared_ptr<Collection> fresh, const LoadReport& report) {
    if (closed_) return;
    if (closeRequested_) {
        parkedCollection_ = std::move(fresh);
        parkedReport_ = report;
        return;
    }
    CollectionLoader::carryFixedLists(*collection_, *fresh);
    // The views let go of the old nodes before they are freed.
    const std::shared_ptr<Collection> previous = std::exchange(collection_, std::move(fresh));
    showCollection(previous.get());
    setStatusText(collection_->loadedStatusText() +
                  (startupNotice_.isEmpty() ? QString() : QStringLiteral(" – ") + startupNotice_));
    startupNotice_.clear();
    emit collectionReplaced(collection_.get());
    if (!report.errors.isEmpty())
        ask(QMessageBox::Warning, report.errors.join(QLatin1Char('\n')), QMessageBox::Ok);
    emit loadFinished();
}

void TForm1::onReload() {
    if (!shown_) return;
    setStatusText(QStringLiteral("Medien werden neu geladen..."));
    startLoading();
}

void TForm1::onRaise() {
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    qs_text->setFocus(Qt::OtherFocusReason);
    qs_text->lineEdit()->selectAll();
}

bool TForm1::FormCloseQuery() {
    // A load that ends while the questions are open waits; closing drops it.
    closeRequested_ = true;
    bool allowed = true;
    for (const auto& hook : closeRequestHooks)
        if (!hook()) {
            allowed = false;
            break;
        }
    closeRequested_ = false;
    std::shared_ptr<Collection> parked = std::exchange(parkedCollection_, nullptr);
    if (!allowed && parked) adoptCollection(std::move(parked), std::exchange(parkedReport_, {}));
    return allowed;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    closed_ = true;
    if (parts_.media) parts_.media->connector().close();
    loader_->wait();
    collectSettings();
    if (env_.store) appsettings::save(*env_.store, settings_);
    for (const auto& hook : closingHooks)
        hook();
    // The store is written once, after every part has put its values in.
    bool cleaned = false;
    if (registryCleaningReleased && env_.store) {
        const QString warning = QStringLiteral(
            "!!!ACHTUNG!!!\r\n\r\nDie von der \"Vorlune\" in der Einstellungsdatei gespeicherten "
            "Werte "
            "wurden zum Löschen freigegeben.\r\nSollen diese Daten jetzt gelöscht werden?");
        if (ask(QMessageBox::Warning, warning, QMessageBox::Ok | QMessageBox::No) ==
            QMessageBox::Ok) {
            cleaned = true;
            appsettings::cleanStore(*env_.store);
            const bool saved = saveSettingsAtClosing();
            const bool unregistered = env_.applicationsDir.isEmpty() ||
                                      desktopintegration::unregisterUrlScheme(env_.applicationsDir);
            if (saved && unregistered)
                ask(QMessageBox::Information,
                    QStringLiteral(
                        "Die durch die \"Vorlune\" vorgenommenen Einträge wurden gelöscht."),
                    QMessageBox::Ok);
            else
                ask(QMessageBox::Warning,
                    QStringLiteral("Die durch die \"Vorlune\" vorgenommenen Einträge konnten "
                                   "nicht vollständig gelöscht werden."),
                    QMessageBox::Ok);
        } else {
            ask(QMessageBox::Information,
                QStringLiteral("Das Löschen der Einträge wurde verhindert."), QMessageBox::Ok);
        }
    }
    if (env_.store && !cleaned) saveSettingsAtClosing();
    if (!env_.tempDir.isEmpty())
        for (const char* name : {"data.js", "stats.js", "lcddigit.ttf"})
            QFile::remove(QDir(env_.tempDir).filePath(QLatin1String(name)));
}

void TForm1::endSession() {
    if (!closed_) FormClose();
    QApplication::quit();
}
