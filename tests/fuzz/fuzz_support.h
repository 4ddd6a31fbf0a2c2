// What the fuzz targets share: a failed property stops the run with the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz_support {

// abort() rather than an exception: libFuzzer keeps the input of a crash, not of a throw.
[[noreturn]] inline void Fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "property broken: %s [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void Require(bool ok, const char* what, std::string_view detail = {}) {
    if (!ok) Fail(what, detail);
}

// Line breaks as the scanners count them: LF, form feed where asked, and a CR not followed by LF.
inline int LineBreaks(std::string_view text, bool formFeed) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || (formFeed && c == '\f') || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++count;
    }
    return count;
}

} // namespace fuzz_support
