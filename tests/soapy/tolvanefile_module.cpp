// A SoapySDR module for the tests: driver "tolvanefile" plays a cu8 IQ
// recording as a receiver would deliver it, so that the live path is tested
// through SoapySDR itself. Device arguments:
//   path=FILE        the recording
//   fail_after=N     the stream breaks after N samples (a pulled plug)
//   opens=FILE       a line is appended here each time a device is made
// At the end of the recording the device stays silent, as a receiver
// whose antenna hears nothing but delivers nothing either would not: the
// reader sees timeouts, which is what a stalled device looks like.
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <chrono>
#include <complex>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

class FileDevice : public SoapySDR::Device {
public:
    explicit FileDevice(const SoapySDR::Kwargs& args) {
        const auto path = args.find("path");
        if (path == args.end()) throw std::runtime_error("tolvanefile needs path=FILE");
        file_ = std::fopen(path->second.c_str(), "rb");
        if (file_ == nullptr) throw std::runtime_error("cannot open " + path->second);
        const auto fail = args.find("fail_after");
        if (fail != args.end()) failAfter_ = std::stoll(fail->second);
        const auto opens = args.find("opens");
        if (opens != args.end()) {
            if (std::FILE* log = std::fopen(opens->second.c_str(), "a")) {
                std::fputs("open\n", log);
                std::fclose(log);
            }
        }
    }
    ~FileDevice() override {
        if (file_ != nullptr) std::fclose(file_);
    }

    std::string getDriverKey() const override { return "tolvanefile"; }
    std::string getHardwareKey() const override { return "tolvanefile"; }
    size_t getNumChannels(const int) const override { return 1; }
    void setSampleRate(const int, const size_t, const double rate) override { rate_ = rate; }
    double getSampleRate(const int, const size_t) const override { return rate_; }
    void setFrequency(const int, const size_t, const double frequency, const SoapySDR::Kwargs&) override {
        frequency_ = frequency;
    }
    double getFrequency(const int, const size_t) const override { return frequency_; }
    std::vector<std::string> getStreamFormats(const int, const size_t) const override { return {SOAPY_SDR_CF32}; }

    SoapySDR::Stream* setupStream(const int direction, const std::string& format, const std::vector<size_t>&,
                                  const SoapySDR::Kwargs&) override {
        if (direction != SOAPY_SDR_RX || format != SOAPY_SDR_CF32) throw std::runtime_error("RX CF32 only");
        return reinterpret_cast<SoapySDR::Stream*>(this);
    }
    void closeStream(SoapySDR::Stream*) override {}
    int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override { return 0; }
    int deactivateStream(SoapySDR::Stream*, const int, const long long) override { return 0; }

    int readStream(SoapySDR::Stream*, void* const* buffs, const size_t numElems, int& flags, long long& timeNs,
                   const long timeoutUs) override {
        flags = 0;
        timeNs = 0;
        if (failAfter_ >= 0 && delivered_ >= failAfter_) return SOAPY_SDR_STREAM_ERROR;
        std::size_t want = numElems;
        if (failAfter_ >= 0) want = std::min<std::size_t>(want, static_cast<std::size_t>(failAfter_ - delivered_));
        bytes_.resize(2 * want);
        const std::size_t got = std::fread(bytes_.data(), 2, want, file_);
        if (got == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(timeoutUs));
            return SOAPY_SDR_TIMEOUT;
        }
        auto* out = static_cast<std::complex<float>*>(buffs[0]);
        for (std::size_t i = 0; i < got; ++i)
            out[i] = {(bytes_[2 * i] - 127.5f) / 127.5f, (bytes_[2 * i + 1] - 127.5f) / 127.5f};
        delivered_ += static_cast<long long>(got);
        return static_cast<int>(got);
    }

private:
    std::FILE* file_ = nullptr;
    double rate_ = 2400000;
    double frequency_ = 0;
    long long failAfter_ = -1;
    long long delivered_ = 0;
    std::vector<unsigned char> bytes_;
};

SoapySDR::KwargsList FindFile(const SoapySDR::Kwargs& args) {
    const auto driver = args.find("driver");
    if (driver == args.end() || driver->second != "tolvanefile") return {};
    return {args};
}

SoapySDR::Device* MakeFile(const SoapySDR::Kwargs& args) { return new FileDevice(args); }

// SoapySDR finds a module's drivers through a registration object made when
// the module is loaded.
const SoapySDR::Registry kRegistration("tolvanefile", &FindFile, &MakeFile, SOAPY_SDR_ABI_VERSION);

}  // namespace
