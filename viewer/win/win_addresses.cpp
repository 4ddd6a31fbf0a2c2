// The Windows viewer's reading of addresses.
#include "win_addresses.h"

namespace viewer {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent escapes stand for UTF-8 bytes; an escape that is not one stays as written.
std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool IsDriveStart(std::string_view text) {
    return text.size() >= 2 && ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z')) &&
           (text[1] == ':' || text[1] == '|');
}

std::string WithBackslashes(std::string text) {
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    return text;
}

} // namespace

std::string LocalPathOfAddress(std::string_view address) {
    if (AddressScheme(address) != "file") {
        // The control reports a page it was asked for by path in the same form.
        if (IsWindowsFullPath(std::string(address))) return WithBackslashes(std::string(address));
        return {};
    }
    std::string_view rest = address.substr(5);
    const size_t end = rest.find_first_of("?#");
    if (end != std::string_view::npos) rest = rest.substr(0, end);
    std::string path = PercentDecoded(rest);
    size_t slashes = 0;
    while (slashes < path.size() && (path[slashes] == '/' || path[slashes] == '\\'))
        ++slashes;
    std::string tail = path.substr(slashes);
    if (IsDriveStart(tail)) {
        tail[1] = ':';
        return WithBackslashes(tail);
    }
    // "file://host/share/x" names a share; "file:x" or "file:///x" names nothing this viewer can place.
    if (slashes == 2 && !tail.empty()) return "\\\\" + WithBackslashes(tail);
    return {};
}

Route RouteWindowsNavigation(std::string_view address, const std::vector<std::string>& folders, bool mainFrame) {
    const std::string path = LocalPathOfAddress(address);
    const AddressKind kind = ClassifyAddress(address, "");
    if (path.empty()) return RouteNavigation(kind, mainFrame);
    for (const std::string& folder : folders) {
        if (PathInsideFolder(folder, path, true)) return Route::kShowHere;
    }
    return Route::kRefuse;
}

std::string FirstPagePath(const std::string& firstPage, const std::string& viewerFolder) {
    if (IsWindowsFullPath(firstPage)) return WithBackslashes(firstPage);
    return JoinPageInside(viewerFolder, firstPage, '\\');
}

std::string FolderOfPath(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string WebLinkTarget(const std::string& address) {
    if (!AddressScheme(address).empty() || IsWindowsFullPath(address)) return address;
    return "http://" + address;
}

} // namespace viewer
