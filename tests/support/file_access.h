// File permissions that hold for a test even when it runs as root: while a
// UserFileAccess lives, the thread that made it cannot read or write past
// a file's mode bits, as an ordinary user could not.
#pragma once

#include <cstdint>

namespace tolvane::testing {

class UserFileAccess {
public:
    UserFileAccess();
    ~UserFileAccess();
    UserFileAccess(const UserFileAccess&) = delete;
    UserFileAccess& operator=(const UserFileAccess&) = delete;

private:
    std::uint32_t saved_[2] = {};  // the effective capability words as they were
};

}  // namespace tolvane::testing
