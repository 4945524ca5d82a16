// The fuzz target's work on its corpus, timed: each input read as two index files, loaded as
// two media of a new collection and cleared. Prints the microseconds per input.
//   bench_index_reader CORPUS_DIR [ROUNDS]
#include "collection.h"
#include "index_input.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    std::vector<QByteArray> inputs;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) inputs.push_back(f.readAll());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs in %s\n", argv[1]);
        return 1;
    }
    qsizetype bytes = 0;
    for (const QByteArray& in : inputs)
        bytes += in.size();
    int titles = 0;
    const double start = threadCpuSeconds();
    for (int r = 0; r < rounds; ++r) {
        for (const QByteArray& in : inputs) {
            const auto [newLines, oldLines] =
                readIndexInput(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
            Collection c;
            c.addMedium(QStringLiteral("a"), newLines);
            c.addMedium(QStringLiteral("b"), oldLines);
            titles += c.titleCount;
            c.ClearCollection();
        }
    }
    const double seconds = threadCpuSeconds() - start;
    const double n = double(inputs.size()) * rounds;
    std::printf("inputs: %zu (%.0f bytes on average), rounds: %d, titles: %d\n", inputs.size(),
                double(bytes) / double(inputs.size()), rounds, titles);
    std::printf("CPU per input: %.2f us\n", seconds / n * 1e6);
    return 0;
}
