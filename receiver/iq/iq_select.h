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
#include <string>

#include "receiver/audio_slicer.h"
#include "receiver/edge_source.h"
#include "receiver/iq/iq_format.h"
#include "receiver/iq/iq_source.h"
#include "settings/settings.h"

namespace tolvane {

// "929.6125M", "153.35m", "466025k", "929612500" (Hz). False for anything
// else, zero or negative included.
bool ParseFrequency(const std::string& text, double& hz);

// FREQ[:NAME[:LEVELS]] with LEVELS 2 or 4 (default 2), as --channel takes it.
bool ParseChannelPlan(const std::string& text, ChannelRecord& channel, std::string& error);

// True when `input` names an IQ input under the band's settings: sdr:...,
// a name with a raw IQ extension, or any file when the band has channels or
// a format (never a sound card, a serial port or raw audio by rate).
bool IsIqInput(const std::string& input, const IqBand& band);

// Every channel of the settings' band, each sliced as its receiver's
// settings say (ChannelSettings).
std::unique_ptr<IqSource> SelectIqInput(const std::string& input, const Settings& settings, bool paced,
                                        std::string& error);

}  // namespace tolvane
