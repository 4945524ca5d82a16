#include "streaming_integration.h"

#include "app_settings.h"
#include "settings_store.h"
#include "streaming_server.h"

StreamingIntegration::StreamingIntegration(WStreamingServer& server,
                                           appsettings::Settings& settings,
                                           const SettingsStore* store, TaskService& tasks,
                                           StreamingView& view, QObject* parent)
    : QObject(parent), server_(&server), settings_(settings), store_(store), view_(view),
      relay_(new RelayOutput(server, this)), tasks_(&tasks) {
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

// A listing still under way finishes on its own; its result goes nowhere.
StreamingIntegration::~StreamingIntegration() = default;

void StreamingIntegration::start() {
    if (started_ || listing_ || closing_ || !tasks_) return;
    listing_ = tasks_->run(
        tasks::Kind::Lookup, QStringLiteral("Aufnahmegeräte ermitteln"), false,
        [](const TaskControl&) { return PulseCapture::listDevices(); }, this,
        [this](TaskOutcome<QList<AudioDevice>> outcome) {
            listing_ = 0;
            onDevices(outcome.value);
        });
}

void StreamingIntegration::onDevices(const QList<AudioDevice>& devices) {
    if (closing_ || started_) return;
    devices_ = devices;
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
