#include "web_integration.h"

#include "command_panel.h"
#include "commands.h"
#include "copy_integration.h"
#include "lists_integration.h"
#include "main_window.h"
#include "media_access.h"
#include "player.h"
#include "player_integration.h"

#include "collection_views.h"
#include "ftp_listing.h"
#include "tree_node.h"
#include "web_client.h"
#include "web_view.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>
#include <QTreeView>
#include <QtConcurrent>

#include <algorithm>

namespace {

// Watches the window for its first showing; the window's own handler runs first.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QObject* window, std::function<void()> shown)
        : QObject(window), shown_(std::move(shown)) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && shown_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), std::exchange(shown_, nullptr));
        }
        return false;
    }

private:
    std::function<void()> shown_;
};

WebMedium toMedium(const ConnectionEntry& e) {
    return {e.label, e.resource, e.user, e.password};
}

} // namespace

WebIntegration::WebIntegration(TForm1* window) : QObject(window), window_(window) {
    // "&Webansicht verwenden" is bound to the webview command by the window.
    registerCommands();
    if (CollectionViews* views = window_->views())
        connect(views, &CollectionViews::viewBuilt, this, &WebIntegration::viewBuilt);
    if (PlayerIntegration* playback = window_->playback())
        connect(&playback->player(), &Player::webRefreshRequested, this,
                &WebIntegration::Panel10Resize);
    new ShowWatcher(window_, [this] { firstShowing(); });
    // Generated pages, "data.js" and "stats.js" go at closing.
    window_->closingHooks.push_back([this] {
        if (browser_) browser_->pages().cleanup();
    });
}

WebIntegration::~WebIntegration() = default;

bool WebIntegration::isOn() const {
    return window_->action(QStringLiteral("Browser1"))->isChecked();
}

void WebIntegration::ensureBrowser() {
    if (browser_ || !window_->views()) return;
    const TForm1::Environment& env = window_->environment();
    browser_ = new WebView(env.tempDir, env.dataDir, window_->views());
    browser_->setObjectName(QStringLiteral("browser"));
    window_->views()->setWebPanel(browser_);
    browser_->findMedium = [this](const QString& url) { return mediumByResource(url); };
    browser_->findFtpMedium = [this](const QString& url) { return ftpMediumOf(url); };
    browser_->protocol().currentLine = [this] {
        PlayerIntegration* p = window_->playback();
        return p && p->player().isPlaying() ? p->player().currentLine() : QString();
    };
    connect(browser_, &WebView::commandRequested, this, &WebIntegration::run);
    connect(browser_, &WebView::ftpListingRequested, this, &WebIntegration::listFtp);
}

void WebIntegration::firstShowing() {
    if (shownOnce_) return;
    shownOnce_ = true;
    // Without a display (the offscreen platform of the unit tests) the engine is started
    // only when the user switches the view on.
    const bool display = QGuiApplication::platformName() != QLatin1String("offscreen");
    const bool wanted = window_->settings().main.webView();
    window_->action(QStringLiteral("Browser1"))->setChecked(wanted);
    if (!wanted || !display) return;
    ensureBrowser();
    // The playlist page, and once more when the engine has settled.
    OpenResourcePage(QLatin1String(webpages::PlayList));
    const QString first = browser_->pages().pages().value(0);
    QTimer::singleShot(kSecondOpeningMs, this, [this, first] {
        // Not over a page the user has gone to meanwhile.
        const QStringList& pages = browser_->pages().pages();
        if (!first.isEmpty() && !pages.isEmpty() && pages.constLast() == first)
            OpenResourcePage(QLatin1String(webpages::PlayList));
    });
    // Switched on, keeping the status text that loading left.
    const QString status = window_->statusText->text();
    setOn(true);
    window_->setStatusText(status);
}

void WebIntegration::setOn(bool on) {
    window_->action(QStringLiteral("Browser1"))->setChecked(on);
    if (on) {
        ensureBrowser();
        window_->views()->ShowWebPanel();
    } else if (window_->views()) {
        window_->views()->ShowListPanel();
    }
    if (window_->views()) window_->views()->rebuild();
}

void WebIntegration::OpenResourcePage(const QString& name) {
    if (browser_) browser_->openResourcePage(name);
}

void WebIntegration::Panel10Resize() {
    if (browser_ && isOn()) browser_->reloadPage();
}

// Steps 5 and 6 of the view build, for the web view.
void WebIntegration::viewBuilt() {
    CollectionViews* views = window_->views();
    if (!isOn() || !browser_ || !views) return;
    browser_->clearCredentials();
    const Collection& c = window_->collection();
    const TreeNode* node = views->currentNode();
    const char* page = nullptr;
    if (node && node == c.node(Collection::AlphaList))
        page = webpages::AlphaList;
    else if (node && node == c.node(Collection::MerkzettelNode))
        page = webpages::BrainList;
    else if (node && node == c.node(Collection::PlaylistNode))
        page = webpages::PlayList;
    if (page) {
        browser_->openResourcePage(QLatin1String(page));
        views->ShowWebPanel();
        return;
    }
    views->ShowListPanel();
    if (node && node->media && !c.titleLists.contains(views->viewKey())) {
        std::optional<WebMedium> web;
        if (const MediaAccess* access = window_->mediaAccess())
            for (const ConnectionEntry& e : access->connections().entries())
                if (e.label == node->text) {
                    web = toMedium(e);
                    break;
                }
        const QString current =
            window_->playback() ? window_->playback()->player().currentFile() : QString();
        browser_->showMediumDetails(node->text, *node->media, web, current);
        views->ShowWebPanel();
    }
}

std::optional<WebMedium> WebIntegration::mediumByResource(const QString& url) const {
    const MediaAccess* access = window_->mediaAccess();
    if (!access) return std::nullopt;
    if (const ConnectionEntry* e = access->connections().byResource(url)) return toMedium(*e);
    return std::nullopt;
}

std::optional<WebMedium> WebIntegration::ftpMediumOf(const QString& url) const {
    const MediaAccess* access = window_->mediaAccess();
    if (!access) return std::nullopt;
    QUrl clean(url);
    clean.setUserInfo(QString());
    const QString text = clean.toString();
    for (const ConnectionEntry& e : access->connections().entries()) {
        if (!webclient::isFtpUrl(e.resource)) continue;
        QString base = e.resource;
        if (!base.endsWith(QLatin1Char('/'))) base += QLatin1Char('/');
        if (text.startsWith(base, Qt::CaseInsensitive) ||
            text.compare(e.resource, Qt::CaseInsensitive) == 0)
            return toMedium(e);
    }
    return std::nullopt;
}

void WebIntegration::listFtp(const QString& url, const WebMedium& medium) {
    QString folder = url;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    const QString temp = window_->environment().tempDir;
    struct Answer {
        QByteArray listing;
        QString error;
    };
    auto* watcher = new QFutureWatcher<Answer>(this);
    connect(watcher, &QFutureWatcher<Answer>::finished, this, [this, watcher, folder, medium] {
        const Answer a = watcher->result();
        watcher->deleteLater();
        if (!browser_) return;
        browser_->showGeneratedPage(ftplisting::page(folder, medium.resource, medium.label,
                                                     ftplisting::parse(a.listing), a.error));
    });
    // The listing is fetched off this thread; the credentials stay out of every URL.
    watcher->setFuture(QtConcurrent::run([folder, medium, temp]() -> Answer {
        QTemporaryFile file(QDir(temp).filePath(QStringLiteral("listing-XXXXXX")));
        if (!file.open()) return {{}, QStringLiteral("Die Liste kann nicht abgelegt werden.")};
        file.close();
        const webclient::TransferResult r =
            webclient::download(folder, {medium.user, medium.password}, file.fileName(),
                                [](qint64 bytes, qint64) { return bytes < (qint64(4) << 20); });
        if (!r.ok) return {{}, QStringLiteral("Fehler beim Lesen des Ordners: ") + r.error};
        QFile in(file.fileName());
        if (!in.open(QIODevice::ReadOnly)) return {};
        return {in.read(4 << 20), QString()};
    }));
}

void WebIntegration::selectFixed(int which, bool expand, bool listPanel) {
    CollectionViews* views = window_->views();
    if (!views) return;
    TreeNode* node = which < 0 ? window_->collection().root()
                               : window_->collection().node(Collection::RootPosition(which));
    views->selectNode(node); // runs the view build
    if (expand) views->tree()->expand(views->tree()->currentIndex());
    if (listPanel) views->ShowListPanel();
    views->focusList();
}

void WebIntegration::registerCommands() {
    CommandTable& table = window_->commandTable();
    table.add(QLatin1String(cmd::PlayTitles), [this](const QString& selection) {
        if (PlayerIntegration* p = window_->playback())
            p->player().playTitles(browsercmd::titleLines(selection));
    });
    table.add(QLatin1String(cmd::CopyTitles), [this](const QString& selection) {
        if (CopyIntegration* c = window_->copying())
            c->copyTitles(browsercmd::titleLines(selection));
    });
    table.add(QLatin1String(cmd::BurnTitles), [this](const QString&) {
        if (CopyIntegration* c = window_->copying()) c->burn_btnClick();
    });
    table.add(QLatin1String(cmd::RememberTitles), [this](const QString& selection) {
        if (ListsIntegration* l = window_->lists())
            l->rememberTitles(browsercmd::titleLines(selection));
    });
    table.add(QLatin1String(cmd::RootList),
              [this](const QString&) { selectFixed(-1, true, false); });
    table.add(QLatin1String(cmd::MediaList),
              [this](const QString&) { selectFixed(Collection::MediaList, true, false); });
    table.add(QLatin1String(cmd::AlphaList),
              [this](const QString&) { selectFixed(Collection::AlphaList, true, false); });
    table.add(QLatin1String(cmd::BrainList),
              [this](const QString&) { selectFixed(Collection::MerkzettelNode, false, false); });
    table.add(QLatin1String(cmd::ShowBrainList),
              [this](const QString&) { selectFixed(Collection::MerkzettelNode, false, true); });
    table.add(QLatin1String(cmd::WebView),
              [this](const QString& arg) { setOn(CommandTable::flag(arg, !isOn())); });
}

void WebIntegration::run(const browsercmd::Invocation& inv) {
    CommandTable& table = window_->commandTable();
    // The word's command from the descriptors; ACTION follows the copy mode.
    const QString name = commandcatalogue::commandForWebWord(inv.command, table.state());
    QString argument = inv.argument;
    // The protocol counts the options pages from one, the dialog from zero.
    if (name == QLatin1String(cmd::Options))
        argument = QString::number(std::max(inv.argument.toInt(), 1) - 1);
    table.run(name, argument, commandcatalogue::Web);
    if (inv.rebuildAfter && window_->views()) window_->views()->rebuild();
}
