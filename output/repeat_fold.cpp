#include "output/repeat_fold.h"

namespace tolvane {

namespace {

// FNV-1a over the protocol, the capcode and the text, with a separator
// between capcode and text so that their boundary counts.
std::uint64_t PageHash(int protocol, std::string_view capcode, std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    const auto mix = [&h](std::uint8_t byte) {
        h ^= byte;
        h *= 0x100000001b3ull;
    };
    mix(static_cast<std::uint8_t>(protocol));
    for (const char c : capcode) mix(static_cast<std::uint8_t>(c));
    mix(0xFF);
    for (const char c : text) mix(static_cast<std::uint8_t>(c));
    return h;
}

}  // namespace

bool RepeatFold::IsRepeat(int protocol, std::string_view capcode, std::string_view text, std::int64_t nowMs,
                          std::int64_t windowMs) {
    const std::uint64_t hash = PageHash(protocol, capcode, text);
    for (const Seen& seen : seen_) {
        // A clock set back makes an earlier page look new: it is shown again.
        if (seen.used && seen.hash == hash && nowMs >= seen.timeMs && nowMs - seen.timeMs < windowMs) {
            ++folded_;
            return true;
        }
    }
    seen_[next_] = Seen{hash, nowMs, true};
    next_ = (next_ + 1) % seen_.size();
    return false;
}

}  // namespace tolvane
