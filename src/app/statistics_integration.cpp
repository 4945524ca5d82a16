#include "statistics_integration.h"

#include "app_settings.h"
#include "command_binding.h"
#include "commands.h"
#include "media_access.h"
#include "player.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "title_line.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

StatisticsIntegration::StatisticsIntegration(
    CommandTable& commands, const appsettings::Settings& settings, WStreamingServer& server,
    const StreamingStatus& streaming, Player& player, MediaAccess& media,
    const std::shared_ptr<Collection>& collection, const MyVersionInfo& version, TaskService& tasks,
    StatisticsView& view, QObject* parent)
    : QObject(parent), commands_(commands), settings_(settings), server_(server),
      streaming_(streaming), player_(player), media_(media), collection_(collection),
      version_(version), view_(view), parentWidget_(view.dialogParent()) {
    form4_ = new TForm4(this, tasks, parentWidget_);
    createControls();
    form4_->setCounterLabel(strmLbl_);
    registerCommands();
    if (parentWidget_) parentWidget_->installEventFilter(this);
    // The command panel's label counts the listeners.
    for (auto signal : {&WStreamingServer::OnStart, &WStreamingServer::OnStop})
        connect(&server_, signal, this, &StatisticsIntegration::scheduleUpdate);
    for (auto signal : {&WStreamingServer::OnClientConnect, &WStreamingServer::OnClientDisconnect})
        connect(&server_, signal, this, &StatisticsIntegration::scheduleUpdate);
    updateStreamingControls();
}

StatisticsIntegration::~StatisticsIntegration() {
    if (table_) table_->withdraw<StatisticsCommands>(&CommandServices::statistics, this);
}

bool StatisticsIntegration::eventFilter(QObject* watched, QEvent* event) {
    // The server's events reach the window from the main window's first showing on.
    if (watched == parentWidget_ && event->type() == QEvent::Show && !wired_) {
        wired_ = true;
        form4_->connectServer(&server_);
    }
    return QObject::eventFilter(watched, event);
}

void StatisticsIntegration::createControls() {
    CommandTable& table = commands_;
    auto* box = new QWidget(parentWidget_);
    box->setObjectName(QStringLiteral("streamingControls"));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    strmBtn_ = new QToolButton(box);
    strmBtn_->setObjectName(QStringLiteral("strm_btn"));
    strmBtn_->setPopupMode(QToolButton::MenuButtonPopup);
    popupMenu5_ = new QMenu(strmBtn_);
    popupMenu5_->setObjectName(QStringLiteral("PopupMenu5"));
    // Captions, commands and the options page from the descriptors.
    listenersItem_ = commandbinding::addItem(table, popupMenu5_, "Zuhrer1");
    settingsItem_ = commandbinding::addItem(table, popupMenu5_, "Einstellungen1");
    strmBtn_->setMenu(popupMenu5_);
    strmLbl_ = new QLabel(QStringLiteral("0"), box);
    strmLbl_->setObjectName(QStringLiteral("strm_lbl"));
    strmLbl_->setToolTip(QStringLiteral("Anzahl der Zuhörer"));
    strmLbl_->setMinimumWidth(24);
    strmLbl_->setAlignment(Qt::AlignCenter);
    strmLbl_->setContentsMargins(0, 0, 1, 1);
    row->addWidget(strmBtn_);
    row->addWidget(strmLbl_);
    view_.addStatusWidget(box);

    connect(popupMenu5_, &QMenu::aboutToShow, this,
            &StatisticsIntegration::updateStreamingControls);
    // The button runs the listener window while streaming is on, else the settings.
    const auto runButton = [this] {
        if (!commands_.run(QLatin1String(cmd::WatchStream), QString(), commandcatalogue::Menu))
            commands_.run(QLatin1String(cmd::Options), QString::number(StreamingPage),
                          commandcatalogue::Menu);
    };
    connect(strmBtn_, &QToolButton::clicked, this, runButton);
    if (QAbstractButton* panelButton = view_.panelStreamingButton())
        connect(panelButton, &QAbstractButton::clicked, this, runButton);
    // Pressed look: the counter moves one pixel right and down while the button is held.
    connect(strmBtn_, &QToolButton::pressed, strmLbl_,
            [this] { strmLbl_->setContentsMargins(1, 1, 0, 0); });
    connect(strmBtn_, &QToolButton::released, strmLbl_,
            [this] { strmLbl_->setContentsMargins(0, 0, 1, 1); });
    connect(&table, &CommandTable::enabledChanged, this, &StatisticsIntegration::scheduleUpdate);
}

bool StatisticsIntegration::listenersAvailable() const {
    return commands_.isEnabled(QLatin1String(cmd::WatchStream));
}

void StatisticsIntegration::scheduleUpdate() {
    if (updatePending_) return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        updatePending_ = false;
        updateStreamingControls();
    });
}

void StatisticsIntegration::updateStreamingControls() {
    const bool available = listenersAvailable();
    popupMenu5_->setDefaultAction(available ? listenersItem_ : settingsItem_);
    strmLbl_->setVisible(available);
    strmBtn_->setText(available ? QStringLiteral("Beoba&chten") : QStringLiteral("Einric&hten"));
    const bool active = server_.isActive();
    const QString problem = streaming_.problem();
    QString text = QStringLiteral("offline");
    if (active)
        text = QStringLiteral("online, ") + QLocale().toString(server_.ClientCount()) +
               QStringLiteral(" Zuhörer");
    else if (!problem.isEmpty())
        text = QStringLiteral("offline: ") + problem;
    view_.showPanelStreaming(available || commands_.isEnabled(QLatin1String(cmd::Options)), text,
                             problem);
}

void StatisticsIntegration::open(const QString& name, const QString& medium, const QString& path) {
    if (form4_->isVisible()) return;
    form4_->Request(name, medium, path);
    form4_->showRequested();
}

void StatisticsIntegration::registerCommands() {
    CommandTable& table = commands_;
    // Streaming switched on in the settings; the server's state.
    table.addStateSource(this, [this](UiState& s) {
        s.streamingEnabled = settings_.streaming.enabled;
        s.streamingActive = server_.isActive();
    });
    table.provide<StatisticsCommands>(&CommandServices::statistics, this);
}

void StatisticsIntegration::onStatistics() {
    open({});
}

void StatisticsIntegration::onAbout() {
    open(QStringLiteral("about"));
}

void StatisticsIntegration::onConnections() {
    if (form4_->isVisible()) return;
    if (connections().isEmpty()) {
        view_.ask(QMessageBox::Information,
                  QStringLiteral("Es bestehen keine Verbindungen zu Netzlaufwerken."),
                  QMessageBox::Ok);
        return;
    }
    open(QStringLiteral("connections"));
}

// Also "watchstream": the listener window while streaming is switched on.
void StatisticsIntegration::onListeners() {
    if (form4_->isVisible()) return;
    if (server_.isActive()) {
        open(QStringLiteral("listeners"));
        return;
    }
    view_.ask(QMessageBox::Information,
              QStringLiteral("Das Audio-Streaming wurde nicht aktiviert.\nEs gibt "
                             "daher keine Zuhörer, die angezeigt werden könnten."),
              QMessageBox::Ok);
}

void StatisticsIntegration::onProperties(const QString& titleLine) {
    showProperties(titleLine);
}

// A title named by its line (a web page's link), whatever the list selects.
void StatisticsIntegration::onTitleProperties(const QString& titleLine) {
    if (!titleLine.isEmpty()) showProperties(titleLine);
}

void StatisticsIntegration::onPlayingProperties() {
    showProperties(player_.currentLine());
}

void StatisticsIntegration::showProperties(const QString& titleLine) {
    QString line = titleLine;
    if (line.isEmpty()) {
        const QStringList selected = view_.selectedTitles();
        if (!selected.isEmpty()) line = selected.first();
    }
    if (line.isEmpty()) return;
    open(titleline::displayName(line), titleline::label(line), line);
}

const Collection* StatisticsIntegration::collection() const {
    return collection_.get();
}

qint64 StatisticsIntegration::shownListEntries() const {
    return view_.listedEntries();
}

QString StatisticsIntegration::findMediumDrive(const QString& label) {
    return media_.FindMediumDrive(label);
}

bool StatisticsIntegration::isWebFolder(const QString& root) const {
    for (const MediaAccess::WebDrive& d : media_.webDrives())
        if (d.drive == root) return true;
    return false;
}

QString StatisticsIntegration::titleFilePath(const QString& root, const QString& titleLine) const {
    return MediaAccess::titleFilePath(root, titleLine);
}

QString StatisticsIntegration::folderDisplay(const QString& path) const {
    return media_.TitleFolderPath(path);
}

QList<ConnectionEntry> StatisticsIntegration::connections() const {
    return media_.connections().entries();
}

QString StatisticsIntegration::playingFile() const {
    return player_.isPlaying() ? player_.deviceFile() : QString();
}

qint64 StatisticsIntegration::playingLength() const {
    return player_.titleLength();
}

const MyVersionInfo& StatisticsIntegration::version() const {
    return version_;
}
