// tolvane-cli: the headless monitor. The same engine as the desktop
// program, fed from a recording or a live input, with every completed row
// of the message pane printed to standard output as one line.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/cli/iq_arguments.h"
#include "display/line_joiner.h"
#include "engine/engine.h"
#include "engine/input_runner.h"
#include "engine/recording_clock.h"
#include "output/charset.h"
#include "output/error_marks.h"
#include "platform/mqtt_publisher.h"
#include "platform/system_world.h"
#include "receiver/audio_source.h"
#include "receiver/input_select.h"
#include "settings/settings_file.h"

namespace {

using namespace tolvane;

constexpr const char kHelp[] =
    "Usage: tolvane-cli [--ini PATH] [--realtime] [--start TIME] [--verbose] [--rate N] [--mark-errors]\n"
    "                   [--json] [--mqtt URL] [--join-fragments 0|1] [--repeat-window SECONDS]\n"
    "                   [--charset NAME] [--highpass-corner HZ] INPUT\n"
    "\n"
    "Decodes POCSAG, FLEX and GSC pages from INPUT without a window and prints\n"
    "every completed line of the message pane to standard output: the capcode\n"
    "field and the message, exactly as the pane shows them but without colours\n"
    "(a page wrapped over several rows is printed as one line). Rows that belong\n"
    "to no page (frame information, unknown sync headers) are printed too.\n"
    "Control characters received from the air are printed as '.' (NUL bytes,\n"
    "with which POCSAG fills the end of a text, are left out, as in the window).\n"
    "Nothing else goes to standard output; messages go to standard error.\n"
    "\n"
    "INPUT is one of\n"
    "  FILE           a recorded edge stream (TVEDGES1, as written by tolvane-gen),\n"
    "                 discriminator audio in any format libsndfile reads (WAV,\n"
    "                 FLAC, ...), or raw signed 16-bit little-endian mono audio\n"
    "                 when the name ends in .s16 or .raw (at --rate N); also a\n"
    "                 FIFO carrying an edge stream, raw audio or WAV\n"
    "  -              raw signed 16-bit little-endian mono audio on standard input\n"
    "                 at --rate N, e.g. rtl_fm -f FREQ -s 22050 - | tolvane-cli --rate 22050 -\n"
    "  audio:DEVICE   live discriminator audio from a sound card (audio:default)\n"
    "  serial:DEVICE  a level-slicer interface on a serial port (serial:/dev/ttyUSB0)\n"
    "Without INPUT the input named in the settings file is used. Audio is sliced\n"
    "2- or 4-level as the settings' 4LevelInterface says.\n"
    "\n"
    "Options:\n"
    "  --ini PATH   read the settings from PATH instead of the usual settings file\n"
    "               (the decoders, Timestamp, ShowNumeric, filters, log file,\n"
    "               filter file, statistics files and commands all apply)\n"
    "  --realtime   replay a recording at its own speed (default: as fast as\n"
    "               possible; the engine's 100 ms ticks follow the recording's\n"
    "               time either way)\n"
    "  --start TIME when a recording began, as YYYY-MM-DD HH:MM[:SS] local time or\n"
    "               @SECONDS since 1970 (default: the file's modification time\n"
    "               minus its length; for standard input, now). While a\n"
    "               recording is decoded its time is the engine's clock: page\n"
    "               times, statistics hours and keep-alive periods follow it\n"
    "  --verbose    show the receiver's mode changes (the window title) on\n"
    "               standard error\n"
    "  --rate N     sample rate of raw audio in Hz (default: InputRate of the\n"
    "               settings, 22050)\n"
    "  --mark-errors  enclose text shown in the bit-error colour in \u00ab and \u00bb\n"
    "               (bytes outside printable ASCII are then printed as '.'), for\n"
    "               scripts that score the decoder. Not with --json, whose\n"
    "               errors field tells the same of every page\n"
    "  --json       print one JSON object per page instead of the pane lines:\n"
    "               time, receiver, protocol, rate, capcode, function, phase,\n"
    "               type, message, errors, filter, line, and incomplete: true for\n"
    "               a FLEX message whose rest never came (rows that belong to no\n"
    "               page are left out, so are pages a filter rejects). errors is\n"
    "               true when any character of the page was received with bit\n"
    "               errors (shown in the bit-error colour), whatever the display\n"
    "               settings; time has milliseconds and the local UTC offset.\n"
    "               A page cut at 16384 characters adds \"truncated\": true\n"
    "  --mqtt URL   publish the same objects to an MQTT broker with QoS 1,\n"
    "               URL = mqtt://[USER[:PASSWORD]@]HOST[:PORT][/TOPIC]; the\n"
    "               default topic is tolvane/RECEIVER/pages (a TOPIC may not\n"
    "               hold + or #), the retained\n"
    "               tolvane/RECEIVER/status says online or offline and keep-alive\n"
    "               alarms go to tolvane/RECEIVER/alarm. RECEIVER is the\n"
    "               settings' ReceiverName or the host name. Without --mqtt the\n"
    "               settings' MqttBroker is used when set\n"
    "  --join-fragments 0|1  show a FLEX message sent in fragments once, whole,\n"
    "               when its last fragment has come (1, the default), or each\n"
    "               fragment as its own page (0); overrides JoinFragments. A\n"
    "               message whose rest does not come within a minute, or by the\n"
    "               end of the input, is shown with (incomplete) before its text\n"
    "  --repeat-window SECONDS  show a page again with the same capcode and\n"
    "               text only after SECONDS (default: RepeatWindow, 0 = always);\n"
    "               a repeat gives no line, record, filter action or command, and\n"
    "               their number is told on standard error at the end\n"
    "  --charset NAME  the national 7-bit variant of the texts: ASCII (default),\n"
    "               German, Danish/Norwegian, Swedish/Finnish, French, Italian,\n"
    "               Spanish (or the number 0..6); overrides Charset. Its letters\n"
    "               are printed in UTF-8\n"
    "  --highpass-corner HZ  the audio input is AC-coupled through a first-order\n"
    "               high-pass with this corner (a sound-card line input, 5-30 Hz;\n"
    "               a scanner's speaker output, about 300 Hz), which the slicer\n"
    "               undoes; 0 = DC-coupled (default: InputHighPass, 0)\n"
    "  --help       this text\n"
    "\n"
    "%s"
    "\n"
    "Exit status: 0 when the input has ended (or SIGINT, SIGTERM, SIGHUP or a\n"
    "closed standard output ended the run); 1 with a one-line message when the\n"
    "input or the settings file cannot be read or standard output cannot be\n"
    "written (a full disk); 2 for a usage error. A log, filter or statistics\n"
    "file that cannot be written is skipped with one line on standard error,\n"
    "and another when it works again.\n"
    "\n"
    "Example:\n"
    "  tolvane-gen -o page.tve pocsag:1200:1234567:3:alpha:Hello world\n"
    "  tolvane-cli page.tve\n";

// Set from the signal handler; RunInput polls it.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) { gStop.store(true, std::memory_order_relaxed); }

// SIGINT, SIGTERM and SIGHUP (a closed terminal) end the run cleanly: the
// files are written and closed and the status is 0. A reader that closes
// standard output (| head -1) does the same, through a failed write
// rather than SIGPIPE. A file grown past the size limit fails its write
// (and is reported) rather than ending the program.
void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

// Standard output, one whole line per write. A reader that went away ends
// the run quietly; any other failure (a full disk) ends it with one line
// on standard error and a non-zero status, since what follows would be
// lost, and a file keeps whole lines.
class StandardOutput {
public:
    void WriteLine(std::string_view text) {
        if (failed_) return;
        line_.assign(text);
        line_ += '\n';
        std::size_t done = 0;
        while (done < line_.size()) {
            const ssize_t n = ::write(STDOUT_FILENO, line_.data() + done, line_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                Fail(n < 0 ? errno : EIO, done);
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    // True when the run must end with a non-zero status.
    bool Broken() const { return failed_ && error_ != EPIPE; }

private:
    void Fail(int error, std::size_t written) {
        failed_ = true;
        error_ = error;
        if (written > 0) TakeBackPartialLine(STDOUT_FILENO, written);
        if (error != EPIPE) std::fprintf(stderr, "tolvane-cli: cannot write standard output: %s\n", std::strerror(error));
        gStop.store(true, std::memory_order_relaxed);
    }

    std::string line_;
    bool failed_ = false;
    int error_ = 0;
};

// One JSON object per line, written at once so that a pipe sees every page
// as it comes.
class JsonLines : public RecordSink {
public:
    explicit JsonLines(StandardOutput& out) : out_(out) {}
    void PageRecorded(std::string_view json) override { out_.WriteLine(json); }

private:
    StandardOutput& out_;
};

// Records to several sinks.
class RecordFanOut : public RecordSink {
public:
    void Add(RecordSink* sink) { sinks_.push_back(sink); }
    void PageRecorded(std::string_view json) override {
        for (RecordSink* sink : sinks_) sink->PageRecorded(json);
    }
    void ChannelPageRecorded(std::string_view channel, std::string_view json) override {
        for (RecordSink* sink : sinks_) sink->ChannelPageRecorded(channel, json);
    }
    void AlarmRaised(std::string_view json) override {
        for (RecordSink* sink : sinks_) sink->AlarmRaised(json);
    }
    std::uint64_t TakeDropped() override {
        std::uint64_t n = 0;
        for (RecordSink* sink : sinks_) n += sink->TakeDropped();
        return n;
    }
    bool Empty() const { return sinks_.empty(); }

private:
    std::vector<RecordSink*> sinks_;
};

// One pane line to standard output, shown as the panes show it, the cells'
// Latin-1 letters written in UTF-8.
void PrintLine(StandardOutput& out, const std::string& line) {
    std::string shown;
    shown.reserve(line.size() + 8);
    for (const char c : line) AppendLatin1AsUtf8(shown, ShownCell(static_cast<std::uint8_t>(c)));
    out.WriteLine(shown);
}

struct Arguments {
    std::string ini;
    bool iniGiven = false;
    bool realtime = false;
    bool verbose = false;
    bool markErrors = false;
    bool json = false;
    std::string mqtt;
    int rate = 0;  // raw audio sample rate; 0 = from the settings
    // How pages are shown, over the settings file's choice.
    std::optional<int> joinFragments;
    std::optional<int> repeatWindow;
    std::optional<NationalCharset> charset;
    std::optional<int> highpassCorner;  // over InputHighPass
    std::optional<std::time_t> start;  // when the recording began
    std::string input;
    IqArguments iq;
};

// Returns -1 after --help, 0 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf(kHelp, kIqUsage);
            return -1;
        } else if (arg == "--ini") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tolvane-cli: --ini needs a path\n");
                return 2;
            }
            args.ini = argv[++i];
            args.iniGiven = true;
        } else if (arg == "--start") {
            if (i + 1 < argc) args.start = ParseStartTime(argv[i + 1]);
            if (!args.start) {
                std::fprintf(stderr, "tolvane-cli: --start needs a time from 1970 to 9999: YYYY-MM-DD HH:MM[:SS] or "
                                     "@SECONDS\n");
                return 2;
            }
            ++i;
        } else if (arg == "--realtime") {
            args.realtime = true;
        } else if (arg == "--verbose") {
            args.verbose = true;
        } else if (arg == "--mark-errors") {
            args.markErrors = true;
        } else if (arg == "--json") {
            args.json = true;
        } else if (arg == "--mqtt") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "tolvane-cli: --mqtt needs a broker URL\n");
                return 2;
            }
            args.mqtt = argv[++i];
        } else if (arg == "--rate") {
            char* end = nullptr;
            const long rate = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || rate < kMinSampleRate || rate > kMaxSampleRate) {
                std::fprintf(stderr, "tolvane-cli: --rate needs a sample rate in Hz (1000..1000000)\n");
                return 2;
            }
            args.rate = static_cast<int>(rate);
            ++i;
        } else if (arg == "--highpass-corner") {
            char* end = nullptr;
            const long corner = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || corner < 0 || corner > 2000) {
                std::fprintf(stderr, "tolvane-cli: --highpass-corner needs a corner in Hz (0..2000)\n");
                return 2;
            }
            args.highpassCorner = static_cast<int>(corner);
            ++i;
        } else if (arg == "--join-fragments" || arg == "--repeat-window") {
            const bool join = arg == "--join-fragments";
            char* end = nullptr;
            const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || value < 0 || value > (join ? 1 : 86400)) {
                std::fprintf(stderr, join ? "tolvane-cli: --join-fragments needs 0 or 1\n"
                                          : "tolvane-cli: --repeat-window needs seconds (0..86400)\n");
                return 2;
            }
            (join ? args.joinFragments : args.repeatWindow) = static_cast<int>(value);
            ++i;
        } else if (arg == "--charset") {
            if (i + 1 < argc) args.charset = ParseNationalCharset(argv[i + 1]);
            if (!args.charset) {
                std::fprintf(stderr, "tolvane-cli: --charset needs ASCII, German, Danish/Norwegian, Swedish/Finnish, "
                                     "French, Italian or Spanish\n");
                return 2;
            }
            ++i;
        } else if (std::string why; const int iq = ParseIqArgument(argc, argv, i, args.iq, why)) {
            if (iq < 0) {
                std::fprintf(stderr, "tolvane-cli: %s\n", why.c_str());
                return 2;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "tolvane-cli: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        } else if (args.input.empty()) {
            args.input = arg;
        } else {
            std::fprintf(stderr, "tolvane-cli: only one INPUT may be given (see --help)\n");
            return 2;
        }
    }
    if (args.markErrors && args.json) {
        // The marks are drawn into the pane lines, which --json does not print.
        std::fprintf(stderr, "tolvane-cli: --mark-errors and --json do not go together: the JSON's errors field "
                             "tells which pages had bit errors (see --help)\n");
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    const int parsed = ParseArguments(argc, argv, args);
    if (parsed < 0) return 0;
    if (parsed > 0) return parsed;
    InstallStopHandlers();

    Settings settings;
    std::string error;
    const std::string iniPath = args.iniGiven ? args.ini : DefaultSettingsPath();
    const SettingsLoad load = LoadSettings(kAppName, iniPath, settings);
    // Only the usual settings file may be missing (then the defaults apply).
    if (load.file == FileState::Missing && args.iniGiven) {
        std::fprintf(stderr, "tolvane-cli: cannot read settings file %s: %s\n", iniPath.c_str(), std::strerror(ENOENT));
        return 1;
    }
    for (const std::string& message : load.messages) std::fprintf(stderr, "tolvane-cli: %s\n", message.c_str());
    if (load.file == FileState::Unreadable) return 1;
    if (args.joinFragments) settings.JoinFragments = *args.joinFragments;
    if (args.repeatWindow) settings.RepeatWindow = *args.repeatWindow;
    if (args.charset) settings.Charset = static_cast<std::int32_t>(*args.charset);
    if (args.highpassCorner) settings.Input.InputHighPass = *args.highpassCorner;
    ApplyIqArguments(args.iq, settings.Iq);
    if (args.input.empty()) args.input = settings.Input.Input;
    if (args.input.empty()) {
        std::fprintf(stderr, "tolvane-cli: no INPUT given (see --help)\n");
        return 2;
    }

    InputOptions inputOptions;
    inputOptions.paced = args.realtime;
    inputOptions.rawRate = args.rate > 0 ? args.rate : settings.Input.InputRate;
    std::unique_ptr<EdgeSource> source = SelectInput(args.input, inputOptions, settings, error);
    if (source == nullptr) {
        std::fprintf(stderr, "tolvane-cli: %s\n", error.c_str());
        return 1;
    }

    const std::string receiver = ReceiverNameOf(settings.Machine);
    if (args.mqtt.empty()) args.mqtt = settings.Machine.MqttBroker;
    std::unique_ptr<MqttPublisher> publisher;
    if (!args.mqtt.empty()) {
        MqttOptions options;
        if (!MqttOptionsFor(args.mqtt, settings.Machine, receiver, options, error)) {
            std::fprintf(stderr, "tolvane-cli: %s\n", error.c_str());
            return 2;
        }
        options.notice = [](MqttEvent, const std::string& text) {
            std::fprintf(stderr, "tolvane-cli: %s\n", text.c_str());
        };
        publisher = std::make_unique<MqttPublisher>(std::move(options));
    }

    // A recording brings its own time; live input runs on the system clock.
    const bool live = IsLiveInput(args.input);
    if (live && args.start) {
        std::fprintf(stderr, "tolvane-cli: --start applies to recordings only\n");
        return 2;
    }
    if (!live && !args.start) args.start = RecordingStart(args.input, inputOptions, settings);
    SystemClock systemClock;
    RecordingClock recordingClock(args.start.value_or(systemClock.Now()));
    WallClock& clock = live ? static_cast<WallClock&>(systemClock) : recordingClock;
    StderrMessages messages(args.verbose, "tolvane-cli: ");
    SpawnCommandLauncher commands;
    SystemSoundPlayer sound(commands);
    AppendFileOpener files;
    Engine engine(settings, OutsideWorld{clock, messages, sound, commands, messages, files, messages});
    recordingClock.FollowSamples(engine);
    // Nobody is there to acknowledge an off-the-air alarm: its line on
    // standard error and the command file report it, and a new period starts.
    engine.Watch().SetAutoAcknowledge(true);
    StandardOutput standardOutput;
    const auto print = [&standardOutput](const std::string& line) { PrintLine(standardOutput, line); };
    LineJoiner printer(print);
    ErrorMarkingJoiner markingPrinter(print);
    if (!args.json) engine.output().MessagePane.view = args.markErrors ? static_cast<PaneView*>(&markingPrinter) : &printer;
    JsonLines jsonLines(standardOutput);
    RecordFanOut records;
    if (args.json) records.Add(&jsonLines);
    if (publisher) {
        records.Add(publisher.get());
        publisher->Start();
    }
    if (!records.Empty()) engine.SetRecordSink(&records, receiver);

    RunOptions runOptions;
    runOptions.realtime = args.realtime || live;
    runOptions.stop = &gStop;
    const bool ran = RunInput(engine, *source, runOptions, error);
    engine.SetRecordSink(nullptr, receiver);
    if (const std::uint64_t folded = engine.FoldedRepeats(); folded > 0)
        std::fprintf(stderr, "tolvane-cli: repeated pages folded: %llu\n", static_cast<unsigned long long>(folded));
    if (publisher) {
        // What is still queued gets a few seconds to reach a connected broker.
        publisher->Finish(std::chrono::seconds(5));
        if (publisher->Dropped() > 0)
            std::fprintf(stderr, "tolvane-cli: MQTT: %llu records not delivered (%s)\n",
                         static_cast<unsigned long long>(publisher->Dropped()),
                         publisher->Refused() ? "the broker refused the connection" : "queue full or broker away at exit");
    }
    if (!ran) {
        std::fprintf(stderr, "tolvane-cli: %s\n", error.c_str());
        return 1;
    }
    return standardOutput.Broken() ? 1 : 0;
}
