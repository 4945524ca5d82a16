// Generates synthetic collections for the benchmarks:
//   bench_generate collection DIR [files] [titles]   index files (default 10,000 / 1,000,000)
//   bench_generate tree DIR [files]                  a folder tree of empty files (default 200,000)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Windows-1252 bytes for the umlauts, as most index files carry them.
const std::vector<std::string> kWords = {"Liebe",
                                         "Nacht",
                                         "Sonne",
                                         "M\xFCller",
                                         "Stra\xDF"
                                         "e",
                                         "K\xF6nig",
                                         "M\xE4"
                                         "dchen",
                                         "Love",
                                         "Night",
                                         "Dream",
                                         "Fire",
                                         "Heart",
                                         "Road",
                                         "River",
                                         "Blue",
                                         "Gold",
                                         "Zeit",
                                         "Sommer",
                                         "Regen",
                                         "Wind",
                                         "Stadt",
                                         "Br\xFC"
                                         "cke",
                                         "Sterne",
                                         "Morgen",
                                         "\xC4rger",
                                         "\xDC"
                                         "ber",
                                         "Himmel",
                                         "Feuer"};
const std::vector<std::string> kExt = {".mp3", ".mp3", ".mp3", ".ogg", ".wav", ".mid", ".avi"};

struct Rng {
    std::mt19937 gen{20261208};
    int below(int n) { return int(gen() % unsigned(n)); }
    std::string words(int count) {
        std::string s;
        for (int i = 0; i < count; ++i) {
            if (i) s += ' ';
            s += kWords[size_t(below(int(kWords.size())))];
        }
        return s;
    }
};

int collection(const fs::path& dir, int files, long titles) {
    fs::create_directories(dir);
    Rng rng;
    // A pool of artists shared across media, so that folder names repeat.
    std::vector<std::string> artists;
    for (int i = 0; i < 3000; ++i)
        artists.push_back(rng.words(1 + rng.below(2)) +
                          (i % 7 == 0 ? "" : " " + std::to_string(i)));
    const long perFile = titles / files;
    long written = 0;
    for (int f = 0; f < files; ++f) {
        const std::string label = "Medium " + std::to_string(f + 1);
        std::ofstream out(dir / (label + ".cd"), std::ios::binary);
        out << "*** generated ***\r\n\r\nBEGIN::CD\r\nLABEL::" << label << "\r\nMEDIATYPE::CDR\r\n"
            << "VERSION::08.12.2026\r\n";
        const long count = (f == files - 1) ? titles - written : perFile;
        long done = 0;
        std::set<std::string> folders;
        while (done < count) {
            const std::string artist = artists[size_t(rng.below(int(artists.size())))];
            const std::string album = (rng.below(4) == 0 ? std::string("Best Of") : rng.words(2));
            const std::string base = label + ":\\" + artist + "\\" + album + "\\";
            // Each folder line once per medium, as the index tool writes it.
            if (!folders.insert(base).second) continue;
            if (folders.insert(artist).second) out << label << ":\\" << artist << "\\\r\n";
            out << base << "\r\n";
            const int tracks = std::min<long>(8 + rng.below(8), count - done);
            for (int t = 0; t < tracks; ++t) {
                char num[8];
                std::snprintf(num, sizeof num, "%02d ", t + 1);
                out << base << num << artist << " - " << rng.words(1 + rng.below(3))
                    << kExt[size_t(rng.below(int(kExt.size())))] << "\r\n";
            }
            done += tracks;
        }
        written += count;
    }
    std::printf("wrote %d index files with %ld titles to %s\n", files, titles, dir.c_str());
    return 0;
}

int tree(const fs::path& dir, int files) {
    Rng rng;
    int made = 0;
    for (int a = 0; made < files; ++a) {
        const fs::path artist = dir / (rng.words(1) + " " + std::to_string(a));
        for (int b = 0; b < 5 && made < files; ++b) {
            const fs::path album = artist / (rng.words(2) + " " + std::to_string(b));
            fs::create_directories(album);
            for (int t = 0; t < 12 && made < files; ++t, ++made) {
                // One in six is no media file (covers, playlists).
                const bool media = rng.below(6) != 0;
                std::ofstream(album /
                              (std::to_string(t) + " " + rng.words(2) +
                               (media ? kExt[size_t(rng.below(int(kExt.size())))] : ".jpg")));
            }
        }
    }
    std::printf("made %d files below %s\n", made, dir.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s collection DIR [files] [titles] | tree DIR [files]\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "collection")
        return collection(argv[2], argc > 3 ? std::atoi(argv[3]) : 10000,
                          argc > 4 ? std::atol(argv[4]) : 1000000);
    if (mode == "tree") return tree(argv[2], argc > 3 ? std::atoi(argv[3]) : 200000);
    return 2;
}
