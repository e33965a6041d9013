// Publishes page records to an MQTT broker (QoS 1) without ever blocking
// the tick: records go into a bounded queue that a worker thread of its own
// serves through libmosquitto. While the broker cannot be reached the queue
// holds what comes (the newest records are dropped and counted once it is
// full), the worker reconnects with back-off and delivers the queue when
// the broker is back. A record leaves the queue only when the broker has
// acknowledged it; after a lost connection the unacknowledged ones are sent
// again. A broker that refuses the connection for a reason that will not
// pass (wrong credentials) is not tried again; what comes is then dropped
// and counted. A retained status topic says "online"; the broker's last
// will sets it to "offline" when the program dies, a clean exit does so
// itself.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "settings/settings.h"
#include "world/outside_world.h"

namespace tolvane {

// What a notice tells: the broker took the connection, the broker cannot be
// reached, was lost or refused the connection (the worker retries unless
// the refusal will not pass), or records were dropped.
enum class MqttEvent : std::uint8_t { Connected, Trouble, Dropped };

struct MqttOptions {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;
    std::string clientId;
    std::string pagesTopic;   // tolvane/RECEIVER/pages unless given
    std::string statusTopic;  // tolvane/RECEIVER/status
    std::string alarmTopic;   // tolvane/RECEIVER/alarm
    std::size_t queueLimit = 10000;
    int keepAliveSeconds = 30;
    // Connection changes and failures, one line each; called on the worker.
    std::function<void(MqttEvent, const std::string&)> notice;
};

// mqtt://[user[:password]@]host[:port][/topic] (also without "mqtt://").
// Fills host, port and, where given, user, password and pagesTopic.
bool ParseMqttUrl(std::string_view url, MqttOptions& options, std::string& error);

// The topics of a receiver: tolvane/NAME/pages, /status and /alarm, with
// characters MQTT gives a meaning in topics ('/', '+', '#') and control
// bytes replaced by '_'. Topics already set are kept.
void SetReceiverTopics(MqttOptions& options, std::string_view receiver);

// The receiver's name: the settings' ReceiverName, else the host name.
std::string ReceiverNameOf(const MachineChoice& machine);

// Both programs' publisher configuration: the broker URL (tolvane-cli's
// --mqtt or the settings' MqttBroker) with the topic and user it names,
// else MqttTopic and MqttUser; the password from the URL, else the first
// line of MqttPasswordFile; MqttClientId, else tolvane-RECEIVER-PID; the
// receiver's topics. False with a one-line reason when the URL is not
// understood, the topic cannot be published to or the password file
// cannot be read. `notice` is left alone.
bool MqttOptionsFor(std::string_view url, const MachineChoice& machine, const std::string& receiver,
                    MqttOptions& options, std::string& error);

class MqttPublisher : public RecordSink {
public:
    explicit MqttPublisher(MqttOptions options);
    ~MqttPublisher() override;

    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the worker; it connects in the background.
    void Start();
    // Delivers what is queued while the broker is reachable, for at most
    // `wait`, then says "offline" and disconnects. What is left counts as
    // dropped.
    void Finish(std::chrono::milliseconds wait);

    void PageRecorded(std::string_view json) override { Enqueue(Kind::Page, json); }
    // With several channels each has a topic below the pages topic:
    // PAGES/CHANNEL (tolvane/RECEIVER/pages/NYC1), named as receivers are.
    void ChannelPageRecorded(std::string_view channel, std::string_view json) override;
    void AlarmRaised(std::string_view json) override { Enqueue(Kind::Alarm, json); }
    std::uint64_t TakeDropped() override { return droppedSinceTaken_.exchange(0); }

    std::uint64_t Dropped() const { return dropped_.load(); }
    std::uint64_t Delivered() const { return delivered_.load(); }
    bool Connected() const { return connected_.load(); }
    // The broker refused the connection for good (wrong credentials): the
    // worker has given up and every record is dropped.
    bool Refused() const { return refused_.load(); }

private:
    enum class Kind : std::uint8_t { Page, Alarm, Status };
    struct Item {
        Kind kind;
        std::string payload;
        std::string topic;  // empty: the kind's
        int mid = -1;  // message id while sent and not yet acknowledged
    };
    struct Client;

    void Enqueue(Kind kind, std::string_view payload, std::string topic = {});
    void Run();
    bool Connect(Client& client);
    void SendPending(Client& client);
    void Acknowledged(int mid);
    void LostConnection();
    const std::string& TopicOf(Kind kind) const;
    void Notice(MqttEvent event, const std::string& text) const;
    // Tells of records dropped since the last time it told.
    void NoticeDrops();

    MqttOptions options_;
    std::thread worker_;

    // Shared with the tick's thread.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> incoming_;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point finishBy_;
    std::atomic<std::size_t> held_{0};  // records taken in by the worker, not yet acknowledged
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> droppedSinceTaken_{0};
    std::atomic<std::uint64_t> delivered_{0};
    std::atomic<bool> connected_{false};
    std::atomic<bool> refused_{false};

    // The worker's own.
    std::deque<Item> pending_;  // in order; sent ones carry their mid
    bool statusAcked_ = false;
    std::uint64_t droppedTold_ = 0;
};

}  // namespace tolvane
