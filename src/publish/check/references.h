// What pages and style sheets refer to, and where a reference leads.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace publish::engine {
class PageScanner;
class StyleScanner;
} // namespace publish::engine

namespace publish::detail {

// What the document does with the target, where the engine's rules care.
enum class Role {
    Other,
    Picture, // shown as a picture by the Windows viewer's engine (not a <source> it skips for its <img>)
    Script,  // run as a classic script
};

struct RawReference {
    std::string text; // as written (character references of HTML already decoded)
    int line = 0;
    Role role = Role::Other;
};

// What the viewers take a page without a declared character set for.
inline constexpr const char* kUndeclaredCharset = "windows-1252";

struct Decoded {
    std::string text;      // UTF-8
    std::string charset;   // the decoding used: "utf-8", "windows-1252", "utf-16le", or a name the converter knows
    bool declared = false; // by a byte order mark or a declaration in the file (a style sheet: or by its page)
    bool nonAscii = false; // the file has bytes above 127, so the decoding matters
};

// A page as the viewers read it: a byte order mark wins, then a <meta> character set within the first 1024
// bytes (for XML: the XML declaration, else UTF-8), else windows-1252.
Decoded DecodePage(std::string_view bytes, bool xml);

// A style sheet as the viewers read it: a byte order mark wins, then @charset at its start, else the
// character set of the page that loads it.
Decoded DecodeStyleSheet(std::string_view bytes, const std::string& pageCharset, bool pageDeclared);

struct PageScan {
    std::vector<RawReference> references;
    std::unordered_set<std::string> anchors; // every id, and the name of every <a>
    bool hasBase = false;
    RawReference base; // the first <base href>
    std::string charset;
    bool charsetDeclared = false;
    bool nonAscii = false;
};

// Parses a page with libxml2's HTML parser; references come from every attribute a browser loads or
// follows, srcset, and the style sheets written into the page. The page is decoded with DecodePage first.
// The walk hands the engine's rules, when given, every element with its attributes, the page's style sheets
// and its inline scripts, so that the page is parsed once.
PageScan ScanHtml(std::string_view bytes, bool xml = false, engine::PageScanner* engine = nullptr);

// References of CSS text (url() and @import), lines counted from firstLine; its tokens go to styles when it
// is given. A form feed ends a line of a style sheet file, but not of a page, whose style elements and
// attributes count lines as the page does.
void ScanCss(std::string_view text, int firstLine, std::vector<RawReference>& out,
             engine::StyleScanner* styles = nullptr, bool formFeedEndsLine = true);

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
