#include "decoders/gsc/golay.h"

#include <bit>

namespace tolvane {


std::uint32_t GolayCorrect(std::uint32_t w, std::uint32_t& count) {
    const std::uint32_t entry = golay_detail::kSyndromeTable.entry[GolaySyndrome(w) >> 12];
    count = entry >> 23;
    return (w & kGolayMask) ^ (entry & kGolayMask);
}

std::uint32_t GolayCorrect(std::uint32_t w) {
    std::uint32_t count = 0;
    return GolayCorrect(w, count);
}

std::uint32_t GolayCorrectTrapping(std::uint32_t w, std::uint32_t& count) {
    count = 0;
    std::uint32_t limit = 3;
    std::uint32_t mask = 1;
    std::uint32_t x = w;
    for (int trial = -1; trial < 23; ++trial) {
        if (trial != -1) {
            if (trial > 0) mask <<= 1;
            x = w ^ mask;
            limit = 2;
        }
        std::uint32_t s = GolaySyndrome(x);
        if (s == 0) return x;
        for (int i = 0; i < 23; ++i) {
            count = GolayWeight(s);
            if (count <= limit) return RotateRight23(s ^ x, i);
            x = RotateLeft23(x, 1);
            s = GolaySyndrome(x);
        }
    }
    return w;
}

}  // namespace tolvane
