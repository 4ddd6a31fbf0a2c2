// What both viewers share: the command line, the settings file, page names and the rule for which
// addresses stay in the window. Plain C++: no window toolkit and no call of the operating system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace viewer {

inline constexpr int kDefaultHeight = 400;
inline constexpr int kDefaultWidth = 600;

struct ViewerArgs {
    bool debug = false;
    std::string firstPage = "index.htm";
    std::string linkText = "-";
    std::string address = "-";
    bool maximised = false;
    bool borderless = false;
    int height = kDefaultHeight;
    int width = kDefaultWidth;
};

// Splits a parameter string into arguments as a Windows program's runtime does, the rule by which
// the disc's viewer receives its tokens from an autorun line or a shell start:
// - spaces and tabs separate arguments outside a quoted group;
// - 2n backslashes before a double quote give n backslashes, and the quote opens or closes a
//   group; 2n+1 give n backslashes and a literal quote;
// - backslashes not before a double quote are literal;
// - inside a group, a doubled quote gives a literal quote and the group goes on;
// - an empty group ("") is an empty argument.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Reads the tokens by position: debug, first page, link text, address, maximised,
// borderless, height, width. Any tail may be missing (the "M" and "M" "N" lists are just
// shorter lists) and takes the defaults; a size that is not a plain positive number does too.
ViewerArgs ParseViewerArgs(const std::vector<std::string>& tokens);

// The tokens a settings file "kvd.cfg" stands for, debug off: the viewer started with no
// arguments (a reader double-clicking it on the CD) takes its settings from there. Lines end at
// a carriage return (a line feed right after it is skipped), a Ctrl-Z ends the text, and only
// the first seven lines count.
std::vector<std::string> SettingsFileTokens(const std::string& bytes);

// Whether the menu item that opens the system browser is wanted at all.
bool HasWebLink(const ViewerArgs& args);
// Whether that item has an address to open.
bool HasWebLinkAddress(const ViewerArgs& args);

// The file-name part of a page name in either form: after the last backslash, colon or slash.
std::string PageFileName(const std::string& page);

// Whether a page may be handed to the reader's own browser when the viewer cannot show it: a
// name ending in .htm, .html, .xhtml or .xht in any letter case. Anything else (a program, a
// shortcut, a script) would be run by the shell, not shown.
bool IsPageForBrowser(const std::string& page);

// A Windows full path: a drive letter and a colon ("C:\x.htm", "C:x.htm"), or a leading
// backslash ("\x.htm", "\\server\share\x.htm").
bool IsWindowsFullPath(const std::string& page);

// A page name relative to the viewer's folder, joined to that folder with the separator of the
// system: either separator in the name becomes that one, and exactly one stands between them.
std::string JoinPagePath(const std::string& folder, const std::string& page, char separator);

// Whether the path lies inside the folder, judged on the text alone: both in the same form,
// separators '/' or '\\' (either counts as one), and a part made only of dots and spaces in the
// path refuses it, since it could lead out (Windows trims ".. " to ".."). A folder matches only
// whole parts, so "cd2" is not inside "cd". caseBlind compares the letters a to z without case,
// as a Windows file system does.
bool PathInsideFolder(std::string_view folder, std::string_view path, bool caseBlind);

// A path with its "." and ".." parts resolved on the text, as a browser resolves the path of an
// address before anything is looked up: a ".." takes away the part before it, and at the root of
// a rooted path it stays there. Separators '/' or '\\' become the one given, doubled ones one.
// Nothing when a ".." of a relative path climbs above its start, or when a part is made only of
// dots and spaces without being "." or ".." (Windows trims such a part, ".. " to "..").
std::optional<std::string> ResolveDotParts(std::string_view path, char separator);

// A first page relative to the viewer's folder, which must stay on the disc however it is spelt: its
// "." and ".." parts resolved on their own first, then joined to the folder; empty when it leads out.
std::string JoinPageInside(const std::string& folder, const std::string& page, char separator);

// The scheme of an address, lower-cased ("http" of "HTTP://x"); empty when it has none, or when
// what stands before the colon is a drive letter.
std::string AddressScheme(std::string_view address);

// What an address is to the viewer. discScheme: the scheme under which the front end shows the
// disc's own pages.
enum class AddressKind {
    kDiscPage,  // a page or file of the disc, under the front end's own scheme
    kEngineOwn, // made up by the browser engine itself: about:, data:, blob:, javascript:, and the
                // Windows control's own error pages, res://ieframe.dll/<page> (no other res: address,
                // which would show the resources of any file)
    kLocalFile, // a file: address
    kWeb,       // http: or https:
    kMail,      // mailto:
    kOther,     // any other scheme (ftp:, shell:, a program's own protocol), and an address that
                // does not start with its scheme (a leading space or control character)
};
AddressKind ClassifyAddress(std::string_view address, std::string_view discScheme);

// Where a navigation goes. The disc's pages and the engine's own stay in the window; a page of the
// web or a mail address that would replace the page goes to the reader's programs; content from
// the web embedded in a page loads there, as in any browser. Every other scheme is refused in
// every frame: handed to the system, it would start whatever program claims it. A file: address
// is refused: a front end that can tell it names a file of the disc turns it into the disc page
// first.
enum class Route { kShowHere, kOpenElsewhere, kRefuse };
Route RouteNavigation(AddressKind kind, bool mainFrame);

// Whether the address may be handed to the reader's programs at all: http:, https: and mailto:
// only. Both viewers ask it again right where they hand an address over.
bool GoesToReadersPrograms(std::string_view address);

// The viewer's own page that explains a missing page (UTF-8): the sentence, what was looked for
// (when anything), and the way out.
std::string MissingPageSentence(const std::string& fileName, bool firstPage);
std::string MissingPageHtml(const std::string& sentence, const std::string& lookedFor);

// Text made safe to stand in HTML content or a quoted attribute.
std::string HtmlEscape(std::string_view text);

} // namespace viewer
