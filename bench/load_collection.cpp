// Loads a generated collection with LoadAllMedia and prints wall time and peak memory,
// side by side with `LC_ALL=C sort -f` over the same files.
//   bench_load_collection DIR
#include "collection.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CATALOGUE_DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);

    // The bare cost of sorting the same lines without regard to case.
    const QStringList files = Collection::indexFilesIn(dir);
    QByteArray list;
    for (const QString& f : files)
        list += QFile::encodeName(QDir(dir).filePath(f)) + '\0';
    QProcess sort;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    sort.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    sort.start("sort", {"-f", "--files0-from=-", "-o", "/dev/null"});
    sort.waitForStarted();
    sort.write(list);
    sort.closeWriteChannel();
    sort.waitForFinished(-1);
    const double sortSeconds = t.nsecsElapsed() / 1e9;

    Collection c;
    c.CatalogDir = dir;
    t.restart();
    const LoadReport r = c.LoadAllMedia();
    const double loadSeconds = t.nsecsElapsed() / 1e9;

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("files:            %lld\n", static_cast<long long>(files.size()));
    std::printf("media/folders/titles: %d / %d / %d (errors %lld)\n", r.media, r.folders, r.titles,
                static_cast<long long>(r.errors.size()));
    std::printf("LoadAllMedia:     %.3f s\n", loadSeconds);
    std::printf("LC_ALL=C sort -f: %.3f s\n", sortSeconds);
    std::printf("ratio:            %.2f\n", loadSeconds / sortSeconds);
    std::printf("peak memory:      %.1f MB\n", ru.ru_maxrss / 1024.0);
    return 0;
}
