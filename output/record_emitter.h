// Where completed page records and keep-alive alarms go: one sink under one
// receiver name, shared by every line builder. Each record is stamped with
// the time it is sent.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "output/page_record.h"

namespace tolvane {

class RecordEmitter {
public:
    explicit RecordEmitter(const WallClock& clock) : clock_(clock) {}

    // nullptr = none. The sink outlives the emitter or is taken away first.
    void SetSink(RecordSink* sink, std::string receiver) {
        sink_ = sink;
        receiver_ = std::move(receiver);
    }
    bool Active() const { return sink_ != nullptr; }
    // Time and receiver are filled in here; only while Active(). A page of
    // one of several channels goes to the sink under its channel's name.
    void Emit(PageRecord record, std::string_view channel = {}) {
        record.timeMs = clock_.NowMilliseconds();
        record.utcOffsetMinutes = clock_.UtcOffsetMinutes();
        record.receiver = receiver_;
        const std::string json = PageRecordJson(record);
        if (channel.empty()) {
            sink_->PageRecorded(json);
        } else {
            sink_->ChannelPageRecorded(channel, json);
        }
    }
    // A keep-alive alarm, stamped alike; only while Active().
    void EmitAlarm(std::string_view alarm) {
        sink_->AlarmRaised(AlarmRecordJson(clock_.NowMilliseconds(), clock_.UtcOffsetMinutes(), receiver_, alarm));
    }

private:
    const WallClock& clock_;
    RecordSink* sink_ = nullptr;
    std::string receiver_;
};

}  // namespace tolvane
