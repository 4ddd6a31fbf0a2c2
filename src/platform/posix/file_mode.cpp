// The permission bits of a whole-file copy on POSIX hosts.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/posix_internal.h"

namespace platform {

bool CopyFileMode(const std::string& source, const std::string& target) {
    std::string hostSource;
    std::string hostTarget;
    uint32_t error = 0;
    if (!posix::ToHostPath(source, &hostSource, &error) || !posix::ToHostPath(target, &hostTarget, &error)) {
        SetLastError(error);
        return false;
    }
    struct stat st;
    if (::stat(hostSource.c_str(), &st) != 0) {
        SetLastError(posix::CodeFromErrno(errno, hostSource));
        return false;
    }
    // The umask can only be read by setting it; it is put back at once.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666;
    if (st.st_mode & S_IXUSR) mode |= 0111;
    mode &= ~mask;
    if (::chmod(hostTarget.c_str(), mode) != 0) {
        SetLastError(posix::CodeFromErrno(errno, hostTarget));
        return false;
    }
    return true;
}

}  // namespace platform
