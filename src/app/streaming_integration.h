#pragma once

#include "pulse_capture.h"
#include "relay_output.h"
#include "streaming_settings.h"
#include "task_service.h"

#include <QList>
#include <QObject>
#include <QPointer>

class SettingsStore;
class WStreamingServer;
namespace appsettings {
struct Settings;
}

// What the stream needs of the window: a place for its messages.
class StreamingView {
public:
    virtual ~StreamingView() = default;
    virtual void showStatusMessage(const QString& text) = 0;
};

// Why the server does not run although the settings enable it; empty otherwise.
class StreamingStatus {
public:
    virtual ~StreamingStatus() = default;
    virtual QString problem() const = 0;
};

// The window's side of the core's stream server: checks the "Streaming" settings against
// the recording devices at the first showing and starts the server when they enable it,
// stops it at the close request and shuts it down at closing. The device list is asked
// for as a job of the task service, so a sound server that does not answer stalls nothing.
class StreamingIntegration : public QObject, public StreamingStatus {
    Q_OBJECT
public:
    // `store` may be null (no relay settings then).
    StreamingIntegration(WStreamingServer& server, appsettings::Settings& settings,
                         const SettingsStore* store, TaskService& tasks, StreamingView& view,
                         QObject* parent = nullptr);
    ~StreamingIntegration() override;

    WStreamingServer& server() { return *server_; }
    RelayOutput& relay() { return *relay_; }

    // The relay's settings under "Software\Vorlune\Streaming\Relay" (User defaults to
    // "source", Port to 8000, Mount to "/vorlune.mp3").
    static RelaySettings readRelaySettings(const SettingsStore& store);

    // First showing, after the settings are loaded: validates the streaming settings once the
    // device list is in, applies them and starts when enabled.
    void start();
    // The device list has arrived and the settings were applied.
    bool started() const { return started_; }
    const QList<AudioDevice>& devices() const { return devices_; }
    const streamingsettings::Check& check() const { return check_; }

    // The options: hands the streaming settings to the server again; with
    // `startStop` the server starts or stops as they say, and the relay follows. Returns
    // whether the encoder the settings name is loaded.
    bool applyLive(bool startStop);

    // Close request: stops the server when streaming is enabled. Never refuses.
    bool closeRequest();
    // Closing: the server goes down whatever the settings say.
    void shutdown();

    // StreamingStatus
    QString problem() const override { return problem_; }

public slots:
    // The player's title for the metadata blocks.
    void setStreamTitle(const QString& title);

signals:
    // The settings were checked and applied; active tells whether the server runs.
    void applied(bool active);

private:
    void onDevices(const QList<AudioDevice>& devices);
    void startRelay();
    // Takes the server's start failure, shows it in the status bar, then emits applied.
    void finishApply();

    WStreamingServer* server_;
    appsettings::Settings& settings_;
    const SettingsStore* store_;
    StreamingView& view_;
    RelayOutput* relay_;
    QPointer<TaskService> tasks_;
    tasks::Id listing_ = 0;
    QList<AudioDevice> devices_;
    streamingsettings::Check check_;
    QString problem_;
    bool started_ = false;
    bool closing_ = false;
};
