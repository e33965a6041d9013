// Chooses the edge source for an input name:
//   FILE            a recorded edge stream (starts with TVEDGES1), an audio
//                   file libsndfile reads (WAV, FLAC, ...), or raw signed
//                   16-bit little-endian mono when named *.s16 or *.raw
//   -               raw signed 16-bit little-endian mono on standard input
//   audio:DEVICE    live capture from a sound card ("audio:default")
//   serial:DEVICE   a level-slicer interface on a serial port
//                   ("serial:/dev/ttyUSB0")
//   an IQ input     when the settings' band makes it one (see iq_select.h):
//                   every channel of the band, one edge stream each
// Raw audio is read at InputOptions::rawRate, or at the settings'
// InputRate when that is 0. Audio is sliced 2- or 4-level as the settings'
// 4LevelInterface says.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "receiver/audio_slicer.h"
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

// The input name of the Interface dialog's choice: "audio:" and the sound
// card (its default when none is named); else "serial:" and the device of
// the port, /dev/ttyS0 .. /dev/ttyS3 standing for COM1 .. COM4, the custom
// device for a custom port; empty when no port is chosen.
std::string InterfaceInputName(const Settings& settings);

// True for inputs that never end by themselves (ports, sound cards).
bool IsLiveInput(const std::string& input);

// When a recorded file began: its modification time (when recording ended)
// minus its length. Nothing for live inputs, standard input, and files
// whose length cannot be read.
std::optional<std::time_t> RecordingStart(const std::string& input, const InputOptions& options,
                                          const Settings& settings);

// The slicer set up for the settings: levels from 4LevelInterface, the
// averaging from the fastest symbol rate among the enabled decoders.
SlicerOptions SlicerOptionsFor(const Settings& settings);

}  // namespace tolvane
