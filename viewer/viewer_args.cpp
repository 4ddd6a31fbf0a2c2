// The viewer's command line and page paths.
#include "viewer_args.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>

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

enum class EntryKind { kFile, kFolder };

bool IsKind(const std::string& hostPath, EntryKind kind) {
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) != 0) return false;
    return kind == EntryKind::kFile ? S_ISREG(info.st_mode) : S_ISDIR(info.st_mode);
}

std::string LowerAtoZ(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The entry of the folder (a host path ending in a slash, or empty for the working folder) that
// answers to the name: the exact spelling, else the first in byte order of those that differ
// only in the case of a to z, so the choice never depends on the order the folder lists them in.
std::string FindEntry(const std::string& folder, const std::string& name, EntryKind kind) {
    if (IsKind(folder + name, kind)) return name;
    const std::string wanted = LowerAtoZ(name);
    std::string found;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string candidate = entry->d_name;
            if (LowerAtoZ(candidate) == wanted && IsKind(folder + candidate, kind) &&
                (found.empty() || candidate < found)) {
                found = candidate;
            }
        }
        ::closedir(dir);
    }
    return found;
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

std::string FindPage(const std::string& hostPath) {
    if (HostFileExists(hostPath) || hostPath.empty()) return hostPath;
    std::string resolved = hostPath[0] == '/' ? "/" : "";
    size_t begin = resolved.size();
    while (begin <= hostPath.size()) {
        size_t end = hostPath.find('/', begin);
        const bool last = end == std::string::npos;
        if (last) end = hostPath.size();
        const std::string part = hostPath.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty() && !last) continue;  // doubled separators name the same folder
        const std::string found = FindEntry(resolved, part, last ? EntryKind::kFile : EntryKind::kFolder);
        if (found.empty()) return hostPath;
        resolved += found;
        if (!last) resolved += '/';
    }
    return resolved;
}

std::string ReadHostFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace viewer
