#include "web_window_view.h"

#include "collection_views.h"
#include "copy_integration.h"
#include "lists_integration.h"
#include "main_window.h"
#include "web_integration.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

namespace {

// Watches the window for its first showing; the window's own handler runs first.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QObject* window, WebIntegration* web) : QObject(window), web_(web) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && web_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, web_.data(), &WebIntegration::firstShowing);
            web_ = nullptr;
        }
        return false;
    }

private:
    QPointer<WebIntegration> web_;
};

} // namespace

void WebWindowView::wire(WebIntegration& web) {
    QObject::connect(window_.views(), &CollectionViews::viewBuilt, &web,
                     &WebIntegration::viewBuilt);
    new ShowWatcher(&window_, &web);
    // Generated pages, "data.js" and "stats.js" go at closing.
    QPointer<WebIntegration> w = &web;
    window_.closingHooks.push_back([w] {
        if (w) w->closing();
    });
}

bool WebWindowView::webViewChecked() const {
    return window_.action(QStringLiteral("Browser1"))->isChecked();
}

void WebWindowView::setWebViewChecked(bool on) {
    window_.action(QStringLiteral("Browser1"))->setChecked(on);
}

QString WebWindowView::statusText() const {
    return window_.statusText->text();
}

void WebWindowView::setStatusText(const QString& text) {
    window_.setStatusText(text);
}

QWidget* WebWindowView::panelParent() {
    return window_.views();
}

void WebWindowView::setWebPanel(QWidget* browser) {
    window_.views()->setWebPanel(browser);
}

void WebWindowView::showWebPanel() {
    window_.views()->ShowWebPanel();
}

void WebWindowView::showListPanel() {
    window_.views()->ShowListPanel();
}

void WebWindowView::rebuildView() {
    window_.views()->rebuild();
}

const TreeNode* WebWindowView::currentNode() const {
    return window_.views()->currentNode();
}

QString WebWindowView::viewKey() const {
    return window_.views()->viewKey();
}

void WebWindowView::selectNode(TreeNode* node, bool expand) {
    CollectionViews* views = window_.views();
    views->selectNode(node); // runs the view build
    if (expand) views->tree()->expand(views->tree()->currentIndex());
}

void WebWindowView::focusList() {
    window_.views()->focusList();
}

void TitleActionsForWeb::copyTitles(const QStringList& lines) {
    copy_.copyTitles(lines);
}

void TitleActionsForWeb::burn() {
    copy_.burn_btnClick();
}

void TitleActionsForWeb::rememberTitles(const QStringList& lines) {
    lists_.rememberTitles(lines);
}
