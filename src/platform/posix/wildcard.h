// File-name patterns with the Windows rules of the directory search.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// "*" stands for any run of characters and "?" for exactly one, or for none at the end of the
// name and before a period (as on Windows, "a?.htm" matches "a.htm"); a pattern that ends in ".*"
// also matches the names without that extension ("*.*" matches every name), and one that
// ends in "." matches only names without one. A pattern without wildcards names one entry.
// Case is ignored by the platform's file-name casing; characters are UTF-8 sequences where
// the bytes form them, single bytes elsewhere.
class WildcardPattern {
public:
    explicit WildcardPattern(const std::string& pattern);
    bool Matches(const std::string& name) const;

private:
    using Characters = std::vector<std::string>;
    static bool Glob(const Characters& name, const Characters& pattern);

    bool matchAll_ = false;
    bool hasWildcards_ = false;
    Characters pattern_;
    // For a pattern ending in ".*": the same without it, tried as well.
    bool hasShortForm_ = false;
    Characters shortForm_;
    // For a pattern ending in ".": how many dots the whole name may hold.
    bool noExtension_ = false;
    size_t dotsAllowed_ = 0;
    std::string exactLower_;
};

// Splits text into its characters: each valid UTF-8 sequence, or else a single byte.
std::vector<std::string> Utf8Characters(const std::string& text);

// The key by which NTFS orders the names of a folder: the upper-cased name's UTF-16 code units,
// written so that a plain byte comparison of two keys compares the code units ordinally. A byte
// that is not part of a UTF-8 sequence counts as the code unit of its value. No key holds a zero.
std::string NtfsOrderKey(const std::string& name);

}  // namespace platform::posix
