// The POCSAG air interface: what a transmitter sends and a receiver looks
// for. The decoder, the receiver's polarity watch and the generator's
// encoder all take their words from here.
//
// - A transmission opens with a preamble of at least 576 bits of reversals
//   (1010...), long enough for a receiver to find the bit rate, followed by
//   batches. The rate is 512, 1200 or 2400 bit/s, NRZ.
// - A batch is one sync codeword 0x7CD215D8 and 16 codewords, grouped as 8
//   frames of 2 codewords (frame = codeword index / 2). Batches follow each
//   other without a gap while there is traffic.
// - Every codeword has 32 bits, most significant first:
//
//     bit 31    30 ........ 11   10 ..... 1   0
//         F     20 payload bits   BCH check    P
//
//   F = 0: address codeword. Payload = the upper 18 bits of the 21-bit
//   capcode, then 2 function bits (function 0..3). The low 3 bits of the
//   capcode are not sent: they are the frame the address must stand in, so
//   a pager only listens to its own frame.
//   F = 1: message codeword. Payload = 20 message bits.
//   The 31 bits F..check are a BCH(31,21) code word (generator x^10 + x^9 +
//   x^8 + x^6 + x^5 + x^3 + 1); P makes the parity of all 32 bits even.
// - The message codewords of a page follow its address directly and may run
//   over frames and batches (the sync codeword is skipped over). Numeric
//   messages are 4-bit digits from the table "0123456789*U -)(", alphanumeric
//   ones 7-bit characters; both are sent least significant bit first, one
//   continuous bit stream over the 20-bit payloads. Unused payload bits at
//   the end are filled with spaces (digit 12, or the bits of ' ').
// - A tone-only page is an address without message codewords.
// - Slots with nothing to send carry the idle codeword 0x7A89C197.
#pragma once

#include <cstdint>

namespace tolvane {

inline constexpr std::uint32_t kPocsagSyncWord = 0x7CD215D8;
inline constexpr std::uint32_t kPocsagIdleWord = 0x7A89C197;
inline constexpr int kPocsagPreambleBits = 576;
inline constexpr int kPocsagBatchWords = 16;
inline constexpr std::uint32_t kPocsagMaxCapcode = 0x1FFFFF;

}  // namespace tolvane
