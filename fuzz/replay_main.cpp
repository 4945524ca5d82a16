// A fuzz target without libFuzzer, for the test runs of every build: replays the corpus
// folder given as argument, then feeds random mutations of its files for
// VORLUNE_FUZZ_SECONDS seconds (default 10). VORLUNE_FUZZ_SEED repeats a run; a failing
// input is saved to "fuzz-failure-<seed>" in the working folder.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
// Present in the sanitizer builds: called when a sanitizer ends the program.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*)(void));

namespace {

using Bytes = std::vector<uint8_t>;

unsigned long long seed = 0;
const Bytes* current = nullptr;
char failureName[64];

void onFault(int sig) {
    // Only async-signal-safe calls: the input is written with write(2).
    char text[160];
    const int n =
        std::snprintf(text, sizeof text,
                      "\nfuzz replay: fault (signal %d), seed %llu (VORLUNE_FUZZ_SEED=%llu "
                      "repeats it), input saved as %s\n",
                      sig, seed, seed, failureName);
    if (n > 0) (void)!write(2, text, size_t(n));
    if (current) {
        const int fd = ::creat(failureName, 0644);
        if (fd >= 0) {
            (void)!write(fd, current->data(), current->size());
            ::close(fd);
        }
    }
    if (sig == 0) return;
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void onSanitizerDeath() {
    onFault(0);
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void run(const Bytes& input) {
    current = &input;
    LLVMFuzzerTestOneInput(input.data(), input.size());
    current = nullptr;
}

// One of libFuzzer's simpler mutations: flip, replace, insert, erase or copy bytes, or
// splice in a piece of another input.
Bytes mutate(Bytes in, const std::vector<Bytes>& corpus, std::mt19937_64& rng) {
    const int steps = 1 + int(rng() % 4);
    for (int s = 0; s < steps; ++s) {
        const size_t size = in.size();
        const size_t at = size ? rng() % size : 0;
        switch (rng() % 6) {
        case 0:
            if (size) in[at] ^= uint8_t(1u << (rng() % 8));
            break;
        case 1:
            if (size) in[at] = uint8_t(rng());
            break;
        case 2: {
            static const uint8_t special[] = {0x00, 0x0A, 0x0D, 0x22, 0x25, 0x2E, 0x2F, 0x3A,
                                              0x5C, 0x7F, 0x80, 0xC3, 0xE2, 0xEF, 0xFD, 0xFF};
            in.insert(in.begin() + std::ptrdiff_t(at),
                      rng() % 2 ? special[rng() % sizeof special] : uint8_t(rng()));
            break;
        }
        case 3:
            if (size)
                in.erase(in.begin() + std::ptrdiff_t(at),
                         in.begin() + std::ptrdiff_t(std::min(size, at + 1 + rng() % 8)));
            break;
        case 4:
            if (size) {
                const size_t from = rng() % size;
                const size_t len = std::min<size_t>(size - from, 1 + rng() % 16);
                const Bytes piece(in.begin() + std::ptrdiff_t(from),
                                  in.begin() + std::ptrdiff_t(from + len));
                in.insert(in.begin() + std::ptrdiff_t(at), piece.begin(), piece.end());
            }
            break;
        default:
            if (!corpus.empty()) {
                const Bytes& other = corpus[rng() % corpus.size()];
                if (other.empty()) break;
                const size_t from = rng() % other.size();
                const size_t len = std::min<size_t>(other.size() - from, 1 + rng() % 64);
                in.insert(in.begin() + std::ptrdiff_t(at), other.begin() + std::ptrdiff_t(from),
                          other.begin() + std::ptrdiff_t(from + len));
            }
        }
    }
    if (in.size() > 64 * 1024) in.resize(64 * 1024);
    return in;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    const char* seedText = std::getenv("VORLUNE_FUZZ_SEED");
    seed = seedText ? std::strtoull(seedText, nullptr, 10)
                    : std::random_device{}() ^
                          uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    std::snprintf(failureName, sizeof failureName, "fuzz-failure-%llu", seed);
    const char* secondsText = std::getenv("VORLUNE_FUZZ_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : 10.0;
    for (int sig : {SIGILL, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGTRAP})
        std::signal(sig, onFault);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(onSanitizerDeath);
    std::printf("seed %llu\n", seed);
    std::fflush(stdout);
    // A target may put libFuzzer flags into the arguments: the folder is taken first.
    const char* corpusFolder = argv[1];
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpusFolder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<Bytes> corpus;
    for (const auto& f : files)
        corpus.push_back(readFile(f));
    const Bytes empty;
    run(empty);
    for (const Bytes& input : corpus)
        run(input);
    std::printf("replayed %zu corpus files\n", corpus.size());

    std::mt19937_64 rng(seed);
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long long runs = 0;
    while (std::chrono::steady_clock::now() < until) {
        const Bytes input =
            mutate(corpus.empty() ? empty : corpus[rng() % corpus.size()], corpus, rng);
        run(input);
        ++runs;
    }
    std::printf("%lld mutated inputs in %.0f s, seed %llu: no fault\n", runs, seconds, seed);
    return 0;
}
