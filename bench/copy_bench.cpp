// Copy throughput beside cp: one 1 GiB file on the same disk, and 2,000 MP3 titles of
// 200 KB copied into a playlist (medium lookup, copy, length measurement, dialog) beside
// "cp -r" of the same files.
//
//   copy_bench [work folder on the disk to measure] [titles]
#include "copy_dialogs.h"
#include "file_copy.h"
#include "media_access.h"
#include "media_prompts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

class NoPrompts : public MediaPrompts {
public:
    bool askPassword(const QString&, bool, QString&, QString&) override { return false; }
    void warn(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    QString waitForMedium(const QString&, MediumWait&) override { return {}; }
};

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

double runCp(const QStringList& args) {
    QElapsedTimer t;
    t.start();
    QProcess cp;
    cp.start(QStringLiteral("cp"), args);
    if (!cp.waitForFinished(-1) || cp.exitCode() != 0) {
        std::fprintf(stderr, "cp failed: %s\n", cp.readAllStandardError().constData());
        return -1;
    }
    return seconds(t);
}

void syncDisk() {
    QProcess::execute(QStringLiteral("sync"), {});
}

bool makeBigFile(const QString& path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 12345;
    for (qint64 done = 0; done < size; done += block.size()) {
        for (int i = 0; i < block.size(); i += 4) {
            x = x * 1664525u + 1013904223u;
            std::memcpy(block.data() + i, &x, 4);
        }
        if (f.write(block) != block.size()) return false;
    }
    return f.flush();
}

// A 200 KB MP3 made by lame from a generated tone.
QByteArray makeMp3(const QString& folder) {
    const int rate = 44100;
    const int samples = rate * 25 / 2; // 12.5 s at 128 kbps: 200 KB
    QByteArray wav;
    auto put32 = [&wav](quint32 v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&wav](quint16 v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    wav += "RIFF";
    put32(36 + samples * 2);
    wav += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    wav += "data";
    put32(samples * 2);
    for (int i = 0; i < samples; ++i)
        put16(quint16(qint16(8000 * ((i / 50) % 2 ? 1 : -1))));
    const QString in = folder + QStringLiteral("/tone.wav");
    const QString out = folder + QStringLiteral("/tone.mp3");
    QFile f(in);
    if (!f.open(QIODevice::WriteOnly) || f.write(wav) != wav.size()) return {};
    f.close();
    if (QProcess::execute(QStringLiteral("lame"),
                          {QStringLiteral("--quiet"), QStringLiteral("-b"), QStringLiteral("128"),
                           QStringLiteral("--cbr"), in, out}) != 0)
        return {};
    QFile mp3(out);
    return mp3.open(QIODevice::ReadOnly) ? mp3.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString base = args.size() > 1 ? args[1] : QDir::tempPath();
    const int titles = args.size() > 2 ? args[2].toInt() : 2000;
    QTemporaryDir work(base + QStringLiteral("/copy-bench-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "no work folder under %s\n", qPrintable(base));
        return 1;
    }

    // 1. One 1 GiB file.
    const qint64 size = qint64(1) << 30;
    const QString big = work.filePath(QStringLiteral("big.bin"));
    if (!makeBigFile(big, size)) return 1;
    syncDisk();
    double cpTime = 1e9, ownTime = 1e9;
    for (int round = 0; round < 2; ++round) {
        const QString cpDest = work.filePath(QStringLiteral("big.cp"));
        const double c = runCp({big, cpDest});
        QFile::remove(cpDest);
        syncDisk();
        QElapsedTimer t;
        t.start();
        const filecopy::Result r =
            filecopy::copyFile(big, work.filePath(QStringLiteral("big.own")));
        const double o = seconds(t);
        if (r.status != filecopy::Result::Copied) {
            std::fprintf(stderr, "copy failed: %s\n", qPrintable(r.error));
            return 1;
        }
        QFile::remove(work.filePath(QStringLiteral("big.own")));
        syncDisk();
        cpTime = std::min(cpTime, c);
        ownTime = std::min(ownTime, o);
    }
    QFile::remove(big);
    const double mib = double(size) / (1 << 20);
    std::printf("1 GiB file:  cp %.3f s (%.0f MiB/s)   vorlune %.3f s (%.0f MiB/s)   ratio %.2f "
                "(target >= 0.95)\n",
                cpTime, mib / cpTime, ownTime, mib / ownTime, cpTime / ownTime);

    // 2. Many MP3 titles into a playlist.
    const QString label = QStringLiteral("Bench");
    const QString medium = work.filePath(QStringLiteral("medium"));
    QDir().mkpath(medium + QStringLiteral("/Musik"));
    const QByteArray mp3 = makeMp3(work.path());
    if (mp3.isEmpty()) {
        std::fprintf(stderr, "lame could not make the test title\n");
        return 1;
    }
    QFile id(medium + u'/' + label + QStringLiteral(".id"));
    id.open(QIODevice::WriteOnly);
    id.write("MEDIATYPE::HDD\r\n");
    id.close();
    QStringList lines;
    for (int i = 0; i < titles; ++i) {
        const QString name = QStringLiteral("Artist %1 - Title %2.mp3").arg(i % 50).arg(i);
        QFile f(medium + QStringLiteral("/Musik/") + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(mp3) != mp3.size()) return 1;
        lines << label + QStringLiteral(":\\Musik\\") + name;
    }
    syncDisk();
    const double cpR = runCp({QStringLiteral("-r"), medium, work.filePath(QStringLiteral("cp"))});
    syncDisk();

    qputenv("VORLUNE_MEDIA_ROOTS", QFile::encodeName(medium));
    NoPrompts prompts;
    MediaAccess::Options options;
    options.tempDir = work.filePath(QStringLiteral("tmp"));
    QDir().mkpath(options.tempDir);
    MediaAccess access(options, &prompts);
    TForm3 form(&access);
    CopyRun::Setup setup;
    const QString dest = work.filePath(QStringLiteral("ziel"));
    setup.pathTemplate = dest + QStringLiteral("/%C/%A/%T%E");
    setup.playlistFile = dest + QStringLiteral("/liste.m3u");
    QEventLoop loop;
    bool completed = false;
    QObject::connect(&form.run(), &CopyRun::finished, &loop, [&](bool ok) {
        completed = ok;
        loop.quit();
    });
    QElapsedTimer t;
    t.start();
    form.startRun(lines, setup);
    loop.exec();
    const double own = seconds(t);
    if (!completed) {
        std::fprintf(stderr, "the copy run did not complete\n");
        return 1;
    }
    QFile list(setup.playlistFile);
    list.open(QIODevice::ReadOnly);
    const int entries = list.readAll().count("#EXTINF:");
    std::printf("%d x %lld KB MP3 titles:  cp -r %.3f s   vorlune %.3f s (playlist %d entries)   "
                "%.2f ms per title beyond cp (target <= 20)\n",
                titles, qlonglong(mp3.size() / 1024), cpR, own, entries,
                (own - cpR) * 1000.0 / titles);
    return 0;
}
