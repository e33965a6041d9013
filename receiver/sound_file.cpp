#include "receiver/sound_file.h"

#include <unistd.h>

#include <cstring>

namespace tolvane {

std::string SystemDetail(const std::string& what, int error) { return what + ": " + std::strerror(error); }

SNDFILE* OpenSoundFile(const std::string& path, SF_INFO& info, AttachStatus& status) {
    info = SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file != nullptr) return file;
    if (::access(path.c_str(), R_OK) != 0) {
        status.error = AttachError::CannotOpenRecording;
        status.detail = SystemDetail(path, errno);
    } else {
        status.error = AttachError::BadFormat;
        status.detail = path + ": " + sf_strerror(nullptr);
    }
    return nullptr;
}

}  // namespace tolvane
