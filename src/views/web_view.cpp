#include "web_view.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QMutexLocker>
#include <QPainter>
#include <QSvgRenderer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

static void initWebPictures() {
    Q_INIT_RESOURCE(web_pages);
}

namespace webview {

void registerSchemes() {
    static bool done = false;
    if (done) return;
    done = true;
    QWebEngineUrlScheme scheme("res");
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Only the program's own pages (local files) may use the resources.
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                    QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
    // The program's own scheme, so that its links are navigations like any other (the
    // engine starts no external handler for them without a user's click).
    QWebEngineUrlScheme own("vorlune");
    own.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(own);
}

QByteArray resourceData(const QString& name, QByteArray* mimeType) {
    initWebPictures();
    static QMutex mutex;
    static QHash<QString, QByteArray> pictures;
    const QString key = name.toLower();
    if (key == QLatin1String("vorlune_css")) {
        QFile css(QStringLiteral(":/web/vorlune.css"));
        if (!css.open(QIODevice::ReadOnly)) return {};
        if (mimeType) *mimeType = "text/css";
        return css.readAll();
    }
    if (!key.endsWith(QLatin1String("_png"))) return {};
    if (mimeType) *mimeType = "image/png";
    QMutexLocker lock(&mutex);
    if (const auto it = pictures.constFind(key); it != pictures.constEnd()) return *it;
    QSvgRenderer svg(QStringLiteral(":/web/pictures/") + key.chopped(4) + QStringLiteral(".svg"));
    if (!svg.isValid()) return {};
    // Drawn at twice the size the pages show them at, so that they stay sharp at 2x.
    QImage image(svg.defaultSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    pictures.insert(key, png);
    return png;
}

} // namespace webview

void ResourceSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    QByteArray mime;
    const QByteArray data = webview::resourceData(job->requestUrl().path().mid(1), &mime);
    if (data.isEmpty()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(data);
    job->reply(mime, buffer);
}

OwnSchemeHandler::OwnSchemeHandler(WebView* view) : QWebEngineUrlSchemeHandler(view), view_(view) {}

void OwnSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    view_->commandNavigation(job->requestUrl(), job->initiator());
    // An aborted navigation commits nothing: the page stays as it is.
    job->fail(QWebEngineUrlRequestJob::RequestAborted);
}

QString urlOrigin(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return QString();
    const QString scheme = url.scheme().toLower();
    const int fallback = scheme == QLatin1String("https") ? 443
                         : scheme == QLatin1String("ftp") ? 21
                                                          : 80;
    return scheme + QStringLiteral("://") + url.host().toLower() + QLatin1Char(':') +
           QString::number(url.port(fallback));
}

void AuthInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    QMutexLocker lock(&mutex_);
    if (header_.isEmpty() || origin_.isEmpty()) return;
    if (urlOrigin(info.requestUrl()) == origin_) info.setHttpHeader("Authorization", header_);
}

void AuthInterceptor::set(const QUrl& origin, const QByteArray& header) {
    QMutexLocker lock(&mutex_);
    origin_ = header.isEmpty() ? QString() : urlOrigin(origin);
    header_ = origin_.isEmpty() ? QByteArray() : header;
}

class WebPage : public QWebEnginePage {
public:
    WebPage(QWebEngineProfile* profile, WebView* view)
        : QWebEnginePage(profile, view), view_(view) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return view_->beforeNavigate(url, isMainFrame);
    }

private:
    WebView* view_;
};

WebView::WebView(const QString& tempDir, const QString& dataDir, QWidget* parent)
    : QWebEngineView(parent), pages_(tempDir, dataDir, QLatin1String(webview::ResourceBase)),
      tempDir_(tempDir) {
    setObjectName(QStringLiteral("browser"));
    // Off the record: nothing of the pages is kept on disk.
    profile_ = new QWebEngineProfile(this);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    interceptor_ = new AuthInterceptor(this);
    profile_->setUrlRequestInterceptor(interceptor_);
    schemeHandler_ = new ResourceSchemeHandler(this);
    profile_->installUrlSchemeHandler("res", schemeHandler_);
    profile_->installUrlSchemeHandler("vorlune", new OwnSchemeHandler(this));
    page_ = new WebPage(profile_, this);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    setPage(page_);
    // The wait page shows until it is loaded, then the web medium's site replaces it.
    connect(page_, &QWebEnginePage::loadFinished, this, [this] {
        if (pendingSite_.isEmpty()) return;
        const QUrl site = std::exchange(pendingSite_, QUrl());
        load(site);
    });
}

WebView::~WebView() {
    // The page goes before its profile.
    delete page_;
    page_ = nullptr;
}

void WebView::showError(const QString& message) {
    pendingSite_.clear();
    setHtml(webpages::errorPage(message));
    emit pageOpened(QString());
}

void WebView::openResourcePage(const QString& name) {
    const webpages::PageWriter::Result page = pages_.writePage(name);
    if (page.file.isEmpty()) {
        showError(page.error);
        return;
    }
    load(QUrl::fromLocalFile(page.file));
    emit pageOpened(page.file);
}

void WebView::showGeneratedPage(const QString& html) {
    const webpages::PageWriter::Result page = pages_.writeHtml(html);
    if (page.file.isEmpty()) {
        showError(page.error);
        return;
    }
    load(QUrl::fromLocalFile(page.file));
    emit pageOpened(page.file);
}

void WebView::showMediumDetails(const QString& caption, const MyMediaInfo& info,
                                const std::optional<WebMedium>& web, const QString& currentFile) {
    if (web && web->resource.startsWith(QLatin1String("HTTP://"), Qt::CaseInsensitive)) {
        openResourcePage(QLatin1String(webpages::DetailWait));
        setCredentials(*web);
        webOrigin_ = urlOrigin(QUrl(web->resource));
        pendingSite_ = QUrl(web->resource + webpages::mediumQuery(currentFile, info.Details));
        return;
    }
    clearCredentials();
    QString reason;
    if (!pages_.writeStats(caption, info, &reason)) {
        showError(QStringLiteral("Die Datei \"stats.js\" kann im temporären Ordner nicht "
                                 "angelegt werden.") +
                  (reason.isEmpty() ? QString() : QLatin1Char(' ') + reason + QLatin1Char('.')));
        return;
    }
    openResourcePage(QLatin1String(webpages::DetailList));
}

void WebView::reloadPage() {
    if (url().isEmpty() || !pendingSite_.isEmpty()) return;
    reload();
}

void WebView::setCredentials(const WebMedium& medium) {
    header_ = webpages::basicAuthorization(medium.user, medium.password);
    interceptor_->set(QUrl(medium.resource), header_);
    webOrigin_ = urlOrigin(QUrl(medium.resource));
}

void WebView::clearCredentials() {
    header_.clear();
    webOrigin_.clear();
    interceptor_->set(QUrl(), QByteArray());
}

bool WebView::trustedSource() const {
    const QUrl current = page_->url();
    if (current.isLocalFile()) {
        const QString dir = QFileInfo(current.toLocalFile()).absolutePath();
        return !tempDir_.isEmpty() && QDir(dir).canonicalPath() == QDir(tempDir_).canonicalPath();
    }
    return !webOrigin_.isEmpty() && urlOrigin(current) == webOrigin_;
}

bool WebView::trustedInitiator(const QUrl& initiator) const {
    return trustedSource() && !page_->url().isLocalFile() && urlOrigin(initiator) == webOrigin_;
}

bool WebView::beforeNavigate(const QUrl& url, bool mainFrame) {
    const QString text = url.toString(QUrl::FullyEncoded);
    const browsercmd::ParsedUrl parsed = browsercmd::parse(text);
    if (text.startsWith(QLatin1String("vorlune://"), Qt::CaseInsensitive)) {
        // An index file import: the desktop's handler of the scheme takes it, the page
        // stays.
        QMetaObject::invokeMethod(
            this, [url] { QDesktopServices::openUrl(url); }, Qt::QueuedConnection);
        return false;
    }
    if (parsed.kind == browsercmd::ParsedUrl::Other) {
        if (findMedium)
            if (const std::optional<WebMedium> medium = findMedium(text)) setCredentials(*medium);
        if (url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0 && findFtpMedium)
            if (const std::optional<WebMedium> medium = findFtpMedium(text)) {
                QUrl clean = url;
                clean.setUserInfo(QString());
                QMetaObject::invokeMethod(
                    this,
                    [this, u = clean.toString(), m = *medium] { emit ftpListingRequested(u, m); },
                    Qt::QueuedConnection);
                return false;
            }
        return true;
    }
    // Links of foreign pages and of frames inside a page run nothing.
    if (!mainFrame || !trustedSource()) return false;
    if (parsed.kind == browsercmd::ParsedUrl::Resource) {
        QMetaObject::invokeMethod(
            this, [this, name = parsed.name] { openResourcePage(name); }, Qt::QueuedConnection);
        return false;
    }
    // The program's own pages hold no frames of other sites: their commands run at once.
    if (page_->url().isLocalFile()) {
        runCommand(text);
        return false;
    }
    // A web medium's page may hold frames of other sites, which may navigate the main frame
    // too: only the request itself tells which frame asked.
    letThrough_.append(text);
    if (letThrough_.size() > 32) letThrough_.removeFirst();
    return true;
}

void WebView::runCommand(const QString& text) {
    const browsercmd::Protocol::Decision decision = protocol_.handle(text);
    for (const browsercmd::Invocation& invocation : decision.invocations)
        QMetaObject::invokeMethod(
            this, [this, invocation] { emit commandRequested(invocation); }, Qt::QueuedConnection);
}

void WebView::commandNavigation(const QUrl& url, const QUrl& initiator) {
    const QString text = url.toString(QUrl::FullyEncoded);
    // Only navigations the hook let through; a picture or script naming a command is not one.
    if (letThrough_.removeOne(text) && trustedInitiator(initiator)) runCommand(text);
}
