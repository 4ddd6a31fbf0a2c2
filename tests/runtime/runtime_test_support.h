// Windows names for host paths, and the check of an expected I/O error, for the runtime tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/drive_table.h"
#endif
#include "runtime/exceptions.h"
#include "runtime/text_file.h"
#include "support/temp_dir.h"

namespace runtime_tests {

#ifdef _WIN32
// The host's paths are Windows paths.
inline std::string Win(const std::string& hostPath) { return hostPath; }
#else
inline std::string Win(const std::string& hostPath) { return platform::posix::FromHostPath(hostPath); }
#endif

// The I/O result holds the code; the check raises it with the message and leaves 0 behind.
inline void ExpectCheckRaises(int32_t code, const std::string& message) {
    EXPECT_EQ(rtl::IOResult(), code);
    try {
        rtl::InOutCheck();
        ADD_FAILURE() << "no EInOutError for " << code;
    } catch (const rtl::EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, code);
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(rtl::IOResult(), 0);
}

// Makes a file refuse every write, also to root, while the object lives; false where the file
// system cannot do that.
class ImmutableFile {
public:
    explicit ImmutableFile(const std::string& hostPath) : path_(hostPath) { set_ = SetFlag(true); }
    ~ImmutableFile() {
        if (set_) SetFlag(false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool Active() const { return set_; }

private:
    bool SetFlag(bool on) {
#ifdef _WIN32
        // No such flag on Windows; a read-only attribute does not stop a rewrite by its owner's tools.
        (void)on;
        return false;
#else
        const int fd = open(path_.c_str(), O_RDONLY);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return ok;
#endif
    }
    std::string path_;
    bool set_ = false;
};

}  // namespace runtime_tests
