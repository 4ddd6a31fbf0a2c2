// Drive letters and volume facts of the POSIX backend.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"

namespace platform {

namespace posix {

std::vector<DriveEntry> DiscoverSystemDrives() {
    DriveEntry root;
    root.letter = 'C';
    root.hostFolder = "/";
    root.type = kDriveFixed;
    root.fsFlags = kFsCaseSensitiveSearch | kFsCasePreservedNames;
    return {root};
}

}  // namespace posix

uint32_t GetLogicalDrives() {
    uint32_t mask = 0;
    for (const auto& drive : posix::DriveTable()) mask |= 1u << (drive.letter - 'A');
    return mask;
}

uint32_t GetDriveType(const std::string& root) {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return kDriveUnknown;
    const char letter = static_cast<char>(root[0] & ~0x20);
    for (const auto& drive : posix::DriveTable())
        if (drive.letter == letter) return drive.type;
    return kDriveNoRootDir;
}

bool GetVolumeInformation(const std::string&, std::string* volumeName, uint32_t* fileSystemFlags) {
    if (volumeName) volumeName->clear();
    if (fileSystemFlags) *fileSystemFlags = 0;
    SetLastError(kErrorNotReady);
    return false;
}

uint32_t SetErrorMode(uint32_t mode) {
    static uint32_t current = 0;
    const uint32_t previous = current;
    current = mode;
    return previous;
}

uint32_t WNetGetConnection(const std::string&, std::string* remoteName) {
    if (remoteName) remoteName->clear();
    return kErrorNotConnected;
}

}  // namespace platform
