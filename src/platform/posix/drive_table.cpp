// Drive letters over host folders, path translation, and the current directory.
#include "platform/posix/drive_table.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace platform {

namespace posix {

namespace {

// A Windows path cut into the part that cannot be climbed out of and the names below it.
struct SplitPath {
    std::string prefix;  // "X:" or "\\server\share"
    std::vector<std::string> names;
};

struct State {
    bool loaded = false;
    std::vector<DriveEntry> table;
    // Per table entry: the host folder with single slashes and no trailing one, and the same
    // with symbolic links resolved, so either spelling of a host path finds its drive.
    std::vector<std::string> folders;
    std::vector<std::string> realFolders;
    // Current folder of each drive in Windows form; empty means the drive's root.
    std::array<std::string, 26> driveFolders;
    std::string current;
    std::string moduleFileName;
    // Where each reading of the drives comes from: the system's mount table, or a source a test
    // gave. A table installed as it is (SetDriveTable) is never read again.
    std::function<std::vector<DriveEntry>()> source;
    bool fixed = false;
    // Counts replacements of the table, so that a reading made outside the lock never undoes one.
    uint64_t generation = 0;
};

// Recursive, because the system's drive discovery may ask for the table it is building.
std::recursive_mutex& Lock() {
    static std::recursive_mutex mutex;
    return mutex;
}

State& TheState() {
    static State state;
    return state;
}

std::string NormalizeHost(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string RealHost(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) return NormalizeHost(path);
    return buffer;
}

std::string HostCurrentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return std::string();
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

char UpperLetter(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperLetter(a[i]) != UpperLetter(b[i])) return false;
    return true;
}

std::string DriveRoot(char letter) { return std::string(1, letter) + ":\\"; }

std::string JoinWindows(const SplitPath& path) {
    std::string out = path.prefix;
    if (path.names.empty()) return out + "\\";
    for (const auto& name : path.names) out += "\\" + name;
    return out;
}

void AddNames(const std::string& text, std::vector<std::string>* names) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string::npos) end = text.size();
        const std::string name = text.substr(start, end - start);
        if (name == "..") {
            if (!names->empty()) names->pop_back();
        } else if (name != ".") {
            // Windows drops trailing periods and spaces: "index.htm " names "index.htm".
            std::string trimmed = TrimComponent(name);
            if (!trimmed.empty()) names->push_back(std::move(trimmed));
        }
        start = end + 1;
    }
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, also with an extension ("con.txt") and with
// spaces before it, as Windows 10 reads them.
bool IsDeviceName(const std::string& name) {
    const std::string base = DeviceBaseName(name);
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (EqualsIgnoringAsciiCase(base, device)) return true;
    return base.size() == 4 && (EqualsIgnoringAsciiCase(base.substr(0, 3), "COM") ||
                                EqualsIgnoringAsciiCase(base.substr(0, 3), "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

// Splits a network path "\\server\share\rest"; false when server or share is missing.
bool SplitNetworkPath(const std::string& path, SplitPath* out, std::string* rest) {
    const size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) return false;
    size_t shareEnd = path.find('\\', serverEnd + 1);
    if (shareEnd == std::string::npos) shareEnd = path.size();
    if (shareEnd == serverEnd + 1) return false;
    out->prefix = path.substr(0, shareEnd);
    out->names.clear();
    *rest = path.substr(shareEnd);
    return true;
}

// Splits a stored full Windows path; it is always in the form JoinWindows makes.
SplitPath SplitStored(const std::string& path) {
    SplitPath out;
    std::string rest;
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && SplitNetworkPath(path, &out, &rest)) {
        AddNames(rest, &out.names);
        return out;
    }
    out.prefix = path.substr(0, 2);
    AddNames(path.size() > 2 ? path.substr(2) : std::string(), &out.names);
    return out;
}

void EnsureLoadedLocked(State& state);

int FindDriveLocked(State& state, char letter) {
    EnsureLoadedLocked(state);
    const char upper = UpperLetter(letter);
    for (size_t i = 0; i < state.table.size(); ++i)
        if (state.table[i].letter == upper) return static_cast<int>(i);
    return -1;
}

std::string FromHostPathLocked(State& state, const std::string& hostPath) {
    std::string path = hostPath;
    if (path.empty() || path[0] != '/') path = HostCurrentDirectory() + "/" + path;
    path = NormalizeHost(path);
    int best = -1;
    size_t bestLength = 0;
    std::string bestRest;
    for (size_t i = 0; i < state.table.size(); ++i) {
        for (const std::string* folder : {&state.folders[i], &state.realFolders[i]}) {
            // A drive without a folder (no medium) holds no host path.
            if (folder->empty()) continue;
            std::string rest;
            if (*folder == "/") {
                rest = path.substr(1);
            } else if (path == *folder) {
                rest.clear();
            } else if (path.size() > folder->size() && path.compare(0, folder->size(), *folder) == 0 &&
                       path[folder->size()] == '/') {
                rest = path.substr(folder->size() + 1);
            } else {
                continue;
            }
            const size_t length = folder->size();
            if (best < 0 || length > bestLength ||
                (length == bestLength && state.table[i].letter < state.table[best].letter)) {
                best = static_cast<int>(i);
                bestLength = length;
                bestRest = rest;
            }
        }
    }
    if (best < 0) return std::string();
    std::string out = DriveRoot(state.table[best].letter);
    size_t start = 0;
    while (start < bestRest.size()) {
        size_t end = bestRest.find('/', start);
        if (end == std::string::npos) end = bestRest.size();
        const std::string name = bestRest.substr(start, end - start);
        // A name the Windows form would read as another ("a\b" as two names, "wiz." as "wiz")
        // has no Windows form: better none than one that leads to another folder.
        if (!IsWindowsName(name)) return std::string();
        if (start > 0) out += '\\';
        out += name;
        start = end + 1;
    }
    return out;
}

// The current directory is taken again from the host; outside every drive it is the first
// drive's root, so that relative names still have somewhere to resolve.
void AdoptHostCurrentDirectoryLocked(State& state) {
    for (auto& folder : state.driveFolders) folder.clear();
    state.current = FromHostPathLocked(state, HostCurrentDirectory());
    if (state.current.empty()) state.current = state.table.empty() ? DriveRoot('C') : DriveRoot(state.table[0].letter);
    state.driveFolders[UpperLetter(state.current[0]) - 'A'] = state.current;
}

void SetTableLocked(State& state, std::vector<DriveEntry> table) {
    state.table = std::move(table);
    state.folders.clear();
    state.realFolders.clear();
    for (auto& entry : state.table) {
        entry.letter = UpperLetter(entry.letter);
        state.folders.push_back(NormalizeHost(entry.hostFolder));
        state.realFolders.push_back(RealHost(entry.hostFolder));
    }
    state.loaded = true;
    ++state.generation;
}

void InstallLocked(State& state, std::vector<DriveEntry> table) {
    SetTableLocked(state, std::move(table));
    AdoptHostCurrentDirectoryLocked(state);
}

bool ResolveLocked(State& state, const std::string& windowsPath, ResolvedPath* out, uint32_t* error);

// A fresh reading of the same machine: each drive that still stands for the same host folder
// keeps its current folder, and so does the current directory while its drive is still there.
void RefreshLocked(State& state, std::vector<DriveEntry> table) {
    std::array<std::string, 26> beforeFolders;
    for (size_t i = 0; i < state.table.size(); ++i) beforeFolders[state.table[i].letter - 'A'] = state.folders[i];
    std::array<std::string, 26> kept = state.driveFolders;
    const std::string current = state.current;
    SetTableLocked(state, std::move(table));
    std::array<bool, 26> same{};
    for (size_t i = 0; i < state.table.size(); ++i) {
        const int index = state.table[i].letter - 'A';
        if (index >= 0 && index < 26) same[index] = !beforeFolders[index].empty() && beforeFolders[index] == state.folders[i];
    }
    for (size_t i = 0; i < kept.size(); ++i)
        if (!same[i]) kept[i].clear();
    state.driveFolders = kept;
    bool currentStays;
    if (current.size() >= 2 && current[1] == ':') {
        currentStays = same[UpperLetter(current[0]) - 'A'];
    } else {
        ResolvedPath ignored;
        uint32_t error = 0;
        currentStays = ResolveLocked(state, current, &ignored, &error);
    }
    if (currentStays) return;
    state.current = FromHostPathLocked(state, HostCurrentDirectory());
    if (state.current.empty()) state.current = state.table.empty() ? DriveRoot('C') : DriveRoot(state.table[0].letter);
    state.driveFolders[UpperLetter(state.current[0]) - 'A'] = state.current;
}

void EnsureLoadedLocked(State& state) {
    if (state.loaded) return;
    // Marked first: discovery may come back here for the table it is building.
    state.loaded = true;
    InstallLocked(state, DiscoverSystemDrives());
}

std::string DriveFolderLocked(State& state, char letter) {
    const std::string& folder = state.driveFolders[UpperLetter(letter) - 'A'];
    return folder.empty() ? DriveRoot(UpperLetter(letter)) : folder;
}

bool FolderIsReady(const std::string& hostFolder) {
    struct stat st;
    return ::stat(hostFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(hostFolder.c_str(), X_OK) == 0;
}

// Windows names ignore letter case; the host's do not. A name that is not there as written
// stands for the entry that differs from it only in case (the first in byte order when there
// are several), so that a KVD.CFG copied from a CD is the same file as kvd.cfg for every call,
// and writing kvd.cfg replaces it instead of adding a second file that a CD could not hold.
std::string HostNameFor(const std::string& hostFolder, const std::string& name) {
    struct stat st;
    const std::string exact = (hostFolder.back() == '/' ? hostFolder : hostFolder + "/") + name;
    if (name == "." || name == ".." || ::lstat(exact.c_str(), &st) == 0 || errno != ENOENT) return name;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (dir == nullptr) return name;
    const std::string wanted = CharLower(name);
    std::string found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string candidate = entry->d_name;
        if (CharLower(candidate) != wanted) continue;
        if (found.empty() || candidate < found) found = candidate;
    }
    ::closedir(dir);
    return found.empty() ? name : found;
}

bool ResolveLocked(State& state, const std::string& windowsPath, ResolvedPath* out, uint32_t* error) {
    EnsureLoadedLocked(state);
    std::string path = windowsPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    if (path.empty()) {
        *error = kErrorPathNotFound;
        return false;
    }
    // Characters no Windows name may hold make the whole path an invalid name there, whatever
    // the host would make of them.
    if (HoldsReservedCharacter(path)) {
        *error = kErrorInvalidName;
        return false;
    }

    SplitPath split;
    std::string rest;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        if (!SplitNetworkPath(path, &split, &rest)) {
            *error = kErrorBadNetPath;
            return false;
        }
    } else if (path.size() >= 2 && path[1] == ':' && IsLetter(path[0])) {
        rest = path.substr(2);
        if (!rest.empty() && rest[0] == '\\') {
            split.prefix = path.substr(0, 2);
        } else {
            split = SplitStored(DriveFolderLocked(state, path[0]));
        }
    } else {
        split = SplitStored(state.current);
        if (path[0] == '\\') split.names.clear();
        rest = path;
    }
    AddNames(rest, &split.names);
    // A device name answers in any folder, as on Windows, where no file can have it; every one
    // is a device that takes what is written and gives nothing here.
    if (!split.names.empty() && IsDeviceName(split.names.back())) {
        out->drive = 0;
        out->windows = "\\\\.\\" + split.names.back();
        out->lastName = split.names.back();
        out->host = "/dev/null";
        out->device = true;
        return true;
    }

    int drive = -1;
    out->drive = 0;
    out->device = false;
    if (split.prefix.size() == 2 && split.prefix[1] == ':') {
        drive = FindDriveLocked(state, split.prefix[0]);
        if (drive < 0) {
            *error = kErrorPathNotFound;
            return false;
        }
        out->drive = state.table[drive].letter;
    } else {
        for (size_t i = 0; i < state.table.size(); ++i) {
            const auto& entry = state.table[i];
            if (entry.type == kDriveRemote && entry.remoteName && EqualsIgnoringAsciiCase(*entry.remoteName, split.prefix)) {
                drive = static_cast<int>(i);
                break;
            }
        }
        if (drive < 0) {
            *error = kErrorBadNetPath;
            return false;
        }
    }

    const std::string& folder = state.folders[drive];
    if (!FolderIsReady(folder)) {
        *error = kErrorNotReady;
        return false;
    }
    out->windows = JoinWindows(split);
    out->lastName = split.names.empty() ? std::string() : split.names.back();
    out->host = folder;
    for (const auto& name : split.names) {
        const std::string hostName = HostNameFor(out->host, name);
        if (out->host.back() != '/') out->host += '/';
        out->host += hostName;
    }
    if (!split.names.empty() && path.back() == '\\') {
        // A separator after the name of a file makes no name on Windows.
        struct stat st;
        if (::stat(out->host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            *error = kErrorInvalidName;
            return false;
        }
        out->host += '/';
    }
    return true;
}

}  // namespace

std::vector<DriveEntry> DriveTable() {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    EnsureLoadedLocked(state);
    return state.table;
}

void SetDriveTable(std::vector<DriveEntry> table) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    state.source = nullptr;
    state.fixed = true;
    InstallLocked(state, std::move(table));
}

void SetDriveSource(std::function<std::vector<DriveEntry>()> source) {
    std::vector<DriveEntry> table = source();
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    state.source = std::move(source);
    state.fixed = false;
    InstallLocked(state, std::move(table));
}

void ResetDriveTable() {
    std::vector<DriveEntry> table = DiscoverSystemDrives();
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    state.source = nullptr;
    state.fixed = false;
    InstallLocked(state, std::move(table));
}

void RefreshDriveTable() {
    std::function<std::vector<DriveEntry>()> source;
    uint64_t generation;
    {
        std::lock_guard<std::recursive_mutex> guard(Lock());
        State& state = TheState();
        if (!state.loaded) {
            EnsureLoadedLocked(state);  // a first reading is fresh already
            return;
        }
        if (state.fixed) return;
        source = state.source;
        generation = state.generation;
    }
    // Read without the lock: the mount table and the volumes' labels take a moment.
    std::vector<DriveEntry> table = source ? source() : DiscoverSystemDrives();
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    if (state.generation == generation) RefreshLocked(state, std::move(table));
}

bool ResolvePath(const std::string& windowsPath, ResolvedPath* out, uint32_t* error) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    return ResolveLocked(TheState(), windowsPath, out, error);
}

bool ToHostPath(const std::string& windowsPath, std::string* hostPath, uint32_t* error) {
    ResolvedPath resolved;
    uint32_t code = 0;
    if (!ResolvePath(windowsPath, &resolved, &code)) {
        if (error) *error = code;
        return false;
    }
    // A device is no place on the host: code that works on host paths must not reach the null
    // device's own file.
    if (resolved.device) {
        if (error) *error = kErrorAccessDenied;
        return false;
    }
    if (hostPath) *hostPath = resolved.host;
    return true;
}

std::string FromHostPath(const std::string& hostPath) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    State& state = TheState();
    EnsureLoadedLocked(state);
    return FromHostPathLocked(state, hostPath);
}

void SetModuleFileNameForTesting(const std::string& windowsPath) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    TheState().moduleFileName = windowsPath;
}

}  // namespace posix

bool SetCurrentDirectory(const std::string& path) {
    std::lock_guard<std::recursive_mutex> guard(posix::Lock());
    posix::State& state = posix::TheState();
    posix::EnsureLoadedLocked(state);
    // A letter that stands for no drive at all is an invalid drive here, not a missing path.
    if (path.size() >= 2 && path[1] == ':' && posix::IsLetter(path[0]) && posix::FindDriveLocked(state, path[0]) < 0) {
        SetLastError(kErrorInvalidDrive);
        return false;
    }
    posix::ResolvedPath resolved;
    uint32_t error = 0;
    if (!posix::ResolveLocked(state, path, &resolved, &error)) {
        SetLastError(error);
        return false;
    }
    struct stat st;
    if (::stat(resolved.host.c_str(), &st) != 0) {
        SetLastError(posix::CodeFromErrno(errno, resolved.host));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(kErrorDirectory);
        return false;
    }
    if (::chdir(resolved.host.c_str()) != 0) {
        SetLastError(posix::CodeFromErrno(errno, resolved.host));
        return false;
    }
    state.current = resolved.windows;
    if (resolved.drive != 0) state.driveFolders[resolved.drive - 'A'] = resolved.windows;
    return true;
}

std::string GetCurrentDirectory() {
    std::lock_guard<std::recursive_mutex> guard(posix::Lock());
    posix::State& state = posix::TheState();
    posix::EnsureLoadedLocked(state);
    return state.current;
}

std::string GetModuleFileName() {
    {
        std::lock_guard<std::recursive_mutex> guard(posix::Lock());
        if (!posix::TheState().moduleFileName.empty()) return posix::TheState().moduleFileName;
    }
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            SetLastError(posix::CodeFromErrno(errno, std::string()));
            return std::string();
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            const std::string windowsPath = posix::FromHostPath(std::string(buffer.data(), static_cast<size_t>(length)));
            if (windowsPath.empty()) SetLastError(kErrorPathNotFound);
            return windowsPath;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
