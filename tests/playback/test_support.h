#pragma once

#include "media_access.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace playbacktest {

// The user in front of the insert-medium dialog: gives up at once.
class CancellingPrompts : public MediaPrompts {
public:
    QStringList asked;
    int confirmed = 0;
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override {
        ++confirmed;
        return false;
    }
    QString waitForMedium(const QString& label, MediumWait&) override {
        asked << label;
        return {};
    }
};

// A mono 16-bit WAV file of the given length: two tones under noise.
QByteArray sineWav(int milliseconds, int sampleRate = 44100);

// An MP3 made from that sound by Debian's lame command (constant bit rate); empty when
// the encoder is missing or fails. Results are cached per length and rate.
QString makeMp3(const QString& folder, const QString& name, int milliseconds, int kbps = 128);

bool writeFile(const QString& path, const QByteArray& data);

// A web server on loopback (Debian's python3) serving a folder; requests for paths
// containing "Slow" are answered only after `slowMs`.
class WebServer {
public:
    WebServer(const QString& folder, int slowMs = 3000);
    ~WebServer();
    bool isRunning() const { return port_ > 0; }
    QString url(const QString& path) const;

private:
    QProcess* process_;
    int port_ = 0;
};
QByteArray readFile(const QString& path);

} // namespace playbacktest
