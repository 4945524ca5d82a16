#pragma once

#include <QString>
#include <QStringList>

class QWidget;
class TreeNode;

// What the web view's side needs of the main window: "&Webansicht verwenden", the status
// text and the collection views it shares its panel with.
class WebIntegrationView {
public:
    virtual ~WebIntegrationView() = default;

    // The check mark of "&Webansicht verwenden".
    virtual bool webViewChecked() const = 0;
    virtual void setWebViewChecked(bool on) = 0;
    virtual QString statusText() const = 0;
    virtual void setStatusText(const QString& text) = 0;

    // The collection views: the web view is their second right-hand panel.
    virtual QWidget* panelParent() = 0;
    virtual void setWebPanel(QWidget* browser) = 0;
    virtual void showWebPanel() = 0;
    virtual void showListPanel() = 0;
    virtual void rebuildView() = 0;
    virtual const TreeNode* currentNode() const = 0;
    // The key of the list shown ("Merkzettel" ...; a title list's name).
    virtual QString viewKey() const = 0;
    // Selects a node (which runs the view build), expanded on request.
    virtual void selectNode(TreeNode* node, bool expand) = 0;
    virtual void focusList() = 0;
};

// What the "vorlune:" links do with titles beyond playing them.
class WebTitleActions {
public:
    virtual ~WebTitleActions() = default;
    virtual void copyTitles(const QStringList& lines) = 0;
    virtual void burn() = 0;
    virtual void rememberTitles(const QStringList& lines) = 0;
};
