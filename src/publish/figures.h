// Sizes as people read them, in the library's messages and in kvd_cd's output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace publish {

// 1,234,567
inline std::string Grouped(uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// "12.3 MB", in units of 1024 * 1024 bytes.
inline std::string Megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    return text;
}

} // namespace publish
