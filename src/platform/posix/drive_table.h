// The POSIX backend's drive table: which host folder each drive letter stands for.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::posix {

struct DriveEntry {
    char letter = 'C';        // upper case
    std::string hostFolder;   // absolute host path of the drive's root, e.g. "/" or "/media/usb"
    uint32_t type = 3;        // a platform::DriveType
    std::string label;        // volume label, empty when the volume has none
    std::optional<std::string> remoteName;  // network drives: \\server\share, when known
    uint32_t fsFlags = 3;     // platform::FileSystemFlag bits
    std::string device;       // host device or mount source, informational
};

// The table in force. Built from the system's volumes on first use (C: is "/").
std::vector<DriveEntry> DriveTable();
// Replaces the table (tests build their own over temporary folders), for good: it is never
// read again. Resets the per-drive current folders; the current directory is translated
// again from the host's.
void SetDriveTable(std::vector<DriveEntry> table);
// Like SetDriveTable, but every later reading (RefreshDriveTable) calls source again, so a
// test can stand in for volumes that come, go or change their labels.
void SetDriveSource(std::function<std::vector<DriveEntry>()> source);
// Builds the table from this machine's mount table: C: is "/", then D: onwards.
std::vector<DriveEntry> DiscoverSystemDrives();
// Back to the system's table.
void ResetDriveTable();
// Reads the drives again from where the table came from (GetLogicalDrives does this at each
// call). A drive that still stands for the same host folder keeps its current folder.
void RefreshDriveTable();

// Translates a Windows path (relative ones against the current directory) to a host path.
// Returns false with a Win32 code in *error when it cannot be translated.
bool ToHostPath(const std::string& windowsPath, std::string* hostPath, uint32_t* error);
// Translates an absolute host path to its Windows form: the drive whose folder is the
// deepest ancestor wins; among drives on the same folder, the lowest letter.
std::string FromHostPath(const std::string& hostPath);

// Makes GetModuleFileName() report this Windows path instead of the running program's, so
// that a test can stand the wizard in a folder of its own. Empty text restores the real one.
void SetModuleFileNameForTesting(const std::string& windowsPath);

}  // namespace platform::posix
