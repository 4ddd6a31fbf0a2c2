// Starting programs on POSIX hosts.
#include <string>

#include "platform/platform.h"

namespace platform {

intptr_t ShellExecute(const std::string&, const std::string&, const std::string&, const std::string&, int) {
    return kErrorGenFailure;
}

}  // namespace platform
