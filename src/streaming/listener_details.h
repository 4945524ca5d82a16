#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
#include "streaming_server.h"

// The details of one listener, refreshed every 500 ms while shown. Closes itself when its
// listener leaves.
class TForm10 : public QDialog {
    Q_OBJECT
public:
    // The row's icon and its "Gesendet" text come from the listener list.
    using RowIcon = std::function<int(int index)>;

    TForm10(WStreamingServer* server, RowIcon rowIcon, QWidget* parent = nullptr);

    void setServer(WStreamingServer* server) { server_ = server; }
    // Shows the listener modally; true when the user chose "&Verbindung trennen".
    bool showListener(int index);
    int listenerIndex() const { return index_; }
    bool isShowingListener() const { return isVisible() && index_ >= 0; }
    // A listener before this one left: the rows moved up.
    void listenerRemoved(int index);

    QLineEdit* field(int i) const { return fields_[i]; }
    enum Field { Address = 0, Host, LoginTime, Software, Metadata, Sent, FieldCount };
    QPushButton* disconnectButton() const { return disconnect_; }
    QPushButton* closeButton() const { return close_; }
    QLabel* iconLabel() const { return icon_; }

    void updateDetails();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void setField(Field f, const QString& text, bool grey = false);

    QPointer<WStreamingServer> server_;
    RowIcon rowIcon_;
    int index_ = -1;
    int shownIcon_ = -1;
    QTimer timer_;
    QLineEdit* fields_[FieldCount] = {};
    QLabel* icon_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    QPushButton* close_ = nullptr;
};
