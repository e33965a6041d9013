// Chooses the edge source for an input name:
//   FILE            a recorded edge stream (TVEDGES1)
//   (more kinds: audio files, "-" raw audio on standard input,
//    "audio:DEVICE", "serial:DEVICE")
#pragma once

#include <memory>
#include <string>

#include "receiver/edge_source.h"

namespace tolvane {

struct Settings;

struct InputOptions {
    bool paced = false;   // replay a recording in real time
    int rawRate = 0;      // sample rate of raw audio on standard input
};

// Returns nullptr and a one-line message when the name cannot be used.
std::unique_ptr<EdgeSource> SelectInput(const std::string& input, const InputOptions& options,
                                        const Settings& settings, std::string& error);

// True for inputs that never end by themselves (ports, sound cards).
bool IsLiveInput(const std::string& input);

}  // namespace tolvane
