// Opening sound files through libsndfile, shared by the audio and the IQ
// file inputs so that both tell a failure the same way.
#pragma once

#include <sndfile.h>

#include <string>

#include "receiver/edge_source.h"

namespace tolvane {

// "what: the system's reason for error".
std::string SystemDetail(const std::string& what, int error);

// Opens `path` for reading and fills `info`. On failure returns nullptr with
// `status` telling why: the file cannot be read (the system's reason) or it
// is no sound file libsndfile knows.
SNDFILE* OpenSoundFile(const std::string& path, SF_INFO& info, AttachStatus& status);

}  // namespace tolvane
