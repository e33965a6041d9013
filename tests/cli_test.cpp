// tolvane-cli as a program: its help, its failures and what reaches
// standard output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "receiver/edge_file.h"
#include "tools/gen/page_description.h"
#include "tools/gen/pocsag_encoder.h"

namespace tolvane {
namespace {

const std::string kCli = std::string(TOLVANE_BINARY_DIR) + "/app/cli/tolvane-cli";
// CTest runs the cases of this file in parallel processes: one set of
// files per process.
const std::string kTemp = std::string(TOLVANE_BINARY_DIR) + "/tests/cli_test_" + std::to_string(::getpid()) + "_";

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The arguments are the test's own, never received text. A run that takes
// longer than `seconds` is killed (status 124).
CliRun RunCli(const std::string& args, int seconds = 60) {
    const std::string errPath = kTemp + "stderr.txt";
    CliRun run;
    const std::string command = "timeout " + std::to_string(seconds) + " " + kCli + " " + args + " 2>" + errPath;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    {
        std::ifstream err(errPath);
        std::stringstream text;
        text << err.rdbuf();
        run.err = text.str();
    }
    std::remove(errPath.c_str());
    return run;
}

// Files a test writes; removed when it ends.
class TempFiles {
public:
    ~TempFiles() {
        for (const std::string& path : paths_) std::remove(path.c_str());
    }
    std::string Write(const std::string& name, const std::string& content) {
        paths_.push_back(kTemp + name);
        std::ofstream(paths_.back()) << content;
        return paths_.back();
    }
    std::string Name(const std::string& name) {
        paths_.push_back(kTemp + name);
        return paths_.back();
    }

private:
    std::vector<std::string> paths_;
};

TEST(Cli, HelpDocumentsTheInterface) {
    const CliRun run = RunCli("--help");
    EXPECT_EQ(run.status, 0);
    for (const char* word : {"--ini", "--realtime", "INPUT", "serial:", "standard output", "Exit status"})
        EXPECT_NE(run.out.find(word), std::string::npos) << word;
    EXPECT_EQ(run.err, "");
}

TEST(Cli, FailuresGiveOneLineAndNonZeroStatus) {
    TempFiles files;
    files.Write("notedges.tve", "this is not an edge stream");
    files.Write("empty.ini", "");
    struct Case {
        std::string args;
        int status;
    };
    const std::vector<Case> cases = {
        {kTemp + "missing.tve", 1},
        {kTemp + "notedges.tve", 1},
        {"--ini " + kTemp + "missing.ini " + kTemp + "notedges.tve", 1},
        {"--ini " + std::string(TOLVANE_BINARY_DIR) + " " + kTemp + "notedges.tve", 1},
        {"--ini", 2},
        {"--bogus x.tve", 2},
        {"--start '2026-02-30 10:00' x.tve", 2},
        {"--start @12x x.tve", 2},
        {"--start @0 audio:default", 2},
        {"--ini " + kTemp + "empty.ini a.tve b.tve", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
    }
}

// An edge stream of these pages, as a transmitter sends them: one
// transmission per group, `gap` seconds of silence after each.
std::string MakePages(TempFiles& files, const std::vector<std::vector<std::string>>& groups, double gap = 0) {
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.2);
    std::string error;
    for (const auto& group : groups) {
        std::vector<gen::PageDescription> pages(group.size());
        for (std::size_t i = 0; i < pages.size(); ++i) EXPECT_TRUE(gen::ParsePageDescription(group[i], pages[i], error)) << error;
        EXPECT_TRUE(gen::EncodePocsagPages(pages, gen::EncodeOptions{}, stream, error)) << error;
        if (gap > 0) gen::AppendSilence(stream, 0, gap);
    }
    EdgeFileWriter writer;
    const std::string input = files.Name("pages.tve");
    EXPECT_TRUE(writer.Open(input));
    for (const EdgeEntry& e : gen::SymbolsToEdges(stream, gen::ChannelOptions{})) writer.AddRun(e.duration, e.lineState);
    EXPECT_TRUE(writer.Close());
    return input;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a shell script (the test's own text) and returns its standard output.
std::string RunScript(const std::string& script) {
    std::string out;
    std::FILE* pipe = ::popen(script.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

TEST(Cli, PrintsEachPageLineAndNothingElse) {
    TempFiles files;
    const std::string input = MakePages(files, {{"pocsag:1200:1234567:3:alpha:Hello world",
                                                 "pocsag:1200:99:0:alpha:Bell\\x07 \\x1B[2J done!",
                                                 "pocsag:1200:1234560:0:numeric:0123456789"}});

    files.Write("quiet.ini", "[Tolvane]\nTimestamp=0\n");
    CliRun run = RunCli("--ini " + kTemp + "quiet.ini " + input);
    EXPECT_EQ(run.status, 0);
    // Control characters from the air never reach the terminal.
    EXPECT_EQ(run.out,
              "{1234567} 4 1200 Hello world\n"
              "{0000099} 1 1200 Bell. .[2J done! \n"
              "{1234560} 1 1200 0123456789\n");
    EXPECT_EQ(run.err, "");

    files.Write("stamped.ini", "[Tolvane]\nTimestamp=1\nShowNumeric=0\n");
    run = RunCli("--ini " + kTemp + "stamped.ini " + input);
    EXPECT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line.rfind("{", 0), 0u) << line;
        EXPECT_NE(line.find(" 1200 "), std::string::npos) << line;
        EXPECT_GT(line.find(" 1200 "), std::string("{1234567} 4").size()) << line;  // a time stands in between
    }
    EXPECT_EQ(count, 2);  // the numeric page is not shown
}

// A log that cannot be written (a missing directory, a FIFO nobody reads)
// is skipped with one line on standard error; the pages are still printed
// and the run does not wait for a reader.
TEST(Cli, UnwritableLogIsToldOnStandardError) {
    TempFiles files;
    const std::string input = MakePages(files, {{"pocsag:1200:1234567:3:alpha:First", "pocsag:1200:1234567:3:alpha:Second"}});
    const std::string fifo = files.Name("log.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string log;
        std::string reason;
    } cases[] = {
        {kTemp + "missing/pages.log", "No such file or directory"},
        {fifo, "no program reads from it"},
        {"/dev/full", "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        files.Write("log.ini", "[Tolvane]\nTimestamp=0\nLogFileEnabled=1\nLogFile=" + c.log + "\n");
        const CliRun run = RunCli("--ini " + kTemp + "log.ini " + input, 20);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "{1234567} 4 1200 First\n{1234567} 4 1200 Second  \n");
        EXPECT_EQ(run.err, "tolvane-cli: cannot write " + c.log + ": " + c.reason + " (skipped until it works again)\n");
    }
}

// A run ended from outside ends like the end of its input: status 0 and
// the log written. Standard output closed by the reader (| head -1), SIGHUP
// and SIGTERM alike.
TEST(Cli, StoppedRunEndsLikeTheEndOfItsInput) {
    TempFiles files;
    const std::string input =
        MakePages(files, {{"pocsag:1200:1234567:3:alpha:First"}, {"pocsag:1200:1234567:3:alpha:Second"}}, 3);
    const std::string log = files.Name("stopped.log");
    const std::string status = files.Name("status");
    files.Write("log.ini", "[Tolvane]\nTimestamp=0\nLogFileEnabled=1\nLogFile=" + log + "\n");
    const std::string run = kCli + " --realtime --ini " + kTemp + "log.ini " + input;
    const struct {
        const char* how;
        std::string script;
    } cases[] = {
        {"head", "(" + run + "; echo $? >" + status + ") | head -1 >/dev/null"},
        {"SIGHUP", run + " >/dev/null & p=$!; sleep 2.5; kill -HUP $p; wait $p; echo $? >" + status},
        {"SIGTERM", run + " >/dev/null & p=$!; sleep 2.5; kill -TERM $p; wait $p; echo $? >" + status},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        std::remove(log.c_str());
        RunScript(c.script);
        EXPECT_EQ(Slurp(status), "0\n");
        EXPECT_EQ(Slurp(log).rfind("{1234567} 4 1200 First\n", 0), 0u) << Slurp(log);
    }
}

// A filter command's output is its own: standard output of the decoder
// holds pane lines only.
TEST(Cli, FilterCommandDoesNotWriteIntoTheOutput) {
    TempFiles files;
    const std::string input = MakePages(files, {{"pocsag:1200:1234567:3:alpha:First"}});
    files.Write("cmd.ini",
                "[Tolvane]\nTimestamp=0\n[Filter]\nFilterCmdFileEnabled=1\nFilterCmdFile=/bin/echo\n"
                "FilterCmdArgs=%m\nFilterCount=1\nFilter1=2,\"1234567\",0,\"\",\"\",1,0,0\n");
    const CliRun run = RunCli("--ini " + kTemp + "cmd.ini " + input);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{1234567} 4 1200 First\n");
}

// While a recording is decoded, the engine's clock is the recording's time:
// a 2.2-hour recording decoded as fast as possible writes its hourly
// reports, and pages are stamped with their time in the recording. The
// start is --start, else the file's modification time minus its length.
TEST(Cli, RecordingsKeepTheirOwnTime) {
    TempFiles files;
    const std::string input = files.Name("long.tve");
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 11;
    start.tm_mday = 6;
    start.tm_hour = 13;
    start.tm_min = 59;
    start.tm_isdst = -1;
    const std::time_t startTime = std::mktime(&start);
    const double seconds = 2.2 * 3600;
    {
        gen::PageDescription page;
        std::string error;
        ASSERT_TRUE(gen::ParsePageDescription("pocsag:1200:1234567:3:alpha:Early", page, error));
        gen::SymbolStream stream;
        gen::AppendSilence(stream, 0, 0.2);
        ASSERT_TRUE(gen::EncodePocsagPages({page}, gen::EncodeOptions{}, stream, error)) << error;
        EdgeFileWriter writer;
        ASSERT_TRUE(writer.Open(input));
        std::uint64_t ticks = 0;
        for (const EdgeEntry& e : gen::SymbolsToEdges(stream, gen::ChannelOptions{})) {
            writer.AddRun(e.duration, e.lineState);
            ticks += e.duration;
        }
        writer.AddRun(static_cast<std::uint64_t>(seconds / kTickSeconds) - ticks, 0);
        ASSERT_TRUE(writer.Close());
    }
    const timespec times[2] = {{startTime + static_cast<std::time_t>(seconds), 0},
                               {startTime + static_cast<std::time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, input.c_str(), times, 0), 0);
    const std::string stats = files.Name("net.st");
    files.Write("stats.ini", "[Tolvane]\nTimestamp=1\nStatFileEnabled=1\nStatFile=" + stats + "\n");
    for (const std::string& option : {std::string("--start '2026-12-06 13:59:00' "), std::string()}) {
        SCOPED_TRACE(option);
        std::remove(stats.c_str());
        const CliRun run = RunCli(option + "--ini " + kTemp + "stats.ini " + input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(" 13:59:0"), std::string::npos) << run.out;
        const std::string report = Slurp(stats);
        int hourly = 0;
        for (std::size_t at = report.find("HOURLY"); at != std::string::npos; at = report.find("HOURLY", at + 1)) ++hourly;
        EXPECT_EQ(hourly, 3) << report;  // 14:00, 15:00 and 16:00
    }
}

}  // namespace
}  // namespace tolvane
