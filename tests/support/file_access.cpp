#include "support/file_access.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace tolvane::testing {

namespace {

// The capabilities that let root past mode bits. Cleared from the
// effective set only: they stay permitted, so they can be given back.
constexpr std::uint32_t kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

void Capabilities(bool set, __user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    // A test whose file permissions did not hold would pass for the wrong reason.
    if (::syscall(set ? SYS_capset : SYS_capget, &header, data) != 0) std::abort();
}

}  // namespace

UserFileAccess::UserFileAccess() {
    __user_cap_data_struct data[2] = {};
    Capabilities(false, data);
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    data[0].effective &= ~kOverrides;
    Capabilities(true, data);
}

UserFileAccess::~UserFileAccess() {
    __user_cap_data_struct data[2] = {};
    Capabilities(false, data);
    data[0].effective = saved_[0];
    data[1].effective = saved_[1];
    Capabilities(true, data);
}

}  // namespace tolvane::testing
