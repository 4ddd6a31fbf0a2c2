// Scripts read with a real JavaScript parser: the syntax and the script interfaces the Windows viewer's
// engine lacks, and scripts no engine can read.
#pragma once

#include <string_view>

#include "publish/engine/tally.h"

namespace publish::engine {

// One per check: identical inline blocks are parsed once. The threads of a check may share it.
class ScriptScanner {
public:
    ScriptScanner();
    ~ScriptScanner();
    ScriptScanner(const ScriptScanner&) = delete;
    ScriptScanner& operator=(const ScriptScanner&) = delete;

    // An inline <script> block starting at firstLine of its page.
    void Scan(std::string_view source, int firstLine, Tally& tally);
    // A script file, reached once in a check, so not remembered.
    void ScanFile(std::string_view source, Tally& tally);
    // The body of an event-handler attribute (onclick="...") on the given line.
    void ScanHandler(std::string_view source, int line, Tally& tally);

private:
    struct State;
    State* state_;
};

}  // namespace publish::engine
