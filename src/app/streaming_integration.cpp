#include "streaming_integration.h"

#include "app_settings.h"
#include "settings_store.h"
#include "streaming_server.h"

#include <QtConcurrent/QtConcurrentRun>

StreamingIntegration::StreamingIntegration(WStreamingServer& server,
                                           appsettings::Settings& settings,
                                           const SettingsStore* store, StreamingView& view,
                                           QObject* parent)
    : QObject(parent), server_(&server), settings_(settings), store_(store), view_(view),
      relay_(new RelayOutput(server, this)) {
    connect(&listing_, &QFutureWatcherBase::finished, this, &StreamingIntegration::onDevices);
    connect(relay_, &RelayOutput::stateChanged, this,
            [this](IcecastRelay::State, const QString& text, const QString& logLine) {
                if (!text.isEmpty()) view_.showStatusMessage(text);
                server_->logLine(logLine);
            });
    connect(server_, &WStreamingServer::logFailed, this, [this](const QString& text) {
        qWarning().noquote() << text;
        view_.showStatusMessage(text);
    });
}

RelaySettings StreamingIntegration::readRelaySettings(const SettingsStore& store) {
    return streamingsettings::readRelay(store);
}

void StreamingIntegration::startRelay() {
    RelaySettings r = store_ ? readRelaySettings(*store_) : RelaySettings();
    if (!r.Enabled) {
        relay_->stop();
        return;
    }
    // Without the built-in server the relay captures and encodes with its settings.
    const appsettings::StreamingSettings& s = settings_.streaming;
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
    const appsettings::StreamingSettings& s = settings_.streaming;
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
    appsettings::StreamingSettings& s = settings_.streaming;
    check_ = streamingsettings::validate(s, devices_);
    started_ = true;
    streamingsettings::apply(s, *server_);
    startRelay();
    finishApply();
}

void StreamingIntegration::finishApply() {
    const bool active = server_->isActive();
    problem_ = settings_.streaming.enabled && !active ? server_->startError() : QString();
    if (!problem_.isEmpty()) view_.showStatusMessage(problem_);
    emit applied(active);
}

bool StreamingIntegration::closeRequest() {
    if (settings_.streaming.enabled) {
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
