// What pages and style sheets refer to, and where a reference leads.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace publish::detail {

struct RawReference {
    std::string text; // as written (character references of HTML already decoded)
    int line = 0;
};

struct PageScan {
    std::vector<RawReference> references;
    std::unordered_set<std::string> anchors; // every id, and the name of every <a>
    bool hasBase = false;
    RawReference base; // the first <base href>
};

// Parses a page with libxml2's HTML parser; references come from every attribute a browser loads or
// follows, srcset, and the style sheets written into the page.
PageScan ScanHtml(std::string_view bytes);

// References of CSS text (url() and @import), lines counted from firstLine. A form feed ends a line of
// a style sheet file, but not of a page, whose style elements and attributes count lines as the page does.
void ScanCss(std::string_view text, int firstLine, std::vector<RawReference>& out, bool formFeedEndsLine = true);

// The URLs of a srcset value, in order.
std::vector<std::string> SrcsetUrls(std::string_view value);

enum class Target {
    Local,    // a file or folder inside the project folder: path
    Self,     // the page itself (an empty path, maybe with a fragment)
    Outside,  // leaves the project folder: "../" above the root, an absolute path, a drive letter, file:
    External, // another scheme, or a network path: scheme
    Inline,   // a data: URL, which names no file
};

struct Resolved {
    Target target = Target::Local;
    std::string path;          // Local: "sub/a.htm" relative to the project folder, percent-decoded, "." and ".." gone
    bool folderSyntax = false; // the path ended in "/"
    bool hasFragment = false;
    std::string fragment; // percent-decoded
    std::string scheme;   // External: "https", "mailto", ...; "" for a network path "//host/..."
};

// Where a reference leads from a document in the folder docFolder ("" for the root, else "a/b"). A base
// is resolved first against docFolder with this same function and handed in as resolvedBase (nullptr:
// none).
Resolved ResolveReference(std::string_view reference, const std::string& docFolder,
                          const Resolved* resolvedBase = nullptr);

std::string PercentDecode(std::string_view text);

} // namespace publish::detail
