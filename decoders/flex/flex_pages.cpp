#include "decoders/bits.h"
#include "decoders/flex/flex_pages.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "world/outside_world.h"
#include "monitor/stat_counters.h"
#include "output/output.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// One per vector type, seven characters each.
constexpr const char* kFormatNames[8] = {"SECURE ", "-INST- ", "SH/TONE", "ST NUM ",
                                         "SF NUM ", " ALPHA ", "BINARY ", "NU NUM "};


// Room for "[" + ten digits + "]" + spaces + a 40-character time of day.
constexpr std::size_t kCapcodeTextSize = 64;
constexpr std::size_t kTimeOfDayMax = 40;

PageType RecordType(int type, std::int32_t v) {
    switch (type) {
        case kFlexSecure: return PageType::Secure;
        case kFlexShortMessage: return ((v >> 7) & 3) != 0 ? PageType::Tone : PageType::Numeric;
        case kFlexAlphanumeric: return PageType::Alpha;
        case kFlexBinary: return PageType::Binary;
        default: return PageType::Numeric;
    }
}

}  // namespace

const char* FlexRateText(int symbolRate, int levels) {
    if (symbolRate == 3200) return levels == 4 ? "6400/4" : "3200/2";
    return levels == 4 ? "3200/4" : "1600/2";
}

void FlexPageWriter::FlexDecodeFrame(FlexPhase& phase, int category) {
    const std::int32_t biw = phase.words[0];
    const int addressStart = ((biw >> 8) & 3) + 1;
    const int vectorStart = (biw >> 10) & 63;
    if (FlexWordInvalid(biw) || addressStart >= vectorStart) return;

    int i = addressStart;
    while (i < vectorStart) {
        const std::int32_t w1 = phase.Word(i);
        const bool isLong = FlexLongAddress(w1);
        const int vectorIndex = vectorStart + (i - addressStart);
        const std::int32_t v = phase.Word(vectorIndex);
        const FlexGroupMember pager{w1, isLong ? phase.Word(i + 1) : 0, isLong, frame};
        if (!FlexWordInvalid(v) && !WriteGroupPage(phase, category, w1, v))
            WritePage(phase, category, pager, isLong, v, isLong ? phase.Word(vectorIndex + 1) : 0);
        i += isLong ? 2 : 1;
    }
    // Assignments for this frame are used up, whether or not their message came.
    if (frame < 0) return;
    for (FlexGroup& group : phase.groups) {
        int kept = 0;
        for (int m = 0; m < group.count; ++m)
            if (group.members[static_cast<std::size_t>(m)].frame != frame)
                group.members[static_cast<std::size_t>(kept++)] = group.members[static_cast<std::size_t>(m)];
        group.count = kept;
    }
}

void FlexPageWriter::AssignGroup(FlexPhase& phase, const FlexGroupMember& pager, std::int32_t v) {
    if (((v >> 7) & 7) != 0) return;  // other instructions are not shown
    if (pager.w1 >= kFlexSuspect || (pager.isLong && pager.w2 >= kFlexSuspect)) return;
    FlexGroup& group = phase.groups[static_cast<std::size_t>((v >> 17) & 15)];
    const int assigned = (v >> 10) & 127;
    for (int m = 0; m < group.count; ++m) {
        const FlexGroupMember& known = group.members[static_cast<std::size_t>(m)];
        if (known.w1 == pager.w1 && known.w2 == pager.w2 && known.frame == assigned) return;
    }
    if (group.count == kFlexGroupMembers) return;
    FlexGroupMember& member = group.members[static_cast<std::size_t>(group.count++)];
    member = pager;
    member.frame = assigned;
}

bool FlexPageWriter::WriteGroupPage(FlexPhase& phase, int category, std::int32_t w1, std::int32_t v) {
    const std::int32_t group = w1 - kFlexFirstGroupWord;  // an uncorrectable word falls outside
    if (group < 0 || group >= kFlexGroups) return false;
    FlexGroup& members = phase.groups[static_cast<std::size_t>(group)];
    bool written = false;
    int kept = 0;
    for (int m = 0; m < members.count; ++m) {
        const FlexGroupMember member = members.members[static_cast<std::size_t>(m)];
        // Without a frame number any assignment counts: better one page too
        // many than a lost one.
        if (frame < 0 || member.frame == frame) {
            WritePage(phase, category, member, false, v, 0);
            written = true;
        } else {
            members.members[static_cast<std::size_t>(kept++)] = member;
        }
    }
    members.count = kept;
    return written;
}

void FlexPageWriter::WritePage(FlexPhase& phase, int category, const FlexGroupMember& pager, bool longContent,
                               std::int32_t v, std::int32_t x) {
    const int type = (v >> 4) & 7;
    switch (type) {
        case kFlexInstruction:
            AssignGroup(phase, pager, v);
            return;
        case kFlexShortMessage:
        case kFlexStandardNumeric:
        case kFlexSpecialNumeric:
        case kFlexNumberedNumeric:
            // Counted before the setting is consulted: hidden pages still count.
            ctx_.stats.CountNumericMessage(category);
            if (!ctx_.settings.FlexShowsNumeric()) return;
            break;
        case kFlexSecure:
        case kFlexAlphanumeric:
            AlphanumericPage(phase, category, pager, longContent, type, v, x);
            return;
        case kFlexBinary:
            ctx_.stats.NoteTraffic();
            if (!ctx_.settings.FlexShowsMisc()) return;
            break;
        default:
            break;
    }

    phase.letter = pager.isLong ? FlexHeaderLong(pager.w1, pager.w2) : FlexHeaderShort(pager.w1);
    const bool isLong = longContent;
    WritePageHead(phase.letter, type);
    ctx_.output.DescribePage({PageProtocol::Flex, rate, -1, phase.letter, RecordType(type, v)});

    switch (type) {
        case kFlexShortMessage: ShortMessage(category, isLong, v, x); break;
        case kFlexStandardNumeric:
        case kFlexSpecialNumeric:
        case kFlexNumberedNumeric: Numeric(phase, category, type, isLong, v, x); break;
        case kFlexBinary: Binary(phase, isLong, v, x); break;
        default: break;
    }
    ctx_.output.PaneEndLine(ctx_.output.MessagePane);
}

char FlexPageWriter::FlexHeaderShort(std::int32_t w1) {
    const std::int32_t capcode = (w1 & kFlexWordMask) - 32768;
    char text[kCapcodeTextSize];
    if (w1 >= kFlexSuspect || capcode < 0)
        std::snprintf(text, sizeof text, "[???????]   ");
    else
        std::snprintf(text, sizeof text, "[%07ld]   ", static_cast<long>(capcode));
    WriteCapcodeField(text, sizeof text, false);
    return static_cast<char>('A' + ((capcode >> 2) & 3));
}

char FlexPageWriter::FlexHeaderLong(std::int32_t w1, std::int32_t w2) {
    // Two's-complement arithmetic as the address words define it: the bits
    // of NOT w2 shifted past bit 31 are lost and the sum wraps.
    const std::uint32_t sum = (~static_cast<std::uint32_t>(w2) << 15) +
                              static_cast<std::uint32_t>(w1 & kFlexWordMask) + 0x1F9000u;
    const auto capcode = static_cast<std::int32_t>(sum);
    char text[kCapcodeTextSize];
    if (w1 >= kFlexSuspect || w2 >= kFlexSuspect || capcode < 0)
        std::snprintf(text, sizeof text, "[?????????] ");
    else
        std::snprintf(text, sizeof text, "[%09ld] ", static_cast<long>(capcode));
    WriteCapcodeField(text, sizeof text, true);
    return static_cast<char>('A' + ((capcode >> 2) & 3));
}

void FlexPageWriter::WriteCapcodeField(char* text, std::size_t size, bool isLong) {
    if (ctx_.settings.Timestamp) {
        const std::string now = ctx_.clock.TimeOfDayText();
        const std::size_t used = std::strlen(text);
        std::size_t add = now.size() < kTimeOfDayMax ? now.size() : kTimeOfDayMax;
        if (add > size - 1 - used) add = size - 1 - used;
        std::memcpy(text + used, now.data(), add);
        text[used + add] = '\0';
    }
    const int n = isLong ? 9 : 7;
    ctx_.output.SelectCapcodeFilter(isLong ? FilterType::LongFlex : FilterType::ShortFlex,
                                    std::string_view(text + 1, static_cast<std::size_t>(n)), n, 0, 0);
    Output& out = ctx_.output;
    out.PutCapcodeField(text);
}

void FlexPageWriter::WritePageHead(char letter, int type) {
    Output& out = ctx_.output;
    out.PaneSetColor(out.MessagePane, ColorClass::FLEXPhase);
    out.PanePutChar(out.MessagePane, letter);
    out.PanePutChar(out.MessagePane, ' ');
    out.PaneSetColor(out.MessagePane, ColorClass::FLEXFormat);
    out.PanePutText(out.MessagePane, kFormatNames[type]);
    out.PanePutChar(out.MessagePane, ' ');
    out.MarkMessageStart();
}

void FlexPageWriter::ShortMessage(int category, bool isLong, std::int32_t v, std::int32_t x) {
    if (((v >> 7) & 3) != 0) return;  // a tone page: the head alone
    Output& out = ctx_.output;
    out.PaneSetColor(out.MessagePane, ColorClass::Numeric);
    const auto put = [&](std::int32_t digit) {
        out.PanePutChar(out.MessagePane, kNumericTable[digit & 15]);
        ctx_.stats.CountNumericChars(category);
    };
    for (int shift = 9; shift <= 17; shift += 4) put(v >> shift);
    if (isLong)
        for (int shift = 0; shift <= 16; shift += 4) put(x >> shift);
}

void FlexPageWriter::Numeric(const FlexPhase& phase, int category, int type, bool isLong, std::int32_t v,
                             std::int32_t x) {
    const int start = (v >> 7) & 127;
    const int n = (v >> 14) & 7;
    Output& out = ctx_.output;
    int nibble = 0;
    int countdown = type == kFlexNumberedNumeric ? 14 : 6;
    for (int k = 0; k <= n; ++k) {
        std::int32_t word;
        if (!isLong)
            word = phase.Word(start + k);
        else
            word = k == 0 ? x : phase.Word(start + k - 1);
        out.PaneSetColor(out.MessagePane, word >= kFlexSuspect ? ColorClass::BitErrors : ColorClass::Numeric);
        for (int bit = 0; bit < 21; ++bit) {
            nibble = (nibble >> 1) ^ (((word >> bit) & 1) ? 8 : 0);
            if (--countdown == 0) {
                out.PanePutChar(out.MessagePane, kNumericTable[nibble & 15]);
                ctx_.stats.CountNumericChars(category);
                countdown = 4;
            }
        }
    }
}

void FlexPageWriter::AlphanumericPage(FlexPhase& phase, int category, const FlexGroupMember& pager,
                                      bool longContent, int type, std::int32_t v, std::int32_t x) {
    const int start = (v >> 7) & 127;
    const int n = (v >> 14) & 127;
    const int last = start + n - 1;
    const std::int32_t header = longContent ? x : phase.Word(start);
    const int fragment = (header >> 11) & 3;
    const bool more = ((header >> 10) & 1) != 0;
    const int first = longContent ? start : start + 1;
    const int end = longContent ? last - 1 : last;  // last text word, inclusive
    // A whole message (fragment 3, no continuation) begins with a
    // signature: the complement of the sum of its characters. Several bit
    // errors in one word can be "corrected" into another codeword; such a
    // text must not look clean.
    bool suspect = false;
    if (fragment == 3 && !more && first <= end) {
        std::uint32_t sum = 0;
        for (int i = first; i <= end; ++i)
            for (int shift = i == first ? 7 : 0; shift <= 14; shift += 7)
                if (const std::uint32_t ch = (static_cast<std::uint32_t>(phase.Word(i)) >> shift) & 127; ch != 3) sum += ch;
        suspect = ((~sum ^ static_cast<std::uint32_t>(phase.Word(first))) & 127) != 0;
    }
    text_.length = 0;
    int signature = -1;
    bool skipFirst = fragment == 3;  // the first character of a first fragment is the signature
    for (int i = first; i <= end; ++i) {
        const std::int32_t w = phase.Word(i);
        const bool damaged = suspect || w >= kFlexSuspect;
        for (int shift = 0; shift <= 14; shift += 7) {
            const auto ch = static_cast<std::uint8_t>((w >> shift) & 127);
            if (skipFirst) {
                skipFirst = false;
                signature = ch;
                continue;
            }
            // 3 is fill. A NUL would end the pane row and the filters' copy
            // of the line early, hiding the rest: it is left out as well.
            if (ch == 3 || ch == 0) continue;
            text_.Add(ch, damaged);
        }
    }
    const FlexMessageKey key{pager.w1, pager.isLong ? pager.w2 : 0, pager.isLong, (header >> 13) & 63};
    if ((fragment == 3 && !more) || ctx_.settings.JoinFragments == 0) {
        phase.letter = WriteAlphanumeric(key, type, rate, category, text_, false);
        return;
    }
    // The page is counted when it is shown; the air was not silent now.
    ctx_.stats.NoteTraffic();
    joiner_.Take(FlexFragment{key, type, rate, category, fragment, more, signature}, text_,
                 ctx_.clock.NowMilliseconds());
}

void FlexPageWriter::ExpireFragments() {
    // Never into the middle of a line another decoder is writing (a long
    // POCSAG message is written as it comes): the next tick will do.
    if (ctx_.output.Line().length > 0) return;
    joiner_.Expire(ctx_.clock.NowMilliseconds());
}

void FlexPageWriter::ShowMessage(const FlexHeldMessage& message) {
    WriteAlphanumeric(message.key, message.type, message.rate, message.category, message.text, message.incomplete);
}

char FlexPageWriter::WriteAlphanumeric(const FlexMessageKey& pager, int type, const char* pageRate, int category,
                                       const FlexText& text, bool incomplete) {
    ctx_.stats.CountAlphaMessage(category);
    Output& out = ctx_.output;
    const char letter = pager.isLong ? FlexHeaderLong(pager.w1, pager.w2) : FlexHeaderShort(pager.w1);
    WritePageHead(letter, type);
    if (incomplete) {
        // Before the message mark: the text stays what was received.
        out.PaneSetColor(out.MessagePane, ColorClass::Misc);
        out.PanePutText(out.MessagePane, "(incomplete) ");
        out.MarkMessageStart();
    }
    out.DescribePage(
        {PageProtocol::Flex, pageRate, -1, letter, type == kFlexSecure ? PageType::Secure : PageType::Alpha, incomplete});
    for (int i = 0; i < text.length; ++i) {
        const auto at = static_cast<std::size_t>(i);
        out.PaneSetColor(out.MessagePane, text.damaged[at] ? ColorClass::BitErrors : ColorClass::Alphanumeric);
        out.PutTextChar(text.chars[at]);
        ctx_.stats.CountAlphaChars(category);
    }
    out.PaneEndLine(out.MessagePane);
    return letter;
}

void FlexPageWriter::Binary(const FlexPhase& phase, bool isLong, std::int32_t v, std::int32_t x) {
    const int start = (v >> 7) & 127;
    const int n = (v >> 14) & 127;
    int last = start + n - 1;
    int first;
    if (!isLong) {
        first = (phase.Word(start) & 0x6000) == 0x6000 ? start + 2 : start + 1;
    } else {
        first = (x & 0x6000) == 0x6000 ? start + 1 : start;
        --last;
    }
    Output& out = ctx_.output;
    out.PaneSetColor(out.MessagePane, ColorClass::FLEXBinary);
    int count = 0;
    int nibble = 0;
    for (int i = first; i <= last; ++i) {
        const std::int32_t w = phase.Word(i);
        for (int bit = 0; bit < 21; ++bit) {
            nibble = (nibble >> 1) ^ (((w >> bit) & 1) ? 8 : 0);
            if (++count == 4) {
                out.PanePutChar(out.MessagePane, kHexDigits[nibble & 15]);
                count = 0;
                nibble = 0;
            }
        }
    }
}

}  // namespace tolvane
