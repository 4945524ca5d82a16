#pragma once

#include "copy_integration.h"
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
                    public ListsView,
                    public CopyView {
public:
    explicit WindowViews(TForm1& window) : window_(window) {}

    // RemoteView, StatisticsView
    int listedEntries() const override;
    // RemoteView
    void whenSearchShown(QObject* context, std::function<void()> then) override;

    // StreamingView
    void showStatusMessage(const QString& text) override;

    // StatisticsView, ListsView, CopyView
    QWidget* dialogParent() override;
    QStringList selectedTitles() const override;

    // StatisticsView
    void addStatusWidget(QWidget* widget) override;
    QAbstractButton* panelStreamingButton() override;
    void showPanelStreaming(bool buttonEnabled, const QString& text,
                            const QString& toolTip) override;
    // StatisticsView, CopyView
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;

    // ListsView, CopyView
    void setStatusText(const QString& text) override;
    QAction* menuItem(const QString& objectName) const override;

    // ListsView
    void rebuildList() override;
    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    const QString& detail) override;
    QString askSaveFile(const QString& folder) override;
    QString askRecipient() override;
    QAbstractButton* merkzettelButton() override;
    QPoint merkzettelMenuPosition() const override;
    QList<QAbstractItemView*> titleLists() const override;

    // CopyView
    QLineEdit* destinationField() override;
    QComboBox* playlistField() override;
    QAbstractButton* destinationButton() override;
    QAbstractButton* playlistButton() override;
    QAbstractButton* copyButton() override;
    QAbstractButton* burnButton() override;
    QWidget* profileRow() override;
    QAbstractButton* newProfileButton() override;
    void showCopyStatus(const QString& text) override;

private:
    TForm1& window_;
};
