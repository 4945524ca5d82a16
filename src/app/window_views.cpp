#include "window_views.h"

#include "collection_views.h"
#include "main_window.h"

int WindowViews::listedEntries() const {
    return window_.views() ? window_.views()->itemCount() : 0;
}
