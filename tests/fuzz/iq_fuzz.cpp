// IQ recordings: any bytes, read as each raw format and as WAV IQ, go
// through the channel bank to the end without harm, and a raw recording's
// sliced edges never hold more time than its samples (the slicer's last
// run may reach at most one piece past them).
#include "fuzz_input.h"
#include "receiver/iq/iq_source.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    fuzz::MemoryFile file(data, size);
    if (!file.Ok()) return 0;
    constexpr double kRate = 96000;
    for (const IqFormat format : {IqFormat::CU8, IqFormat::CS16, IqFormat::CF32, IqFormat::Wav}) {
        IqSourceOptions options;
        options.sampleRate = format == IqFormat::Wav ? 0 : kRate;
        options.centreHz = 1e6;
        options.channels.push_back({1.01e6, "", format == IqFormat::CS16 ? 4 : 2});
        options.fourLevel.fourLevel = true;
        IqSource source(std::make_unique<IqFileInput>(file.Path(), format), options);
        EdgeRing ring(1 << 12);
        if (!source.Attach(ring).Ok()) continue;
        const double ticks = fuzz::DrainToTheEnd(source, ring);
        source.Detach();
        if (format != IqFormat::Wav) {
            const double seconds = static_cast<double>(size / IqSampleBytes(format)) / kRate;
            if (ticks * kTickSeconds > seconds + 65535 * kTickSeconds) fuzz::Broken("more time out than in");
        }
    }
    return 0;
}
