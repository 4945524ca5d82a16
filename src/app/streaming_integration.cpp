#include "streaming_integration.h"

#include "main_window.h"
#include "settings_store.h"
#include "streaming_server.h"

#include <QStatusBar>

#include <QtConcurrent/QtConcurrentRun>

StreamingIntegration::StreamingIntegration(TForm1* window)
    : QObject(window), window_(window), server_(&window->core().streamingServer()),
      relay_(new RelayOutput(*server_, this)) {
    connect(&listing_, &QFutureWatcherBase::finished, this, &StreamingIntegration::onDevices);
    connect(relay_, &RelayOutput::stateChanged, this,
            [this](IcecastRelay::State, const QString& text, const QString& logLine) {
                if (!text.isEmpty()) window_->statusBar()->showMessage(text);
                server_->logLine(logLine);
            });
    connect(server_, &WStreamingServer::logFailed, this, [this](const QString& text) {
        qWarning().noquote() << text;
        window_->statusBar()->showMessage(text);
    });
}

RelaySettings StreamingIntegration::readRelaySettings(const SettingsStore& store) {
    return streamingsettings::readRelay(store);
}

void StreamingIntegration::startRelay() {
    const SettingsStore* store = window_->environment().store;
    RelaySettings r = store ? readRelaySettings(*store) : RelaySettings();
    if (!r.Enabled) {
        relay_->stop();
        return;
    }
    // Without the built-in server the relay captures and encodes with its settings.
    const appsettings::StreamingSettings& s = window_->settings().streaming;
    const StreamConfig config = streamingsettings::toConfig(s);
    r.StationName = config.StationID;
    r.BitRate = config.BitRate;
    // A relay fed by the running server with these settings keeps its connection.
    if (relay_->isRunning() && server_->isActive() && relay_->relay().settings() == r) return;
    relay_->setTitle(server_->StreamTitle);
    relay_->start(r, streamingsettings::toConfig(s), s.encoder);
}

bool StreamingIntegration::applyLive(bool startStop) {
    if (closing_) return false;
    const appsettings::StreamingSettings& s = window_->settings().streaming;
    server_->SetEncoderLibrary(s.encoder);
    server_->setLogFile(s.logFile);
    server_->SetLogging(s.logging);
    server_->Configure(streamingsettings::toConfig(s));
    if (startStop) {
        if (s.enabled)
            server_->Start();
        else
            server_->Stop();
    }
    startRelay();
    finishApply();
    return server_->encoderLoaded() && !s.encoder.isEmpty() &&
           server_->encoderLibrary() == s.encoder;
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
    streamingsettings::apply(s, *server_);
    startRelay();
    finishApply();
}

void StreamingIntegration::finishApply() {
    const bool active = server_->isActive();
    problem_ = window_->settings().streaming.enabled && !active ? server_->startError() : QString();
    if (!problem_.isEmpty()) window_->statusBar()->showMessage(problem_);
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
