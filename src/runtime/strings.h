// Byte-string helpers of the wizard's logic.
#pragma once

#include <string>

namespace rtl {

// Removes every leading and trailing byte with a code of 32 or lower.
std::string Trim(const std::string& text);
// a to z become A to Z; every other byte stays.
std::string UpperCase(const std::string& text);
// Everything up to and including the last backslash or colon.
std::string ExtractFilePath(const std::string& name);
// Everything after the last backslash or colon; the whole name when there is none.
std::string ExtractFileName(const std::string& name);
// The path with one backslash appended unless it already ends in one.
std::string IncludeTrailingBackslash(const std::string& path);

}  // namespace rtl
