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
// Debian puts the broker in /usr/sbin, which a user's PATH may lack.
const std::string kBroker = fs::exists("/usr/sbin/mosquitto") ? "/usr/sbin/mosquitto" : "mosquitto";
const fs::path kDir = fs::path(kBin) / "tests" / ("mqtt_" + std::to_string(::getpid()));

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (const auto until = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(20ms)) {
        if (std::chrono::steady_clock::now() >= until) return false;
#if TOLVANE_WITH_DESKTOP
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
#endif
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

std::vector<std::string> Lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
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
        for (const auto& [fd, ext] : {std::pair{1, ".out"}, {2, ".err"}})
            posix_spawn_file_actions_addopen(&files, fd, (kDir / (name + ext)).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Child() { Stop(SIGKILL); }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status, or -1 when it did not end in time (it is killed then).
    int Wait(std::chrono::milliseconds limit) {
        int status = -1;
        const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        Stop(SIGKILL);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // False when it had ended already.
    bool Stop(int signal) {
        const bool running = pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0 && ::kill(pid_, signal) == 0;
        if (running) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return running;
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
                                            << "persistence true\nautosave_on_changes true\nautosave_interval 1\npersistence_location " << (kDir / "db").string() << "/\n";
        ASSERT_TRUE(StartBroker());
    }
    static void TearDownTestSuite() {
        broker_.reset();
        fs::remove_all(kDir);
    }
    static bool StartBroker() {
        broker_ = std::make_unique<Child>(std::vector<std::string>{kBroker, "-c", (kDir / "broker.conf").string()}, "broker");
        return WaitFor([] { return Probe(port_) != 0; }, 5s);
    }

    void SetUp() override {
        receiver_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::ofstream(kDir / "rx.ini") << "[Tolvane]\nReceiverName=" << receiver_ << "\n";
        const std::string port = std::to_string(port_), topic = "tolvane/" + receiver_ + "/";
        subscriber_ = std::make_unique<Child>(std::vector<std::string>{"mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-q",
                                                                       "1", "-c", "-i", receiver_, "-t", topic + "#", "-v"},
                                              receiver_);
        // Subscribed once a message of its own comes back.
        ASSERT_TRUE(WaitFor([&] {
            Child({"mosquitto_pub", "-h", "127.0.0.1", "-p", port, "-t", topic + "probe", "-m", "x"}, "pub").Wait(5s);
            return !On("probe").empty();
        }, 10s));
    }

    // The payloads on tolvane/RECEIVER/LEAF so far, each once (QoS 1 may
    // deliver one twice around a lost connection).
    std::vector<std::string> On(const std::string& leaf) const {
        const std::string topic = "tolvane/" + receiver_ + "/" + leaf + " ";
        std::vector<std::string> payloads;
        for (const std::string& line : Lines(kDir / (receiver_ + ".out"))) {
            const std::string payload = line.substr(std::min(topic.size(), line.size()));
            if (line.rfind(topic, 0) == 0 && std::find(payloads.begin(), payloads.end(), payload) == payloads.end())
                payloads.push_back(payload);
        }
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

// Without a broker a run prints what it prints with one. With one, every
// page arrives as its JSON line between "online" and "offline"; pages
// printed while the broker was away arrive once it is back; the last will
// says offline when the decoder is killed.
TEST_F(Mqtt, PagesArriveAsPrintedAcrossABrokerRestart) {
    const std::string input = Recording({"pocsag:1200:1234567:3:alpha:Fire at \"Main St\" \\\\ unit 7",
                                         "pocsag:1200:0000042:0:numeric:555 0123", "flex:1600/2:1234568:0:alpha:FLEX",
                                         "flex:1600/2:123456789:0:numeric:4711", "gsc:600:123456:1:alpha:GOLAY PAGE"});
    ASSERT_EQ(Cli({"--json", "--mqtt", Url(Probe(0))}, input, "away")->Wait(30s), 0);
    ASSERT_EQ(Cli({"--json", "--mqtt", Url(port_)}, input, "run")->Wait(30s), 0);
    EXPECT_EQ(testing::ReadFile(kDir / "away.out"), testing::ReadFile(kDir / "run.out"));
    const std::string away = testing::ReadFile(kDir / "away.err");
    EXPECT_NE(away.find("cannot reach the broker"), std::string::npos) << away;
    EXPECT_NE(away.find("5 records not delivered"), std::string::npos) << away;
    EXPECT_TRUE(WaitFor([&] { return On("status").size() == 2; }, 5s));
    EXPECT_EQ(On("status"), (std::vector<std::string>{"online", "offline"}));
    // The fields of every kind of page are pinned by the golden recordings' NAME.json.
    ASSERT_EQ(On("pages"), Lines(kDir / "run.out"));
    EXPECT_EQ(On("pages").size(), 5u);

    const std::string slow = Recording({"pocsag:1200:1001:0:alpha:one", "pocsag:2400:1002:1:alpha:two",
                                        "pocsag:1200:1003:2:alpha:three", "pocsag:2400:1004:3:alpha:four",
                                        "pocsag:1200:1005:0:alpha:five", "pocsag:2400:1006:1:alpha:six"}, "1");
    auto cli = Cli({"--realtime", "--json", "--mqtt", Url(port_)}, slow, "live");
    const auto live = [&] {
        const std::vector<std::string> pages = On("pages");
        return std::vector<std::string>(pages.begin() + 5, pages.end());
    };
    ASSERT_TRUE(WaitFor([&] { return On("pages").size() > 5; }, 10s));
    // A broker that stops answering, then dies: what it never acknowledged is sent again.
    broker_->Signal(SIGSTOP);
    const std::size_t before = Lines(kDir / "live.out").size();
    EXPECT_TRUE(WaitFor([&] { return Lines(kDir / "live.out").size() >= before + 2; }, 10s));  // decoding goes on
    broker_->Stop(SIGKILL);
    ASSERT_TRUE(StartBroker());
    EXPECT_TRUE(WaitFor([&] { return live().size() >= 3 && live() == Lines(kDir / "live.out"); }, 10s))
        << ::testing::PrintToString(live()) << " against " << ::testing::PrintToString(Lines(kDir / "live.out"));
    const std::string err = testing::ReadFile(kDir / "live.err");
    EXPECT_NE(err.find("lost"), std::string::npos) << err;
    ASSERT_TRUE(cli->Stop(SIGKILL)) << "ended before it could be killed";
    const std::string will = "tolvane/" + receiver_ + "/status offline";
    EXPECT_TRUE(WaitFor([&] { return Lines(kDir / (receiver_ + ".out")).back() == will; }, 5s));
}

// With several channels each channel's pages have a topic of their own
// below the pages topic, the name made fit for one.
TEST_F(Mqtt, ChannelPagesGoToTheirChannelsTopic) {
    MqttOptions options;
    std::string error;
    ASSERT_TRUE(MqttOptionsFor(Url(port_), MachineChoice(), receiver_, options, error)) << error;
    MqttPublisher publisher(std::move(options));
    publisher.Start();
    publisher.ChannelPageRecorded("NYC/1+", "{}");
    EXPECT_TRUE(WaitFor([&] { return On("pages/NYC_1_") == std::vector<std::string>{"{}"}; }, 5s));
    publisher.Finish(1s);
}

// A broker that refuses the connection says why, and is not asked again
// when asking again cannot help; the right password is let in.
TEST_F(Mqtt, RefusedCredentialsAreToldNotRetried) {
    const int port = Probe(0);
    ASSERT_EQ(Child({"mosquitto_passwd", "-b", "-c", (kDir / "passwords").string(), "tolvane", "secret"}, "passwd").Wait(5s), 0);
    std::ofstream(kDir / "locked.conf") << "listener " << port << " 127.0.0.1\nallow_anonymous false\npassword_file "
                                        << (kDir / "passwords").string() << "\n";
    Child broker({kBroker, "-c", (kDir / "locked.conf").string()}, "locked");
    ASSERT_TRUE(WaitFor([&] { return Probe(port) != 0; }, 5s));
    const std::string input = Recording({"pocsag:1200:1234567:3:alpha:Hello"});
    const std::string at = "127.0.0.1:" + std::to_string(port);
    const std::string refused = "MQTT: the broker at " + at + " refused the connection (Connection Refused: not authorised.); "
                                "not retrying";
    for (const auto& [credentials, told] : std::vector<std::pair<std::string, std::string>>{
             {"tolvane:wrong@", refused}, {"", refused}, {"tolvane:secret@", "MQTT: connected to " + at}}) {
        SCOPED_TRACE(credentials);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Cli({"--mqtt", "mqtt://" + credentials + at}, input, "locked-cli")->Wait(30s), 0);
        const std::string err = testing::ReadFile(kDir / "locked-cli.err");
        EXPECT_NE(err.find(told), std::string::npos) << err;
        EXPECT_EQ(err.find("; retrying"), std::string::npos) << err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    }
}

#if TOLVANE_WITH_DESKTOP
// The desktop program publishes from its settings, takes a change at once,
// shows trouble in the status line and keeps what was dropped for the report.
TEST_F(Mqtt, TheDesktopPublishesWhatItsSettingsSay) {
    static char name[] = "mqtt_test", *argv[] = {name, nullptr};
    int argc = 1;
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
    window.ApplySettings(settings);
    EXPECT_EQ(window.engine().Reports().records->TakeDropped(), 1u);  // never reached the broker
    ASSERT_TRUE(WaitFor([&] { return On("status") == std::vector<std::string>{"online"}; }, 5s));
    EXPECT_EQ(window.StatusText(), "");
    testing::WritePage(window.engine().output(), FilterType::Pocsag, "1234567", 1, 2, "sent", ColorClass::Alphanumeric, &kFacts);
    ASSERT_TRUE(WaitFor([&] { return On("pages").size() == 1; }, 5s));
    EXPECT_EQ(nlohmann::json::parse(On("pages")[0])["message"], "sent");

    settings.Machine.MqttBroker = "mqtt://:1";
    window.ApplySettings(settings);
    EXPECT_TRUE(WaitFor([&] { return On("status").size() == 2; }, 5s));  // a clean "offline"
    EXPECT_TRUE(window.StatusText().startsWith("MQTT: the broker URL names no host"));
    EXPECT_EQ(window.Publisher(), nullptr);
}

// A broker that takes the connection and never answers keeps a publisher
// finishing for a second or more: a change of settings must not wait for it.
TEST_F(Mqtt, TheDesktopReplacesAPublisherWithoutWaitingForIt) {
    static char name[] = "mqtt_test", *argv[] = {name, nullptr};
    int argc = 1;
    QApplication app(argc, argv);
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), size), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &size), 0);
    testing::FakeSound sound;
    Settings settings;
    settings.ConfirmExit = 0;
    settings.Machine.ReceiverName = receiver_;
    settings.Machine.MqttBroker = Url(ntohs(a.sin_port));
    {
        desktop::MainWindow window(settings, {}, sound);
        settings.Machine.MqttBroker.clear();
        const auto started = std::chrono::steady_clock::now();
        window.ApplySettings(settings);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
        EXPECT_EQ(window.Publisher(), nullptr);
    }
    ::close(silent);
}
#endif

TEST(MqttOptions, ComeFromTheUrlAndTheSettingsOrWithAReason) {
    MachineChoice machine;
    machine.MqttTopic = "settings/topic";
    machine.MqttUser = "settings-user";
    machine.MqttClientId = "client-7";
    // host port user:password pages-topic status-topic client-id; "" = refused
    for (const auto& [url, expected] : std::vector<std::pair<const char*, std::string>>{
             {"broker.lan:1884", "broker.lan 1884 settings-user: settings/topic tolvane/roof____/status client-7"},
             {"mqtt://me:p@ss:w@[::1]/site", "::1 1883 me:p@ss:w site tolvane/roof____/status client-7"},
             {"mqtts://broker.lan", ""}, {"mqtt://:1883", ""}, {"mqtt://b:99999", ""}, {"mqtt://[::1", ""},
             {"mqtt://b/site/+/pages", ""}, {"mqtt://b/site/#", ""}}) {
        MqttOptions o;
        std::string error;
        const bool ok = MqttOptionsFor(url, machine, "roof/+#\x01", o, error);
        EXPECT_EQ(ok ? o.host + " " + std::to_string(o.port) + " " + o.user + ":" + o.password + " " + o.pagesTopic +
                           " " + o.statusTopic + " " + o.clientId
                     : "",
                  expected);
        EXPECT_NE(error.empty(), expected.empty()) << url;
    }
    MqttOptions options;
    std::string error;
    machine.MqttTopic = "site/#";  // a wildcard is refused from the settings too
    EXPECT_FALSE(MqttOptionsFor("broker", machine, "rx", options, error));
    EXPECT_NE(error.find("site/#"), std::string::npos) << error;
    machine.MqttTopic.clear();
    machine.MqttPasswordFile = "/nonexistent/password";
    EXPECT_FALSE(MqttOptionsFor("broker", machine, "rx", options, error));
    EXPECT_NE(error.find("/nonexistent/password"), std::string::npos);
    options.queueLimit = 2;  // the queue keeps its bound and counts what it drops
    MqttPublisher publisher(options);
    for (int i = 0; i < 5; ++i) publisher.PageRecorded("{}");
    EXPECT_EQ(publisher.TakeDropped(), 3u);
    EXPECT_EQ(publisher.TakeDropped(), 0u);
}

}  // namespace
}  // namespace tolvane
