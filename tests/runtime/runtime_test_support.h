// Windows names for host paths, and the check of an expected I/O error, for the runtime tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/posix/drive_table.h"
#include "runtime/exceptions.h"
#include "runtime/text_file.h"
#include "support/temp_dir.h"

namespace runtime_tests {

inline std::string Win(const std::string& hostPath) { return platform::posix::FromHostPath(hostPath); }

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

}  // namespace runtime_tests
