// Repeats folded: networks send a page more than once (for reliability,
// from several transmitters, on several channels). A page with the same
// capcode and text as one seen less than the window ago is a repeat. The
// memory is a fixed ring of recent pages, whatever the traffic.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tolvane {

class RepeatFold {
public:
    // True when the same protocol, capcode and text came less than windowMs
    // before nowMs: the repeat is counted and not remembered again, so the
    // window runs from the page that was shown. Otherwise the page is
    // remembered, the oldest remembered page making room.
    bool IsRepeat(int protocol, std::string_view capcode, std::string_view text, std::int64_t nowMs,
                  std::int64_t windowMs);
    // Repeats folded since the start.
    std::uint64_t Folded() const { return folded_; }

    static constexpr std::size_t kRemembered = 512;

private:
    struct Seen {
        std::uint64_t hash = 0;
        std::int64_t timeMs = 0;
        bool used = false;
    };
    std::array<Seen, kRemembered> seen_{};
    std::size_t next_ = 0;
    std::uint64_t folded_ = 0;
};

}  // namespace tolvane
