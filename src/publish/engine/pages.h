// Pages as the check's walk meets them: the elements and attributes the Windows viewer's engine lacks, and
// the page's own style sheets and scripts handed on to their scanners.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "publish/engine/tally.h"

namespace publish::engine {

class ScriptScanner;

using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
// The line of an attribute of the element at hand (an empty name: of the tag), worked out only when asked.
struct LineOf {
    int (*call)(const void* self, std::string_view attribute);
    const void* self;
    int operator()(std::string_view attribute) const { return call(self, attribute); }
};

// Whether a <script type="..."> is a classic script the engine runs (no type, or a JavaScript one).
bool IsClassicScript(std::string_view type);

// One per page.
class PageScanner {
public:
    // scripts: the check's one script scanner; nullptr reads no scripts.
    PageScanner(Tally& tally, ScriptScanner* scripts);

    // Names in lower case, as the HTML parser hands them over; attribute values decoded.
    void StartElement(std::string_view tag, const Attributes& attributes, const LineOf& lineOf);
    void EndElement(std::string_view tag);
    // An inline classic <script> block whose text starts on firstLine.
    void Script(std::string_view text, int firstLine);

    Tally& tally() { return tally_; }

private:
    Tally& tally_;
    ScriptScanner* scripts_;
    // Open <picture> elements and whether each has an <img> yet.
    std::vector<std::pair<int, bool>> pictures_;
    // The feature path being asked, kept so that its memory serves every element of the page.
    std::string path_;
};

}  // namespace publish::engine
