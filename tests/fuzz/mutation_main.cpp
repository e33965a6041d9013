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

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Mutate(const std::vector<Bytes>& corpus, std::mt19937& random) {
    Bytes data = corpus[random() % corpus.size()];
    for (int steps = 1 + static_cast<int>(random() % 4); steps > 0; --steps) {
        const std::size_t at = data.empty() ? 0 : random() % data.size();
        const Bytes& other = corpus[random() % corpus.size()];
        const std::size_t from = other.empty() ? 0 : random() % other.size();
        // Values that sit on boundaries of length and count fields.
        static const std::uint8_t kEdges[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
        switch (random() % 6) {
            case 0: if (!data.empty()) data[at] ^= static_cast<std::uint8_t>(1u << (random() % 8)); break;
            case 1: if (!data.empty()) data[at] = static_cast<std::uint8_t>(random()); break;
            case 2: if (!data.empty()) data[at] = kEdges[random() % std::size(kEdges)]; break;
            case 3: data.resize(at); break;
            case 4: data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), 1 + random() % 16, static_cast<std::uint8_t>(random())); break;
            default: {
                const auto count = static_cast<std::ptrdiff_t>(std::min<std::size_t>(1 + random() % 64, other.size() - from));
                const auto begin = other.begin() + static_cast<std::ptrdiff_t>(from);
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), begin, begin + count);
            }
        }
    }
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS] [SECONDS]\n", argv[0]);
        return 2;
    }
    const long mutations = argc > 2 ? std::atol(argv[2]) : 1000;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(argc > 3 ? std::atol(argv[3]) : 30);
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());  // the same order, so the same run, everywhere
    std::vector<Bytes> corpus;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(corpus.back().data(), corpus.back().size());
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus in %s\n", argv[1]);
        return 2;
    }
    std::mt19937 random(20261206);
    long done = 0;
    for (; done < mutations && std::chrono::steady_clock::now() < end; ++done) {
        const Bytes data = Mutate(corpus, random);
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::printf("%zu corpus files and %ld mutations ran\n", corpus.size(), done);
    return 0;
}
