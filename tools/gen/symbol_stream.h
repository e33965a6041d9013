// The common currency of the encoders: a transmission as a list of symbols
// 0..3, each with its own duration (GSC mixes 300 and 600 bit/s, FLEX
// switches rate after its sync). Symbol values follow the receiver: the
// number of raised lines of a 4-level interface; 2-level uses 0 and 3.
//
// Polarity, as the receiver reads it: a POCSAG 1 bit is symbol 0; a FLEX or
// GSC 1 bit is symbol 3; 4-level FLEX symbols 0..3 carry the bit pairs
// 00, 01, 11, 10.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "receiver/edge_ring.h"

namespace tolvane::gen {

struct TimedSymbol {
    std::uint8_t symbol = 0;
    double seconds = 0;
};

using SymbolStream = std::vector<TimedSymbol>;

// Appends `count` copies of a symbol at `rate` symbols per second.
void AppendSymbols(SymbolStream& stream, std::uint8_t symbol, double rate, int count = 1);
// Appends a steady level (silence between transmissions).
void AppendSilence(SymbolStream& stream, std::uint8_t symbol, double seconds);

// The stream from `seconds` on, the symbol there shortened: what a receiver
// switched on (or a recording started) while the network was already
// sending hears.
SymbolStream StreamFrom(const SymbolStream& stream, double seconds);

struct ChannelOptions {
    double rateError = 0.0;      // +0.005 = transmitter clock 0.5 % fast
    double jitter = 0.0;         // each transition moved by up to +-jitter of its symbol's duration
    bool invert = false;         // swap the levels (symbol ^ 3)
    int levels = 2;              // line states: 2 = any raised line is the upper level
    std::uint32_t seed = 1;
};

// The line-state byte for a symbol: 4-level raises CTS, then DSR, then DCD;
// 2-level raises DCD for the upper level.
std::uint8_t SymbolLineState(std::uint8_t symbol, int levels);

// Turns symbols into edge ring entries (durations in 838.8 ns ticks), with
// the channel's rate error, jitter and inversion. Runs of one state merge;
// states longer than one entry holds are split.
std::vector<EdgeEntry> SymbolsToEdges(const SymbolStream& stream, const ChannelOptions& options);

// Flips `count` distinct bit positions of a 32-bit codeword, chosen at random.
std::uint32_t FlipRandomBits(std::uint32_t word, int count, std::mt19937& rng, int width = 32);

}  // namespace tolvane::gen
