#include "receiver/edge_source.h"

namespace tolvane {

std::string_view AttachErrorMessage(AttachError error) {
    switch (error) {
        case AttachError::None: return {};
        case AttachError::CannotOpen: return "Cannot open the input device!";
        case AttachError::AlreadyInUse: return "The input device is in use!";
        case AttachError::CannotAttach: return "Cannot use the serial port!";
        case AttachError::OutOfMemory: return "Out of memory for the input!";
        case AttachError::CannotOpenRecording: return "Cannot open the recording!";
        case AttachError::BadFormat: return "Not a recording Tolvane can read!";
        case AttachError::ChannelOutsideBand: return "The channel list does not fit the IQ input!";
        case AttachError::Unknown: break;
    }
    return "Unknown error from the input!";
}

std::string AttachStatus::Describe() const {
    std::string line(AttachErrorMessage(error));
    if (!detail.empty()) {
        if (!line.empty()) line += ' ';
        line += detail;
    }
    return line;
}

}  // namespace tolvane
