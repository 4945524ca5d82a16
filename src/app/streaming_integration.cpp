#include "streaming_integration.h"

#include "main_window.h"
#include "streaming_server.h"

#include <QtConcurrent/QtConcurrentRun>

StreamingIntegration::StreamingIntegration(TForm1* window)
    : QObject(window), window_(window), server_(new WStreamingServer(window->userAgent(), this)) {
    connect(&listing_, &QFutureWatcherBase::finished, this, &StreamingIntegration::onDevices);
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
    emit applied(streamingsettings::apply(s, *server_));
}

bool StreamingIntegration::closeRequest() {
    if (window_->settings().streaming.enabled) server_->Stop();
    return true;
}

void StreamingIntegration::shutdown() {
    closing_ = true;
    server_->Stop();
}

void StreamingIntegration::setStreamTitle(const QString& title) {
    server_->StreamTitle = title;
}
