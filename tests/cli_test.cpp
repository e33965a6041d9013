// tolvane-cli as a program: its failures, files it cannot write, how it
// stops and the time of a recording. What it prints is pinned by the
// golden recordings (tests/cli).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "receiver/edge_file.h"
#include "support/loopback.h"

namespace tolvane {
namespace {

const std::string kCli = std::string(TOLVANE_BINARY_DIR) + "/app/cli/tolvane-cli";
const std::string kGen = std::string(TOLVANE_BINARY_DIR) + "/tools/gen/tolvane-gen";

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
protected:
    // Runs a shell command (the test's own text, never received text).
    CliRun Shell(const std::string& command) {
        CliRun run;
        std::FILE* pipe = ::popen((command + " 2>" + dir_ / "stderr").c_str(), "r");
        if (pipe == nullptr) return run;
        char buffer[4096];
        for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
        const int raw = ::pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.err = testing::ReadFile(dir_ / "stderr");
        return run;
    }
    // A run that takes longer than `seconds` is killed (status 124).
    CliRun RunCli(const std::string& args, int seconds = 60) {
        return Shell("timeout " + std::to_string(seconds) + " " + kCli + " " + args);
    }
    std::string Write(const std::string& name, const std::string& content) {
        std::ofstream(dir_ / name) << content;
        return dir_ / name;
    }
    // The pages from tolvane-gen, with `gap` seconds of silence before,
    // between and after transmissions (one per protocol and rate in a row).
    std::string MakePages(const std::string& pages, const std::string& gap = "0.5") {
        EXPECT_EQ(Shell(kGen + " --gap " + gap + " -o " + dir_ / "pages.tve" + " " + pages).status, 0);
        return dir_ / "pages.tve";
    }

    testing::TempDir dir_;
};

TEST_F(Cli, FailuresGiveOneLineAndNonZeroStatus) {
    const std::string notEdges = Write("notedges.tve", "this is not an edge stream");
    const std::string emptyIni = Write("empty.ini", "");
    const std::string noEdges = Write("none.tve", "TVEDGES1");
    const std::pair<std::string, int> cases[] = {
        {dir_ / "missing.tve", 1},
        {notEdges, 1},
        {"--ini " + dir_ / "missing.ini" + " " + notEdges, 1},
        {"--ini " + std::string(TOLVANE_BINARY_DIR) + " " + notEdges, 1},
        {"--ini", 2},
        {"--bogus x.tve", 2},
        {"--start '2026-02-30 10:00' x.tve", 2},
        {"--start @12x x.tve", 2},
        {"--start @0 audio:default", 2},
        {"--start @9999999999999999 " + noEdges, 2},  // beyond 64-bit milliseconds
        {"--start @99999999999999 " + noEdges, 2},    // beyond year 9999
        {"--start @-1 " + noEdges, 2},
        {"--start '1969-12-30 10:00' " + noEdges, 2},
        {"--ini " + emptyIni + " a.tve b.tve", 2},
        {"--charset Klingon x.tve", 2},
        {"--repeat-window -1 x.tve", 2},
        {"--join-fragments 2 x.tve", 2},
    };
    for (const auto& [args, status] : cases) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.status, status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(!run.err.empty() && run.err.find('\n') == run.err.size() - 1) << run.err;  // one line
    }
}

// A log that cannot be written (a missing directory, a FIFO nobody reads)
// is skipped with one line on standard error; the pages are still printed
// and the run does not wait for a reader.
TEST_F(Cli, UnwritableLogIsToldOnStandardError) {
    const std::string input = MakePages("pocsag:1200:1234567:3:alpha:First pocsag:1200:1234567:3:alpha:Second");
    const std::string fifo = dir_ / "log.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dir_ / "missing/pages.log", "No such file or directory"},
        {fifo, "no program reads from it"},
        {"/dev/full", "No space left on device"},
    };
    for (const auto& [log, reason] : cases) {
        SCOPED_TRACE(log);
        Write("log.ini", "[Tolvane]\nTimestamp=0\nLogFileEnabled=1\nLogFile=" + log + "\n");
        const CliRun run = RunCli("--ini " + dir_ / "log.ini" + " " + input, 20);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "{1234567} 4 1200 First\n{1234567} 4 1200 Second  \n");
        EXPECT_EQ(run.err, "tolvane-cli: cannot write " + log + ": " + reason + " (skipped until it works again)\n");
    }
}

// A run ended from outside ends like the end of its input, with status 0
// and the log written: standard output closed by the reader (| head -1), in
// text and JSON alike, SIGHUP and SIGTERM (the third page is never decoded).
// A full disk or a file size limit ends it too, told, with status 1, and the
// file keeps whole lines.
TEST_F(Cli, StoppedRunOrStandardOutputThatCannotBeWritten) {
    const std::string input = MakePages("pocsag:1200:1234567:3:alpha:First pocsag:2400:1234567:3:alpha:Second "
                                        "pocsag:1200:1234567:3:alpha:Third", "1");
    const std::string log = dir_ / "pages.log";
    const std::string status = dir_ / "status";
    const std::string out = dir_ / "out";
    const std::string ini = Write("log.ini", "[Tolvane]\nTimestamp=0\nLogFileEnabled=1\nLogFile=" + log + "\n");
    const std::string run = "timeout 20 " + kCli + " --ini " + ini + " ";
    struct Case {
        std::string script;
        std::string status;
        std::string error;  // standard error
        bool third;         // the third page was decoded
    };
    const std::string full = "tolvane-cli: cannot write standard output: No space left on device\n";
    const Case cases[] = {
        {"(" + run + "--realtime " + input + "; echo $? >" + status + ") | head -1 >/dev/null", "0\n", "", false},
        {"(" + run + "--realtime --json " + input + "; echo $? >" + status + ") | head -1 >/dev/null", "0\n", "", false},
        {run + "--realtime " + input + " >/dev/null & p=$!; sleep 3.5; kill -HUP $p; wait $p; echo $? >" + status, "0\n", "", false},
        {run + "--realtime " + input + " >/dev/null & p=$!; sleep 3.5; kill -TERM $p; wait $p; echo $? >" + status, "0\n", "", false},
        {run + input + " >/dev/full; echo $? >" + status, "1\n", full, false},
        {run + "--json " + input + " >/dev/full; echo $? >" + status, "1\n", full, false},
        {"ulimit -f 1; " + run + "--json " + input + " >" + out + "; echo $? >" + status, "1\n",
         "tolvane-cli: cannot write standard output: File too large\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::remove(log.c_str());
        const CliRun shell = Shell("(" + c.script + ")");
        EXPECT_EQ(testing::ReadFile(status), c.status);
        EXPECT_EQ(shell.err, c.error);
        const std::string written = testing::ReadFile(log);
        EXPECT_EQ(written.rfind("{1234567} 4 1200 First\n", 0), 0u) << written;
        EXPECT_EQ(written.find("Third") != std::string::npos, c.third) << written;
    }
    const std::string json = testing::ReadFile(out);  // 512 bytes at most: whole lines only
    EXPECT_EQ(json.empty() ? '\n' : json.back(), '\n') << json;
}

// A FIFO as input is opened once, whenever its writer comes: a writer that
// waits already is not cut off, a late one loses nothing, and a run waiting
// for one still ends at SIGTERM. An edge stream, WAV or raw audio alike.
TEST_F(Cli, FifoInputWaitsForItsWriterAndLosesNothing) {
    const std::string pages = "pocsag:1200:1001:3:alpha:One pocsag:2400:1002:3:alpha:Two pocsag:1200:1003:3:alpha:Three";
    const std::string edges = MakePages(pages);
    const std::string wav = dir_ / "pages.wav", raw = dir_ / "pages.s16";
    ASSERT_EQ(Shell(kGen + " -o " + wav + " " + pages + " && " + kGen + " -o " + raw + " " + pages).status, 0);
    const std::string ini = Write("plain.ini", "[Tolvane]\nTimestamp=0\n");
    const std::string all = "{0001001} 4 1200 One  \n{0001002} 4 2400 Two  \n{0001003} 4 1200 Three\n";
    const std::string status = dir_ / "status", writer = dir_ / "writer";
    struct Case {
        std::string fifo;
        std::string script;  // FIFO and CLI stand for the FIFO and the run
        std::string out;
        std::string writer;  // the writer's status
    };
    const Case cases[] = {
        {"in.fifo", "(cat " + edges + " >FIFO; echo $? >" + writer + ") & sleep 0.5; CLI", all, "0\n"},
        {"in.fifo", "(sleep 1; cat " + edges + " >FIFO; echo $? >" + writer + ") & CLI", all, "0\n"},
        {"in.fifo", "(cat " + wav + " >FIFO; echo $? >" + writer + ") & CLI", all, "0\n"},
        {"in.s16", "(sleep 0.5; cat " + raw + " >FIFO; echo $? >" + writer + ") & CLI", all, "0\n"},
        {"in.fifo", "echo 0 >" + writer + "; timeout --preserve-status -s TERM 1 CLI", "", "0\n"},
    };
    for (const Case& c : cases) {
        const std::string fifo = dir_ / c.fifo;
        std::remove(fifo.c_str());
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::string script = c.script;
        if (const auto at = script.find("FIFO"); at != std::string::npos) script.replace(at, 4, fifo);
        script.replace(script.find("CLI"), 3, "timeout 20 " + kCli + " --ini " + ini + " --rate 22050 " + fifo);
        SCOPED_TRACE(script);
        std::remove(writer.c_str());
        const CliRun run = Shell("(" + script + "; echo $? >" + status + "; wait)");
        EXPECT_EQ(testing::ReadFile(status), "0\n") << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(testing::ReadFile(writer), c.writer);
    }
}

// Damaged audio is skipped and told on standard error, and decoding goes on:
// a FLAC frame the library cannot decode costs the pages around it only; a
// file cut short (WAV or FLAC) gives what it holds and says so.
TEST_F(Cli, DamagedAudioIsSkippedAndTold) {
    std::string pages;
    // Rates in turn: every page is a transmission of its own.
    for (int i = 1; i <= 10; ++i)
        pages += (i % 2 ? " pocsag:1200:10" : " pocsag:2400:10") + std::to_string(10 + i) + ":3:alpha:Page_" + std::to_string(i);
    const auto make = [&](const std::string& name) {
        EXPECT_EQ(Shell(kGen + " -o " + dir_ / name + pages).status, 0);
        return dir_ / name;
    };
    struct Case {
        std::string file;
        std::string told;  // on standard error
        bool lastPage;     // the last page is printed
    };
    const std::string flac = make("damaged.flac"), wav = make("cut.wav"), cutFlac = make("cut.flac");
    std::FILE* file = std::fopen(flac.c_str(), "r+b");
    ASSERT_TRUE(file != nullptr && std::fseek(file, 60000, SEEK_SET) == 0);
    std::fwrite(std::string(200, '\xff').data(), 1, 200, file);
    std::fclose(file);
    for (const std::string& path : {wav, cutFlac}) ASSERT_EQ(::truncate(path.c_str(), 120000), 0);
    const Case cases[] = {
        {flac, flac + ": damaged audio at ", true},
        {wav, wav + ": the audio ends at ", false},
        {cutFlac, cutFlac + ": ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const CliRun run = RunCli(c.file);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.rfind(c.told, 0), 0u) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // one line
        EXPECT_NE(run.out.find("{0001011}"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Page_10") != std::string::npos, c.lastPage) << run.out;
    }
}

// While a recording is decoded, the engine's clock is the recording's time:
// a 3-hour recording decoded as fast as possible writes its hourly
// reports, and pages are stamped with their time in the recording. The
// start is --start, else the file's modification time minus its length.
TEST_F(Cli, RecordingsKeepTheirOwnTime) {
    const std::string input = MakePages("pocsag:1200:1234567:3:alpha:Early pocsag:2400:1234567:3:alpha:Late", "3600");
    std::vector<EdgeEntry> edges;
    AttachStatus problem;
    ASSERT_TRUE(ReadEdgeFile(input, edges, problem));
    double seconds = 0;
    for (const EdgeEntry& e : edges) seconds += e.duration * kTickSeconds;
    std::tm start{};
    start.tm_year = 2026 - 1900, start.tm_mon = 11, start.tm_mday = 6, start.tm_hour = 13, start.tm_min = 59;
    start.tm_isdst = -1;
    const std::time_t end = std::mktime(&start) + static_cast<std::time_t>(seconds);
    const timespec times[2] = {{end, 0}, {end, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), times, 0), 0);
    const std::string stats = dir_ / "net.st";
    const std::string ini = Write("stats.ini", "[Tolvane]\nTimestamp=1\nStatFileEnabled=1\nStatFile=" + stats + "\n");
    for (const char* option : {"--start '2026-12-06 13:59:00' ", ""}) {
        SCOPED_TRACE(option);
        std::remove(stats.c_str());
        const CliRun run = RunCli(option + ("--ini " + ini + " ") + input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(" 14:59:0"), std::string::npos) << run.out;
        const std::string report = testing::ReadFile(stats);
        int hourly = 0;
        for (auto at = report.find("HOURLY"); at != std::string::npos; at = report.find("HOURLY", at + 1)) ++hourly;
        EXPECT_EQ(hourly, 3) << report;  // 14:00, 15:00 and 16:00
    }
}

// The options over the settings file: the German letters printed in
// UTF-8, the repeat folded and counted on standard error, a long FLEX text
// joined or in its fragments.
TEST_F(Cli, PagesReadAsChosen) {
    const std::string ini = Write("plain.ini", "[Tolvane]\nTimestamp=0\nShowFrame=0\n");
    const std::string pocsag = MakePages("pocsag:1200:111:3:alpha:Gr}~e pocsag:1200:111:3:alpha:Gr}~e");
    CliRun run = RunCli("--ini " + ini + " --charset german --repeat-window 60 " + pocsag);
    EXPECT_EQ(run.out, "{0000111} 4 1200 Gr\u00fc\u00dfe\n");
    EXPECT_EQ(run.err, "tolvane-cli: repeated pages folded: 1\n");
    run = RunCli("--ini " + ini + " " + pocsag);
    EXPECT_EQ(run.out, "{0000111} 4 1200 Gr}~e\n{0000111} 4 1200 Gr}~e\n");

    const std::string flex = MakePages("flex:1600/2:1:0:alpha:" + std::string(400, 'x'));
    EXPECT_EQ(RunCli("--ini " + ini + " " + flex).out, "[0000001]    A  ALPHA  " + std::string(400, 'x') + "\n");
    EXPECT_EQ(RunCli("--ini " + ini + " --join-fragments 0 " + flex).out.find(std::string(400, 'x')), std::string::npos);
}

}  // namespace
}  // namespace tolvane
