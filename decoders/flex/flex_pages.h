// FLEX page writing: walks one phase's block information word, address field
// and vector field, and writes every page as one message-pane line:
//
//   [capcode]<time> L FORMAT content
//
// capcode: 7 digits and three spaces for a short address, 9 digits and one
// space for a long one (question marks when the address failed correction or
// comes out negative); L: the phase letter taken from bits 2..3 of the
// capcode; FORMAT: seven characters naming the vector type.
//
// Vector word (bit 0 first sent):
//
//   bits 0..3   checksum nibble
//   bits 4..6   type: 0 secure, 1 instruction, 2 short message, 3 standard
//               numeric, 4 special numeric, 5 alphanumeric, 6 binary,
//               7 numbered numeric
//   bits 7..13  first message word (types 0, 3..7)
//   bits 14..20 message length in words (types 0, 5, 6)
//   bits 14..16 message length - 1 in words (types 3, 4, 7)
//   bits 7..8   short-message kind, 0 = three digits in bits 9..20 (type 2)
//
// A long address has two vector words; the second carries message data (the
// alphanumeric/binary header, the first numeric word, or five more digits of
// a short message).
#pragma once

#include <cstdint>
#include <string_view>

#include "decoders/decoder_context.h"
#include "decoders/flex/flex_phase.h"
#include "decoders/flex/fragment_joiner.h"
#include "output/page_record.h"

namespace tolvane {

// The mode as records name it: "1600/2", "3200/2", "3200/4", "6400/4"
// (bit/s and levels) from the symbol rate and the number of levels.
const char* FlexRateText(int symbolRate, int levels);

class FlexPageWriter : private FlexMessageShower {
public:
    explicit FlexPageWriter(DecoderContext& context) : ctx_(context), joiner_(*this) {}

    // The mode of the frame being written, for the page records.
    const char* rate = "1600/2";
    // Its frame number (0..127), -1 when the frame information failed.
    int frame = -1;

    // Writes the pages of one phase's frame; statistics go to `category`.
    void FlexDecodeFrame(FlexPhase& phase, int category);

    // Messages whose next fragment is overdue are shown as they are (a
    // timer hook); at the end of the input every held message is.
    void ExpireFragments();
    void FlushFragments() { joiner_.Flush(); }
    int HeldMessages() const { return joiner_.Held(); }

private:
    // The capcode field shows `pager`; the content is read as sent to an
    // address of `longContent` length.
    void WritePage(FlexPhase& phase, int category, const FlexGroupMember& pager, bool longContent, std::int32_t v,
                   std::int32_t x);
    void AssignGroup(FlexPhase& phase, const FlexGroupMember& pager, std::int32_t v);
    // A page to a temporary address goes to each pager assigned to it in
    // this frame; false when none is known.
    bool WriteGroupPage(FlexPhase& phase, int category, std::int32_t w1, std::int32_t v);
    // Begins the page line of `pager` up to its message: the capcode field,
    // the phase letter and the format. Returns the phase letter.
    char BeginPage(const FlexMessageKey& pager, int type, const char* pageRate, PageType recordType, bool incomplete);

    void ShortMessage(int category, bool isLong, std::int32_t v, std::int32_t x);
    void Numeric(const FlexPhase& phase, int category, int type, bool isLong, std::int32_t v, std::int32_t x);
    // An alphanumeric or secure page: shown at once when it is whole (or
    // fragments are not joined), otherwise given to the joiner.
    void AlphanumericPage(FlexPhase& phase, int category, const FlexGroupMember& pager, bool longContent, int type,
                          std::int32_t v, std::int32_t x);
    void ShowMessage(const FlexHeldMessage& message) override;
    // Returns the phase letter of the pager.
    char WriteAlphanumeric(const FlexMessageKey& pager, int type, const char* pageRate, int category,
                           const FlexText& text, bool incomplete);
    void Binary(const FlexPhase& phase, bool isLong, std::int32_t v, std::int32_t x);

    DecoderContext& ctx_;
    FlexFragmentJoiner joiner_;
    FlexText text_;  // the text of the page being read
};

}  // namespace tolvane
