// Prepared project folders and expected findings for the publish tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "publish/publish.h"
#include "support/temp_dir.h"

namespace publish_test {

using testing_support::MakeDirs;
using testing_support::WriteBytes;

// A project the check passes: the two start files, the viewer, settings naming index.htm, and two pages that
// link each other.
inline void WriteGoodProject(const testing_support::TempDir& dir) {
    WriteBytes(dir / "autorun.inf", "[autorun]\r\nopen=kvd.exe \"index.htm\"\r\n");
    WriteBytes(dir / "kvd.exe", std::string("MZ\x90\0\x03\0\0\0", 8));
    WriteBytes(dir / "kvd.cfg", "index.htm\r\nVisit us on the Web!\r\nhttp://example.org\r\n-\r\n-\r\n400\r\n600\r\n");
    WriteBytes(dir / "index.htm", "<html><body>\n<a href=\"sub/b.htm\">b</a>\n</body></html>\n");
    MakeDirs(dir / "sub");
    WriteBytes(dir / "sub/b.htm", "<p id=\"here\"><a name=\"there\" href=\"../index.htm#top\">back</a></p>\n");
}

struct Expected {
    publish::Severity severity;
    std::string kind;
    std::string file;
    int line;
    std::optional<std::string> reference;

    bool operator==(const Expected&) const = default;
};

inline void PrintTo(const Expected& e, std::ostream* os) {
    *os << publish::SeverityName(e.severity) << " " << e.kind << " " << e.file << ":" << e.line << " ["
        << e.reference.value_or("(none)") << "]";
}

inline std::vector<Expected> Brief(const publish::CheckResult& result) {
    std::vector<Expected> out;
    for (const publish::Finding& f : result.findings)
        out.push_back({f.severity, f.kind, f.file, f.line, f.reference});
    return out;
}

} // namespace publish_test
