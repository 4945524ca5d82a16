// Frame scan throughput beside `cat file > /dev/null`, and the GUI-thread cost of the
// playback tick with a 10,000-title playlist.
#include "media_access.h"
#include "media_access_titles.h"
#include "player.h"
#include "title_scan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <cmath>
#include <cstdio>

namespace {

class NoPrompts : public MediaPrompts {
public:
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString&, MediumWait&) override { return {}; }
};

QString encodeMp3(const QString& dir, int seconds) {
    const int rate = 44100;
    const qint64 samples = qint64(rate) * seconds;
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    quint32 noise = 1;
    for (qint64 i = 0; i < samples; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double v = std::sin(2.0 * M_PI * 440.0 * double(i) / rate) * 6000.0 +
                         double(int(noise >> 20) - 2048);
        qToLittleEndian<qint16>(qint16(v), pcm.data() + i * 2);
    }
    QByteArray wav("RIFF");
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
    u32(quint32(36 + pcm.size()));
    wav.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    wav.append("data");
    u32(quint32(pcm.size()));
    wav.append(pcm);
    const QString wavFile = QDir(dir).filePath(QStringLiteral("tone.wav"));
    const QString mp3File = QDir(dir).filePath(QStringLiteral("tone.mp3"));
    QFile out(wavFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(wav) != wav.size()) return {};
    out.close();
    QProcess lame;
    lame.start(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                        QStringLiteral("128"), wavFile, mp3File});
    if (!lame.waitForFinished(120000) || lame.exitCode() != 0) return {};
    return mp3File;
}

double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        best = std::min(best, double(clock.nsecsElapsed()) / 1e6);
    }
    return best;
}

int scanBench(const QString& dir) {
    const QString piece = encodeMp3(dir, 60);
    if (piece.isEmpty()) {
        std::fprintf(stderr, "lame is needed\n");
        return 1;
    }
    QFile in(piece);
    in.open(QIODevice::ReadOnly);
    const QByteArray chunk = in.readAll();
    const QString big = QDir(dir).filePath(QStringLiteral("big.mp3"));
    QFile out(big);
    out.open(QIODevice::WriteOnly);
    while (out.size() < 100LL * 1024 * 1024)
        out.write(chunk);
    out.close();
    const double mb = double(QFileInfo(big).size()) / (1024.0 * 1024.0);

    auto cat = [&] {
        QProcess::execute(QStringLiteral("sh"),
                          {QStringLiteral("-c"), QStringLiteral("cat \"$0\" > /dev/null"), big});
    };
    cat(); // into the page cache
    const double catMs = bestOf(5, cat);
    titlescan::ScanResult result;
    const double scanMs = bestOf(5, [&] { result = titlescan::ScanTitleLength(big); });
    std::printf("ScanTitleLength on %.0f MB: %.1f ms (%.0f MB/s), cat: %.1f ms (%.0f MB/s); "
                "scan/cat speed %.2f (target >= 0.5); length %lld ms, %d kbps\n",
                mb, scanMs, mb / scanMs * 1000.0, catMs, mb / catMs * 1000.0, catMs / scanMs,
                static_cast<long long>(result.lengthMs), result.bitRate);
    return 0;
}

int tickBench(const QString& dir) {
    const QString mediumRoot = QDir(dir).filePath(QStringLiteral("medium"));
    QDir().mkpath(mediumRoot + QStringLiteral("/dir"));
    QFile id(mediumRoot + QStringLiteral("/Bench.id"));
    id.open(QIODevice::WriteOnly);
    id.close();
    QFile::copy(QDir(dir).filePath(QStringLiteral("tone.mp3")),
                mediumRoot + QStringLiteral("/dir/Artist - Title 0.mp3"));
    qputenv("VORLUNE_MEDIA_ROOTS", mediumRoot.toUtf8());

    NoPrompts prompts;
    MediaAccess::Options mediaOptions;
    mediaOptions.tempDir = dir;
    MediaAccess media(mediaOptions, &prompts);
    MediaAccessTitles titles(&media);
    Player::Options options;
    options.tempDir = dir;
    options.device.audioOutput = QStringLiteral("null");
    options.device.videoOutput = QStringLiteral("null");
    options.tickMs = 3600 * 1000; // ticks are driven by hand below
    Player player(options, &titles);
    titles.connectPlayer(&player);
    QStringList lines;
    for (int i = 0; i < 10000; ++i)
        lines.append(QStringLiteral("Bench:\\dir\\Artist - Title %1.mp3").arg(i));
    QEventLoop loop;
    QObject::connect(&player, &Player::startFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    player.playTitles(lines);
    if (player.isStarting()) loop.exec();
    if (player.currentFile().isEmpty()) {
        std::fprintf(stderr, "the title did not start\n");
        return 1;
    }
    player.setRepeat(true);
    player.setShuffle(true);
    const int ticks = 500;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < ticks; ++i)
        player.tick();
    const double perTick = double(clock.nsecsElapsed()) / 1e6 / ticks;
    std::printf("Tick with a %d-title playlist: %.3f ms per tick (target < 2 ms)\n",
                int(lines.size()), perTick);
    player.stopClick();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 1;
    if (int rc = scanBench(dir.path())) return rc;
    return tickBench(dir.path());
}
