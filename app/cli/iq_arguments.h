// tolvane-cli's IQ options: the receiver's band and the channels to decode.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace tolvane {

inline constexpr const char kIqUsage[] =
    "IQ input (an SDR's samples; every channel is decoded, each by its own receiver):\n"
    "  FILE.cu8|.cs8|.cs16|.cf32|.wav  an IQ recording (rtl_sdr writes cu8,\n"
    "                 hackrf_transfer cs8; .wav is two-channel IQ when there\n"
    "                 are channels, and brings its sample rate and, where the\n"
    "                 recording program wrote one, its centre frequency)\n"
    "  -              raw IQ on standard input with --iq-format, e.g.\n"
    "                 rtl_sdr -f 929.5M -s 2.4M - | tolvane-cli --iq-format cu8 ... -\n"
    "  sdr:ARGS       a live receiver through SoapySDR, e.g.\n"
    "                 sdr:driver=rtlsdr or sdr:driver=rtlsdr,serial=00000001\n"
    "  --channel FREQ[:NAME[:LEVELS]]  a pager channel (FREQ in Hz or with k, M;\n"
    "                 LEVELS 2 or 4, default 2). Repeatable; with several, each\n"
    "                 line starts with its channel's NAME (or number). Each IQ\n"
    "                 option given replaces its value in the settings file's\n"
    "                 section Channels (--channel the whole list)\n"
    "  --sample-rate HZ  IQ sample rate (required but for WAV)\n"
    "  --center HZ    the frequency the receiver was tuned to (required but for\n"
    "                 WAV files that name it)\n"
    "  --ppm N        the receiver's frequency error in parts per million (+:\n"
    "                 it tunes high). With two or more channels the error is\n"
    "                 also estimated from the carriers, within +-100 ppm of N,\n"
    "                 and told; each channel's fine tuning follows +-3 kHz more\n"
    "  --gain DB      live receivers: tuner gain (default: automatic)\n"
    "  --iq-format F  cu8, cs8, cs16, cf32 or wav, whatever the file is named\n";

// The IQ options given, over the settings file's band.
struct IqArguments {
    std::optional<double> sampleRate;
    std::optional<double> centreHz;
    std::optional<double> ppm;
    std::optional<double> gainDb;
    std::optional<std::string> format;
    std::vector<ChannelRecord> channels;  // when any is given, the file's are replaced
};

// Handles one IQ option at argv[i] (advancing i past its value): 1 handled,
// 0 not an IQ option, -1 a bad value (`error` set).
int ParseIqArgument(int argc, char** argv, int& i, IqArguments& given, std::string& error);

// Puts the options given into the band.
void ApplyIqArguments(const IqArguments& given, IqBand& band);

}  // namespace tolvane
