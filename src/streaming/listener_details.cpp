#include "listener_details.h"

#include "agent_icons.h"
#include "statistics_texts.h"
#include "streaming_server.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm10::TForm10(WStreamingServer* server, RowIcon rowIcon, QWidget* parent)
    : QDialog(parent), server_(server), rowIcon_(std::move(rowIcon)) {
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("Details"));
    auto* group = new QGroupBox(QStringLiteral("Zuhörer-Informationen"), this);
    auto* row = new QHBoxLayout(group);
    icon_ = new QLabel(group);
    icon_->setObjectName(QStringLiteral("agentIcon"));
    icon_->setFixedSize(36, 36);
    row->addWidget(icon_, 0, Qt::AlignTop);
    auto* form = new QFormLayout;
    row->addLayout(form, 1);
    const char* const labels[FieldCount] = {
        "Netzwerk-Adresse:", "Hostname:",          "Anmeldezeit:",
        "Client-Software:",  "Metadaten-Empfang:", "Gesendete Daten:"};
    for (int i = 0; i < FieldCount; ++i) {
        fields_[i] = new QLineEdit(group);
        fields_[i]->setReadOnly(true);
        fields_[i]->setFrame(false);
        fields_[i]->setMinimumWidth(320);
        form->addRow(QString::fromUtf8(labels[i]), fields_[i]);
    }
    disconnect_ = new QPushButton(QStringLiteral("&Verbindung trennen"), this);
    close_ = new QPushButton(QStringLiteral("&Schließen"), this);
    connect(disconnect_, &QPushButton::clicked, this, [this] { done(QDialogButtonBox::Abort); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(disconnect_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    timer_.setInterval(500);
    connect(&timer_, &QTimer::timeout, this, &TForm10::updateDetails);
}

bool TForm10::showListener(int index) {
    index_ = index;
    shownIcon_ = -1;
    if (server_) server_->RequestHostName(index);
    updateDetails();
    if (index_ < 0) return false; // gone already
    close_->setDefault(true);
    close_->setFocus(Qt::OtherFocusReason);
    timer_.start();
    const int result = exec();
    timer_.stop();
    const bool drop = result == QDialogButtonBox::Abort;
    // Disconnected as by "&Trennen": the listener where it is now in the list.
    if (drop && index_ >= 0 && server_) server_->DisconnectClient(index_);
    index_ = -1;
    return drop;
}

void TForm10::listenerRemoved(int index) {
    if (index_ < 0) return;
    if (index == index_) {
        index_ = -1;
        reject();
    } else if (index < index_) {
        --index_;
    }
}

void TForm10::hideEvent(QHideEvent* event) {
    timer_.stop();
    QDialog::hideEvent(event);
}

void TForm10::setField(Field f, const QString& text, bool grey) {
    QLineEdit* e = fields_[f];
    if (e->text() != text) {
        e->setText(text);
        // A text wider than the field shows its start (setText puts the cursor at the end).
        e->setCursorPosition(0);
        e->setToolTip(text);
    }
    QPalette pal = palette();
    if (grey) pal.setColor(QPalette::Text, QColor(0x80, 0x80, 0x80));
    e->setPalette(pal);
}

void TForm10::updateDetails() {
    WClientInfo info;
    if (index_ < 0 || !server_ || !server_->GetClientInfo(index_, info)) {
        // The listener is gone: nothing left to show.
        if (isVisible()) reject();
        index_ = -1;
        return;
    }
    const int icon = rowIcon_ ? rowIcon_(index_) : stattexts::agentIcon(info.UserAgent);
    if (icon != shownIcon_) {
        shownIcon_ = icon;
        icon_->setPixmap(agenticons::icon(icon).pixmap(32, 32));
        icon_->setProperty("iconIndex", icon);
    }
    setField(Address, info.RemoteAddress);
    if (info.RemoteHost.isEmpty())
        setField(Host, QStringLiteral("(Unbekannt)"), true);
    else
        setField(Host, info.RemoteHost);
    setField(LoginTime, stattexts::dateTimeText(info.ConnectTime));
    if (info.UserAgent == QLatin1String("__NO_USER-AGENT_SENT__"))
        setField(Software, QStringLiteral("(Nicht übermittelt)"), true);
    else
        setField(Software, info.UserAgent);
    setField(Metadata, info.Metadata ? QStringLiteral("Ja") : QStringLiteral("Nein"));
    setField(Sent, stattexts::sentDetailText(info.BytesSent));
}
