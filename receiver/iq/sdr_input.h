// A live receiver through SoapySDR (RTL-SDR, Airspy, HackRF, ... whichever
// modules are installed): complex float samples at the asked rate and
// centre frequency, with the device correcting its own ppm error.
//
// A device that stops delivering (unplugged, driver error) makes Read fail
// after at most kSdrSilenceSeconds; the source then opens it again.
#pragma once

#include <string>

#include "receiver/iq/iq_input.h"

namespace tolvane {

inline constexpr double kSdrSilenceSeconds = 2.0;

struct SdrSettings {
    std::string arguments;  // SoapySDR device arguments: "driver=rtlsdr,serial=..."
    double sampleRate = 2400000;
    double centreHz = 0;
    double ppm = 0;
    double gainDb = -1;  // below 0: automatic gain
};

class SdrInput : public IqInput {
public:
    explicit SdrInput(SdrSettings settings);
    ~SdrInput() override;

    AttachStatus Open(double& sampleRate, double& centreHz) override;
    long Read(std::complex<float>* out, std::size_t capacity, const std::atomic<bool>& stop,
              std::string& error) override;
    void Close() override;
    bool Live() const override { return true; }
    std::string Name() const override { return "sdr:" + settings_.arguments; }

private:
    SdrSettings settings_;
    void* device_ = nullptr;  // SoapySDR::Device*
    void* stream_ = nullptr;  // SoapySDR::Stream*
};

}  // namespace tolvane
