// tolvane-cli: the headless monitor. The same engine as the desktop
// program, fed from a recording or a live input, with every completed row
// of the message pane printed to standard output as one line.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "app/cli/error_marks.h"
#include "display/line_joiner.h"
#include "engine/engine.h"
#include "engine/input_runner.h"
#include "platform/system_world.h"
#include "receiver/input_select.h"
#include "settings/settings_file.h"

namespace {

using namespace tolvane;

constexpr const char kHelp[] =
    "Usage: tolvane-cli [--ini PATH] [--realtime] [--verbose] [--rate N] [--mark-errors] INPUT\n"
    "\n"
    "Decodes POCSAG, FLEX and GSC pages from INPUT without a window and prints\n"
    "every completed line of the message pane to standard output: the capcode\n"
    "field and the message, exactly as the pane shows them but without colours\n"
    "(a page wrapped over several rows is printed as one line). Rows that belong\n"
    "to no page (frame information, unknown sync headers) are printed too.\n"
    "Control characters received from the air are printed as '.'. Nothing else\n"
    "goes to standard output; messages go to standard error.\n"
    "\n"
    "INPUT is one of\n"
    "  FILE           a recorded edge stream (TVEDGES1, as written by tolvane-gen),\n"
    "                 discriminator audio in any format libsndfile reads (WAV,\n"
    "                 FLAC, ...), or raw signed 16-bit little-endian mono audio\n"
    "                 when the name ends in .s16 or .raw (at --rate N)\n"
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
    "  --verbose    show the receiver's mode changes (the window title) on\n"
    "               standard error\n"
    "  --rate N     sample rate of raw audio in Hz (default: InputRate of the\n"
    "               settings, 22050)\n"
    "  --mark-errors  enclose text shown in the bit-error colour in \u00ab and \u00bb\n"
    "               (bytes outside printable ASCII are then printed as '.'), for\n"
    "               scripts that score the decoder\n"
    "  --help       this text\n"
    "\n"
    "Exit status: 0 when the input has ended (or SIGINT/SIGTERM stopped a live\n"
    "input); 1 with a one-line message when the input or the settings file\n"
    "cannot be read; 2 for a usage error.\n"
    "\n"
    "Example:\n"
    "  tolvane-gen -o page.tve pocsag:1200:1234567:3:alpha:Hello world\n"
    "  tolvane-cli page.tve\n";

// Set from the signal handler; RunInput polls it.
std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) { gStop.store(true, std::memory_order_relaxed); }

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// One pane line to standard output. Received text may hold any byte: the
// control characters (C0, DEL and C1) become '.', so that a page stays one
// line and cannot drive the terminal.
void PrintLine(const std::string& line) {
    std::string shown = line;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) c = '.';
    }
    shown += '\n';
    std::fwrite(shown.data(), 1, shown.size(), stdout);
    std::fflush(stdout);
}

struct Arguments {
    std::string ini;
    bool iniGiven = false;
    bool realtime = false;
    bool verbose = false;
    bool markErrors = false;
    int rate = 0;  // raw audio sample rate; 0 = from the settings
    std::string input;
};

// Returns -1 after --help, 0 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return -1;
        } else if (arg == "--ini") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tolvane-cli: --ini needs a path\n");
                return 2;
            }
            args.ini = argv[++i];
            args.iniGiven = true;
        } else if (arg == "--realtime") {
            args.realtime = true;
        } else if (arg == "--verbose") {
            args.verbose = true;
        } else if (arg == "--mark-errors") {
            args.markErrors = true;
        } else if (arg == "--rate") {
            char* end = nullptr;
            const long rate = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : 0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || rate < 1000 || rate > 1000000) {
                std::fprintf(stderr, "tolvane-cli: --rate needs a sample rate in Hz (1000..1000000)\n");
                return 2;
            }
            args.rate = static_cast<int>(rate);
            ++i;
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
    return 0;
}

// A settings file named with --ini must exist and be readable.
bool CheckReadable(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = path + ": is a directory";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    const int parsed = ParseArguments(argc, argv, args);
    if (parsed < 0) return 0;
    if (parsed > 0) return parsed;

    Settings settings;
    std::string error;
    if (args.iniGiven) {
        if (!CheckReadable(args.ini, error)) {
            std::fprintf(stderr, "tolvane-cli: cannot read settings file %s\n", error.c_str());
            return 1;
        }
        LoadSettings(kAppName, args.ini, settings);
    } else {
        LoadSettings(kAppName, DefaultSettingsPath(), settings);
    }
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

    SystemClock clock;
    StderrMessages messages(args.verbose);
    SpawnCommandLauncher commands;
    SystemSoundPlayer sound(commands);
    StdioFileOpener files;
    Engine engine(settings, OutsideWorld{clock, messages, sound, commands, messages, files});
    // Nobody is there to acknowledge an off-the-air alarm: its line on
    // standard error and the command file report it, and a new period starts.
    engine.Watch().SetAutoAcknowledge(true);
    LineJoiner printer(PrintLine);
    ErrorMarkingJoiner markingPrinter(PrintLine);
    engine.output().MessagePane.view = args.markErrors ? static_cast<PaneView*>(&markingPrinter) : &printer;

    InstallStopHandlers();
    RunOptions runOptions;
    runOptions.realtime = args.realtime || IsLiveInput(args.input);
    runOptions.stop = &gStop;
    if (!RunInput(engine, *source, runOptions, error)) {
        std::fprintf(stderr, "tolvane-cli: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
