// FLEX fragments joined. A long alphanumeric message is sent in fragments,
// each in a later frame than the one before, and fragments of other pagers
// and phases come in between. The message header (the first message word,
// or a long address's second vector word; bit 0 first sent):
//
//   bits 0..9   checksum
//   bit 10      C: 1 = more fragments of this message follow
//   bits 11..12 F: fragment number: 3 for the first, then 0, 1, 2, 0, ...
//   bits 13..18 N: message number, counted per pager
//   bit 19      R: retrieval,  bit 20 M: maildrop
//
// The first fragment's text begins with the message's signature character:
// the complement of the sum of the characters of all its fragments. A joined
// message that does not add up is shown in the bit-error colour.
// A message is held by pager and message number until its fragment with
// C = 0 has come; then it is shown once, whole. A fragment whose rest does
// not come (a lost frame, the end of the input, the time-out) is shown as it
// is and marked incomplete; a fragment received twice counts once.
#pragma once

#include <array>
#include <cstdint>

namespace tolvane {

// Characters of a FLEX text (one fragment, or a message joined from them),
// each with whether it was received with bit errors.
struct FlexText {
    static constexpr int kMax = 1024;
    std::array<std::uint8_t, kMax> chars{};
    std::array<bool, kMax> damaged{};
    int length = 0;

    // False when full: the character is not kept.
    bool Add(std::uint8_t ch, bool isDamaged) {
        if (length == kMax) return false;
        chars[static_cast<std::size_t>(length)] = ch;
        damaged[static_cast<std::size_t>(length)] = isDamaged;
        ++length;
        return true;
    }
};

// The pager a message is for (its address words) and its message number.
struct FlexMessageKey {
    std::int32_t w1 = 0;
    std::int32_t w2 = 0;  // 0 for a short address
    bool isLong = false;
    int number = 0;

    bool operator==(const FlexMessageKey&) const = default;
};

// One message to show: joined, or incomplete.
struct FlexHeldMessage {
    FlexMessageKey key;
    int type = 0;                // vector type: 0 secure, 5 alphanumeric
    const char* rate = "";       // the mode of the frame it began in
    int category = 0;            // statistics category of that frame
    FlexText text;
    int lastFragment = 0;        // F of the last fragment taken
    int signature = -1;          // from the first fragment; -1 = its beginning was lost
    bool incomplete = false;     // a fragment before the last is missing
    std::int64_t lastMs = 0;     // when its last fragment came
    bool used = false;
};

class FlexMessageShower {
public:
    virtual ~FlexMessageShower() = default;
    virtual void ShowMessage(const FlexHeldMessage& message) = 0;
};

// What one fragment tells about itself, besides its text.
struct FlexFragment {
    FlexMessageKey key;
    int type = 0;
    const char* rate = "";
    int category = 0;
    int number = 0;      // F
    bool more = false;   // C
    int signature = -1;  // of a first fragment
};

class FlexFragmentJoiner {
public:
    explicit FlexFragmentJoiner(FlexMessageShower& shower) : shower_(shower) {}

    // Takes one fragment of a message (F = 3 with C = 1, or F = 0..2).
    // Whatever becomes ready is shown through the shower: the joined
    // message, a held one that can no longer be completed, or the fragment
    // itself when its beginning was never seen and its rest will not come.
    void Take(const FlexFragment& fragment, const FlexText& text, std::int64_t nowMs);
    // Shows, as incomplete, every message whose next fragment is overdue.
    void Expire(std::int64_t nowMs);
    // Shows every held message as incomplete (the end of the input).
    void Flush();
    int Held() const;

    // How long a message waits for its next fragment: 32 FLEX frames of
    // 1.875 s. A pager that saves its battery listens only to every 2nd,
    // 4th, ... 16th frame, so its next fragment may be that far away.
    static constexpr std::int64_t kTimeoutMs = 32 * 1875;
    // Messages held at once; beyond that the one that waited longest is
    // shown as it is.
    static constexpr int kSlots = 16;

private:
    FlexHeldMessage* Find(const FlexMessageKey& key);
    FlexHeldMessage& Start(const FlexFragment& fragment, std::int64_t nowMs);
    void Append(FlexHeldMessage& message, const FlexText& text);
    void Show(FlexHeldMessage& message);
    void ShowIncomplete(FlexHeldMessage& message);
    // Marks the whole text damaged unless it adds up to its signature.
    static void CheckSignature(FlexHeldMessage& message);

    FlexMessageShower& shower_;
    std::array<FlexHeldMessage, kSlots> slots_{};
};

}  // namespace tolvane
