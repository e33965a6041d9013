// A bounded fuzzing run for builds without libFuzzer: every file of the
// corpus, then random mutations of them (bit flips, byte changes, cuts,
// insertions, splices) from a fixed seed, until the count or the time is
// used up. Any crash or sanitizer report fails the test; so does a broken
// invariant of the target.
//
//   NAME_fuzz CORPUS_DIR [MUTATIONS] [SECONDS]
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "fuzz_input.h"

int main(int argc, char** argv) {
    using Bytes = std::vector<std::uint8_t>;
    if (argc < 2) return std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS] [SECONDS]\n", argv[0]), 2;
    const long mutations = argc > 2 ? std::atol(argv[2]) : 1000;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(argc > 3 ? std::atol(argv[3]) : 30);
    std::vector<std::filesystem::path> paths(std::filesystem::directory_iterator(argv[1]), {});
    std::sort(paths.begin(), paths.end());  // the same order, so the same run, everywhere
    std::vector<Bytes> corpus;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
    if (corpus.empty()) return std::fprintf(stderr, "no corpus in %s\n", argv[1]), 2;
    std::mt19937 random(20261206);
    // Values that sit on boundaries of length and count fields.
    const std::uint8_t edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    long done = 0;
    for (; done < mutations && std::chrono::steady_clock::now() < end; ++done) {
        Bytes data = corpus[random() % corpus.size()];
        for (int steps = 1 + static_cast<int>(random() % 4); steps > 0; --steps) {
            const auto at = static_cast<std::ptrdiff_t>(data.empty() ? 0 : random() % data.size());
            const Bytes& other = corpus[random() % corpus.size()];
            const auto from = static_cast<std::ptrdiff_t>(other.empty() ? 0 : random() % other.size());
            const auto count = std::min<std::ptrdiff_t>(1 + random() % 64, std::ssize(other) - from);
            const auto byte = static_cast<std::uint8_t>(random());
            switch (data.empty() ? 3 + random() % 3 : random() % 6) {
                case 0: data[at] ^= static_cast<std::uint8_t>(1u << (byte % 8)); break;
                case 1: data[at] = byte; break;
                case 2: data[at] = edges[byte % std::size(edges)]; break;
                case 3: data.resize(at); break;
                case 4: data.insert(data.begin() + at, 1 + byte % 16, byte); break;
                default: data.insert(data.begin() + at, other.begin() + from, other.begin() + from + count);
            }
        }
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu corpus files and %ld mutations ran\n", corpus.size(), done);
}
