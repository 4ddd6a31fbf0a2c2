// The per-thread last error and the host's errno values in Win32 terms.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace platform {

namespace {

thread_local uint32_t lastError = kErrorSuccess;

bool IsFolder(const std::string& hostPath) {
    struct stat st;
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Everything before the last name; a trailing slash belongs to the name.
std::string HostParent(std::string hostPath) {
    while (hostPath.size() > 1 && hostPath.back() == '/') hostPath.pop_back();
    const auto slash = hostPath.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return hostPath.substr(0, slash);
}

}  // namespace

uint32_t GetLastError() { return lastError; }

void SetLastError(uint32_t code) { lastError = code; }

namespace posix {

uint32_t CodeFromErrno(int error, const std::string& hostPath) {
    switch (error) {
    case 0: return kErrorGenFailure;  // a failure the system did not explain is still a failure
    case ENOENT: return hostPath.empty() || IsFolder(HostParent(hostPath)) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
    case ELOOP: return kErrorPathNotFound;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case ETXTBSY:
    case EAGAIN: return kErrorSharingViolation;
    case EBUSY: return kErrorBusy;
    case ENOSPC:
    case EDQUOT: return kErrorDiskFull;
    case ENOMEDIUM: return kErrorNotReady;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    // Writing to a pipe nobody reads: Windows says the pipe is being closed.
    case EPIPE: return kErrorNoData;
    case EINVAL: return kErrorInvalidParameter;
    case EEXIST: return kErrorAlreadyExists;
    default: return kErrorGenFailure;
    }
}

}  // namespace posix

}  // namespace platform
