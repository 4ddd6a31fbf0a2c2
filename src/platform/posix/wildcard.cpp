// Windows file-name pattern matching.
#include "platform/posix/wildcard.h"

#include <algorithm>

#include "platform/platform.h"

namespace platform::posix {

namespace {

size_t CountDots(const std::vector<std::string>& characters) {
    return static_cast<size_t>(std::count(characters.begin(), characters.end(), std::string(".")));
}

}  // namespace

WildcardPattern::WildcardPattern(const std::string& pattern) {
    const std::string lower = CharLower(pattern);
    hasWildcards_ = lower.find_first_of("*?") != std::string::npos;
    if (!hasWildcards_) {
        exactLower_ = lower;
        return;
    }
    if (lower == "*" || lower == "*.*") {
        matchAll_ = true;
        return;
    }
    std::string text = lower;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, ".*") == 0) {
        hasShortForm_ = true;
        shortForm_ = Utf8Characters(text.substr(0, text.size() - 2));
    } else if (text.back() == '.') {
        while (!text.empty() && text.back() == '.') text.pop_back();
        noExtension_ = true;
    }
    pattern_ = Utf8Characters(text);
    if (noExtension_) dotsAllowed_ = CountDots(pattern_);
}

bool WildcardPattern::Matches(const std::string& name) const {
    if (matchAll_) return true;
    const std::string lower = CharLower(name);
    if (!hasWildcards_) return lower == exactLower_;
    const Characters characters = Utf8Characters(lower);
    // "." and ".." are names without an extension too.
    if (noExtension_ && lower != "." && lower != ".." && CountDots(characters) != dotsAllowed_) return false;
    if (Glob(characters, pattern_)) return true;
    return hasShortForm_ && Glob(characters, shortForm_);
}

// Backtracks only to the latest "*", which is enough for patterns without character classes.
bool WildcardPattern::Glob(const Characters& name, const Characters& pattern) {
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::string::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == "*") {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && pattern[p] == "?" && name[n] == ".") {
            // Before a period a run of "?" stands for no character at all: "a?.htm" takes "a.htm".
            while (p < pattern.size() && pattern[p] == "?") ++p;
        } else if (p < pattern.size() && (pattern[p] == "?" || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    // So does a run of "?" at the end of the name.
    while (p < pattern.size() && (pattern[p] == "*" || pattern[p] == "?")) ++p;
    return p == pattern.size();
}

}  // namespace platform::posix
