#include "receiver/edge_source.h"

namespace tolvane {

std::string_view AttachErrorMessage(AttachError error) {
    switch (error) {
        case AttachError::None: return {};
        case AttachError::CannotOpen: return "Error Loading NIVOR.VXD!";
        case AttachError::AlreadyInUse: return "Error VxD not previously unloaded!";
        case AttachError::CannotAttach: return "Error attaching to COM port!";
        case AttachError::OutOfMemory: return "Error Allocating Memory for VxD!";
        case AttachError::CannotOpenRecording: return "Cannot open the recording!";
        case AttachError::BadFormat: return "Not a recording Tolvane can read!";
        case AttachError::Unknown: break;
    }
    return "Unknown Error from VxD!";
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
