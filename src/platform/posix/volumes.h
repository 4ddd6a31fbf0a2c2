// How the POSIX backend turns mounted file systems into drive letters.
//
// The decisions are pure functions of what the mount table and sysfs say about one mount,
// so they can be checked for volumes this machine does not have.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/drive_table.h"

namespace platform::posix {

// Codes of WNetGetConnection beyond the shared list.
inline constexpr uint32_t kErrorBadDevice = 1200;
inline constexpr uint32_t kErrorConnectionUnavail = 1201;

// What is known about one mount, gathered from the mount table and sysfs.
struct MountFacts {
    std::string fsType;       // "ext4", "tmpfs", "nfs4", ...
    std::string source;       // "/dev/sdb1", "server:/export", "//srv/share", "tmpfs"
    std::string mountPoint;   // absolute host folder
    bool pseudo = false;      // the mount table library counts it as a pseudo file system
    bool network = false;     // the mount table library counts it as a network file system
    bool blockDevice = false; // source is a block device node
    bool directory = true;    // the mount point is a folder
    bool diskRemovable = false;  // the parent disk's sysfs "removable" is 1
    bool diskOnUsb = false;      // the parent disk's sysfs device path runs through a USB bus
    bool opticalDevice = false;  // the device is an sr (SCSI CD-ROM) device
};

// One row of the mount table with its facts.
struct MountRecord {
    MountFacts facts;
    std::string fsRoot = "/";  // the folder of the file system that is mounted (bind mounts)
    uint64_t devno = 0;        // the file system's device number
};

// Builds the drive table from the mount table's rows, in table order: C: is "/" (the last
// mount there, which is the one that shows), then D: to Z: for the rows ShouldListMount
// accepts, each mount point once and each file system folder (device and root) once.
// readLabel gives the label of a block device.
std::vector<DriveEntry> DrivesFromMounts(const std::vector<MountRecord>& mounts,
                                         const std::function<std::string(const std::string&)>& readLabel);

// tmpfs or ramfs.
bool IsRamFileSystem(const std::string& fsType);
// A RAM file system that a user mounted, not one the system keeps under /dev, /proc, /sys,
// /run or /tmp.
bool IsUserRamDisk(const MountFacts& mount);
// Network file systems by type name, whatever the mount table library knows.
bool IsNetworkFileSystem(const std::string& fsType);
// Whether a mount other than the root gets a drive letter.
bool ShouldListMount(const MountFacts& mount);
// The platform::DriveType of a listed mount.
uint32_t ClassifyDriveType(const MountFacts& mount);
// The mount source of a network file system in \\server\path form; none when the source
// names no server and path.
std::optional<std::string> UncRemoteName(const std::string& source);
// platform::FileSystemFlag bits of a file system type.
uint32_t FileSystemFlagsFor(const std::string& fsType);
// True when folder is path or lies inside it (both absolute, no trailing slash but "/").
bool IsPathAtOrBelow(const std::string& path, const std::string& folder);

}  // namespace platform::posix
