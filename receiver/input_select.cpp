#include "receiver/input_select.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "receiver/audio_source.h"
#include "receiver/edge_codec.h"
#include "receiver/edge_file.h"
#include "receiver/fifo_source.h"
#include "receiver/iq/iq_select.h"
#include "receiver/serial_source.h"
#include "settings/settings.h"

namespace tolvane {

namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool EndsWithNoCase(const std::string& text, const char* tail) {
    const std::size_t n = std::strlen(tail);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[text.size() - n + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != tail[i]) return false;
    }
    return true;
}

int RawRate(const InputOptions& options, const Settings& settings) {
    return options.rawRate > 0 ? options.rawRate : settings.Input.InputRate;
}

bool IsEdgeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char magic[sizeof kEdgeFileMagic] = {};
    const std::size_t got = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    return StartsWithEdgeMagic(std::string_view(magic, got));
}

bool IsRawAudioName(const std::string& path) { return EndsWithNoCase(path, ".s16") || EndsWithNoCase(path, ".raw"); }

// What a recording is read as: an edge stream by its first bytes, raw audio
// by its name, anything else is for libsndfile to recognise (it says so at
// Attach).
enum class FileKind { Edges, RawAudio, Audio };

FileKind KindOf(std::string_view start, const std::string& name) {
    if (StartsWithEdgeMagic(start)) return FileKind::Edges;
    return IsRawAudioName(name) ? FileKind::RawAudio : FileKind::Audio;
}

std::unique_ptr<EdgeSource> FileSource(const std::string& path, FileKind kind, bool paced, int rawRate,
                                       const SlicerOptions& slicing) {
    if (kind == FileKind::Edges) return std::make_unique<EdgeFileSource>(path, paced);
    std::unique_ptr<AudioSource> source;
    if (kind == FileKind::RawAudio) {
        source = std::make_unique<RawAudioSource>(path, rawRate, slicing);
    } else {
        source = std::make_unique<AudioFileSource>(path, slicing);
    }
    source->SetPaced(paced);
    return source;
}

// The sum of an edge stream's durations.
std::optional<double> EdgeFileSeconds(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::uint64_t ticks = 0;
    std::fseek(file, sizeof kEdgeFileMagic, SEEK_SET);
    EdgeEntryReader reader;
    std::span<const EdgeEntry> entries;
    while (reader.Next(file, entries)) {
        for (const EdgeEntry entry : entries) ticks += entry.duration;
    }
    std::fclose(file);
    return static_cast<double>(ticks) * kTickSeconds;
}

std::optional<double> AudioFileSeconds(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return std::nullopt;
    sf_close(file);
    if (info.samplerate <= 0 || info.frames < 0) return std::nullopt;
    return static_cast<double>(info.frames) / info.samplerate;
}

}  // namespace

SlicerOptions SlicerOptionsFor(const Settings& settings) {
    SlicerOptions options;
    options.fourLevel = settings.FourLevelInterface != 0;
    if (options.fourLevel) {
        // Four levels sit three times closer: a half-symbol average keeps
        // the inner levels apart at 3200 symbols/s (a whole symbol smears
        // them into their neighbours); FLEX 3200/4 data, at 1600
        // symbols/s, is read on the second decision, on an average three
        // times as long. The slow drift keeps FLEX data, whose levels are
        // not balanced, from pulling the levels: idle fill alternates one
        // outer and one inner level for whole blocks, and with a 2 s drift
        // the centre followed it far enough into a frame that its last
        // blocks had twice the bit errors of the first.
        options.averaging = 0.5;
        options.slowFactor = 3.0;
        options.driftSeconds = 8.0;
    }
    // FLEX runs at 3200 symbols/s, POCSAG at most 2400 bit/s; GSC alone
    // needs no more than 600 bit/s.
    if (settings.DecodeFlex != 0) {
        options.maxSymbolRate = 3200;
        // 2 levels: once the receiver has heard FLEX 3200/2, whose blocks
        // it then reads from a second decision on 0.6 of a symbol, which
        // keeps a bit that two transmitters shrank to half.
        options.secondAveraging = 0.6;
    } else if (settings.DecodePocsag != 0) {
        options.maxSymbolRate = 2400;
    } else {
        options.maxSymbolRate = 600;
    }
    options.highpassCorner = settings.Input.InputHighPass == InputChoice::kInputHighPassEstimated
                                 ? SlicerOptions::kEstimatedCorner
                                 : settings.Input.InputHighPass;
    return options;
}

std::unique_ptr<EdgeSource> SelectInput(const std::string& input, const InputOptions& options,
                                        const Settings& settings, std::string& error) {
    if (input.empty()) {
        error = "no input given";
        return nullptr;
    }
    if (IsIqInput(input, settings.Iq)) return SelectIqInput(input, settings, options.paced, error);
    const SlicerOptions slicing = SlicerOptionsFor(settings);
    if (StartsWith(input, "serial:")) {
        const std::string device = input.substr(7);
        if (device.empty()) {
            error = "serial: needs a device, e.g. serial:/dev/ttyUSB0";
            return nullptr;
        }
        return std::make_unique<SerialSource>(device);
    }
    if (StartsWith(input, "audio:")) {
        const std::int32_t rate = settings.Input.AudioRate;
        if (rate < 8000 || rate > 192000) {  // a hand-edited file may hold anything
            error = "audio: AudioRate " + std::to_string(rate) + " is not a sample rate between 8000 and 192000 Hz";
            return nullptr;
        }
        return std::make_unique<LiveAudioSource>(input.substr(6), slicing, rate);
    }
    if (input == "-") {
        auto source = std::make_unique<RawAudioSource>("-", RawRate(options, settings), slicing);
        return source;
    }

    const int rawRate = RawRate(options, settings);
    struct stat info {};
    if (::stat(input.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
        // Opened once, on the source's thread, where waiting for a writer
        // holds up nobody; its first bytes choose the source there.
        return std::make_unique<FifoSource>(input, [input, paced = options.paced, rawRate, slicing](
                                                       const std::string& path, std::string_view start) {
            return FileSource(path, KindOf(start, input), paced, rawRate, slicing);
        });
    }
    // A file: look at its first bytes.
    std::FILE* file = std::fopen(input.c_str(), "rb");
    if (file == nullptr) {
        error = AttachStatus{AttachError::CannotOpenRecording, input + ": " + std::strerror(errno)}.Describe();
        return nullptr;
    }
    char start[sizeof kEdgeFileMagic];
    const std::size_t got = std::fread(start, 1, sizeof start, file);
    std::fclose(file);
    return FileSource(input, KindOf(std::string_view(start, got), input), options.paced, rawRate, slicing);
}

std::string InterfaceInputName(const Settings& settings) {
    const InputChoice& in = settings.Input;
    if (in.InputKind == 1) return "audio:" + (in.AudioDevice.empty() ? std::string("default") : in.AudioDevice);
    if (settings.ComPort >= 1 && settings.ComPort <= 4) return "serial:/dev/ttyS" + std::to_string(settings.ComPort - 1);
    if (settings.ComPort == 5 && !in.ComPortDevice.empty()) return "serial:" + in.ComPortDevice;
    return {};
}

bool IsLiveInput(const std::string& input) {
    return StartsWith(input, "serial:") || StartsWith(input, "audio:") || StartsWith(input, "sdr:");
}

std::optional<std::time_t> RecordingStart(const std::string& input, const InputOptions& options,
                                          const Settings& settings) {
    if (input.empty() || input == "-" || IsLiveInput(input)) return std::nullopt;
    struct stat info {};
    if (::stat(input.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    std::optional<double> seconds;
    if (IsEdgeFile(input)) {
        seconds = EdgeFileSeconds(input);
    } else if (IsRawAudioName(input)) {
        const int rate = RawRate(options, settings);
        if (rate > 0) seconds = static_cast<double>(info.st_size / 2) / rate;
    } else {
        seconds = AudioFileSeconds(input);
    }
    if (!seconds) return std::nullopt;
    return info.st_mtime - static_cast<std::time_t>(std::llround(*seconds));
}

}  // namespace tolvane
