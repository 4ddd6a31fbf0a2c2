// The error box's text rule and the application title.
#pragma once

#include <string>

namespace rtl {

// The message with a period appended when its last byte is above '.' (0x2E), unsigned.
std::string ErrorBoxText(const std::string& message);
// The title from the program file's full path: the name after the last backslash, cut at its
// first period, every byte after the first lower-cased.
std::string ApplicationTitleFromPath(const std::string& programPath);
// The title of this program, formed once from the platform's program path.
const std::string& ApplicationTitle();

}  // namespace rtl
