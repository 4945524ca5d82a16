#include "options_fixture.h"

#include "pulse_capture.h"
#include "pulse_server.h"
#include "remote_integration.h"
#include "streaming_integration.h"
#include "streaming_server.h"
#include "test_support.h"

#include "encoder_search_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>

namespace {

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0)) return 0;
    return probe.serverPort();
}

// The window with a private sound server whose null sink's monitor can be recorded.
class OptionsStreaming : public OptionsWindowFixture {
protected:
    static void SetUpTestSuite() {
        pulse = new PulseServer;
        if (!pulse->start()) skipReason = pulse->why();
    }
    static void TearDownTestSuite() {
        delete pulse;
        pulse = nullptr;
    }
    void SetUp() override {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << "PulseAudio cannot start: " << skipReason.toStdString();
        OptionsWindowFixture::SetUp();
    }
    int monitorIndex(TForm1& w) const {
        const QList<AudioDevice> devices = w.streaming()->devices();
        for (int i = 0; i < devices.size(); ++i)
            if (devices[i].name == QLatin1String("vtest.monitor")) return i;
        return -1;
    }
    QString streamStatus(TForm1& w) const {
        return w.remote()->items().value(remote::Topic::Streaming, "STREAMSTATUS");
    }
    static PulseServer* pulse;
    static QString skipReason;
};
PulseServer* OptionsStreaming::pulse = nullptr;
QString OptionsStreaming::skipReason;

} // namespace

TEST_F(OptionsStreaming, SwitchedOnChangedAndOffThroughTheDialogAlone) {
    auto w = shown();
    TForm5* d = dialog(*w);
    const int monitor = monitorIndex(*w);
    ASSERT_GE(monitor, 0);
    WStreamingServer& server = w->streaming()->server();
    int prompts = 0;
    d->setEncoderPrompt([&] {
        ++prompts;
        return QStringLiteral(LAME_LIBRARY);
    });
    const quint16 first = freePort(), second = freePort();
    ASSERT_TRUE(first && second && first != second);

    // A fresh start: nothing is enabled, the station name is preset on entry.
    w->action("Streaming1")->trigger();
    ASSERT_EQ(d->currentPage(), optionspages::Streaming);
    EXPECT_FALSE(d->cbStreamingEnabled->isChecked());
    EXPECT_TRUE(d->cbStreamingEnabled->isEnabled());
    EXPECT_FALSE(d->seStreamPort->isEnabled());
    EXPECT_TRUE(d->taStationID->text().startsWith("Vorlune: Aktuelle Übertragung von "));
    EXPECT_EQ(d->seStreamPort->value(), 8000);
    EXPECT_EQ(d->dbBitrate->currentText(), "128 kbps");

    // On: no encoder file yet, so the search is asked; the path it returns is kept.
    d->dbStreamDevice->setCurrentIndex(monitor);
    d->seStreamPort->setValue(first);
    d->cbStreamingEnabled->click();
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(d->cbStreamingEnabled->isChecked());
    EXPECT_TRUE(d->seStreamPort->isEnabled());
    d->dbVBRMethod->setCurrentIndex(2);
    d->dbVBRMethod->activated(2);
    EXPECT_EQ(d->lbBitrate->text(), "&Qualität:");
    EXPECT_TRUE(d->dbBitrate->isHidden());
    EXPECT_FALSE(d->dbQuality->isHidden());
    d->dbVBRMethod->setCurrentIndex(0);
    d->dbVBRMethod->activated(0);
    EXPECT_EQ(d->lbBitrate->text(), "&Bitrate:");
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.listeningPort(), first);
    EXPECT_EQ(streamStatus(*w), "online");
    {
        TestListener listener(first, icyRequest("Icy-MetaData: 1\r\n"));
        EXPECT_TRUE(listener.waitHeader(10000));
    }

    // Another port, applied when the dialog closes: the server moves there.
    d->seStreamPort->setValue(second);
    d->closeButton->click();
    ASSERT_TRUE(server.isActive());
    EXPECT_EQ(server.listeningPort(), second);
    EXPECT_EQ(store->readInteger(appsettings::kStreamingKey, "StreamPort"), second);
    EXPECT_EQ(store->readText(appsettings::kStreamingKey, "Encoder"), QString(LAME_LIBRARY));
    EXPECT_EQ(store->readBool(appsettings::kStreamingKey, "Enabled"), true);
    {
        TestListener listener(second, icyRequest(""));
        EXPECT_TRUE(listener.waitHeader(10000));
    }

    // Back after a restart, running from the first showing.
    restart(w);
    d = dialog(*w);
    ASSERT_TRUE(waitFor([&] { return w->streaming()->server().isActive(); }, 10000));
    EXPECT_EQ(w->streaming()->server().listeningPort(), second);

    // Off: the server stops while the dialog is still open.
    w->commandTable().run(cmd::Options, "4");
    EXPECT_TRUE(d->cbStreamingEnabled->isChecked());
    EXPECT_EQ(d->dbStreamDevice->currentData().toString(), "vtest.monitor");
    d->cbStreamingEnabled->click();
    EXPECT_FALSE(w->streaming()->server().isActive());
    EXPECT_EQ(streamStatus(*w), "offline");
    EXPECT_FALSE(d->seStreamPort->isEnabled());
    d->closeButton->click();
    EXPECT_EQ(store->readBool(appsettings::kStreamingKey, "Enabled"), false);
}

TEST_F(OptionsStreaming, CancelledEncoderSearchLeavesStreamingOff) {
    auto w = shown();
    TForm5* d = dialog(*w);
    d->setEncoderPrompt([] { return QString(); });
    d->openOn(optionspages::Streaming);
    d->cbStreamingEnabled->click();
    EXPECT_FALSE(d->cbStreamingEnabled->isChecked());
    EXPECT_FALSE(w->streaming()->server().isActive());
    EXPECT_TRUE(w->settings().streaming.encoder.isEmpty());
    d->closeButton->click();
    EXPECT_EQ(store->readBool(appsettings::kStreamingKey, "Enabled"), false);
    // The encoder search the dialog would open looks into the data folder first.
    EXPECT_EQ(w->options()->encoderSearch()->roots().value(0), env.dataDir());
}
