// Integer conversion to and from text.
#pragma once

#include <cstdint>
#include <string>

namespace rtl {

// Decimal or hexadecimal ("$1F", "x1F", "0x1F") text to a 32-bit signed integer; leading
// spaces are skipped. Raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& text);
// Decimal text: "-" before negative values, no leading zeros, no grouping.
std::string IntToStr(int32_t value);

}  // namespace rtl
