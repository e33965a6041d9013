// IQ inputs by name, and the channel list as the command line gives it.
//
//   FILE.cu8 / .cs8 / .cs16 / .cf32   a raw IQ recording (format from the
//                                     name, or given)
//   FILE.wav                          a two-channel WAV IQ recording (when
//                                     channels are given; otherwise a WAV
//                                     file is discriminator audio)
//   -                                 raw IQ on standard input (--iq-format)
//   sdr:ARGS                          a live receiver through SoapySDR, e.g.
//                                     sdr:driver=rtlsdr,serial=00000001
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "receiver/audio_slicer.h"
#include "receiver/edge_source.h"
#include "receiver/iq/iq_format.h"
#include "receiver/iq/iq_source.h"

namespace tolvane {

// "929.6125M", "153.35m", "466025k", "929612500" (Hz). False for anything
// else, zero or negative included.
bool ParseFrequency(const std::string& text, double& hz);

// FREQ[:NAME[:LEVELS]] with LEVELS 2 or 4 (default 2).
bool ParseChannelPlan(const std::string& text, IqChannelPlan& plan, std::string& error);

struct IqInputOptions {
    double sampleRate = 0;
    double centreHz = 0;
    double ppm = 0;
    double gainDb = -1;  // live receivers: below 0 is automatic gain
    std::optional<IqFormat> format;  // raw recordings: overrides the name
    std::vector<IqChannelPlan> channels;
    bool paced = false;
};

// True when `input` names an IQ input: sdr:..., a name with an IQ
// extension, or any file when channels or a format are given.
bool IsIqInput(const std::string& input, const IqInputOptions& options);

struct Settings;

// Each channel is sliced as the settings say, with its own 2 or 4 levels.
std::unique_ptr<IqSource> SelectIqInput(const std::string& input, const IqInputOptions& options,
                                        const Settings& settings, std::string& error);

}  // namespace tolvane
