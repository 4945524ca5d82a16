#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>

namespace playbacktest {

QByteArray sineWav(int milliseconds, int sampleRate) {
    const qint64 samples = qint64(sampleRate) * milliseconds / 1000;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    // Two tones under noise: a pure tone encodes into long runs of 0xFF bytes, which
    // no recording has.
    QRandomGenerator noise(1);
    for (qint64 i = 0; i < samples; ++i) {
        const double t = double(i) / sampleRate;
        const double v = std::sin(2.0 * M_PI * 440.0 * t) * 6000.0 +
                         std::sin(2.0 * M_PI * 587.0 * t) * 3000.0 + noise.bounded(-4000, 4001);
        qToLittleEndian<qint16>(qint16(v), pcm.data() + i * 2);
    }
    QByteArray wav;
    auto u32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        wav.append(b, 4);
    };
    auto u16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF");
    u32(quint32(36 + pcm.size()));
    wav.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(quint32(sampleRate));
    u32(quint32(sampleRate * 2));
    u16(2);
    u16(16);
    wav.append("data");
    u32(quint32(pcm.size()));
    wav.append(pcm);
    return wav;
}

QString makeMp3(const QString& folder, const QString& name, int milliseconds, int kbps) {
    static QTemporaryDir cache;
    static QHash<QString, QString> made;
    const QString key = QStringLiteral("%1-%2").arg(milliseconds).arg(kbps);
    QString source = made.value(key);
    if (source.isEmpty()) {
        const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
        if (lame.isEmpty()) return {};
        const QString wav = cache.filePath(key + QStringLiteral(".wav"));
        const QString mp3 = cache.filePath(key + QStringLiteral(".mp3"));
        if (!writeFile(wav, sineWav(milliseconds))) return {};
        QProcess process;
        process.start(lame, {QStringLiteral("--quiet"), QStringLiteral("-b"), QString::number(kbps),
                             QStringLiteral("--cbr"), wav, mp3});
        if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
        made.insert(key, mp3);
        source = mp3;
    }
    const QString target = QDir(folder).filePath(name);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::copy(source, target) ? target : QString();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

WebServer::WebServer(const QString& folder, int slowMs) : process_(new QProcess) {
    static const char* script = R"PY(
import http.server, sys, time
root, slow = sys.argv[1], int(sys.argv[2]) / 1000.0
class H(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=root, **k)
    def log_message(self, *a):
        pass
    def do_GET(self):
        if "Slow" in self.path:
            time.sleep(slow)
        super().do_GET()
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
print("port", s.server_address[1], flush=True)
s.serve_forever()
)PY";
    process_->start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"), QString::fromUtf8(script), folder, QString::number(slowMs)});
    if (!process_->waitForStarted(5000)) return;
    QByteArray banner;
    while (!banner.contains('\n') && process_->waitForReadyRead(10000))
        banner += process_->readAllStandardOutput();
    if (banner.startsWith("port ")) port_ = banner.mid(5).trimmed().toInt();
}

WebServer::~WebServer() {
    process_->kill();
    process_->waitForFinished(3000);
    delete process_;
}

QString WebServer::url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(port_) + path;
}

} // namespace playbacktest
