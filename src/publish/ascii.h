// The ASCII rules of HTML and CSS text: the white space they skip and the letter case they ignore.
#pragma once

#include <string>
#include <string_view>

namespace publish::ascii {

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = Lower(c);
    return out;
}

// A keyword as HTML compares it: without the white space around it, in lower case (" Text/JavaScript").
inline std::string TrimmedLower(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return Lower(text);
}

}  // namespace publish::ascii
