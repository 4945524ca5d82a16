#pragma once

// The web view `browser`: the program's pages from templates, the "res" scheme for their
// style sheet and pictures, the "vorlune:" links, and web media with their credentials.
//
// Use:
//   webview::registerSchemes();                 // before the QApplication exists
//   auto* browser = new WebView(tempDir, dataDir, parent);
//   browser->openResourcePage(webpages::PlayList);
//   connect(browser, &WebView::commandRequested, ...); // run it through the command table

#include "browser_commands.h"
#include "collection.h"
#include "web_pages.h"

#include <QMutex>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <functional>
#include <memory>
#include <optional>

class QWebEngineProfile;

namespace webview {
// The "res" and "vorlune" schemes; must run before the application object is made.
void registerSchemes();
// The base the pages name their style sheet and pictures by.
inline constexpr char ResourceBase[] = "res://vorlune";
// The body of a "res" resource by its name (any case), and its MIME type; empty when
// there is none. Pictures are drawn from their SVG at twice their size.
QByteArray resourceData(const QString& name, QByteArray* mimeType);
} // namespace webview

// Answers "res://vorlune/<name>" from the compiled-in resources.
class ResourceSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

class WebView;

// Answers "vorlune:" navigations that the view let through: the view judges the command by
// the origin that asked for it, and the navigation is dropped (the page stays). Any other
// load of the scheme gets nothing.
class OwnSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    explicit OwnSchemeHandler(WebView* view);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    WebView* view_;
};

// Adds the web medium's Authorization header to requests for its origin only. Runs on
// the engine's network thread.
class AuthInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // An empty header or origin clears it.
    void set(const QUrl& origin, const QByteArray& header);

private:
    QMutex mutex_;
    QString origin_;
    QByteArray header_;
};

// A connected web or FTP medium as the web view needs it.
struct WebMedium {
    QString label;
    QString resource;
    QString user;
    QString password;
};

// The origin of a URL: scheme, host and port ("http://host:80").
QString urlOrigin(const QUrl& url);

class WebPage;

class WebView : public QWebEngineView {
    Q_OBJECT
public:
    WebView(const QString& tempDir, const QString& dataDir, QWidget* parent = nullptr);
    ~WebView() override;

    // The connected medium whose resource equals the URL (any case), if any.
    std::function<std::optional<WebMedium>(const QString& url)> findMedium;
    // The FTP medium whose resource the URL lies below, if any.
    std::function<std::optional<WebMedium>(const QString& url)> findFtpMedium;

    // Writes the named template's page and shows it (OpenResourcePage).
    void openResourcePage(const QString& name);
    // The details page of a medium node, or the site of a web medium (ShowMediumDetails).
    // `currentFile`: the path of the title being played.
    void showMediumDetails(const QString& caption, const MyMediaInfo& info,
                           const std::optional<WebMedium>& web, const QString& currentFile);
    // A generated page (the FTP listing) shown from the temp folder.
    void showGeneratedPage(const QString& html);
    // Reloads the shown page (Panel10Resize).
    void reloadPage();
    // Forgets the web medium's credentials.
    void clearCredentials();
    bool hasCredentials() const { return !header_.isEmpty(); }

    webpages::PageWriter& pages() { return pages_; }
    browsercmd::Protocol& protocol() { return protocol_; }
    QWebEngineProfile* profile() const { return profile_; }
    // The site that waits for the wait page to finish.
    QUrl pendingSite() const { return pendingSite_; }

    // The navigation hook (browserBeforeNavigate2): true lets it through. Commands of the
    // program's own pages run at once; those of a web medium's page go on to the scheme
    // handler, which knows the frame that asked.
    bool beforeNavigate(const QUrl& url, bool mainFrame);
    // A command navigation let through by beforeNavigate, with the serialized origin of
    // the frame that started it; runs the command when that frame may.
    void commandNavigation(const QUrl& url, const QUrl& initiator);

signals:
    // A "vorlune:" command to run.
    void commandRequested(const browsercmd::Invocation& invocation);
    // A folder of an FTP medium to be listed (the URL carries no credentials).
    void ftpListingRequested(const QString& url, const WebMedium& medium);
    // A page was written and is being shown (its file), or an error page.
    void pageOpened(const QString& file);

private:
    bool trustedSource() const;
    // The web medium's own origin, asking while its page is shown.
    bool trustedInitiator(const QUrl& initiator) const;
    void runCommand(const QString& url);
    void setCredentials(const WebMedium& medium);
    void showError(const QString& message);

    webpages::PageWriter pages_;
    browsercmd::Protocol protocol_;
    QWebEngineProfile* profile_ = nullptr;
    WebPage* page_ = nullptr;
    AuthInterceptor* interceptor_ = nullptr;
    ResourceSchemeHandler* schemeHandler_ = nullptr;
    QString tempDir_;
    QString webOrigin_; // the web medium's origin while its site is shown
    QByteArray header_;
    QUrl pendingSite_;
    QStringList letThrough_; // command navigations on their way to the scheme handler
};
