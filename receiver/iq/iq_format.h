// Sample formats of IQ recordings as SDR programs write them, and their
// conversion to complex samples at full scale +-1.
//
//   cu8   unsigned 8-bit I, Q pairs centred on 127.5 (rtl_sdr)
//   cs8   signed 8-bit pairs (hackrf_transfer)
//   cs16  signed 16-bit little-endian pairs
//   cf32  32-bit little-endian float pairs
//   wav   a two-channel WAV file (left I, right Q), read through libsndfile
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

enum class IqFormat { CU8, CS8, CS16, CF32, Wav };

std::optional<IqFormat> ParseIqFormat(std::string_view name);
const char* IqFormatName(IqFormat format);
// The format a file name's extension says (.cu8, .cs8, .cs16, .cf32 or
// .fc32, .wav); nothing otherwise.
std::optional<IqFormat> IqFormatForPath(std::string_view path);

// Bytes of one complex sample in a raw format (0 for wav).
std::size_t IqSampleBytes(IqFormat format);

// Converts `count` raw complex samples.
void ConvertIq(IqFormat format, const unsigned char* bytes, std::size_t count, std::complex<float>* out);

// The opposite, for writers: one sample (clipped to the format's range).
void EncodeIq(IqFormat format, std::complex<float> sample, unsigned char* bytes);

}  // namespace tolvane
