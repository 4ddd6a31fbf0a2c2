// Byte-string helpers; every byte is taken as unsigned and nothing depends on a locale.
#include "runtime/strings.h"

namespace rtl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Index just past the last backslash or colon, 0 when there is none.
size_t NameStart(const std::string& name) {
    const size_t last = name.find_last_of("\\:");
    return last == std::string::npos ? 0 : last + 1;
}

}  // namespace

std::string Trim(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string UpperCase(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string ExtractFilePath(const std::string& name) { return name.substr(0, NameStart(name)); }

std::string ExtractFileName(const std::string& name) { return name.substr(NameStart(name)); }

std::string IncludeTrailingBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + '\\';
}

}  // namespace rtl
