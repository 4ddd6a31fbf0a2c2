// The script scanner of the engine check: no crash or leak on any bytes, every finding on a line of the
// script, a script no engine reads reported alone, and a second reading of the same text (from the
// scanner's cache, and as an event handler) finding the same at the same lines, each counted again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "publish/engine/scripts.h"
#include "publish/engine/tally.h"

using fuzz_support::Require;
using publish::Finding;
using publish::Severity;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr int kFirstLine = 7;
    const int lastLine = kFirstLine + fuzz_support::LineBreaks(bytes, false);

    publish::engine::ScriptScanner scanner;
    publish::engine::Tally once;
    scanner.Scan(bytes, kFirstLine, once);
    const std::vector<Finding> first = once.Findings("a.js");
    bool broken = false;
    for (const Finding& f : first) {
        Require(f.line >= kFirstLine && f.line <= lastLine, "finding on a line of the script",
                std::to_string(f.line) + " of " + std::to_string(lastLine) + ": " + f.message);
        Require(f.kind == "windows-script" || f.kind == "windows-api" || f.kind == "script-syntax" ||
                    f.kind == "script-unread",
                "finding of a script kind", f.kind);
        Require(f.severity == (f.kind == "script-unread" ? Severity::Note : Severity::Warning),
                "warnings, a note for a script not read", f.message);
        Require(f.file == "a.js", "finding of the file", f.file);
        broken |= f.kind == "script-syntax";
    }
    if (broken) Require(first.size() == 1, "a script no engine reads is one finding");

    publish::engine::Tally twice;
    scanner.Scan(bytes, kFirstLine, twice);
    scanner.ScanHandler(bytes, kFirstLine, twice);
    const std::vector<Finding> second = twice.Findings("a.js");
    Require(second.size() == first.size(), "the same findings on a second reading");
    for (size_t i = 0; i < first.size(); ++i) {
        Require(second[i].kind == first[i].kind && second[i].line == first[i].line, "same kind and line",
                second[i].message);
        Require(second[i].message.find(" uses in this file, the first here).") != std::string::npos,
                "each use counted again", second[i].message);
    }
    return 0;
}
