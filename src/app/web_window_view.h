#pragma once

#include "web_integration_view.h"

class CopyIntegration;
class ListsIntegration;
class TForm1;
class WebIntegration;

// The web view's side on the main window.
class WebWindowView : public WebIntegrationView {
public:
    explicit WebWindowView(TForm1& window) : window_(window) {}

    // The first showing, the view builds and the closing reach the web view.
    void wire(WebIntegration& web);

    bool webViewChecked() const override;
    void setWebViewChecked(bool on) override;
    QString statusText() const override;
    void setStatusText(const QString& text) override;
    QWidget* panelParent() override;
    void setWebPanel(QWidget* browser) override;
    void showWebPanel() override;
    void showListPanel() override;
    void rebuildView() override;
    const TreeNode* currentNode() const override;
    QString viewKey() const override;
    void selectNode(TreeNode* node, bool expand) override;
    void focusList() override;

private:
    TForm1& window_;
};

// Copying and the Merkzettel for the "vorlune:" links.
class TitleActionsForWeb : public WebTitleActions {
public:
    TitleActionsForWeb(CopyIntegration& copy, ListsIntegration& lists)
        : copy_(copy), lists_(lists) {}
    void copyTitles(const QStringList& lines) override;
    void burn() override;
    void rememberTitles(const QStringList& lines) override;

private:
    CopyIntegration& copy_;
    ListsIntegration& lists_;
};
