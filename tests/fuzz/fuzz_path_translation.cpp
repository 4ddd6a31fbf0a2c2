// Windows paths onto the drive table and host paths back: any path either fails with a code or
// lands inside its drive's folder with no way up left in it, and a host path's Windows form leads
// to the same host path again.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "platform/posix/posix_internal.h"

using fuzz_support::Require;
using platform::posix::DriveEntry;

namespace {

std::vector<std::string> g_folders; // host folders of C:, D:, E:

DriveEntry Entry(char letter, const std::string& folder, uint32_t type) {
    DriveEntry entry;
    entry.letter = letter;
    entry.hostFolder = folder;
    entry.type = type;
    return entry;
}

void MakeFolder(const std::string& path) { Require(::mkdir(path.c_str(), 0700) == 0, "cannot make a folder", path); }

bool Inside(const std::string& host, const std::string& folder) {
    return host.compare(0, folder.size(), folder) == 0 && (host.size() == folder.size() || host[folder.size()] == '/');
}

// No "." or ".." and no empty name after the drive's folder: nothing the host could climb with.
void CheckClean(const std::string& host, const std::string& folder, const std::string& input) {
    size_t start = folder.size() + 1;
    while (start < host.size()) {
        size_t slash = host.find('/', start);
        if (slash == std::string::npos) slash = host.size();
        const std::string name = host.substr(start, slash - start);
        Require(!name.empty(), "no empty name inside", input);
        Require(name != "." && name != "..", "no dot name inside", input);
        start = slash + 1;
    }
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char buffer[] = "/tmp/kvd_fuzz_path.XXXXXX";
    Require(::mkdtemp(buffer) != nullptr, "no temporary folder");
    char* real = ::realpath(buffer, nullptr);
    static const std::string root = real;
    ::free(real);
    std::atexit([] { std::filesystem::remove_all(root); });
    for (const char* name : {"/c", "/d", "/e"}) {
        g_folders.push_back(root + name);
        MakeFolder(root + name);
    }
    // Names in one case only, so that the case-blind lookup has something to find.
    MakeFolder(g_folders[0] + "/Sub");
    MakeFolder(g_folders[0] + "/Sub/Deeper");
    MakeFolder(g_folders[1] + "/Data");
    DriveEntry remote = Entry('E', g_folders[2], platform::kDriveRemote);
    remote.remoteName = "\\\\server\\share";
    platform::posix::SetDriveTable({Entry('C', g_folders[0], platform::kDriveFixed),
                                    Entry('D', g_folders[1], platform::kDriveRemovable), remote,
                                    Entry('F', root + "/no-medium", platform::kDriveCdrom)});
    Require(platform::SetCurrentDirectory("C:\\Sub"), "cannot enter C:\\Sub");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A Windows path is a C string: the call never sees what stands after a NUL.
    std::string input(reinterpret_cast<const char*>(data), size);
    input.resize(input.find('\0') == std::string::npos ? input.size() : input.find('\0'));

    std::string host;
    uint32_t error = 0;
    if (!platform::posix::ToHostPath(input, &host, &error)) {
        Require(error != 0, "a refused path has a code", input);
        Require(platform::HostPathOf(input).empty(), "a refused path has no host path", input);
    } else {
        const std::string* folder = nullptr;
        for (const std::string& candidate : g_folders)
            if (Inside(host, candidate)) folder = &candidate;
        Require(folder != nullptr, "host path inside a drive's folder", input);
        Require(host.find('\0') == std::string::npos, "host path is a C string", input);
        CheckClean(host, *folder, input);
        Require(platform::HostPathOf(input) == host, "both translations agree", input);

        const std::string windows = platform::posix::FromHostPath(WithoutTrailingSlash(host));
        if (!windows.empty()) {
            Require(windows.size() >= 3 && windows[1] == ':' && windows[2] == '\\', "a drive's form", windows);
            std::string again;
            Require(platform::posix::ToHostPath(windows, &again, &error), "the Windows form translates", windows);
            Require(WithoutTrailingSlash(again) == WithoutTrailingSlash(host), "the Windows form leads back", windows);
        }
    }

    // Any host path, absolute or not, has no form or one that starts at a drive.
    const std::string back = platform::posix::FromHostPath(input.empty() || input[0] != '/' ? "/" + input : input);
    Require(back.empty() || (back.size() >= 3 && back[1] == ':' && back[2] == '\\'), "a drive's form", back);
    return 0;
}
