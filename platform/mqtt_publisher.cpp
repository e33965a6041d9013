#include "platform/mqtt_publisher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>

#include "platform/system_world.h"

namespace tolvane {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kQos = 1;
// Sent and not yet acknowledged at once; the library's own default.
constexpr std::size_t kInFlightWindow = 20;
constexpr auto kLoopWait = 50ms;
constexpr auto kConnectTimeout = 10s;
constexpr auto kFirstRetry = 1s;
constexpr auto kLongestRetry = 30s;
constexpr auto kOfflineWait = 1s;

std::string TopicPart(std::string_view name) {
    std::string part(name);
    for (char& c : part) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F || c == '/' || c == '+' || c == '#') c = '_';
    }
    return part.empty() ? std::string("_") : part;
}

// A refused connection is tried again only when the refusal may pass: a
// broker that is unavailable for now. A wrong protocol, client id, user
// name or password is refused every time.
bool RefusalMayPass(int connackCode) { return connackCode == 3; }

// Whether records can be published to topic, by the library's own rules: a
// wildcard (+ or #) is for subscriptions only, and nothing would arrive.
bool PublishableTopic(const std::string& topic, std::string& error) {
    if (mosquitto_validate_utf8(topic.data(), static_cast<int>(topic.size())) != MOSQ_ERR_SUCCESS) {
        error = "the MQTT topic is not UTF-8 text";
        return false;
    }
    if (mosquitto_pub_topic_check2(topic.data(), topic.size()) != MOSQ_ERR_SUCCESS) {
        error = "the MQTT topic " + topic + " cannot be published to: + and # are for subscribing only";
        return false;
    }
    return true;
}

}  // namespace

bool ParseMqttUrl(std::string_view url, MqttOptions& options, std::string& error) {
    constexpr std::string_view kScheme = "mqtt://";
    if (url.substr(0, kScheme.size()) == kScheme) {
        url.remove_prefix(kScheme.size());
    } else if (url.find("://") != std::string_view::npos) {
        error = "only mqtt:// broker URLs are supported";
        return false;
    }
    const std::size_t slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    if (slash != std::string_view::npos && slash + 1 < url.size()) options.pagesTopic = url.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        options.user = userInfo.substr(0, colon);
        if (colon != std::string_view::npos) options.password = userInfo.substr(colon + 1);
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {  // [IPv6]:port
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "unclosed [ in the broker address";
            return false;
        }
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                error = "unexpected text after ] in the broker address";
                return false;
            }
            port = authority.substr(close + 2);
        }
    } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty()) {
        error = "the broker URL names no host";
        return false;
    }
    options.host = host;
    if (!port.empty()) {
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) {
            error = "the broker port must be a number from 1 to 65535";
            return false;
        }
        options.port = value;
    }
    return true;
}

void SetReceiverTopics(MqttOptions& options, std::string_view receiver) {
    const std::string base = "tolvane/" + TopicPart(receiver) + "/";
    if (options.pagesTopic.empty()) options.pagesTopic = base + "pages";
    if (options.statusTopic.empty()) options.statusTopic = base + "status";
    if (options.alarmTopic.empty()) options.alarmTopic = base + "alarm";
}

std::string ReceiverNameOf(const MachineChoice& machine) {
    return machine.ReceiverName.empty() ? HostName() : machine.ReceiverName;
}

bool MqttOptionsFor(std::string_view url, const MachineChoice& machine, const std::string& receiver,
                    MqttOptions& options, std::string& error) {
    if (!ParseMqttUrl(url, options, error)) return false;
    if (options.pagesTopic.empty()) options.pagesTopic = machine.MqttTopic;
    if (options.user.empty()) options.user = machine.MqttUser;
    if (options.password.empty() && !machine.MqttPasswordFile.empty()) {
        std::ifstream file(machine.MqttPasswordFile);
        if (!file || !std::getline(file, options.password)) {
            error = "cannot read the MQTT password file " + machine.MqttPasswordFile;
            return false;
        }
    }
    options.clientId = !machine.MqttClientId.empty() ? machine.MqttClientId
                                                     : "tolvane-" + receiver + "-" + std::to_string(::getpid());
    SetReceiverTopics(options, receiver);
    return PublishableTopic(options.pagesTopic, error);
}

// One connection attempt's library client; a new one for every attempt, so
// nothing the library kept from a lost connection is sent twice.
struct MqttPublisher::Client {
    explicit Client(MqttPublisher& publisher) : owner(publisher) {}
    ~Client() {
        if (mosq != nullptr) mosquitto_destroy(mosq);
    }
    MqttPublisher& owner;
    mosquitto* mosq = nullptr;
    bool answered = false;  // CONNACK seen
    int answer = -1;        // its return code
    int statusMid = -1;     // the last status message sent
};

MqttPublisher::MqttPublisher(MqttOptions options) : options_(std::move(options)) { mosquitto_lib_init(); }

MqttPublisher::~MqttPublisher() {
    if (worker_.joinable()) Finish(0ms);
    mosquitto_lib_cleanup();
}

void MqttPublisher::Start() { worker_ = std::thread([this] { Run(); }); }

void MqttPublisher::Finish(std::chrono::milliseconds wait) {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        finishBy_ = Clock::now() + wait;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    std::size_t left = 0;
    for (const Item& item : pending_) left += item.kind == Kind::Status ? 0 : 1;
    left += incoming_.size();
    pending_.clear();
    incoming_.clear();
    held_ = 0;
    dropped_ += left;
    droppedSinceTaken_ += left;
}

void MqttPublisher::ChannelPageRecorded(std::string_view channel, std::string_view json) {
    Enqueue(Kind::Page, json, options_.pagesTopic + "/" + TopicPart(channel));
}

void MqttPublisher::Enqueue(Kind kind, std::string_view payload, std::string topic) {
    std::lock_guard lock(mutex_);
    if (stopping_ || refused_ || incoming_.size() + held_.load() >= options_.queueLimit) {
        ++dropped_;
        ++droppedSinceTaken_;
        return;
    }
    incoming_.push_back(Item{kind, std::string(payload), std::move(topic)});
}

const std::string& MqttPublisher::TopicOf(Kind kind) const {
    switch (kind) {
        case Kind::Alarm: return options_.alarmTopic;
        case Kind::Status: return options_.statusTopic;
        default: return options_.pagesTopic;
    }
}

void MqttPublisher::Notice(MqttEvent event, const std::string& text) const {
    if (options_.notice) options_.notice(event, text);
}

bool MqttPublisher::Connect(Client& client) {
    client.mosq = mosquitto_new(options_.clientId.empty() ? nullptr : options_.clientId.c_str(), true, &client);
    if (client.mosq == nullptr) return false;
    mosquitto_connect_callback_set(client.mosq, [](mosquitto*, void* data, int rc) {
        auto* c = static_cast<Client*>(data);
        c->answered = true;
        c->answer = rc;
    });
    // Also called for a message the library gave up on when the connection
    // was lost (a non-zero reason): that one was not acknowledged and stays
    // to be sent again.
    mosquitto_publish_v5_callback_set(client.mosq, [](mosquitto*, void* data, int mid, int reason,
                                                      const mosquitto_property*) {
        if (reason != 0) return;
        auto* c = static_cast<Client*>(data);
        if (mid == c->statusMid) c->owner.statusAcked_ = true;
        c->owner.Acknowledged(mid);
    });
    mosquitto_will_set(client.mosq, options_.statusTopic.c_str(), 7, "offline", kQos, true);
    if (!options_.user.empty())
        mosquitto_username_pw_set(client.mosq, options_.user.c_str(),
                                  options_.password.empty() ? nullptr : options_.password.c_str());
    if (mosquitto_connect_async(client.mosq, options_.host.c_str(), options_.port, options_.keepAliveSeconds) !=
        MOSQ_ERR_SUCCESS)
        return false;
    const auto giveUp = Clock::now() + kConnectTimeout;
    while (!client.answered && Clock::now() < giveUp) {
        if (mosquitto_loop(client.mosq, static_cast<int>(kLoopWait.count()), 1) != MOSQ_ERR_SUCCESS) return false;
        std::lock_guard lock(mutex_);
        if (stopping_ && Clock::now() >= finishBy_) return false;
    }
    if (!client.answered || client.answer != 0) return false;
    mosquitto_publish(client.mosq, &client.statusMid, options_.statusTopic.c_str(), 6, "online", kQos, true);
    return true;
}

void MqttPublisher::Acknowledged(int mid) {
    const auto it = std::find_if(pending_.begin(), pending_.end(), [mid](const Item& item) { return item.mid == mid; });
    if (it == pending_.end()) return;
    if (it->kind == Kind::Page) ++delivered_;
    pending_.erase(it);
    --held_;
}

void MqttPublisher::SendPending(Client& client) {
    {
        std::lock_guard lock(mutex_);
        held_ += incoming_.size();
        for (Item& item : incoming_) pending_.push_back(std::move(item));
        incoming_.clear();
    }
    std::size_t inFlight = 0;
    for (Item& item : pending_) {
        if (item.mid >= 0) {
            ++inFlight;
            continue;
        }
        if (inFlight >= kInFlightWindow) break;
        const std::string& topic = item.topic.empty() ? TopicOf(item.kind) : item.topic;
        if (mosquitto_publish(client.mosq, &item.mid, topic.c_str(), static_cast<int>(item.payload.size()),
                              item.payload.data(), kQos, false) != MOSQ_ERR_SUCCESS) {
            item.mid = -1;
            break;
        }
        ++inFlight;
    }
}

void MqttPublisher::LostConnection() {
    for (Item& item : pending_) item.mid = -1;
    connected_ = false;
}

void MqttPublisher::NoticeDrops() {
    const std::uint64_t dropped = dropped_.load();
    if (dropped == droppedTold_) return;
    droppedTold_ = dropped;
    Notice(MqttEvent::Dropped, "MQTT: queue full, " + std::to_string(dropped) + " records dropped so far");
}

void MqttPublisher::Run() {
    const std::string where = options_.host + ":" + std::to_string(options_.port);
    auto retry = kFirstRetry;
    bool reported = false;  // the current outage has been told
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            // Once stopping, a broker known to be away is not waited for;
            // a first attempt still in progress may finish.
            if (stopping_ && (reported || Clock::now() >= finishBy_)) return;
        }
        Client client(*this);
        if (!Connect(client)) {
            if (client.answered && !RefusalMayPass(client.answer)) {
                // Another try would be refused alike: the settings must change.
                refused_ = true;
                Notice(MqttEvent::Trouble, "MQTT: the broker at " + where + " refused the connection (" +
                                               mosquitto_connack_string(client.answer) +
                                               "); not retrying: check the user name, password and client id");
                return;
            }
            if (client.answered) {
                if (!reported)
                    Notice(MqttEvent::Trouble, "MQTT: the broker at " + where + " refused the connection (" +
                                                   mosquitto_connack_string(client.answer) + "); retrying");
            } else if (!reported) {
                Notice(MqttEvent::Trouble, "MQTT: cannot reach the broker at " + where + "; retrying");
            }
            reported = true;
            NoticeDrops();
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, retry, [this] { return stopping_; });
            retry = std::min<std::chrono::seconds>(retry * 2, kLongestRetry);
            continue;
        }
        connected_ = true;
        retry = kFirstRetry;
        reported = false;
        Notice(MqttEvent::Connected, "MQTT: connected to " + where);
        for (;;) {
            SendPending(client);
            NoticeDrops();
            bool stopping = false;
            Clock::time_point finishBy;
            {
                std::lock_guard lock(mutex_);
                stopping = stopping_;
                finishBy = finishBy_;
            }
            if (stopping && (pending_.empty() || Clock::now() >= finishBy)) {
                statusAcked_ = false;
                client.statusMid = -1;
                mosquitto_publish(client.mosq, &client.statusMid, options_.statusTopic.c_str(), 7, "offline", kQos,
                                  true);
                const auto giveUp = Clock::now() + kOfflineWait;
                while (!statusAcked_ && Clock::now() < giveUp &&
                       mosquitto_loop(client.mosq, static_cast<int>(kLoopWait.count()), 1) == MOSQ_ERR_SUCCESS) {
                }
                mosquitto_disconnect(client.mosq);
                connected_ = false;
                return;
            }
            if (mosquitto_loop(client.mosq, static_cast<int>(kLoopWait.count()), 1) != MOSQ_ERR_SUCCESS) break;
        }
        LostConnection();
        Notice(MqttEvent::Trouble, "MQTT: connection to " + where + " lost; reconnecting");
        reported = true;
    }
}

}  // namespace tolvane
