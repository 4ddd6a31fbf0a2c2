// The viewer's command line and page paths.
#include "viewer_args.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdint>

#include "platform/posix/drive_table.h"

namespace viewer {
namespace {

// Sizes beyond this are typing mistakes rather than windows; the default serves better.
constexpr long kLargestSize = 32767;

int ParseSize(const std::string& text, int fallback) {
    if (text.empty() || text.size() > 6) return fallback;
    long value = 0;
    for (unsigned char c : text) {
        if (!std::isdigit(c)) return fallback;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kLargestSize) return fallback;
    return static_cast<int>(value);
}

bool IsWindowsFullPath(const std::string& page) {
    if (page.size() >= 2 && std::isalpha(static_cast<unsigned char>(page[0])) && page[1] == ':') return true;
    return !page.empty() && page[0] == '\\';
}

}  // namespace

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

bool HasWebLink(const ViewerArgs& args) {
    return !args.linkText.empty() && args.linkText != "-";
}

std::string ResolvePagePath(const std::string& firstPage, const std::string& viewerFolder) {
    if (!firstPage.empty() && firstPage[0] == '/') return firstPage;
    if (IsWindowsFullPath(firstPage)) {
        std::string host;
        uint32_t error = 0;
        if (!platform::posix::ToHostPath(firstPage, &host, &error)) return {};
        return host;
    }
    // A relative name may still use Windows separators ("pages\intro.htm").
    std::string relative = firstPage;
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    std::string folder = viewerFolder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder + relative;
}

std::string PageFileName(const std::string& page) {
    const size_t cut = page.find_last_of("\\:/");
    return cut == std::string::npos ? page : page.substr(cut + 1);
}

bool HostFileExists(const std::string& hostPath) {
    struct stat info {};
    return !hostPath.empty() && ::stat(hostPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace viewer
