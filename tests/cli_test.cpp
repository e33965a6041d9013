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
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
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

// A run ended from outside ends like the end of its input: status 0 and
// the log written. Standard output closed by the reader (| head -1), SIGHUP
// and SIGTERM alike.
TEST_F(Cli, StoppedRunEndsLikeTheEndOfItsInput) {
    const std::string input = MakePages("pocsag:1200:1234567:3:alpha:First pocsag:2400:1234567:3:alpha:Second", "1.5");
    const std::string log = dir_ / "stopped.log";
    const std::string status = dir_ / "status";
    const std::string ini = Write("log.ini", "[Tolvane]\nTimestamp=0\nLogFileEnabled=1\nLogFile=" + log + "\n");
    const std::string run = kCli + " --realtime --ini " + ini + " " + input;
    for (const std::string& script :
         {"(" + run + "; echo $? >" + status + ") | head -1 >/dev/null",
          run + " >/dev/null & p=$!; sleep 3.5; kill -HUP $p; wait $p; echo $? >" + status,
          run + " >/dev/null & p=$!; sleep 3.5; kill -TERM $p; wait $p; echo $? >" + status}) {
        SCOPED_TRACE(script);
        std::remove(log.c_str());
        Shell(script);
        EXPECT_EQ(testing::ReadFile(status), "0\n");
        EXPECT_EQ(testing::ReadFile(log).rfind("{1234567} 4 1200 First\n", 0), 0u) << testing::ReadFile(log);
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
