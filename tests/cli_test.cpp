// tolvane-cli as a program: its help, its failures and what reaches
// standard output.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

// The arguments are the test's own, never received text.
CliRun RunCli(const std::string& args) {
    const std::string errPath = kTemp + "stderr.txt";
    CliRun run;
    std::FILE* pipe = ::popen((kCli + " " + args + " 2>" + errPath).c_str(), "r");
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

TEST(Cli, PrintsEachPageLineAndNothingElse) {
    std::vector<gen::PageDescription> pages(3);
    std::string error;
    ASSERT_TRUE(gen::ParsePageDescription("pocsag:1200:1234567:3:alpha:Hello world", pages[0], error));
    ASSERT_TRUE(gen::ParsePageDescription("pocsag:1200:99:0:alpha:Bell\\x07 \\x1B[2J done!", pages[1], error));
    ASSERT_TRUE(gen::ParsePageDescription("pocsag:1200:1234560:0:numeric:0123456789", pages[2], error));
    gen::SymbolStream stream;
    gen::AppendSilence(stream, 0, 0.2);
    ASSERT_TRUE(gen::EncodePocsagPages(pages, gen::EncodeOptions{}, stream, error)) << error;
    TempFiles files;
    EdgeFileWriter writer;
    const std::string input = files.Name("pages.tve");
    ASSERT_TRUE(writer.Open(input));
    for (const EdgeEntry& e : gen::SymbolsToEdges(stream, gen::ChannelOptions{})) writer.AddRun(e.duration, e.lineState);
    ASSERT_TRUE(writer.Close());

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

}  // namespace
}  // namespace tolvane
