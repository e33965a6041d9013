// Something that fills the edge ring from its own thread: a recorded edge
// stream, a serial port's modem-status lines, or sliced audio.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class EdgeRing;
struct SlicerOptions;

// Why an attach failed. Each kind keeps the message the receiver has always
// shown for the matching failure of its driver.
enum class AttachError {
    None,
    CannotOpen,      // the port or sound card does not exist or cannot be opened
    CannotOpenRecording,  // a recorded file that does not exist or cannot be read
    AlreadyInUse,    // the port is held by another program
    CannotAttach,    // opened, but it is not a usable port
    OutOfMemory,     // no memory or thread for the source
    BadFormat,       // a file that is neither an edge stream nor audio
    ChannelOutsideBand,  // an IQ input whose band does not hold a channel of the list
    Unknown,
};

std::string_view AttachErrorMessage(AttachError error);

struct AttachStatus {
    AttachError error = AttachError::None;
    std::string detail;  // what the system said, e.g. "/dev/ttyS9: No such file or directory"

    bool Ok() const { return error == AttachError::None; }
    // One line for a user: the fixed message, then the detail.
    std::string Describe() const;
};

class EdgeSource {
public:
    virtual ~EdgeSource() = default;

    // Opens the input and starts the thread that writes into ring. The ring
    // must outlive the attachment.
    virtual AttachStatus Attach(EdgeRing& ring) = 0;
    // Stops the thread and closes the input; safe to call when not attached.
    virtual void Detach() = 0;
    // True once no more entries will come (end of a recording, a port that
    // vanished). Everything the source produced is then in the ring.
    virtual bool Finished() const = 0;
    // Set when the input failed after a successful attach (for example a
    // serial port that was unplugged); empty otherwise.
    virtual std::string RuntimeError() const { return {}; }
    // What the user should know that did not stop the input (damaged audio
    // skipped), one line each, since the last call.
    virtual std::vector<std::string> TakeNotices() { return {}; }
    // Audio is sliced with these options from now on, also while attached
    // (the levels or the decoders were changed); the input goes on where it
    // is. Sources that are not audio have nothing to slice.
    virtual void SetSlicing(const SlicerOptions& /*options*/) {}

    // The channels of an IQ band the source delivers, one edge stream each
    // for a receiver of its own; 0: one edge stream, from no band.
    virtual std::size_t Channels() const { return 0; }
    // Attach for every channel, each into its ring (Channels() rings in
    // channel order; one ring for a source of one stream).
    virtual AttachStatus AttachChannels(const std::vector<EdgeRing*>& rings) { return Attach(*rings.front()); }
};

}  // namespace tolvane
