// Publishing to a real broker: one mosquitto on 127.0.0.1 at a free port for
// the suite, keeping sessions across its restart; each test a receiver name
// of its own and a mosquitto_sub whose session the broker keeps. The pages
// are compared with what --json prints in the same run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/mqtt_publisher.h"
#include "support/fake_world.h"
#if TOLVANE_WITH_DESKTOP
#include <QApplication>

#include "app/desktop/main_window.h"
#endif

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kBin = TOLVANE_BINARY_DIR;
const fs::path kDir = fs::path(kBin) / "tests" / ("mqtt_" + std::to_string(::getpid()));

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (const auto until = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() >= until) return false;
#if TOLVANE_WITH_DESKTOP
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
#endif
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A free port when `port` is 0; else whether something listens there.
int Probe(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    auto* at = reinterpret_cast<sockaddr*>(&a);
    const int result = port != 0 ? ::connect(s, at, size) == 0
                                 : (::bind(s, at, size) == 0 && ::getsockname(s, at, &size) == 0 ? ntohs(a.sin_port) : 0);
    ::close(s);
    return result;
}

std::string Text(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream text(Text(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// A child process with standard output and error in NAME.out and NAME.err.
class Child {
public:
    Child(std::vector<std::string> args, const std::string& name) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, (kDir / (name + ".out")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, (kDir / (name + ".err")).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Child() { Stop(SIGKILL); }
    // Exit status, or -1 when it did not end in time (it is then killed).
    int Wait(std::chrono::milliseconds limit) {
        int status = -1;
        if (!WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return Stop(SIGKILL), -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Stop(int signal) {
        if (pid_ > 0 && ::kill(pid_, signal) == 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

class Mqtt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::create_directories(kDir / "db");
        fs::permissions(kDir / "db", fs::perms::all);  // the broker may drop root's rights
        std::ofstream(kDir / "broker.conf") << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                                            << "persistence true\npersistence_location " << (kDir / "db").string() << "/\n";
        ASSERT_TRUE(StartBroker());
    }
    static void TearDownTestSuite() {
        broker_.reset();
        fs::remove_all(kDir);
    }
    static bool StartBroker() {
        // Debian puts the broker in /usr/sbin, which a user's PATH may lack.
        broker_ = std::make_unique<Child>(std::vector<std::string>{fs::exists("/usr/sbin/mosquitto") ? "/usr/sbin/mosquitto" : "mosquitto",
                                                                   "-c", (kDir / "broker.conf").string()}, "broker");
        return WaitFor([] { return Probe(port_) != 0; }, 5s);
    }

    void SetUp() override {
        receiver_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::ofstream(kDir / "rx.ini") << "[Tolvane]\nReceiverName=" << receiver_ << "\n";
        const std::string port = std::to_string(port_);
        subscriber_ = std::make_unique<Child>(std::vector<std::string>{"mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-q", "1",
                                                                       "-c", "-i", receiver_, "-t", "tolvane/" + receiver_ + "/#", "-v"},
                                              receiver_);
        // Subscribed once a message of its own comes back.
        ASSERT_TRUE(WaitFor([&] {
            Child({"mosquitto_pub", "-h", "127.0.0.1", "-p", port, "-t", "tolvane/" + receiver_ + "/probe", "-m", "x"}, "pub").Wait(5s);
            return !On("probe").empty();
        }, 10s));
    }

    // The payloads on tolvane/RECEIVER/LEAF so far, each once (QoS 1 may
    // deliver one twice around a lost connection).
    std::vector<std::string> On(const std::string& leaf) const {
        const std::string topic = "tolvane/" + receiver_ + "/" + leaf + " ";
        std::vector<std::string> payloads;
        for (const std::string& line : Lines(kDir / (receiver_ + ".out")))
            if (line.rfind(topic, 0) == 0 && std::find(payloads.begin(), payloads.end(), line.substr(topic.size())) == payloads.end())
                payloads.push_back(line.substr(topic.size()));
        return payloads;
    }
    static std::string Recording(const std::vector<std::string>& pages, const std::string& gap = "0.5") {
        std::vector<std::string> args = {kBin + "/tools/gen/tolvane-gen", "--gap", gap, "-o", (kDir / "pages.tve").string()};
        args.insert(args.end(), pages.begin(), pages.end());
        EXPECT_EQ(Child(args, "gen").Wait(10s), 0);
        return (kDir / "pages.tve").string();
    }
    std::unique_ptr<Child> Cli(std::vector<std::string> args, const std::string& input, const std::string& name) {
        args.insert(args.begin(), {kBin + "/app/cli/tolvane-cli", "--ini", (kDir / "rx.ini").string()});
        args.push_back(input);
        return std::make_unique<Child>(args, name);
    }
    static std::string Url(int port) { return "mqtt://127.0.0.1:" + std::to_string(port); }

    static inline const int port_ = Probe(0);
    static inline std::unique_ptr<Child> broker_;
    std::string receiver_;
    std::unique_ptr<Child> subscriber_;
};

const std::vector<std::string> kMixed = {
    "pocsag:1200:1234567:3:alpha:Fire at \"Main St\" \\\\ unit 7",  // one backslash on the air
    "pocsag:1200:0000042:0:numeric:555 0123", "flex:1600/2:1234568:0:alpha:FLEX page",
    "flex:1600/2:123456789:0:numeric:4711", "gsc:600:123456:1:alpha:GOLAY PAGE"};

TEST_F(Mqtt, EveryPageArrivesAsItsJsonLineBetweenOnlineAndOffline) {
    ASSERT_EQ(Cli({"--json", "--mqtt", Url(port_)}, Recording(kMixed), "run")->Wait(30s), 0);
    const std::vector<std::string> printed = Lines(kDir / "run.out");
    ASSERT_EQ(printed.size(), kMixed.size()) << Text(kDir / "run.err");
    EXPECT_TRUE(WaitFor([&] { return On("pages").size() >= printed.size() && On("status").size() == 2; }, 5s));
    EXPECT_EQ(On("pages"), printed);
    const char* kCapcodes[] = {"1234567", "0000042", "1234568", "123456789", "123456"};
    const char* kProtocols[] = {"POCSAG", "POCSAG", "FLEX", "FLEX", "GSC"};
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const auto page = nlohmann::json::parse(printed[i]);
        EXPECT_EQ(page["receiver"], receiver_);
        EXPECT_EQ(page["capcode"], kCapcodes[i]);
        EXPECT_EQ(page["protocol"], kProtocols[i]);
    }
    EXPECT_EQ(On("status"), (std::vector<std::string>{"online", "offline"}));
}

TEST_F(Mqtt, ABrokerRestartLosesNoPage) {
    const std::string input =
        Recording({"pocsag:1200:1001:0:alpha:one", "pocsag:2400:1002:1:alpha:two", "pocsag:1200:1003:2:alpha:three",
                   "pocsag:2400:1004:3:alpha:four", "pocsag:1200:1005:0:alpha:five", "pocsag:2400:1006:1:alpha:six"},
                  "0.3");
    auto cli = Cli({"--realtime", "--json", "--mqtt", Url(port_)}, input, "run");
    ASSERT_TRUE(WaitFor([&] { return !On("pages").empty(); }, 10s));
    broker_->Stop(SIGTERM);
    // Pages keep coming while the broker is away.
    const std::size_t before = Lines(kDir / "run.out").size();
    EXPECT_TRUE(WaitFor([&] { return Lines(kDir / "run.out").size() >= before + 2; }, 10s));
    ASSERT_TRUE(StartBroker());
    ASSERT_EQ(cli->Wait(30s), 0);
    const std::vector<std::string> printed = Lines(kDir / "run.out");
    ASSERT_EQ(printed.size(), 6u);
    EXPECT_TRUE(WaitFor([&] { return On("pages").size() >= printed.size(); }, 10s));
    EXPECT_EQ(On("pages"), printed);
    const std::string err = Text(kDir / "run.err");
    EXPECT_NE(err.find("lost"), std::string::npos) << err;
    EXPECT_EQ(err.find("not delivered"), std::string::npos) << err;
}

TEST_F(Mqtt, WithoutABrokerDecodingAndOutputsStayAsTheyAre) {
    const std::string input = Recording(kMixed);
    ASSERT_EQ(Cli({"--start", "@1000000000"}, input, "plain")->Wait(30s), 0);
    ASSERT_EQ(Cli({"--start", "@1000000000", "--mqtt", Url(Probe(0))}, input, "mqtt")->Wait(30s), 0);
    EXPECT_GT(Lines(kDir / "plain.out").size(), kMixed.size());  // the pages and a FLEX frame row
    EXPECT_EQ(Text(kDir / "mqtt.out"), Text(kDir / "plain.out"));
    const std::string err = Text(kDir / "mqtt.err");
    EXPECT_NE(err.find("cannot reach the broker"), std::string::npos) << err;
    EXPECT_NE(err.find(std::to_string(kMixed.size()) + " records not delivered"), std::string::npos) << err;
}

TEST_F(Mqtt, StatusGoesOfflineWhenTheDecoderIsKilled) {
    auto cli = Cli({"--realtime", "--mqtt", Url(port_)}, Recording(kMixed), "run");
    ASSERT_TRUE(WaitFor([&] { return On("status") == std::vector<std::string>{"online"}; }, 10s));
    cli->Stop(SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return On("status").size() == 2; }, 5s));
    EXPECT_EQ(On("status"), (std::vector<std::string>{"online", "offline"}));
}

#if TOLVANE_WITH_DESKTOP
// The desktop program publishes from its settings, takes a change at once,
// shows trouble in the status line and keeps what was dropped for the report.
TEST_F(Mqtt, TheDesktopPublishesWhatItsSettingsSay) {
    int argc = 1;
    char name[] = "mqtt_test";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    testing::FakeSound sound;
    Settings settings;
    settings.ConfirmExit = 0;
    settings.Machine.ReceiverName = receiver_;
    settings.Machine.MqttBroker = Url(Probe(0));
    desktop::MainWindow window(settings, {}, sound);
    ASSERT_TRUE(WaitFor([&] { return window.StatusText().contains("cannot reach the broker"); }, 5s));
    constexpr PageFacts kFacts{PageProtocol::Pocsag, "1200", 0, 0, PageType::Alpha};
    testing::WritePage(window.engine().output(), FilterType::Pocsag, "1234567", 1, 2, "queued", ColorClass::Alphanumeric, &kFacts);

    settings.Machine.MqttBroker = Url(port_);
    window.ApplySettings(settings, static_cast<unsigned>(desktop::SettingsChange::Machine));
    EXPECT_EQ(window.engine().Reports().records->TakeDropped(), 1u);  // never reached the broker
    ASSERT_TRUE(WaitFor([&] { return On("status") == std::vector<std::string>{"online"}; }, 5s));
    EXPECT_EQ(window.StatusText(), "");
    testing::WritePage(window.engine().output(), FilterType::Pocsag, "1234567", 1, 2, "sent", ColorClass::Alphanumeric, &kFacts);
    ASSERT_TRUE(WaitFor([&] { return On("pages").size() == 1; }, 5s));
    EXPECT_EQ(nlohmann::json::parse(On("pages")[0])["message"], "sent");

    settings.Machine.MqttBroker = "mqtt://:1";
    window.ApplySettings(settings, static_cast<unsigned>(desktop::SettingsChange::Machine));
    EXPECT_TRUE(WaitFor([&] { return On("status").size() == 2; }, 5s));  // a clean "offline"
    EXPECT_TRUE(window.StatusText().startsWith("MQTT: the broker URL names no host"));
    EXPECT_EQ(window.Publisher(), nullptr);
}
#endif

TEST(MqttUrl, GivesBrokerCredentialsAndTopicOrAReason) {
    struct Case {
        const char* url;
        const char* host = nullptr;  // refused
        int port = 0;
        const char* user = "";
        const char* password = "";
        const char* topic = "";
    };
    MachineChoice machine;
    machine.MqttTopic = "settings/topic";
    machine.MqttUser = "settings-user";
    machine.MqttClientId = "client-7";
    for (const Case& c : {Case{"mqtt://broker.lan", "broker.lan", 1883, "settings-user", "", "settings/topic"},
                          Case{"broker.lan:1884/site/pages", "broker.lan", 1884, "settings-user", "", "site/pages"},
                          Case{"mqtt://me:p@ss:w@[::1]:8883/", "::1", 8883, "me", "p@ss:w", "settings/topic"},
                          Case{"mqtts://broker.lan"}, Case{"mqtt://:1883"}, Case{"mqtt://broker.lan:0"},
                          Case{"mqtt://broker.lan:99999"}, Case{"mqtt://broker.lan:12ab"}, Case{"mqtt://[::1"}}) {
        MqttOptions options;
        std::string error;
        ASSERT_EQ(MqttOptionsFor(c.url, machine, "roof/+#\x01", options, error), c.host != nullptr) << c.url;
        if (c.host == nullptr) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options.host, c.host);
        EXPECT_EQ(options.port, c.port);
        EXPECT_EQ(options.user, c.user);
        EXPECT_EQ(options.password, c.password);
        EXPECT_EQ(options.pagesTopic, c.topic);
        EXPECT_EQ(options.statusTopic, "tolvane/roof____/status");
        EXPECT_EQ(options.clientId, "client-7");
    }
    MqttOptions options;
    std::string error;
    machine.MqttPasswordFile = "/nonexistent/password";
    EXPECT_FALSE(MqttOptionsFor("broker", machine, "rx", options, error));
    EXPECT_NE(error.find("/nonexistent/password"), std::string::npos);
}

TEST(MqttQueue, KeepsItsBoundAndCountsWhatItDrops) {
    MqttOptions options;
    options.host = "127.0.0.1";
    options.port = Probe(0);
    options.queueLimit = 2;
    SetReceiverTopics(options, "rx");
    MqttPublisher publisher(options);
    for (int i = 0; i < 5; ++i) publisher.PageRecorded("{}");
    EXPECT_EQ(publisher.TakeDropped(), 3u);
    EXPECT_EQ(publisher.TakeDropped(), 0u);
    publisher.Start();
    publisher.Finish(0ms);  // nobody to deliver to: the two queued ones are lost too
    EXPECT_EQ(publisher.Dropped(), 5u);
    EXPECT_EQ(publisher.Delivered(), 0u);
}

}  // namespace
}  // namespace tolvane
