// Where IQ samples come from: a recording or a live receiver. Read on the
// source's own thread; the channel bank sits behind it.
#pragma once

#include <atomic>
#include <complex>
#include <cstddef>
#include <string>
#include <vector>

#include "receiver/edge_source.h"
#include "receiver/iq/iq_format.h"

namespace tolvane {

class IqInput {
public:
    virtual ~IqInput() = default;
    // Opens the input. The sample rate and centre frequency are the caller's
    // unless the input knows them (a WAV header); 0 means unknown.
    virtual AttachStatus Open(double& sampleRate, double& centreHz) = 0;
    // Reads up to `capacity` samples. The count, 0 at the end, -1 on a
    // failure (`error` set to one line naming the input). A read that waits
    // gives up within about 100 ms when `stop` is raised.
    virtual long Read(std::complex<float>* out, std::size_t capacity, const std::atomic<bool>& stop,
                      std::string& error) = 0;
    virtual void Close() = 0;
    // Live inputs cannot wait for the consumer.
    virtual bool Live() const { return false; }
    // How messages name the input: the file, or sdr: and the device.
    virtual std::string Name() const = 0;
};

// A recording: raw samples in one of the raw formats, or two-channel WAV.
// A raw file whose length is not a whole number of samples is decoded up
// to its last whole sample and then reported as truncated. "-" reads raw
// samples from standard input (rtl_sdr -f ... - | tolvane-cli ... -).
class IqFileInput : public IqInput {
public:
    IqFileInput(std::string path, IqFormat format);
    ~IqFileInput() override;

    AttachStatus Open(double& sampleRate, double& centreHz) override;
    long Read(std::complex<float>* out, std::size_t capacity, const std::atomic<bool>& stop,
              std::string& error) override;
    void Close() override;
    std::string Name() const override { return path_; }

private:
    std::string path_;
    IqFormat format_;
    int fd_ = -1;
    bool ownsFd_ = true;
    void* wav_ = nullptr;  // SNDFILE*
    std::vector<unsigned char> bytes_;
    std::vector<float> frames_;
    std::size_t carried_ = 0;  // bytes of an incomplete sample
};

}  // namespace tolvane
