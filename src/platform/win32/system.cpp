// Current folder, the program's own path, drives, volumes and the shell through the Win32 calls
// of the same names.
#include "platform/win32/win32_api.h"

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// A call that fills a buffer and answers the length it wrote, or the size it needs when the
// buffer is too small; zero on failure.
template <typename Call> std::string Grown(Call call) {
    std::string text(MAX_PATH, '\0');
    while (true) {
        const DWORD length = call(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) return std::string();
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2 > length ? text.size() * 2 : length + 1);
    }
}

}  // namespace

bool SetCurrentDirectory(const std::string& path) { return ::SetCurrentDirectoryA(path.c_str()) != 0; }

std::string GetCurrentDirectory() {
    return Grown([](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); });
}

std::string GetModuleFileName() {
    // The call cuts a long path to the buffer and says so only by filling it.
    return Grown([](char* buffer, DWORD size) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer, size);
        return length == size ? size : length;
    });
}

uint32_t GetLogicalDrives() { return ::GetLogicalDrives(); }

uint32_t GetDriveType(const std::string& root) { return ::GetDriveTypeA(root.c_str()); }

bool GetVolumeInformation(const std::string& root, std::string* volumeName, uint32_t* fileSystemFlags) {
    char name[MAX_PATH + 1] = {};
    DWORD flags = 0;
    if (!::GetVolumeInformationA(root.c_str(), name, sizeof name, nullptr, nullptr, &flags, nullptr, 0)) return false;
    if (volumeName) *volumeName = name;
    if (fileSystemFlags) *fileSystemFlags = flags;
    return true;
}

uint32_t SetErrorMode(uint32_t mode) { return ::SetErrorMode(mode); }

uint32_t WNetGetConnection(const std::string& localName, std::string* remoteName) {
    std::string remote(MAX_PATH, '\0');
    DWORD size = static_cast<DWORD>(remote.size());
    DWORD result = ::WNetGetConnectionA(localName.c_str(), remote.data(), &size);
    if (result == ERROR_MORE_DATA) {
        remote.assign(size, '\0');
        result = ::WNetGetConnectionA(localName.c_str(), remote.data(), &size);
    }
    if (result == NO_ERROR && remoteName) *remoteName = remote.c_str();
    return result;
}

intptr_t ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                      const std::string& directory, int showCommand) {
    const HINSTANCE result =
        ::ShellExecuteA(nullptr, verb.empty() ? nullptr : verb.c_str(), file.c_str(),
                        parameters.empty() ? nullptr : parameters.c_str(),
                        directory.empty() ? nullptr : directory.c_str(), showCommand);
    return reinterpret_cast<intptr_t>(result);
}

std::string HostPathOf(const std::string& windowsPath) {
    if (windowsPath.empty()) return std::string();
    return Grown([&windowsPath](char* buffer, DWORD size) {
        return ::GetFullPathNameA(windowsPath.c_str(), size, buffer, nullptr);
    });
}

}  // namespace platform
