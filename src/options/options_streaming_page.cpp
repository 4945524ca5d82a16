// The options dialog's "Streaming" page: server settings applied live, and the relay.
#include "options_dialog.h"

#include "settings_keys.h"

#include "encoder_search_window.h"
#include "settings_store.h"
#include "streaming_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

QWidget* TForm5::buildStreamingPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    cbStreamingEnabled = new QCheckBox(QStringLiteral("Streaming &aktivieren"), page);
    cbStreamingEnabled->setObjectName(QStringLiteral("cbStreamingEnabled"));
    column->addWidget(cbStreamingEnabled);

    auto* form = new QFormLayout;
    auto combo = [&](const char* name, const QStringList& items) {
        auto* c = new QComboBox(page);
        c->setObjectName(QLatin1String(name));
        c->addItems(items);
        return c;
    };
    seStreamPort = new QSpinBox(page);
    seStreamPort->setObjectName(QStringLiteral("seStreamPort"));
    seStreamPort->setRange(1, 65535);
    seStreamPort->setValue(8000);
    dbStreamDevice = combo("dbStreamDevice", {});
    taStationID = new QLineEdit(page);
    taStationID->setObjectName(QStringLiteral("taStationID"));
    dbSampleRate = combo("dbSampleRate", optionspages::sampleRateItems());
    dbVBRMethod = combo("dbVBRMethod", optionspages::vbrMethodItems());
    dbBitrate = combo("dbBitrate", optionspages::bitRateItems());
    dbQuality = combo("dbQuality", optionspages::qualityItems());
    lbBitrate = new QLabel(QStringLiteral("&Bitrate:"), page);
    lbBitrate->setObjectName(QStringLiteral("lbBitrate"));
    lbBitrate->setBuddy(dbBitrate);
    auto* rates = new QHBoxLayout;
    rates->addWidget(dbBitrate, 1);
    rates->addWidget(dbQuality, 1);
    cbMaxListeners = new QCheckBox(QStringLiteral("Zu&hörer begrenzen"), page);
    cbMaxListeners->setObjectName(QStringLiteral("cbMaxListeners"));
    seMaxListeners = new QSpinBox(page);
    seMaxListeners->setObjectName(QStringLiteral("seMaxListeners"));
    seMaxListeners->setRange(0, 10000);
    lbMaxListeners = new QLabel(QStringLiteral("Höchstens:"), page);
    lbMaxListeners->setObjectName(QStringLiteral("lbMaxListeners"));
    lbMaxListeners->setBuddy(seMaxListeners);
    auto* limit = new QHBoxLayout;
    limit->addWidget(cbMaxListeners);
    limit->addWidget(lbMaxListeners);
    limit->addWidget(seMaxListeners);
    limit->addStretch(1);
    cbStreamPrivate = new QCheckBox(QStringLiteral("&Privat-Bit setzen"), page);
    cbStreamPrivate->setObjectName(QStringLiteral("cbStreamPrivate"));
    cbStreamLogging =
        new QCheckBox(QStringLiteral("Protoko&ll schreiben (vorlune.streaming.log)"), page);
    cbStreamLogging->setObjectName(QStringLiteral("cbStreamLogging"));

    auto row = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, page);
        label->setBuddy(field);
        form->addRow(label, field);
        streamingControls << label << field;
    };
    row(QStringLiteral("P&ort:"), seStreamPort);
    row(QStringLiteral("Aufnahme&gerät:"), dbStreamDevice);
    row(QStringLiteral("Stat&ionsname:"), taStationID);
    row(QStringLiteral("Abtast&rate:"), dbSampleRate);
    row(QStringLiteral("&Methode:"), dbVBRMethod);
    form->addRow(lbBitrate, rates);
    form->addRow(limit);
    form->addRow(cbStreamPrivate);
    form->addRow(cbStreamLogging);
    column->addLayout(form);
    streamingControls << lbBitrate << dbBitrate << dbQuality << cbMaxListeners << cbStreamPrivate
                      << cbStreamLogging;

    auto* relay = new QGroupBox(QStringLiteral("Weiterleitung an einen Icecast-Server"), page);
    auto* relayForm = new QFormLayout(relay);
    cbRelay = new QCheckBox(QStringLiteral("&Weiterleiten"), relay);
    cbRelay->setObjectName(QStringLiteral("cbRelay"));
    edRelayHost = new QLineEdit(relay);
    edRelayHost->setObjectName(QStringLiteral("edRelayHost"));
    seRelayPort = new QSpinBox(relay);
    seRelayPort->setObjectName(QStringLiteral("seRelayPort"));
    seRelayPort->setRange(1, 65535);
    edRelayMount = new QLineEdit(relay);
    edRelayMount->setObjectName(QStringLiteral("edRelayMount"));
    edRelayUser = new QLineEdit(relay);
    edRelayUser->setObjectName(QStringLiteral("edRelayUser"));
    edRelayPassword = new QLineEdit(relay);
    edRelayPassword->setObjectName(QStringLiteral("edRelayPassword"));
    edRelayPassword->setEchoMode(QLineEdit::Password);
    cbRelayTls = new QCheckBox(QStringLiteral("Nur über TLS verbin&den"), relay);
    cbRelayTls->setObjectName(QStringLiteral("cbRelayTls"));
    relayForm->addRow(cbRelay);
    relayForm->addRow(QStringLiteral("Ser&ver:"), edRelayHost);
    relayForm->addRow(QStringLiteral("Por&t:"), seRelayPort);
    relayForm->addRow(QStringLiteral("&Einhängepunkt:"), edRelayMount);
    relayForm->addRow(QStringLiteral("Be&nutzer:"), edRelayUser);
    relayForm->addRow(QStringLiteral("&Kennwort:"), edRelayPassword);
    relayForm->addRow(cbRelayTls);
    column->addWidget(relay);
    column->addStretch(1);
    streamingControls << relay;

    connect(cbStreamingEnabled, &QCheckBox::clicked, this, &TForm5::streamingSwitched);
    connect(dbVBRMethod, &QComboBox::activated, this, [this] { applyStreaming(); });
    connect(cbMaxListeners, &QCheckBox::toggled, this, &TForm5::updateStreamingControls);
    return page;
}

void TForm5::setEncoderSearch(TForm9* form9) {
    form9_ = form9;
    if (!form9_) return;
    connect(form9_, &QDialog::finished, this, [this] {
        if (!awaitingEncoder_) return;
        awaitingEncoder_ = false;
        encoderChosen(form9_->result());
    });
}

void TForm5::fillStreamingControls() {
    filling_ = true;
    const appsettings::StreamingSettings& s = host_.settings().streaming;
    cbStreamingEnabled->setChecked(s.enabled);
    seStreamPort->setValue(std::clamp(s.streamPort, 1, 65535));
    dbStreamDevice->clear();
    for (const AudioDevice& d : host_.devices())
        dbStreamDevice->addItem(d.description.isEmpty() ? d.name : d.description, d.name);
    dbStreamDevice->setCurrentIndex(s.device && *s.device < dbStreamDevice->count()
                                        ? *s.device
                                        : (dbStreamDevice->count() ? 0 : -1));
    taStationID->setText(s.stationId);
    auto index = [](QComboBox* c, int i) { c->setCurrentIndex(std::clamp(i, 0, c->count() - 1)); };
    index(dbSampleRate, s.sampleRate);
    index(dbVBRMethod, s.vbrMethod);
    index(dbBitrate, s.bitRate);
    index(dbQuality, s.quality);
    cbMaxListeners->setChecked(s.limitListeners);
    seMaxListeners->setValue(s.maxListeners);
    cbStreamPrivate->setChecked(s.privateFlag);
    cbStreamLogging->setChecked(s.logging);
    if (const SettingsStore* store = host_.store()) {
        const RelaySettings r = streamingsettings::readRelay(*store);
        const bool stored = store->hasValue(streamingsettings::kRelayKey,
                                            QLatin1String(settingskeys::relay::Enabled));
        cbRelay->setChecked(stored && store
                                          ->readBool(streamingsettings::kRelayKey,
                                                     QLatin1String(settingskeys::relay::Enabled))
                                          .value_or(false));
        edRelayHost->setText(r.Host);
        seRelayPort->setValue(std::clamp(r.Port, 1, 65535));
        edRelayMount->setText(r.Mount);
        edRelayUser->setText(r.User);
        edRelayPassword->setText(r.Password);
        cbRelayTls->setChecked(r.TLS);
    }
    filling_ = false;
}

void TForm5::collectStreaming() {
    appsettings::StreamingSettings& s = host_.settings().streaming;
    s.enabled = cbStreamingEnabled->isChecked();
    s.streamPort = seStreamPort->value();
    if (dbStreamDevice->currentIndex() >= 0) {
        s.device = dbStreamDevice->currentIndex();
        s.deviceName = dbStreamDevice->currentData().toString();
    }
    s.stationId = taStationID->text();
    s.sampleRate = dbSampleRate->currentIndex();
    s.vbrMethod = dbVBRMethod->currentIndex();
    s.bitRate = dbBitrate->currentIndex();
    s.quality = dbQuality->currentIndex();
    s.limitListeners = cbMaxListeners->isChecked();
    s.maxListeners = seMaxListeners->value();
    s.privateFlag = cbStreamPrivate->isChecked();
    s.logging = cbStreamLogging->isChecked();
}

void TForm5::applyStreaming() {
    collectStreaming();
    const bool loaded = host_.applyStreaming(isVisible());
    if (!loaded && cbStreamingEnabled->isChecked()) {
        cbStreamingEnabled->setChecked(false);
        host_.settings().streaming.enabled = false;
        host_.applyStreaming(isVisible());
    }
    updateStreamingControls();
    emit streamingApplied();
}

void TForm5::streamingSwitched(bool on) {
    const QString& encoder = host_.settings().streaming.encoder;
    if (on && isVisible() && (encoder.isEmpty() || !QFileInfo(encoder).isFile())) {
        if (encoderPrompt_) {
            encoderChosen(encoderPrompt_());
            return;
        }
        if (form9_) {
            awaitingEncoder_ = true;
            form9_->open();
            return;
        }
    }
    applyStreaming();
}

void TForm5::encoderChosen(const QString& path) {
    host_.settings().streaming.encoder = path;
    if (SettingsStore* store = host_.store())
        store->writeText(appsettings::kStreamingKey,
                         QLatin1String(settingskeys::streaming::Encoder), path);
    applyStreaming();
}

void TForm5::updateStreamingControls() {
    const optionspages::StreamingRules r = optionspages::streamingRules(
        cbStreamingEnabled->isChecked(), dbVBRMethod->currentIndex(), cbMaxListeners->isChecked());
    cbStreamingEnabled->setEnabled(host_.streamingCanEnable() || cbStreamingEnabled->isChecked());
    for (QWidget* w : std::as_const(streamingControls))
        w->setEnabled(r.controlsEnabled);
    seMaxListeners->setEnabled(r.limitEnabled);
    lbMaxListeners->setEnabled(r.limitEnabled);
    lbBitrate->setText(r.rateLabel);
    lbBitrate->setBuddy(r.qualityVisible ? static_cast<QWidget*>(dbQuality) : dbBitrate);
    lbBitrate->setVisible(r.rateLabelVisible);
    dbBitrate->setVisible(r.bitRateVisible);
    dbQuality->setVisible(r.qualityVisible);
}
