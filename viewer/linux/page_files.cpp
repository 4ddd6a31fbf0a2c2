// Where the Linux viewer finds its pages on this host.
#include "page_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "platform/platform.h"

namespace viewer {
namespace {

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

} // namespace

bool GivenByFullPath(const std::string& firstPage) {
    return (!firstPage.empty() && firstPage[0] == '/') || IsWindowsFullPath(firstPage);
}

std::string ResolvePagePath(const std::string& firstPage, const std::string& viewerFolder) {
    // A relative name may still use Windows separators ("pages\intro.htm").
    if (!GivenByFullPath(firstPage)) return JoinPageInside(viewerFolder, firstPage, '/');
    // A Windows full path goes through the drive table, as the wizard names its help page that way.
    const std::string host = firstPage[0] == '/' ? firstPage : platform::HostPathOf(firstPage);
    return host.empty() ? std::string() : ResolveDotParts(host, '/').value_or(std::string());
}

std::optional<std::string> StandInFolder(const std::string& windowsViewerPath) {
    if (windowsViewerPath.empty() || windowsViewerPath[0] != '/') return std::nullopt;
    const size_t slash = windowsViewerPath.rfind('/');
    if (slash + 1 == windowsViewerPath.size()) return std::nullopt;
    return slash == 0 ? std::string("/") : windowsViewerPath.substr(0, slash);
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
        if (part.empty() && !last) continue; // doubled separators name the same folder
        const std::string found = FindEntry(resolved, part, last ? EntryKind::kFile : EntryKind::kFolder);
        if (found.empty()) return hostPath;
        resolved += found;
        if (!last) resolved += '/';
    }
    return resolved;
}

namespace {

std::string RealHostPath(const std::string& hostPath) {
    char buffer[PATH_MAX];
    return !hostPath.empty() && ::realpath(hostPath.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool InsideAny(const std::vector<std::string>& folders, const std::string& path) {
    for (const std::string& folder : folders) {
        if (PathInsideFolder(folder, path, false)) return true;
    }
    return false;
}

} // namespace

PermittedFolders::PermittedFolders(std::vector<std::string> folders) {
    for (const std::string& folder : folders) {
        // "<disc>/link/.." is "<disc>" to the engine, whatever the link leads to.
        const std::optional<std::string> asked = ResolveDotParts(folder, '/');
        if (!asked) continue;
        folders_.push_back(*asked);
        // A folder that cannot be resolved (gone, unreadable on the way) permits nothing.
        const std::string real = RealHostPath(*asked);
        if (!real.empty()) resolved_.push_back(real);
    }
}

void PermittedFolders::AddFolderOf(const std::string& hostPage) {
    const std::string real = RealHostPath(hostPage);
    const size_t asked = hostPage.rfind('/');
    if (real.empty() || asked == std::string::npos) return;
    folders_.push_back(hostPage.substr(0, asked + 1));
    resolved_.push_back(real.substr(0, real.rfind('/') + 1));
}

std::string PermittedFolders::Resolve(const std::string& hostPath) const {
    if (!InsideAny(folders_, hostPath)) return {};
    const std::string real = RealHostPath(hostPath);
    return !real.empty() && InsideAny(resolved_, real) ? real : std::string();
}

int OpenRegularFile(const std::string& hostPath) {
    int fd;
    do {
        fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string ReadHostFile(const std::string& hostPath) {
    const int fd = OpenRegularFile(hostPath);
    if (fd < 0) return {};
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return bytes;
}

} // namespace viewer
