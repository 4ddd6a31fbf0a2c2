// File handles, deletion, attributes and file identity on POSIX hosts.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/posix_internal.h"

namespace platform {

namespace {

int Descriptor(FileHandle handle) { return static_cast<int>(handle); }

bool HandleInRange(FileHandle handle) { return handle >= 0 && handle <= INT32_MAX; }

bool Fail(uint32_t code) {
    SetLastError(code);
    return false;
}

// A descriptor that is open but not for this direction is a handle without that access right, as
// Windows says of it; only a closed one is an invalid handle.
uint32_t TransferError(int error, FileHandle handle) {
    if (error == EBADF && ::fcntl(Descriptor(handle), F_GETFL) >= 0) return kErrorAccessDenied;
    return posix::CodeFromErrno(error, std::string());
}

// Writing to a pipe nobody reads must report the broken pipe, not end the process. The signal
// is held back for this thread only and taken away again, so the process's own disposition,
// which child processes inherit, stays as it was.
ssize_t WriteWithoutBrokenPipeSignal(int fd, const char* data, size_t count) {
    sigset_t pipeOnly;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    sigset_t pendingBefore;
    sigpending(&pendingBefore);
    const bool wasPending = sigismember(&pendingBefore, SIGPIPE) == 1;

    ssize_t n;
    do {
        n = ::write(fd, data, count);
    } while (n < 0 && errno == EINTR);
    const int saved = errno;

    if (n < 0 && saved == EPIPE && !wasPending) {
        const timespec noWait{0, 0};
        sigtimedwait(&pipeOnly, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return n;
}

}  // namespace

namespace posix {

namespace {

uint32_t Attributes(const struct stat& st, const std::string& name, bool writable) {
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= kAttrDirectory;
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        attributes |= kAttrArchive;
    } else {
        attributes |= kAttrSystem;  // sockets, devices and pipes
    }
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= kAttrHidden;
    if (!S_ISLNK(st.st_mode) && !writable) attributes |= kAttrReadOnly;
    return attributes == 0 ? static_cast<uint32_t>(kAttrNormal) : attributes;
}

}  // namespace

uint32_t AttributesFromStat(const struct stat& st, const std::string& name, const std::string& hostPath) {
    return Attributes(st, name, S_ISLNK(st.st_mode) || ::access(hostPath.c_str(), W_OK) == 0);
}

uint32_t AttributesFromStatAt(const struct stat& st, const std::string& name, int dirFd) {
    return Attributes(st, name, S_ISLNK(st.st_mode) || ::faccessat(dirFd, name.c_str(), W_OK, 0) == 0);
}

uint64_t TicksFromTimespec(const struct timespec& time) {
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
    constexpr uint64_t kTicksPerSecond = 10000000u;
    if (time.tv_sec < -kSecondsFrom1601To1970) return 0;
    const uint64_t seconds = static_cast<uint64_t>(time.tv_sec) + static_cast<uint64_t>(kSecondsFrom1601To1970);
    const uint64_t fraction = time.tv_nsec > 0 ? static_cast<uint64_t>(time.tv_nsec) / 100 : 0;
    // A 64-bit host time tens of thousands of years ahead does not fit: it stays the latest
    // time there is instead of wrapping round to one that looks ordinary.
    if (seconds > (UINT64_MAX - fraction) / kTicksPerSecond) return UINT64_MAX;
    return seconds * kTicksPerSecond + fraction;
}

}  // namespace posix

FileHandle CreateFile(const std::string& name, uint32_t access, uint32_t /*share*/, uint32_t disposition,
                      uint32_t flags) {
    posix::ResolvedPath resolved;
    uint32_t error = 0;
    if (!posix::ResolvePath(name, &resolved, &error)) {
        SetLastError(error);
        return kInvalidFileHandle;
    }
    const bool reading = (access & kGenericRead) != 0;
    const bool writing = (access & kGenericWrite) != 0;
    const bool replaceLink = disposition == kCreateAlways && (flags & kFlagOpenReparsePoint) != 0;
    int how = (reading && writing) ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    if (disposition == kCreateAlways) {
        how |= O_CREAT | O_TRUNC | (replaceLink ? O_NOFOLLOW : 0);
    } else if (disposition != kOpenExisting) {
        SetLastError(kErrorInvalidParameter);
        return kInvalidFileHandle;
    }
    // Opened without blocking so that a named pipe without a partner cannot hang the caller;
    // the descriptor blocks as usual afterwards.
    const auto openAs = [&resolved](int mode) {
        int fd;
        do {
            fd = ::open(resolved.host.c_str(), mode | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
        } while (fd < 0 && errno == EINTR);
        return fd;
    };
    int fd = openAs(how);
    // The link goes and the new file is made only where nothing stands any more, so that no link
    // put there meanwhile is followed either.
    if (fd < 0 && errno == ELOOP && replaceLink) {
        struct stat link;
        if (::lstat(resolved.host.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            fd = ::unlink(resolved.host.c_str()) == 0 ? openAs(how | O_EXCL) : -1;
        } else {
            errno = ELOOP;
        }
    }
    if (fd < 0) {
        SetLastError(posix::CodeFromErrno(errno, resolved.host));
        return kInvalidFileHandle;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(kErrorAccessDenied);
        return kInvalidFileHandle;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return static_cast<FileHandle>(fd);
}

bool ReadFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* read) {
    if (read) *read = 0;
    if (!HandleInRange(handle)) return Fail(kErrorInvalidHandle);
    ssize_t n;
    do {
        n = ::read(Descriptor(handle), buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Fail(TransferError(errno, handle));
    if (read) *read = static_cast<uint32_t>(n);
    return true;
}

bool WriteFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* written) {
    if (written) *written = 0;
    if (!HandleInRange(handle)) return Fail(kErrorInvalidHandle);
    const char* data = static_cast<const char*>(buffer);
    uint32_t done = 0;
    // A short write is continued, so that success always means every byte was taken.
    while (done < count) {
        const ssize_t n = WriteWithoutBrokenPipeSignal(Descriptor(handle), data + done, count - done);
        if (n < 0) {
            if (written) *written = done;
            return Fail(TransferError(errno, handle));
        }
        if (n == 0) {
            if (written) *written = done;
            return Fail(kErrorGenFailure);
        }
        done += static_cast<uint32_t>(n);
    }
    if (count == 0) {
        // A zero-length write still tells a dead handle from a live one.
        struct stat st;
        if (::fstat(Descriptor(handle), &st) != 0) return Fail(kErrorInvalidHandle);
    }
    if (written) *written = done;
    return true;
}

bool CloseHandle(FileHandle handle) {
    if (!HandleInRange(handle)) return Fail(kErrorInvalidHandle);
    // After EINTR the descriptor is gone all the same on this host; closing again could
    // release somebody else's.
    if (::close(Descriptor(handle)) != 0 && errno != EINTR) return Fail(posix::CodeFromErrno(errno, std::string()));
    return true;
}

uint32_t GetFileType(FileHandle handle) {
    struct stat st;
    if (!HandleInRange(handle) || ::fstat(Descriptor(handle), &st) != 0) {
        SetLastError(kErrorInvalidHandle);
        return kFileTypeUnknown;
    }
    if (S_ISCHR(st.st_mode)) return kFileTypeChar;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return kFileTypePipe;
    return kFileTypeDisk;
}

int64_t SetFilePointer(FileHandle handle, int64_t distance, uint32_t method) {
    if (!HandleInRange(handle)) {
        SetLastError(kErrorInvalidHandle);
        return -1;
    }
    int whence;
    switch (method) {
    case kFileBegin: whence = SEEK_SET; break;
    case kFileCurrent: whence = SEEK_CUR; break;
    case kFileEnd: whence = SEEK_END; break;
    default: SetLastError(kErrorInvalidParameter); return -1;
    }
    const off_t position = ::lseek(Descriptor(handle), static_cast<off_t>(distance), whence);
    if (position < 0) {
        // The only way to a negative offset: a position before the start.
        SetLastError(errno == EINVAL ? static_cast<uint32_t>(kErrorNegativeSeek) : posix::CodeFromErrno(errno, std::string()));
        return -1;
    }
    return static_cast<int64_t>(position);
}

bool DeleteFile(const std::string& name) {
    posix::ResolvedPath resolved;
    uint32_t error = 0;
    if (!posix::ResolvePath(name, &resolved, &error)) return Fail(error);
    if (resolved.device) return Fail(kErrorAccessDenied);
    struct stat st;
    if (::lstat(resolved.host.c_str(), &st) != 0) return Fail(posix::CodeFromErrno(errno, resolved.host));
    if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
    if (::unlink(resolved.host.c_str()) != 0) return Fail(posix::CodeFromErrno(errno, resolved.host));
    return true;
}

uint32_t GetFileAttributes(const std::string& name) {
    posix::ResolvedPath resolved;
    uint32_t error = 0;
    if (!posix::ResolvePath(name, &resolved, &error)) {
        SetLastError(error);
        return kInvalidFileAttributes;
    }
    struct stat st;
    if (::stat(resolved.host.c_str(), &st) != 0) {
        const int saved = errno;
        if (saved != ENOENT || ::lstat(resolved.host.c_str(), &st) != 0) {
            SetLastError(posix::CodeFromErrno(saved, resolved.host));
            return kInvalidFileAttributes;
        }
    }
    return posix::AttributesFromStat(st, resolved.lastName, resolved.host);
}

bool SameFileObject(const std::string& a, const std::string& b) {
    std::string hostA;
    std::string hostB;
    uint32_t error = 0;
    if (!posix::ToHostPath(a, &hostA, &error) || !posix::ToHostPath(b, &hostB, &error)) return Fail(error);
    struct stat stA;
    struct stat stB;
    if (::stat(hostA.c_str(), &stA) != 0) return Fail(posix::CodeFromErrno(errno, hostA));
    if (::stat(hostB.c_str(), &stB) != 0) return Fail(posix::CodeFromErrno(errno, hostB));
    return stA.st_dev == stB.st_dev && stA.st_ino == stB.st_ino;
}

}  // namespace platform
