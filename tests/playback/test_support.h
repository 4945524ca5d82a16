#pragma once

#include <QByteArray>
#include <QString>

namespace playbacktest {

// A mono 16-bit WAV file of the given length: two tones under noise.
QByteArray sineWav(int milliseconds, int sampleRate = 44100);

// An MP3 made from that sound by Debian's lame command (constant bit rate); empty when
// the encoder is missing or fails. Results are cached per length and rate.
QString makeMp3(const QString& folder, const QString& name, int milliseconds, int kbps = 128);

bool writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

} // namespace playbacktest
