#pragma once

#include "remote_integration.h"
#include "streaming_integration.h"

class TForm1;

// The main window as the integrations see it: each view answers from the window's
// widgets and dialogs.
class WindowViews : public RemoteView, public StreamingView {
public:
    explicit WindowViews(TForm1& window) : window_(window) {}

    // RemoteView
    int listedEntries() const override;

    // StreamingView
    void showStatusMessage(const QString& text) override;

private:
    TForm1& window_;
};
