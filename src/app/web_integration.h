#pragma once

#include "browser_commands.h"
#include "command_services.h"
#include "task_service.h"

#include <QObject>
#include <QString>

#include <optional>

class AppCore;
class WebIntegrationView;
class WebTitleActions;
class WebView;
struct WebMedium;

// The web view in the main window: "&Webansicht verwenden", the pages the view build
// shows, the playlist page at the first showing and after every rewrite of "data.js",
// and the "vorlune:" commands run through the command table. The engine starts the
// first time the web view is switched on.
class WebIntegration : public QObject, private WebCommands {
    Q_OBJECT
public:
    WebIntegration(AppCore& core, WebIntegrationView& view, WebTitleActions& titles);
    ~WebIntegration() override;

    // The web view, null until it was first switched on.
    WebView* browser() const { return browser_; }
    bool isOn() const;
    // Browser1Click: switches the web view on or off and runs the view build.
    void setOn(bool on);
    // OpenResourcePage and Panel10Resize.
    void OpenResourcePage(const QString& name);
    void Panel10Resize();

    // What the window reports: its first showing, a finished view build, the closing
    // (generated pages, "data.js" and "stats.js" go).
    void firstShowing();
    void viewBuilt();
    void closing();
    // A "vorlune:" link's command, run through the command table as the web's.
    void run(const browsercmd::Invocation& invocation);

    // The delay of the playlist page's second opening at the first showing.
    static constexpr int kSecondOpeningMs = 1234;

private:
    void ensureBrowser();
    void registerCommands();
    void onPlayTitles(const QString& selection) override;
    void onCopyTitles(const QString& selection) override;
    void onBurnTitles() override;
    void onRememberTitles(const QString& selection) override;
    void onRootList() override;
    void onMediaList() override;
    void onAlphaList() override;
    void onBrainList() override;
    void onShowBrainList() override;
    void onWebView(const QString& flag) override;
    void selectFixed(int which, bool expand, bool listPanel);
    void listFtp(const QString& url, const WebMedium& medium);
    std::optional<WebMedium> mediumByResource(const QString& url) const;
    std::optional<WebMedium> ftpMediumOf(const QString& url) const;

    AppCore& core_;
    WebIntegrationView& view_;
    WebTitleActions& titles_;
    WebView* browser_ = nullptr;
    bool shownOnce_ = false;
    tasks::Id ftpListing_ = 0; // the listing under way
    quint64 ftpSerial_ = 0;    // of the newest listing asked for
};
