#pragma once

#include "lists_integration.h"
#include "remote_integration.h"
#include "statistics_integration.h"
#include "streaming_integration.h"

class TForm1;

// The main window as the integrations see it: each view answers from the window's
// widgets and dialogs.
class WindowViews : public RemoteView,
                    public StreamingView,
                    public StatisticsView,
                    public ListsView {
public:
    explicit WindowViews(TForm1& window) : window_(window) {}

    // RemoteView, StatisticsView
    int listedEntries() const override;

    // StreamingView
    void showStatusMessage(const QString& text) override;

    // StatisticsView, ListsView
    QWidget* dialogParent() override;
    QStringList selectedTitles() const override;

    // StatisticsView
    void addStatusWidget(QWidget* widget) override;
    QAbstractButton* panelStreamingButton() override;
    void showPanelStreaming(bool buttonEnabled, const QString& text,
                            const QString& toolTip) override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;

    // ListsView
    void rebuildList() override;
    void setStatusText(const QString& text) override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    const QString& detail) override;
    QString askSaveFile(const QString& folder) override;
    QString askRecipient() override;
    QAbstractButton* merkzettelButton() override;
    QPoint merkzettelMenuPosition() const override;
    QAction* menuItem(const QString& objectName) const override;
    QList<QAbstractItemView*> titleLists() const override;

private:
    TForm1& window_;
};
