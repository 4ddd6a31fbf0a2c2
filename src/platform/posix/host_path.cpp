// Windows paths handed over to code that works on the host's own paths.
#include "platform/platform.h"
#include "platform/posix/drive_table.h"

namespace platform {

std::string HostPathOf(const std::string& windowsPath) {
    std::string host;
    uint32_t error = 0;
    if (windowsPath.empty() || !posix::ToHostPath(windowsPath, &host, &error)) return std::string();
    return host;
}

}  // namespace platform
