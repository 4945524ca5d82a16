#include "media_window_view.h"

#include "collection_views.h"
#include "main_window.h"
#include "tree_node.h"

#include <QMenu>
#include <QStatusBar>

QMessageBox::StandardButton MediaWindowView::ask(QMessageBox::Icon icon, const QString& text,
                                                 QMessageBox::StandardButtons buttons) {
    return window_.messageBox(icon, text, buttons);
}

void MediaWindowView::setStatusText(const QString& text) {
    window_.setStatusText(text);
}

void MediaWindowView::addStatusWidget(QWidget* widget) {
    window_.statusBar()->addWidget(widget);
}

QString MediaWindowView::selectedMedium() const {
    const CollectionViews* views = window_.views();
    const TreeNode* node = views ? views->currentNode() : nullptr;
    return node && node->media ? node->text : QString();
}

bool MediaWindowView::askEject(const QPoint& globalPos) {
    QMenu menu(&window_);
    menu.setObjectName(QStringLiteral("MediumMenu"));
    QAction* eject = menu.addAction(QStringLiteral("Au&swerfen"));
    return menu.exec(globalPos) == eject;
}

void MediaWindowView::closeWindow() {
    window_.close();
}
