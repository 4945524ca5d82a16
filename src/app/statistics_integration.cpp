#include "statistics_integration.h"

#include "collection_views.h"
#include "command_binding.h"
#include "command_panel.h"
#include "main_window.h"
#include "media_access.h"
#include "player.h"
#include "player_integration.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "title_line.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

StatisticsIntegration::StatisticsIntegration(TForm1* window) : QObject(window), window_(window) {
    form4_ = new TForm4(this, window);
    createControls();
    form4_->setCounterLabel(strm_lbl);
    registerCommands();
    window_->installEventFilter(this);
    if (StreamingIntegration* s = window_->streaming()) {
        connect(s, &StreamingIntegration::applied, this, &StatisticsIntegration::scheduleUpdate);
        // The command panel's label counts the listeners.
        WStreamingServer* server = &s->server();
        for (auto signal : {&WStreamingServer::OnStart, &WStreamingServer::OnStop})
            connect(server, signal, this, &StatisticsIntegration::scheduleUpdate);
        for (auto signal :
             {&WStreamingServer::OnClientConnect, &WStreamingServer::OnClientDisconnect})
            connect(server, signal, this, &StatisticsIntegration::scheduleUpdate);
    }
    if (PlayerIntegration* p = window_->playback()) player_ = &p->player();
    updateStreamingControls();
}

StatisticsIntegration::~StatisticsIntegration() = default;

bool StatisticsIntegration::eventFilter(QObject* watched, QEvent* event) {
    // The server's events reach the window from the main window's first showing on.
    if (watched == window_ && event->type() == QEvent::Show && !wired_) {
        wired_ = true;
        if (StreamingIntegration* s = window_->streaming()) form4_->connectServer(&s->server());
    }
    return QObject::eventFilter(watched, event);
}

void StatisticsIntegration::createControls() {
    CommandTable& table = window_->commandTable();
    auto* box = new QWidget(window_);
    box->setObjectName(QStringLiteral("streamingControls"));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    strm_btn = new QToolButton(box);
    strm_btn->setObjectName(QStringLiteral("strm_btn"));
    strm_btn->setPopupMode(QToolButton::MenuButtonPopup);
    PopupMenu5 = new QMenu(strm_btn);
    PopupMenu5->setObjectName(QStringLiteral("PopupMenu5"));
    // Captions, commands and the options page from the descriptors.
    listenersItem_ = commandbinding::addItem(table, PopupMenu5, "Zuhrer1");
    settingsItem_ = commandbinding::addItem(table, PopupMenu5, "Einstellungen1");
    strm_btn->setMenu(PopupMenu5);
    strm_lbl = new QLabel(QStringLiteral("0"), box);
    strm_lbl->setObjectName(QStringLiteral("strm_lbl"));
    strm_lbl->setToolTip(QStringLiteral("Anzahl der Zuhörer"));
    strm_lbl->setMinimumWidth(24);
    strm_lbl->setAlignment(Qt::AlignCenter);
    strm_lbl->setContentsMargins(0, 0, 1, 1);
    row->addWidget(strm_btn);
    row->addWidget(strm_lbl);
    window_->statusBar()->addPermanentWidget(box);

    connect(PopupMenu5, &QMenu::aboutToShow, this, &StatisticsIntegration::updateStreamingControls);
    // The button runs the listener window while streaming is on, else the settings.
    const auto runButton = [this] {
        CommandTable& t = window_->commandTable();
        if (!t.run(QLatin1String(cmd::WatchStream), QString(), commandcatalogue::Menu))
            t.run(QLatin1String(cmd::Options), QString::number(StreamingPage),
                  commandcatalogue::Menu);
    };
    connect(strm_btn, &QToolButton::clicked, this, runButton);
    if (QPushButton* panelButton = window_->commands ? window_->commands->strm_btn : nullptr)
        connect(panelButton, &QPushButton::clicked, this, runButton);
    // Pressed look: the counter moves one pixel right and down while the button is held.
    connect(strm_btn, &QToolButton::pressed, strm_lbl,
            [this] { strm_lbl->setContentsMargins(1, 1, 0, 0); });
    connect(strm_btn, &QToolButton::released, strm_lbl,
            [this] { strm_lbl->setContentsMargins(0, 0, 1, 1); });
    connect(&table, &CommandTable::enabledChanged, this, &StatisticsIntegration::scheduleUpdate);
}

bool StatisticsIntegration::listenersAvailable() const {
    return window_->commandTable().isEnabled(QLatin1String(cmd::WatchStream));
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
    PopupMenu5->setDefaultAction(available ? listenersItem_ : settingsItem_);
    strm_lbl->setVisible(available);
    strm_btn->setText(available ? QStringLiteral("Beoba&chten") : QStringLiteral("Einric&hten"));
    if (CommandPanel* panel = window_->commands) {
        CommandTable& t = window_->commandTable();
        panel->strm_btn->setEnabled(available || t.isEnabled(QLatin1String(cmd::Options)));
        StreamingIntegration* s = window_->streaming();
        const bool active = s && s->server().isActive();
        const QString problem = s ? s->problem() : QString();
        QString text = QStringLiteral("offline");
        if (active)
            text = QStringLiteral("online, ") + QLocale().toString(s->server().ClientCount()) +
                   QStringLiteral(" Zuhörer");
        else if (!problem.isEmpty())
            text = QStringLiteral("offline: ") + problem;
        panel->strm_status->setText(text);
        panel->strm_status->setToolTip(problem);
    }
}

void StatisticsIntegration::open(const QString& name, const QString& medium, const QString& path) {
    if (form4_->isVisible()) return;
    form4_->Request(name, medium, path);
    form4_->showRequested();
}

void StatisticsIntegration::registerCommands() {
    CommandTable& table = window_->commandTable();
    table.add(QLatin1String(cmd::Statistics), [this](const QString&) { open({}); });
    table.add(QLatin1String(cmd::About), [this](const QString&) { open(QStringLiteral("about")); });
    table.add(QLatin1String(cmd::Connections), [this](const QString&) {
        if (form4_->isVisible()) return;
        if (connections().isEmpty()) {
            window_->messageBox(QMessageBox::Information,
                                QStringLiteral("Es bestehen keine Verbindungen zu Netzlaufwerken."),
                                QMessageBox::Ok);
            return;
        }
        open(QStringLiteral("connections"));
    });
    // Streaming switched on in the settings; the server's state.
    table.addStateSource(this, [this](UiState& s) {
        s.streamingEnabled = window_->settings().streaming.enabled;
        StreamingIntegration* streaming = window_->streaming();
        s.streamingActive = streaming && streaming->server().isActive();
    });
    const auto listeners = [this](const QString&) {
        if (form4_->isVisible()) return;
        StreamingIntegration* s = window_->streaming();
        if (s && s->server().isActive()) {
            open(QStringLiteral("listeners"));
            return;
        }
        window_->messageBox(QMessageBox::Information,
                            QStringLiteral("Das Audio-Streaming wurde nicht aktiviert.\nEs gibt "
                                           "daher keine Zuhörer, die angezeigt werden könnten."),
                            QMessageBox::Ok);
    };
    table.add(QLatin1String(cmd::Listeners), listeners);
    table.add(QLatin1String(cmd::WatchStream), listeners);
    table.add(QLatin1String(cmd::Properties),
              [this](const QString& line) { showProperties(line); });
    // A title named by its line (a web page's link), whatever the list selects.
    table.add(QLatin1String(cmd::TitleProperties), [this](const QString& line) {
        if (!line.isEmpty()) showProperties(line);
    });
    table.add(QLatin1String(cmd::PlayingProperties), [this](const QString&) {
        if (player_) showProperties(player_->currentLine());
    });
}

void StatisticsIntegration::showProperties(const QString& titleLine) {
    QString line = titleLine;
    if (line.isEmpty() && window_->views()) {
        const QStringList selected = window_->views()->selectedTitles();
        if (!selected.isEmpty()) line = selected.first();
    }
    if (line.isEmpty()) return;
    open(titleline::displayName(line), titleline::label(line), line);
}

const Collection* StatisticsIntegration::collection() const {
    return &window_->collection();
}

qint64 StatisticsIntegration::shownListEntries() const {
    return window_->views() ? window_->views()->itemCount() : 0;
}

QString StatisticsIntegration::findMediumDrive(const QString& label) {
    MediaAccess* media = window_->mediaAccess();
    return media ? media->FindMediumDrive(label) : QString();
}

bool StatisticsIntegration::isWebFolder(const QString& root) const {
    if (MediaAccess* media = window_->mediaAccess())
        for (const MediaAccess::WebDrive& d : media->webDrives())
            if (d.drive == root) return true;
    return false;
}

QString StatisticsIntegration::titleFilePath(const QString& root, const QString& titleLine) const {
    return MediaAccess::titleFilePath(root, titleLine);
}

QString StatisticsIntegration::folderDisplay(const QString& path) const {
    if (MediaAccess* media = window_->mediaAccess()) return media->TitleFolderPath(path);
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QList<ConnectionEntry> StatisticsIntegration::connections() const {
    if (MediaAccess* media = window_->mediaAccess()) return media->connections().entries();
    return {};
}

QString StatisticsIntegration::playingFile() const {
    PlayerIntegration* p = window_->playback();
    if (!p || !p->player().isPlaying()) return {};
    return p->player().deviceFile();
}

qint64 StatisticsIntegration::playingLength() const {
    PlayerIntegration* p = window_->playback();
    return p ? p->player().titleLength() : -1;
}

const MyVersionInfo& StatisticsIntegration::version() const {
    return window_->versionInfo();
}
