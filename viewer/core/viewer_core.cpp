// The viewers' shared rules.
#include "viewer_core.h"

#include <algorithm>

namespace viewer {
namespace {

// Sizes beyond this are typing mistakes rather than windows; the default serves better.
constexpr long kLargestSize = 32767;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char LowerAtoZ(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int ParseSize(const std::string& text, int fallback) {
    if (text.empty() || text.size() > 6) return fallback;
    long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return fallback;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kLargestSize) return fallback;
    return static_cast<int>(value);
}

// The non-empty parts of a path between its separators.
std::vector<std::string_view> PathParts(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = begin;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (end > begin) parts.push_back(path.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}

// "..", ". .", ".. ": Windows drops a part's trailing dots and spaces, so any of these may climb.
bool OnlyDotsAndSpaces(std::string_view part) {
    return !part.empty() && part.find_first_not_of(". ") == std::string_view::npos;
}

bool SamePart(std::string_view a, std::string_view b, bool caseBlind) {
    if (a.size() != b.size()) return false;
    if (!caseBlind) return a == b;
    return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAtoZ(x) == LowerAtoZ(y); });
}

// The control's own error pages ("res://ieframe.dll/navcancl.htm#http://..."): the library is
// named exactly, and the page is a plain name, so the address reaches no other file's resources.
bool IsEngineErrorPage(std::string_view address) {
    constexpr std::string_view kPrefix = "res://ieframe.dll/";
    if (address.size() <= kPrefix.size() || !SamePart(address.substr(0, kPrefix.size()), kPrefix, true)) return false;
    std::string_view page = address.substr(kPrefix.size());
    page = page.substr(0, page.find_first_of("#?"));
    if (page.empty() || OnlyDotsAndSpaces(page)) return false;
    return std::all_of(page.begin(), page.end(),
                       [](char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '-' || c == '.'; });
}

bool IsCommandLineSeparator(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    const size_t size = commandLine.size();
    size_t i = 0;
    while (true) {
        while (i < size && IsCommandLineSeparator(commandLine[i]))
            ++i;
        if (i >= size) break;
        std::string arg;
        bool inGroup = false;
        while (i < size) {
            size_t backslashes = 0;
            while (i < size && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < size && commandLine[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                    ++i;
                } else if (inGroup && i + 1 < size && commandLine[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    inGroup = !inGroup;
                    ++i;
                }
                continue;
            }
            arg.append(backslashes, '\\');
            if (i >= size) break;
            if (!inGroup && IsCommandLineSeparator(commandLine[i])) break;
            arg += commandLine[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

ViewerArgs ParseViewerArgs(const std::vector<std::string>& tokens) {
    ViewerArgs args;
    auto token = [&tokens](size_t index) -> const std::string* {
        return index < tokens.size() ? &tokens[index] : nullptr;
    };
    if (auto t = token(0)) args.debug = *t == "d";
    // An empty first page would name the viewer's folder itself; the wizard's default is meant.
    if (auto t = token(1); t && !t->empty()) args.firstPage = *t;
    if (auto t = token(2)) args.linkText = *t;
    if (auto t = token(3)) args.address = *t;
    if (auto t = token(4)) args.maximised = *t == "M";
    if (auto t = token(5)) args.borderless = *t == "N";
    if (auto t = token(6)) args.height = ParseSize(*t, kDefaultHeight);
    if (auto t = token(7)) args.width = ParseSize(*t, kDefaultWidth);
    return args;
}

std::vector<std::string> SettingsFileTokens(const std::string& bytes) {
    std::vector<std::string> tokens{"-"};
    std::string line;
    size_t i = 0;
    const size_t end = std::min(bytes.find('\x1a'), bytes.size());
    while (i < end && tokens.size() < 8) {
        const char c = bytes[i++];
        if (c != '\r') {
            line += c;
            continue;
        }
        if (i < end && bytes[i] == '\n') ++i;
        tokens.push_back(line);
        line.clear();
    }
    if (!line.empty() && tokens.size() < 8) tokens.push_back(line);
    return tokens;
}

bool HasWebLink(const ViewerArgs& args) { return !args.linkText.empty() && args.linkText != "-"; }

bool HasWebLinkAddress(const ViewerArgs& args) { return !args.address.empty() && args.address != "-"; }

std::string PageFileName(const std::string& page) {
    const size_t cut = page.find_last_of("\\:/");
    return cut == std::string::npos ? page : page.substr(cut + 1);
}

bool IsPageForBrowser(const std::string& page) {
    const std::string name = PageFileName(page);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), LowerAtoZ);
    return extension == "htm" || extension == "html" || extension == "xhtml" || extension == "xht";
}

bool IsWindowsFullPath(const std::string& page) {
    if (page.size() >= 2 && IsAsciiLetter(page[0]) && page[1] == ':') return true;
    return !page.empty() && page[0] == '\\';
}

std::string JoinPagePath(const std::string& folder, const std::string& page, char separator) {
    std::string joined = folder;
    if (joined.empty() || !IsSeparator(joined.back())) joined += separator;
    size_t start = 0;
    while (start < page.size() && IsSeparator(page[start]))
        ++start;
    for (size_t i = start; i < page.size(); ++i)
        joined += IsSeparator(page[i]) ? separator : page[i];
    return joined;
}

bool PathInsideFolder(std::string_view folder, std::string_view path, bool caseBlind) {
    const std::vector<std::string_view> inner = PathParts(path);
    for (std::string_view part : inner) {
        if (OnlyDotsAndSpaces(part)) return false;
    }
    // Both must be rooted alike: a folder from the root never contains a relative path.
    if (folder.empty() || path.empty() || IsSeparator(folder[0]) != IsSeparator(path[0])) return false;
    const std::vector<std::string_view> outer = PathParts(folder);
    if (inner.size() <= outer.size()) return false;
    for (size_t i = 0; i < outer.size(); ++i) {
        if (!SamePart(outer[i], inner[i], caseBlind)) return false;
    }
    return true;
}

std::optional<std::string> ResolveDotParts(std::string_view path, char separator) {
    const bool rooted = !path.empty() && IsSeparator(path[0]);
    std::vector<std::string_view> kept;
    for (std::string_view part : PathParts(path)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) {
                kept.pop_back();
            } else if (!rooted) {
                return std::nullopt;
            }
            continue;
        }
        if (OnlyDotsAndSpaces(part)) return std::nullopt;
        kept.push_back(part);
    }
    std::string resolved = rooted ? std::string(1, separator) : std::string();
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) resolved += separator;
        resolved += kept[i];
    }
    return resolved;
}

std::string JoinPageInside(const std::string& folder, const std::string& page, char separator) {
    const std::optional<std::string> inside = ResolveDotParts(page, separator);
    return inside ? JoinPagePath(folder, *inside, separator) : std::string();
}

std::string AddressScheme(std::string_view address) {
    const size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon == 0) return {};
    if (!IsAsciiLetter(address[0])) return {};
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        const char c = address[i];
        if (!IsAsciiLetter(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return {};
        scheme += LowerAtoZ(c);
    }
    // "C:\page.htm" or "C:/page.htm" is a path on a drive, not an address of scheme "c".
    if (scheme.size() == 1) return {};
    return scheme;
}

AddressKind ClassifyAddress(std::string_view address, std::string_view discScheme) {
    const std::string scheme = AddressScheme(address);
    std::string disc(discScheme);
    std::transform(disc.begin(), disc.end(), disc.begin(), LowerAtoZ);
    if (!scheme.empty() && scheme == disc) return AddressKind::kDiscPage;
    if (scheme == "about" || scheme == "data" || scheme == "blob" || scheme == "javascript" ||
        IsEngineErrorPage(address))
        return AddressKind::kEngineOwn;
    if (scheme == "file") return AddressKind::kLocalFile;
    if (scheme == "http" || scheme == "https") return AddressKind::kWeb;
    if (scheme == "mailto") return AddressKind::kMail;
    return AddressKind::kOther;
}

Route RouteNavigation(AddressKind kind, bool mainFrame) {
    switch (kind) {
    case AddressKind::kDiscPage:
    case AddressKind::kEngineOwn:
        return Route::kShowHere;
    case AddressKind::kLocalFile:
        return Route::kRefuse;
    case AddressKind::kWeb:
        return mainFrame ? Route::kOpenElsewhere : Route::kShowHere;
    case AddressKind::kMail:
        return mainFrame ? Route::kOpenElsewhere : Route::kRefuse;
    case AddressKind::kOther:
        return Route::kRefuse;
    }
    return Route::kRefuse;
}

bool GoesToReadersPrograms(std::string_view address) {
    const AddressKind kind = ClassifyAddress(address, {});
    return kind == AddressKind::kWeb || kind == AddressKind::kMail;
}

std::string HtmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string MissingPageSentence(const std::string& fileName, bool firstPage) {
    return firstPage ? "The first page, " + fileName + ", cannot be found."
                     : "The page " + fileName + " cannot be found.";
}

std::string MissingPageHtml(const std::string& sentence, const std::string& lookedFor) {
    std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Page not found</title></head>"
                       "<body style=\"font-family: sans-serif; margin: 1.5em\"><h2>Page not found</h2><p>" +
                       HtmlEscape(sentence) + "</p>";
    if (!lookedFor.empty()) html += "<p>Looked for: <tt>" + HtmlEscape(lookedFor) + "</tt></p>";
    return html + "<p>Press Esc to close the viewer.</p></body></html>";
}

} // namespace viewer
