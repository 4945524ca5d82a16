#include "window_views.h"

#include "collection_views.h"
#include "main_window.h"

#include <QStatusBar>

int WindowViews::listedEntries() const {
    return window_.views() ? window_.views()->itemCount() : 0;
}

void WindowViews::showStatusMessage(const QString& text) {
    window_.statusBar()->showMessage(text);
}
