#include "receiver/iq/sdr_input.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>

#include <chrono>
#include <exception>

namespace tolvane {

namespace {

// Short waits, so that a stop is seen within about 100 ms.
constexpr long kReadTimeoutUs = 100000;

SoapySDR::Device* DeviceOf(void* p) { return static_cast<SoapySDR::Device*>(p); }
SoapySDR::Stream* StreamOf(void* p) { return static_cast<SoapySDR::Stream*>(p); }

}  // namespace

SdrInput::SdrInput(SdrSettings settings) : settings_(std::move(settings)) {}

SdrInput::~SdrInput() { Close(); }

AttachStatus SdrInput::Open(double& sampleRate, double& centreHz) {
    Close();
    AttachStatus status;
    const std::string name = "sdr:" + settings_.arguments;
    try {
        SoapySDR::Device* device = SoapySDR::Device::make(settings_.arguments);
        if (device == nullptr) throw std::runtime_error("no such device");
        device_ = device;
        device->setSampleRate(SOAPY_SDR_RX, 0, settings_.sampleRate);
        device->setFrequency(SOAPY_SDR_RX, 0, settings_.centreHz);
        if (settings_.ppm != 0 && device->hasFrequencyCorrection(SOAPY_SDR_RX, 0))
            device->setFrequencyCorrection(SOAPY_SDR_RX, 0, settings_.ppm);
        if (settings_.gainDb < 0) {
            if (device->hasGainMode(SOAPY_SDR_RX, 0)) device->setGainMode(SOAPY_SDR_RX, 0, true);
        } else {
            if (device->hasGainMode(SOAPY_SDR_RX, 0)) device->setGainMode(SOAPY_SDR_RX, 0, false);
            device->setGain(SOAPY_SDR_RX, 0, settings_.gainDb);
        }
        SoapySDR::Stream* stream = device->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
        if (stream == nullptr) throw std::runtime_error("cannot set up a receive stream");
        stream_ = stream;
        if (device->activateStream(stream) != 0) throw std::runtime_error("cannot start the receive stream");
        sampleRate = device->getSampleRate(SOAPY_SDR_RX, 0);
        centreHz = settings_.centreHz;
    } catch (const std::exception& e) {
        Close();
        status.error = AttachError::CannotOpen;
        status.detail = name + ": " + e.what();
    }
    return status;
}

long SdrInput::Read(std::complex<float>* out, std::size_t capacity, const std::atomic<bool>& stop, std::string& error) {
    SoapySDR::Device* device = DeviceOf(device_);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    while (!stop.load(std::memory_order_relaxed)) {
        void* buffers[] = {out};
        int flags = 0;
        long long timeNs = 0;
        const int got = device->readStream(StreamOf(stream_), buffers, capacity, flags, timeNs, kReadTimeoutUs);
        if (got > 0) return got;
        // Overflows lose samples but the device is there; timeouts are
        // tolerated for a while.
        const bool transient = got == 0 || got == SOAPY_SDR_TIMEOUT || got == SOAPY_SDR_OVERFLOW;
        const double quiet = std::chrono::duration<double>(Clock::now() - start).count();
        if (!transient || quiet > kSdrSilenceSeconds) {
            error = "sdr:" + settings_.arguments + ": " +
                    (transient ? std::string("no samples for ") + std::to_string(static_cast<int>(kSdrSilenceSeconds)) + " s"
                               : std::string(SoapySDR::errToStr(got)));
            return -1;
        }
    }
    return 0;
}

void SdrInput::Close() {
    SoapySDR::Device* device = DeviceOf(device_);
    if (device != nullptr) {
        try {
            if (stream_ != nullptr) {
                device->deactivateStream(StreamOf(stream_));
                device->closeStream(StreamOf(stream_));
            }
            SoapySDR::Device::unmake(device);
        } catch (const std::exception&) {
            // A device that has gone may fail to close; it is gone either way.
        }
    }
    device_ = nullptr;
    stream_ = nullptr;
}

}  // namespace tolvane
