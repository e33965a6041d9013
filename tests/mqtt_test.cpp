// tolvane-cli --mqtt against a real broker: a mosquitto started for each
// test on 127.0.0.1 at a free port, a subscriber of its own with a session
// the broker keeps across its restart, and the pages compared with what
// --json prints in the same run.
#include <gtest/gtest.h>

#include <mosquitto.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/mqtt_publisher.h"

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kBin = TOLVANE_BINARY_DIR;
const std::string kReceiver = "rx-test";

// Waits for a condition, at most `limit`.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(s);
    return port;
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return ok;
}

// A child process with standard output and error in files.
class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ > 0) Stop(SIGKILL);
    }
    // Exit status, or -1 when it did not end in time (it is then killed).
    int Wait(std::chrono::milliseconds limit) {
        int status = 0;
        const bool ended = WaitFor([&] { return pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended) return Stop(SIGKILL), -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Stop(int signal) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool Running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

// mosquitto on the loopback interface only, keeping sessions across a restart.
class Broker {
public:
    explicit Broker(const fs::path& dir) : dir_(dir), port_(FreePort()) {
        fs::create_directories(dir_ / "db");
        // The broker may drop root's rights to its own user: it must still write here.
        fs::permissions(dir_ / "db", fs::perms::all);
        std::ofstream(dir_ / "broker.conf") << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                                            << "persistence true\npersistence_location " << (dir_ / "db").string()
                                            << "/\n";
    }
    bool Start() {
        broker_ = std::make_unique<Child>(
            // Debian puts the broker in /usr/sbin, which a user's PATH may lack.
            std::vector<std::string>{fs::exists("/usr/sbin/mosquitto") ? "/usr/sbin/mosquitto" : "mosquitto", "-c",
                                     (dir_ / "broker.conf").string()},
            (dir_ / "broker.out").string(), (dir_ / "broker.err").string());
        return WaitFor([this] { return Accepts(port_); }, 5s);
    }
    void Stop() {
        if (broker_) broker_->Stop(SIGTERM);
    }
    int Port() const { return port_; }

private:
    fs::path dir_;
    int port_;
    std::unique_ptr<Child> broker_;
};

// Collects every message under tolvane/#, QoS 1, with a session the broker
// keeps, reconnecting by itself.
class Subscriber {
public:
    explicit Subscriber(int port) {
        mosq_ = mosquitto_new("tolvane-test-subscriber", false, this);
        mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void*, int rc) {
            if (rc == 0) mosquitto_subscribe(m, nullptr, "tolvane/#", 1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* me = static_cast<Subscriber*>(self);
            std::lock_guard lock(me->mutex_);
            me->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                           static_cast<std::size_t>(m->payloadlen))});
        });
        connected_ = mosquitto_connect(mosq_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
                     mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS && WaitFor([this] { return subscribed_.load(); }, 5s);
    }
    ~Subscriber() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
    }
    bool Ready() const { return connected_; }
    std::vector<std::string> On(const std::string& leaf) {
        std::lock_guard lock(mutex_);
        std::vector<std::string> payloads;
        for (const auto& [topic, payload] : messages_)
            if (topic == "tolvane/" + kReceiver + "/" + leaf) payloads.push_back(payload);
        return payloads;
    }
    std::string LastStatus() {
        const std::vector<std::string> status = On("status");
        return status.empty() ? std::string() : status.back();
    }

private:
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    std::atomic<bool> subscribed_{false};
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> messages_;
};

std::vector<std::string> Lines(const fs::path& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

// QoS 1 may deliver a page twice around a lost connection: each once.
std::vector<std::string> Distinct(const std::vector<std::string>& payloads) {
    std::vector<std::string> seen;
    for (const std::string& p : payloads)
        if (std::find(seen.begin(), seen.end(), p) == seen.end()) seen.push_back(p);
    return seen;
}

std::string Text(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Mqtt : public ::testing::Test {
protected:
    static void SetUpTestSuite() { mosquitto_lib_init(); }
    static void TearDownTestSuite() { mosquitto_lib_cleanup(); }

    void SetUp() override {
        dir_ = fs::path(kBin) / "tests" / ("mqtt_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::ofstream(dir_ / "rx.ini") << "[Tolvane]\nReceiverName=" << kReceiver << "\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A recording of these pages (tolvane-gen descriptions), one
    // transmission per change of protocol or rate.
    std::string Recording(const std::vector<std::string>& pages, const std::string& gap = "0.5") {
        const std::string path = (dir_ / "pages.tve").string();
        std::vector<std::string> args = {kBin + "/tools/gen/tolvane-gen", "--gap", gap, "-o", path};
        args.insert(args.end(), pages.begin(), pages.end());
        EXPECT_EQ(Child(args, (dir_ / "gen.out").string(), (dir_ / "gen.err").string()).Wait(10s), 0);
        return path;
    }
    std::unique_ptr<Child> Cli(std::vector<std::string> options, const std::string& input, const std::string& name) {
        std::vector<std::string> args = {kBin + "/app/cli/tolvane-cli", "--ini", (dir_ / "rx.ini").string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(input);
        return std::make_unique<Child>(args, (dir_ / (name + ".out")).string(), (dir_ / (name + ".err")).string());
    }
    std::string Url(int port) const { return "mqtt://127.0.0.1:" + std::to_string(port); }

    fs::path dir_;
};

const std::vector<std::string> kMixed = {
    "pocsag:1200:1234567:3:alpha:Fire at \"Main St\" \\\\ unit 7",  // one backslash on the air
    "pocsag:1200:0000042:0:numeric:555 0123",
    "flex:1600/2:1234568:0:alpha:FLEX page",
    "flex:1600/2:123456789:0:numeric:4711",
    "gsc:600:123456:1:alpha:GOLAY PAGE",
};

TEST_F(Mqtt, EveryPageArrivesAsTheJsonLineWithOnlineThenOffline) {
    Broker broker(dir_);
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port());
    ASSERT_TRUE(subscriber.Ready());
    const std::string input = Recording(kMixed);
    ASSERT_EQ(Cli({"--json", "--mqtt", Url(broker.Port())}, input, "run")->Wait(30s), 0);

    const std::vector<std::string> printed = Lines(dir_ / "run.out");
    ASSERT_EQ(printed.size(), kMixed.size()) << Text(dir_ / "run.err");
    EXPECT_TRUE(WaitFor([&] { return subscriber.On("pages").size() >= printed.size(); }, 5s));
    EXPECT_EQ(subscriber.On("pages"), printed);
    const std::vector<std::string> capcodes = {"1234567", "0000042", "1234568", "123456789", "123456"};
    const std::vector<std::string> protocols = {"POCSAG", "POCSAG", "FLEX", "FLEX", "GSC"};
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const auto page = nlohmann::json::parse(printed[i]);
        EXPECT_EQ(page["receiver"], kReceiver);
        EXPECT_EQ(page["capcode"], capcodes[i]);
        EXPECT_EQ(page["protocol"], protocols[i]);
    }
    EXPECT_EQ(subscriber.On("status"), (std::vector<std::string>{"online", "offline"}));
}

TEST_F(Mqtt, ABrokerRestartLosesNoPage) {
    Broker broker(dir_);
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port());
    ASSERT_TRUE(subscriber.Ready());
    const std::string input =
        Recording({"pocsag:1200:1001:0:alpha:one", "pocsag:2400:1002:1:alpha:two", "pocsag:1200:1003:2:alpha:three",
                   "pocsag:2400:1004:3:alpha:four", "pocsag:1200:1005:0:alpha:five", "pocsag:2400:1006:1:alpha:six"},
                  "0.3");
    auto cli = Cli({"--realtime", "--json", "--mqtt", Url(broker.Port())}, input, "run");
    ASSERT_TRUE(WaitFor([&] { return !subscriber.On("pages").empty(); }, 10s));
    broker.Stop();
    // Pages keep coming while the broker is away.
    const std::size_t before = Lines(dir_ / "run.out").size();
    EXPECT_TRUE(WaitFor([&] { return Lines(dir_ / "run.out").size() >= before + 2; }, 10s));
    ASSERT_TRUE(broker.Start());
    ASSERT_EQ(cli->Wait(30s), 0);
    const std::vector<std::string> printed = Lines(dir_ / "run.out");
    ASSERT_EQ(printed.size(), 6u);
    EXPECT_TRUE(WaitFor([&] { return Distinct(subscriber.On("pages")).size() >= printed.size(); }, 10s));
    EXPECT_EQ(Distinct(subscriber.On("pages")), printed);
    const std::string err = Text(dir_ / "run.err");
    EXPECT_NE(err.find("lost"), std::string::npos) << err;
    EXPECT_EQ(err.find("not delivered"), std::string::npos) << err;
}

TEST_F(Mqtt, WithoutABrokerDecodingAndOutputsStayAsTheyAre) {
    const std::string input = Recording(kMixed);
    ASSERT_EQ(Cli({}, input, "plain")->Wait(30s), 0);
    ASSERT_EQ(Cli({"--mqtt", Url(FreePort())}, input, "mqtt")->Wait(30s), 0);
    const std::vector<std::string> plain = Lines(dir_ / "plain.out");
    EXPECT_GT(plain.size(), kMixed.size());  // the pages and a FLEX frame row
    // The pane lines carry the time of day: compare them without it.
    const auto untimed = [](std::vector<std::string> lines) {
        for (std::string& line : lines) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos && colon >= 2) line.replace(colon - 2, 8, "hh:mm:ss");
        }
        return lines;
    };
    EXPECT_EQ(untimed(Lines(dir_ / "mqtt.out")), untimed(plain));
    const std::string err = Text(dir_ / "mqtt.err");
    EXPECT_NE(err.find("cannot reach the broker"), std::string::npos) << err;
    EXPECT_NE(err.find(std::to_string(kMixed.size()) + " records not delivered"), std::string::npos) << err;
}

TEST_F(Mqtt, StatusGoesOfflineWhenTheDecoderIsKilled) {
    Broker broker(dir_);
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port());
    ASSERT_TRUE(subscriber.Ready());
    auto cli = Cli({"--realtime", "--mqtt", Url(broker.Port())}, Recording(kMixed), "run");
    ASSERT_TRUE(WaitFor([&] { return subscriber.LastStatus() == "online"; }, 10s));
    cli->Stop(SIGKILL);
    EXPECT_TRUE(WaitFor([&] { return subscriber.LastStatus() == "offline"; }, 5s)) << subscriber.LastStatus();
}

TEST(MqttUrl, GivesBrokerCredentialsAndTopicOrAReason) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        int port;
        const char* user;
        const char* password;
        const char* topic;
    };
    for (const Case& c : {Case{"mqtt://broker.lan", true, "broker.lan", 1883, "", "", ""},
                          Case{"broker.lan:1884/site/pages", true, "broker.lan", 1884, "", "", "site/pages"},
                          Case{"mqtt://me:p@ss:w@[::1]:8883/", true, "::1", 8883, "me", "p@ss:w", ""},
                          Case{"mqtts://broker.lan", false, "", 0, "", "", ""},
                          Case{"mqtt://:1883", false, "", 0, "", "", ""},
                          Case{"mqtt://broker.lan:0", false, "", 0, "", "", ""},
                          Case{"mqtt://broker.lan:99999", false, "", 0, "", "", ""},
                          Case{"mqtt://broker.lan:12ab", false, "", 0, "", "", ""},
                          Case{"mqtt://[::1", false, "", 0, "", "", ""}}) {
        SCOPED_TRACE(c.url);
        MqttOptions options;
        std::string error;
        ASSERT_EQ(ParseMqttUrl(c.url, options, error), c.ok);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options.host, c.host);
        EXPECT_EQ(options.port, c.port);
        EXPECT_EQ(options.user, c.user);
        EXPECT_EQ(options.password, c.password);
        EXPECT_EQ(options.pagesTopic, c.topic);
    }
    MqttOptions options;
    SetReceiverTopics(options, "roof/+#\x01");
    EXPECT_EQ(options.pagesTopic, "tolvane/roof____/pages");
    EXPECT_EQ(options.statusTopic, "tolvane/roof____/status");
}

TEST(MqttQueue, KeepsItsBoundAndCountsWhatItDrops) {
    MqttOptions options;
    options.host = "127.0.0.1";
    options.port = FreePort();
    options.queueLimit = 2;
    SetReceiverTopics(options, kReceiver);
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
