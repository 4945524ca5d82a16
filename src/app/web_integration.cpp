#include "web_integration.h"

#include "app_core.h"
#include "commands.h"
#include "media_access.h"
#include "player.h"
#include "task_service.h"
#include "web_integration_view.h"

#include "collection.h"
#include "folder_listing.h"
#include "ftp_listing.h"
#include "tree_node.h"
#include "web_client.h"
#include "web_view.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>

namespace {

WebMedium toMedium(const ConnectionEntry& e) {
    return {e.label, e.resource, e.user, e.password};
}

} // namespace

WebIntegration::WebIntegration(AppCore& core, WebIntegrationView& view, WebTitleActions& titles)
    : core_(core), view_(view), titles_(titles) {
    // "&Webansicht verwenden" is bound to the webview command by the window.
    registerCommands();
    connect(&core_.player(), &Player::webRefreshRequested, this, &WebIntegration::Panel10Resize);
}

void WebIntegration::closing() {
    if (browser_) browser_->pages().cleanup();
}

WebIntegration::~WebIntegration() {
    core_.commands().withdraw<WebCommands>(&CommandServices::web, this);
    // Nobody shows a listing still under way any more.
    if (ftpListing_) core_.tasks().cancel(ftpListing_);
}

bool WebIntegration::isOn() const {
    return view_.webViewChecked();
}

void WebIntegration::ensureBrowser() {
    if (browser_) return;
    const AppCore::Environment& env = core_.environment();
    browser_ = new WebView(env.tempDir, env.dataDir, view_.panelParent());
    browser_->setObjectName(QStringLiteral("browser"));
    view_.setWebPanel(browser_);
    browser_->findMedium = [this](const QString& url) { return mediumByResource(url); };
    browser_->findFtpMedium = [this](const QString& url) { return ftpMediumOf(url); };
    browser_->protocol().currentLine = [this] {
        const Player& p = core_.player();
        return p.isPlaying() ? p.currentLine() : QString();
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
    const bool wanted = core_.settings().main.webView();
    view_.setWebViewChecked(wanted);
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
    const QString status = view_.statusText();
    setOn(true);
    view_.setStatusText(status);
}

void WebIntegration::setOn(bool on) {
    view_.setWebViewChecked(on);
    if (on) {
        ensureBrowser();
        view_.showWebPanel();
    } else {
        view_.showListPanel();
    }
    view_.rebuildView();
}

void WebIntegration::OpenResourcePage(const QString& name) {
    if (browser_) browser_->openResourcePage(name);
}

void WebIntegration::Panel10Resize() {
    if (browser_ && isOn()) browser_->reloadPage();
}

// Steps 5 and 6 of the view build, for the web view.
void WebIntegration::viewBuilt() {
    if (!isOn() || !browser_) return;
    browser_->clearCredentials();
    const Collection& c = core_.collection();
    const TreeNode* node = view_.currentNode();
    const char* page = nullptr;
    if (node && node == c.node(Collection::AlphaList))
        page = webpages::AlphaList;
    else if (node && node == c.node(Collection::MerkzettelNode))
        page = webpages::BrainList;
    else if (node && node == c.node(Collection::PlaylistNode))
        page = webpages::PlayList;
    if (page) {
        browser_->openResourcePage(QLatin1String(page));
        view_.showWebPanel();
        return;
    }
    view_.showListPanel();
    if (node && node->media && !c.titleLists.contains(view_.viewKey())) {
        std::optional<WebMedium> web;
        for (const ConnectionEntry& e : core_.media().connections().entries())
            if (e.label == node->text) {
                web = toMedium(e);
                break;
            }
        browser_->showMediumDetails(node->text, *node->media, web, core_.player().currentFile());
        view_.showWebPanel();
    }
}

std::optional<WebMedium> WebIntegration::mediumByResource(const QString& url) const {
    if (const ConnectionEntry* e = core_.media().connections().byResource(url)) return toMedium(*e);
    return std::nullopt;
}

std::optional<WebMedium> WebIntegration::ftpMediumOf(const QString& url) const {
    QUrl clean(url);
    clean.setUserInfo(QString());
    const QString text = clean.toString();
    for (const ConnectionEntry& e : core_.media().connections().entries()) {
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
    const QString temp = core_.environment().tempDir;
    TaskService& tasks = core_.tasks();
    // Only the newest folder asked for is shown; an older listing still under way stops.
    if (ftpListing_) tasks.cancel(ftpListing_);
    const webclient::Credentials login{medium.user, medium.password};
    const quint64 serial = ++ftpSerial_;
    ftpListing_ = tasks.run(
        tasks::Kind::Lookup, QStringLiteral("Ordner auflisten"), true,
        [folder, login, temp](const TaskControl& control) {
            return folderlisting::fetch(folder, login, temp, control);
        },
        this,
        [this, serial, folder, medium](TaskOutcome<QByteArray> outcome) {
            if (serial != ftpSerial_) return;
            ftpListing_ = 0;
            if (!browser_) return;
            browser_->showGeneratedPage(ftplisting::page(folder, medium.resource, medium.label,
                                                         ftplisting::parse(outcome.value),
                                                         outcome.ok ? QString() : outcome.error));
        });
}

void WebIntegration::selectFixed(int which, bool expand, bool listPanel) {
    const Collection& c = core_.collection();
    view_.selectNode(which < 0 ? c.root() : c.node(Collection::RootPosition(which)), expand);
    if (listPanel) view_.showListPanel();
    view_.focusList();
}

void WebIntegration::registerCommands() {
    core_.commands().provide<WebCommands>(&CommandServices::web, this);
}

void WebIntegration::onPlayTitles(const QString& selection) {
    core_.player().playTitles(browsercmd::titleLines(selection));
}

void WebIntegration::onCopyTitles(const QString& selection) {
    titles_.copyTitles(browsercmd::titleLines(selection));
}

void WebIntegration::onBurnTitles() {
    titles_.burn();
}

void WebIntegration::onRememberTitles(const QString& selection) {
    titles_.rememberTitles(browsercmd::titleLines(selection));
}

void WebIntegration::onRootList() {
    selectFixed(-1, true, false);
}

void WebIntegration::onMediaList() {
    selectFixed(Collection::MediaList, true, false);
}

void WebIntegration::onAlphaList() {
    selectFixed(Collection::AlphaList, true, false);
}

void WebIntegration::onBrainList() {
    selectFixed(Collection::MerkzettelNode, false, false);
}

void WebIntegration::onShowBrainList() {
    selectFixed(Collection::MerkzettelNode, false, true);
}

void WebIntegration::onWebView(const QString& flag) {
    setOn(CommandTable::flag(flag, !isOn()));
}

void WebIntegration::run(const browsercmd::Invocation& inv) {
    CommandTable& table = core_.commands();
    // The word's command from the descriptors; ACTION follows the copy mode.
    const QString name = commandcatalogue::commandForWebWord(inv.command, table.state());
    QString argument = inv.argument;
    // The protocol counts the options pages from one, the dialog from zero.
    if (name == QLatin1String(cmd::Options))
        argument = QString::number(std::max(inv.argument.toInt(), 1) - 1);
    table.run(name, argument, commandcatalogue::Web);
    if (inv.rebuildAfter) view_.rebuildView();
}
