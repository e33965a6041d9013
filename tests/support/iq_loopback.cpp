#include "support/iq_loopback.h"

#include <gtest/gtest.h>

#include "engine/input_runner.h"
#include "receiver/input_select.h"
#include "support/loopback.h"

namespace tolvane::testing {

IqDecoded DecodeIq(const std::string& input, const IqBand& band, const std::vector<FilterRecord>& filters) {
    Settings settings = Untimed();
    settings.Iq = band;
    settings.Filters = filters;
    TestRig rig(settings);
    FakeRecords records;
    rig.engine->SetRecordSink(&records, "test");
    IqDecoded decoded;
    std::unique_ptr<EdgeSource> source = SelectInput(input, InputOptions(), settings, decoded.error);
    if (source == nullptr) return decoded;
    RunInput(*rig.engine, *source, RunOptions(), decoded.error);
    rig.engine->SetRecordSink(nullptr, "test");
    decoded.lines = rig.messageLines;
    decoded.filtered = rig.filterLines;
    decoded.records = records.pages;
    return decoded;
}

gen::IqCarrier Carrier(const std::vector<std::string>& descriptions, double frequencyHz) {
    std::vector<gen::PageDescription> pages(descriptions.size());
    std::string error;
    for (std::size_t i = 0; i < pages.size(); ++i)
        EXPECT_TRUE(gen::ParsePageDescription(descriptions[i], pages[i], error)) << error;
    gen::IqCarrier carrier;
    EXPECT_TRUE(gen::BuildCarrier(pages, gen::EncodeOptions(), 0.3, carrier, error)) << error;
    carrier.frequencyHz = frequencyHz;
    return carrier;
}

std::vector<std::string> CleanLines(const gen::IqCarrier& carrier, int levels) {
    gen::ChannelOptions clean;
    clean.levels = levels;
    return Receive(gen::SymbolsToEdges(carrier.stream, clean), Untimed(levels))->messageLines;
}

}  // namespace tolvane::testing
