#include "streaming_integration.h"

#include "main_window.h"
#include "settings_store.h"
#include "streaming_server.h"

#include <QStatusBar>

#include <QtConcurrent/QtConcurrentRun>

StreamingIntegration::StreamingIntegration(TForm1* window)
    : QObject(window), window_(window), server_(new WStreamingServer(window->userAgent(), this)),
      relay_(new RelayOutput(*server_, this)) {
    connect(&listing_, &QFutureWatcherBase::finished, this, &StreamingIntegration::onDevices);
    connect(relay_, &RelayOutput::stateChanged, this,
            [this](IcecastRelay::State, const QString& text, const QString& logLine) {
                if (!text.isEmpty()) window_->statusBar()->showMessage(text);
                server_->logLine(logLine);
            });
}

RelaySettings StreamingIntegration::readRelaySettings(const SettingsStore& store) {
    const QString key = appsettings::kStreamingKey + QStringLiteral("\\Relay");
    RelaySettings r;
    r.Enabled = store.readBool(key, QStringLiteral("Enabled")).value_or(false);
    r.Host = store.readText(key, QStringLiteral("Host")).value_or(r.Host);
    r.Port = store.readInteger(key, QStringLiteral("Port")).value_or(r.Port);
    r.Mount = store.readText(key, QStringLiteral("Mount")).value_or(r.Mount);
    if (!r.Mount.startsWith(QLatin1Char('/'))) r.Mount.prepend(QLatin1Char('/'));
    const QString user = store.readText(key, QStringLiteral("User")).value_or(QString());
    if (!user.isEmpty()) r.User = user;
    r.Password = store.readText(key, QStringLiteral("Password")).value_or(QString());
    r.TLS = store.readBool(key, QStringLiteral("TLS")).value_or(false);
    if (r.Port <= 0 || r.Port > 65535) r.Enabled = false;
    return r;
}

void StreamingIntegration::startRelay() {
    const SettingsStore* store = window_->environment().store;
    if (!store) return;
    const RelaySettings r = readRelaySettings(*store);
    if (!r.Enabled) return;
    // Without the built-in server the relay captures and encodes with its settings.
    const appsettings::StreamingSettings& s = window_->settings().streaming;
    relay_->setTitle(server_->StreamTitle);
    relay_->start(r, streamingsettings::toConfig(s), s.encoder);
}

StreamingIntegration::~StreamingIntegration() {
    // A listing still under way finishes on its own; its result is not wanted.
    listing_.disconnect(this);
}

void StreamingIntegration::start() {
    if (started_ || listing_.isRunning() || closing_) return;
    listing_.setFuture(QtConcurrent::run([] { return PulseCapture::listDevices(); }));
}

void StreamingIntegration::onDevices() {
    if (closing_ || started_) return;
    devices_ = listing_.result();
    appsettings::StreamingSettings& s = window_->settings().streaming;
    check_ = streamingsettings::validate(s, devices_);
    started_ = true;
    const bool active = streamingsettings::apply(s, *server_);
    startRelay();
    emit applied(active);
}

bool StreamingIntegration::closeRequest() {
    if (window_->settings().streaming.enabled) {
        relay_->stop();
        server_->Stop();
    }
    return true;
}

void StreamingIntegration::shutdown() {
    closing_ = true;
    relay_->stop();
    server_->Stop();
}

void StreamingIntegration::setStreamTitle(const QString& title) {
    server_->StreamTitle = title;
    relay_->setTitle(title);
}
