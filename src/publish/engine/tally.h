// What a document uses that the Windows viewer's engine lacks, gathered into findings.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "publish/publish.h"

namespace publish::engine {

// One finding per kind and construct in a document: at the line of its first use, with the number of uses.
class Tally {
public:
    // kind: "windows-script", "windows-css", ...; what: the construct in words ("arrow function").
    void Add(std::string_view kind, Severity severity, std::string_view what, int line);

    // The findings for the document, relative path file, in the order the constructs were first met.
    std::vector<Finding> Findings(const std::string& file) const;

    // Lines past the document's last are guesses that went wrong (a quote that never closes); the last line
    // is where such a construct ends.
    void LimitLines(int lastLine);

private:
    struct Entry {
        Severity severity = Severity::Warning;
        int line = 0;
        int count = 0;
    };
    using Key = std::pair<std::string, std::string>;  // kind, what
    std::map<Key, Entry> entries_;
    std::vector<Key> order_;
};

// Whether a finding is about what the Windows viewer's engine lacks ("windows-css", "script-syntax", ...).
bool IsEngineKind(std::string_view kind);

// The sentence of a finding: what the reader on Windows gets, the construct, and how often it is used.
std::string EngineMessage(std::string_view kind, std::string_view what, int count);

}  // namespace publish::engine
