// tolvane-gen: builds a test transmission from page descriptions and writes
// it as an edge stream file (the recorded input of tolvane-cli).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "receiver/edge_file.h"
#include "tools/gen/page_description.h"
#include "tools/gen/protocols.h"
#include "tools/gen/symbol_stream.h"
#include "tools/gen/audio_writer.h"
#include "receiver/iq/iq_select.h"
#include "tools/gen/iq_command.h"

namespace {

using namespace tolvane;
using namespace tolvane::gen;

constexpr const char kHelp[] =
    "Usage: tolvane-gen [options] -o OUT PAGE...\n"
    "\n"
    "Builds the signal of one or more pages and writes it as an edge stream file\n"
    "(TVEDGES1), the recorded input that tolvane-cli decodes.\n"
    "\n"
    "Each PAGE is PROTOCOL:RATE:CAPCODE:FUNCTION:KIND:TEXT, for example\n"
    "  pocsag:1200:1234567:3:alpha:Hello world\n"
    "FUNCTION is 0..3; KIND is numeric, alpha, tone or binary (as the protocol\n"
    "allows); TEXT is everything after the fifth colon (colons included);\n"
    "\\\\ is a backslash and \\xHH any byte. Consecutive pages of the same protocol\n"
    "and rate go into one transmission; transmissions are separated by a gap.\n"
    "\n"
    "Options:\n"
    "  -o FILE              the edge stream file to write (required)\n"
    "  --bit-errors N       flip N random bits in every codeword\n"
    "  --info-errors        ... chosen among the information bits only\n"
    "  --error-words LIST   make these codewords uncorrectable (comma-separated\n"
    "                       numbers, counted as the protocol says below)\n"
    "  --rate-error F       transmitter clock error, e.g. 0.005 = 0.5 % fast\n"
    "  --jitter F           move each transition by up to F of a symbol\n"
    "  --invert             swap the line levels\n"
    "  --levels 2|4         line states of a 2- or 4-level interface (default 2)\n"
    "  --seed N             seed of the random errors and jitter (default 1)\n"
    "  --preamble-bits N    preamble length (default: the protocol's usual)\n"
    "  --gap SECONDS        silence before, between and after transmissions (default 0.5)\n"
    "  --start-at SECONDS   begin the output this far into the signal, as a receiver\n"
    "                       switched on while the network is already sending\n"
    "  --flex-lead-in N     open each FLEX transmission with N resynchronisation cycles\n"
    "                       (bit sync and a sync of an unknown kind), as some transmitters do\n"
    "  --flex-lead-in-code HEX  the 16-bit code of their sync (default 34DF)\n"
    "\n"
    "Audio: when OUT ends in .wav, .flac, .s16 or .raw (signed 16-bit little-endian,\n"
    "no header) the transmission is written as discriminator audio instead: FSK\n"
    "baseband, positive for the upper level, through a receiver-like low-pass.\n"
    "--levels, --rate-error and --invert apply; --jitter does not.\n"
    "  --sample-rate HZ     audio sample rate (default 22050; IQ see below)\n"
    "  --deviation F        outer level, full scale = 1 (default 0.5)\n"
    "  --snr DB             add white noise: signal over noise power in the audio band\n"
    "  --dc F               add a DC offset, full scale = 1\n"
    "  --filter-hz HZ       the receiver's low-pass cut-off (default 4000)\n"
    "  --simulcast US:DB[:HZ]  a second transmitter of the network heard too: the same\n"
    "                       signal US microseconds later, DB weaker, HZ off its carrier\n"
    "  --highpass HZ        a first-order high-pass at the end, as an AC-coupled sound\n"
    "                       card input (5-30 Hz) or a speaker output (about 300 Hz)\n"
    "  --help               this text\n"
    "\n";

struct Options {
    std::string outPath;
    EncodeOptions encode;
    ChannelOptions channel;
    double gapSeconds = 0.5;
    double startSeconds = 0;
    AudioOptions audio;
    IqRequest iq;
    std::vector<PageDescription> pages;
};

bool ParseDouble(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(value);
}

bool ParseInt(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

void PrintHelp() {
    std::fputs(kHelp, stdout);
    std::fputs(kIqHelp, stdout);
    std::fputs("\nProtocols:\n", stdout);
    for (const ProtocolEntry& entry : Protocols()) std::printf("  %s\n", entry.usage);
}

// Returns 0 to go on, or an exit status.
int ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) return nullptr;
            return argv[++i];
        };
        auto fail = [&](const std::string& why) {
            std::fprintf(stderr, "tolvane-gen: %s\n", why.c_str());
            return 2;
        };
        long n = 0;
        double d = 0;
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return -1;
        } else if (arg == "-o") {
            const char* v = value();
            if (v == nullptr) return fail("-o needs a file name");
            options.outPath = v;
        } else if (arg == "--bit-errors") {
            const char* v = value();
            if (v == nullptr || !ParseInt(v, 0, 32, n)) return fail("--bit-errors needs 0..32");
            options.encode.bitErrors = static_cast<int>(n);
        } else if (arg == "--info-errors") {
            options.encode.errorsInInfoOnly = true;
        } else if (arg == "--error-words") {
            const char* v = value();
            if (v == nullptr || !ParseIndexList(v, options.encode.errorWords))
                return fail("--error-words needs a list like 3,17");
        } else if (arg == "--rate-error") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, d) || std::fabs(d) >= 0.5) return fail("--rate-error needs a fraction");
            options.channel.rateError = d;
        } else if (arg == "--jitter") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, d) || d < 0 || d >= 0.5) return fail("--jitter needs 0..0.5");
            options.channel.jitter = d;
        } else if (arg == "--invert") {
            options.channel.invert = true;
        } else if (arg == "--levels") {
            const char* v = value();
            if (v == nullptr || !ParseInt(v, 2, 4, n) || n == 3) return fail("--levels needs 2 or 4");
            options.channel.levels = static_cast<int>(n);
        } else if (arg == "--seed") {
            const char* v = value();
            if (v == nullptr || !ParseInt(v, 0, 0xFFFFFFFFL, n)) return fail("--seed needs a number");
            options.encode.seed = static_cast<std::uint32_t>(n);
            options.channel.seed = static_cast<std::uint32_t>(n) ^ 0x5A5A5A5Au;
        } else if (arg == "--preamble-bits") {
            const char* v = value();
            if (v == nullptr || !ParseInt(v, 0, 100000, n)) return fail("--preamble-bits needs 0..100000");
            options.encode.preambleBits = static_cast<int>(n);
        } else if (arg == "--flex-lead-in") {
            const char* v = value();
            if (v == nullptr || !ParseInt(v, 0, 10000, n)) return fail("--flex-lead-in needs 0..10000");
            options.encode.flexLeadIn = static_cast<int>(n);
        } else if (arg == "--flex-lead-in-code") {
            const char* v = value();
            char* end = nullptr;
            const unsigned long code = v == nullptr ? 0x10000 : std::strtoul(v, &end, 16);
            if (v == nullptr || end == v || *end != '\0' || code > 0xFFFF)
                return fail("--flex-lead-in-code needs a 16-bit hex code");
            options.encode.flexLeadInCode = static_cast<std::uint16_t>(code);
        } else if (arg == "--sample-rate" || arg == "--deviation" || arg == "--snr" || arg == "--dc" ||
                   arg == "--filter-hz" || arg == "--highpass") {
            const char* v = value();
            // A sample rate may be written as IQ rates usually are: 2.4M.
            if (v == nullptr || (!ParseDouble(v, d) && !(arg == "--sample-rate" && ParseFrequency(v, d))))
                return fail(arg + " needs a number");
            if (arg == "--sample-rate") {
                if (d < 4000 || d > 100e6) return fail("--sample-rate needs 4000..100000000");
                options.audio.sampleRate = d;
                options.iq.options.sampleRate = d;
                options.iq.sampleRateGiven = true;
            } else if (arg == "--deviation") {
                if (d <= 0 || d > 4) return fail("--deviation needs 0..4");
                options.audio.deviation = d;
            } else if (arg == "--snr") {
                options.audio.snrDb = d;
            } else if (arg == "--dc") {
                if (std::fabs(d) > 1) return fail("--dc needs -1..1");
                options.audio.dcOffset = d;
            } else if (arg == "--highpass") {
                if (d < 0 || d > 2000) return fail("--highpass needs 0..2000 Hz");
                options.audio.highpassHz = d;
            } else {
                if (d <= 0) return fail("--filter-hz needs a positive frequency");
                options.audio.filterHz = d;
            }
        } else if (arg == "--simulcast") {
            const char* v = value();
            double delay = 0, db = 0, offset = 0;
            int fields = 0;
            if (v != nullptr) fields = std::sscanf(v, "%lf:%lf:%lf", &delay, &db, &offset);
            if (fields < 2 || delay < 0 || delay > 10000 || db < -20 || db > 60)
                return fail("--simulcast needs DELAY_US:DB[:OFFSET_HZ]");
            options.audio.simulcastDelayUs = delay;
            options.audio.simulcastDb = db;
            options.audio.simulcastOffsetHz = offset;
        } else if (arg == "--start-at") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, d) || d < 0 || d > 3600) return fail("--start-at needs seconds");
            options.startSeconds = d;
        } else if (arg == "--gap") {
            const char* v = value();
            if (v == nullptr || !ParseDouble(v, d) || d < 0 || d > 3600) return fail("--gap needs seconds");
            options.gapSeconds = d;
        } else if (std::string why; const int iq = ParseIqArgument(argc, argv, i, options.iq, why)) {
            if (iq < 0) return fail(why);
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + arg + " (see --help)");
        } else {
            PageDescription page;
            std::string error, text;
            std::optional<double> frequency;
            if (!SplitPageFrequency(arg, frequency, text, error)) return fail(error);
            options.iq.pageFrequencies.push_back(frequency);
            if (!ParsePageDescription(text, page, error)) return fail(error);
            if (FindProtocol(page.protocol) == nullptr) return fail("unknown protocol '" + page.protocol + "'");
            options.pages.push_back(std::move(page));
        }
    }
    if (options.outPath.empty()) {
        std::fprintf(stderr, "tolvane-gen: no output file (-o FILE)\n");
        return 2;
    }
    if (options.pages.empty()) {
        std::fprintf(stderr, "tolvane-gen: no pages given\n");
        return 2;
    }
    return 0;
}

// Encodes every run of pages of one protocol and rate as one transmission.
bool BuildStream(const Options& options, SymbolStream& stream, std::string& error) {
    AppendSilence(stream, 0, options.gapSeconds);
    std::size_t first = 0;
    while (first < options.pages.size()) {
        std::size_t end = first + 1;
        while (end < options.pages.size() && options.pages[end].protocol == options.pages[first].protocol &&
               options.pages[end].rate == options.pages[first].rate)
            ++end;
        const std::vector<PageDescription> group(options.pages.begin() + static_cast<std::ptrdiff_t>(first),
                                          options.pages.begin() + static_cast<std::ptrdiff_t>(end));
        const ProtocolEntry* protocol = FindProtocol(group.front().protocol);
        if (!protocol->encode(group, options.encode, stream, error)) return false;
        AppendSilence(stream, 0, options.gapSeconds);
        first = end;
    }
    return true;
}

bool WriteEdges(const std::string& path, const std::vector<EdgeEntry>& edges, std::string& error) {
    EdgeFileWriter writer;
    if (!writer.Open(path)) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    for (const EdgeEntry& e : edges) writer.AddRun(e.duration, e.lineState);
    if (!writer.Close()) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = ParseArguments(argc, argv, options);
    if (parsed < 0) return 0;
    if (parsed > 0) return parsed;

    std::string error;
    const bool iq = WantsIq(options.outPath, options.iq);
    if (!iq && options.audio.sampleRate > 384000) {
        std::fprintf(stderr, "tolvane-gen: --sample-rate needs 4000..384000 for audio\n");
        return 2;
    }
    if (iq) {
        if (!WriteIqPages(options.outPath, options.pages, options.encode, options.gapSeconds,
                          options.channel.rateError, options.iq, error)) {
            std::fprintf(stderr, "tolvane-gen: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    SymbolStream stream;
    if (!BuildStream(options, stream, error)) {
        std::fprintf(stderr, "tolvane-gen: %s\n", error.c_str());
        return 1;
    }
    if (AudioFormatForPath(options.outPath) != AudioFileFormat::Unknown) {
        AudioOptions audio = options.audio;
        audio.levels = options.channel.levels;
        audio.rateError = options.channel.rateError;
        audio.invert = options.channel.invert;
        audio.seed = options.channel.seed;
        audio.leadSeconds = 0;  // the gaps are already in the stream
        audio.startSeconds = options.startSeconds;
        if (!WriteAudioFile(options.outPath, SymbolsToAudio(stream, audio), static_cast<int>(audio.sampleRate),
                            error)) {
            std::fprintf(stderr, "tolvane-gen: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (!WriteEdges(options.outPath, SymbolsToEdges(StreamFrom(stream, options.startSeconds), options.channel), error)) {
        std::fprintf(stderr, "tolvane-gen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
