#pragma once

#include "remote_integration.h"
#include "statistics_integration.h"
#include "streaming_integration.h"

class TForm1;

// The main window as the integrations see it: each view answers from the window's
// widgets and dialogs.
class WindowViews : public RemoteView, public StreamingView, public StatisticsView {
public:
    explicit WindowViews(TForm1& window) : window_(window) {}

    // RemoteView, StatisticsView
    int listedEntries() const override;

    // StreamingView
    void showStatusMessage(const QString& text) override;

    // StatisticsView
    QWidget* dialogParent() override;
    void addStatusWidget(QWidget* widget) override;
    QAbstractButton* panelStreamingButton() override;
    void showPanelStreaming(bool buttonEnabled, const QString& text,
                            const QString& toolTip) override;
    QStringList selectedTitles() const override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;

private:
    TForm1& window_;
};
