#include "decoders/flex/fragment_joiner.h"

namespace tolvane {

namespace {

constexpr int kFirstFragment = 3;

// The fragment number that follows `number`: 3, 0, 1, 2, 0, 1, 2, ...
constexpr int NextFragment(int number) { return number == kFirstFragment ? 0 : (number + 1) % 3; }

}  // namespace

FlexHeldMessage* FlexFragmentJoiner::Find(const FlexMessageKey& key) {
    for (FlexHeldMessage& slot : slots_)
        if (slot.used && slot.key == key) return &slot;
    return nullptr;
}

FlexHeldMessage& FlexFragmentJoiner::Start(const FlexFragment& fragment, std::int64_t nowMs) {
    FlexHeldMessage* slot = nullptr;
    for (FlexHeldMessage& s : slots_) {
        if (!s.used) {
            slot = &s;
            break;
        }
        if (slot == nullptr || s.lastMs < slot->lastMs) slot = &s;
    }
    if (slot->used) ShowIncomplete(*slot);  // every slot taken: the longest waiting is shown as it is
    slot->key = fragment.key;
    slot->type = fragment.type;
    slot->rate = fragment.rate;
    slot->category = fragment.category;
    slot->text.length = 0;
    slot->lastFragment = fragment.number;
    slot->signature = fragment.signature;
    slot->incomplete = false;
    slot->lastMs = nowMs;
    slot->used = true;
    return *slot;
}

void FlexFragmentJoiner::Append(FlexHeldMessage& message, const FlexText& text) {
    for (int i = 0; i < text.length; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!message.text.Add(text.chars[at], text.damaged[at])) {
            message.incomplete = true;  // longer than is kept: the rest is cut
            return;
        }
    }
}

void FlexFragmentJoiner::Show(FlexHeldMessage& message) {
    shower_.ShowMessage(message);
    message.used = false;
}

void FlexFragmentJoiner::ShowIncomplete(FlexHeldMessage& message) {
    message.incomplete = true;
    Show(message);
}

void FlexFragmentJoiner::Take(const FlexFragment& fragment, const FlexText& text, std::int64_t nowMs) {
    FlexHeldMessage* held = Find(fragment.key);
    if (held != nullptr && fragment.number == held->lastFragment) return;  // received again
    if (fragment.number == kFirstFragment) {
        // A new beginning: a message still held for this pager and number
        // will not get its rest any more.
        if (held != nullptr) ShowIncomplete(*held);
        held = &Start(fragment, nowMs);
    } else if (held == nullptr) {
        // Its beginning was lost: it is shown incomplete, joined with what
        // follows it.
        held = &Start(fragment, nowMs);
        held->incomplete = true;
    } else {
        if (fragment.number != NextFragment(held->lastFragment)) held->incomplete = true;  // one was lost between
        held->lastFragment = fragment.number;
        held->lastMs = nowMs;
    }
    Append(*held, text);
    if (fragment.more) return;
    if (!held->incomplete && held->signature >= 0) CheckSignature(*held);
    Show(*held);
}

void FlexFragmentJoiner::CheckSignature(FlexHeldMessage& message) {
    std::uint32_t sum = 0;
    for (int i = 0; i < message.text.length; ++i) sum += message.text.chars[static_cast<std::size_t>(i)];
    if (((~sum) & 127) == static_cast<std::uint32_t>(message.signature)) return;
    for (int i = 0; i < message.text.length; ++i) message.text.damaged[static_cast<std::size_t>(i)] = true;
}

void FlexFragmentJoiner::Expire(std::int64_t nowMs) {
    for (FlexHeldMessage& slot : slots_) {
        if (!slot.used) continue;
        // A clock set back would hold a message for ever: that counts as overdue too.
        if (nowMs - slot.lastMs > kTimeoutMs || nowMs < slot.lastMs) ShowIncomplete(slot);
    }
}

void FlexFragmentJoiner::Flush() {
    for (FlexHeldMessage& slot : slots_)
        if (slot.used) ShowIncomplete(slot);
}

int FlexFragmentJoiner::Held() const {
    int n = 0;
    for (const FlexHeldMessage& slot : slots_) n += slot.used ? 1 : 0;
    return n;
}

}  // namespace tolvane
