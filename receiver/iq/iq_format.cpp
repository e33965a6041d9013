#include "receiver/iq/iq_format.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tolvane {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

float LittleFloat(const unsigned char* p) {
    std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void PutLittleFloat(float value, unsigned char* p) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Not a number or infinite in a float recording is damage, not signal.
float Finite(float v) { return std::isfinite(v) ? std::clamp(v, -1e6f, 1e6f) : 0.0f; }

}  // namespace

std::optional<IqFormat> ParseIqFormat(std::string_view name) {
    if (name == "cu8") return IqFormat::CU8;
    if (name == "cs8") return IqFormat::CS8;
    if (name == "cs16") return IqFormat::CS16;
    if (name == "cf32" || name == "fc32") return IqFormat::CF32;
    if (name == "wav") return IqFormat::Wav;
    return std::nullopt;
}

const char* IqFormatName(IqFormat format) {
    switch (format) {
        case IqFormat::CU8: return "cu8";
        case IqFormat::CS8: return "cs8";
        case IqFormat::CS16: return "cs16";
        case IqFormat::CF32: return "cf32";
        case IqFormat::Wav: return "wav";
    }
    return "?";
}

std::optional<IqFormat> IqFormatForPath(std::string_view path) {
    for (const char* name : {"cu8", "cs8", "cs16", "cf32", "fc32", "wav"}) {
        if (EndsWithNoCase(path, std::string(".") + name)) return ParseIqFormat(name);
    }
    return std::nullopt;
}

std::size_t IqSampleBytes(IqFormat format) {
    switch (format) {
        case IqFormat::CU8:
        case IqFormat::CS8: return 2;
        case IqFormat::CS16: return 4;
        case IqFormat::CF32: return 8;
        case IqFormat::Wav: return 0;
    }
    return 0;
}

void ConvertIq(IqFormat format, const unsigned char* bytes, std::size_t count, std::complex<float>* out) {
    switch (format) {
        case IqFormat::CU8:
            for (std::size_t i = 0; i < count; ++i) {
                out[i] = {(static_cast<float>(bytes[2 * i]) - 127.5f) * (1.0f / 127.5f),
                          (static_cast<float>(bytes[2 * i + 1]) - 127.5f) * (1.0f / 127.5f)};
            }
            break;
        case IqFormat::CS8:
            for (std::size_t i = 0; i < count; ++i) {
                out[i] = {static_cast<float>(static_cast<std::int8_t>(bytes[2 * i])) * (1.0f / 128.0f),
                          static_cast<float>(static_cast<std::int8_t>(bytes[2 * i + 1])) * (1.0f / 128.0f)};
            }
            break;
        case IqFormat::CS16:
            for (std::size_t i = 0; i < count; ++i) {
                const unsigned char* p = bytes + 4 * i;
                const auto re = static_cast<std::int16_t>(p[0] | p[1] << 8);
                const auto im = static_cast<std::int16_t>(p[2] | p[3] << 8);
                out[i] = {static_cast<float>(re) * (1.0f / 32768.0f), static_cast<float>(im) * (1.0f / 32768.0f)};
            }
            break;
        case IqFormat::CF32:
            for (std::size_t i = 0; i < count; ++i) {
                out[i] = {Finite(LittleFloat(bytes + 8 * i)), Finite(LittleFloat(bytes + 8 * i + 4))};
            }
            break;
        case IqFormat::Wav: break;
    }
}

void EncodeIq(IqFormat format, std::complex<float> sample, unsigned char* bytes) {
    auto round = [](float v, float scale, float low, float high) {
        return std::clamp(std::round(v * scale), low, high);
    };
    switch (format) {
        case IqFormat::CU8:
            bytes[0] = static_cast<unsigned char>(round(sample.real() + 1.0f, 127.5f, 0, 255));
            bytes[1] = static_cast<unsigned char>(round(sample.imag() + 1.0f, 127.5f, 0, 255));
            break;
        case IqFormat::CS8:
            bytes[0] = static_cast<unsigned char>(static_cast<std::int8_t>(round(sample.real(), 128, -128, 127)));
            bytes[1] = static_cast<unsigned char>(static_cast<std::int8_t>(round(sample.imag(), 128, -128, 127)));
            break;
        case IqFormat::CS16: {
            const auto re = static_cast<std::int16_t>(round(sample.real(), 32768, -32768, 32767));
            const auto im = static_cast<std::int16_t>(round(sample.imag(), 32768, -32768, 32767));
            const auto ure = static_cast<std::uint16_t>(re);
            const auto uim = static_cast<std::uint16_t>(im);
            bytes[0] = static_cast<unsigned char>(ure & 0xFF);
            bytes[1] = static_cast<unsigned char>(ure >> 8);
            bytes[2] = static_cast<unsigned char>(uim & 0xFF);
            bytes[3] = static_cast<unsigned char>(uim >> 8);
            break;
        }
        case IqFormat::CF32:
            PutLittleFloat(sample.real(), bytes);
            PutLittleFloat(sample.imag(), bytes + 4);
            break;
        case IqFormat::Wav: break;
    }
}

}  // namespace tolvane
