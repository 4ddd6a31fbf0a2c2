// What the POSIX backend's translation units share: path resolution and error mapping.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

// A Windows path taken apart and placed on the host.
struct ResolvedPath {
    // Full Windows form: "X:\a\b" (letter case as given), "X:\" at a root, or "\\server\share\a"
    // with "\\server\share\" at a share's root. "." and ".." are gone.
    std::string windows;
    // Host form of the same place. Keeps a trailing "/" when the Windows text ended in a
    // separator below the root, so that a file named with one fails as it should.
    std::string host;
    // Upper-case drive letter, or 0 for a network path.
    char drive = 0;
    // The last name of the path as given; empty at a root.
    std::string lastName;
    // A device name (NUL, CON, COM1, ...): host is the null device, and no folder holds it.
    bool device = false;
};

// Resolves any Windows path form against the current directory. False with a Win32 code in
// *error when the drive or share is unknown (3 / 53) or its folder cannot be entered (21).
bool ResolvePath(const std::string& windowsPath, ResolvedPath* out, uint32_t* error);

// Win32 code for an errno value met on hostPath. ENOENT becomes 2 when the parent folder
// exists and 3 when it does not, as Windows tells a missing file from a missing folder.
uint32_t CodeFromErrno(int error, const std::string& hostPath);

// Win32 attributes of a host object named name (its last name, for the hidden rule), from its
// stat() result, or from lstat() for a link that leads nowhere.
uint32_t AttributesFromStat(const struct stat& st, const std::string& name, const std::string& hostPath);
// The same for the entry name of the open folder dirFd, without walking the folder's path again.
uint32_t AttributesFromStatAt(const struct stat& st, const std::string& name, int dirFd);

// The host's seconds and nanoseconds since 1970 as 100-nanosecond ticks since 1601.
uint64_t TicksFromTimespec(const struct timespec& time);

// True when a Windows path can carry the name unchanged: it holds none of \ / : * ? " < > | and no
// control byte (1 to 31), and does not end in a period or a space, which Windows drops from a
// path component. "." and ".." pass.
bool IsWindowsName(const std::string& name);

// A path component as Windows reads it: trailing periods and spaces dropped.
std::string TrimComponent(std::string name);

// True when the text holds a character no Windows name may hold besides the separators: * ? " < > |
// or a control byte (1 to 31).
bool HoldsReservedCharacter(std::string_view text);

// The name a device answers to when the name is one ("con.txt" is CON): the part before the first
// period without the spaces before it, as Windows 10 reads it.
std::string DeviceBaseName(const std::string& name);

// True when both are the same letter, ignoring ASCII case.
inline bool SameLetter(char a, char b) { return (a & ~0x20) == (b & ~0x20); }

}  // namespace platform::posix
