// Operating-system services of the wizard, shaped after the Win32 calls it needs.
//
// The wizard's logic sees a Windows namespace: drive letters, backslash paths and Win32
// error codes. Each backend implements these functions for its system; the POSIX backend
// maps the namespace onto the host file system (see posix/drive_table.h); the Win32 backend
// calls the functions of the same names. Every function that fails records a Win32 error code
// that GetLastError() returns, per thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Win32 error codes the wizard meets.
enum ErrorCode : uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidDrive = 15,
    kErrorNoMoreFiles = 18,
    kErrorNotReady = 21,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorBadNetPath = 53,
    kErrorInvalidParameter = 87,
    kErrorBrokenPipe = 109,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorNegativeSeek = 131,
    kErrorBusy = 170,
    kErrorAlreadyExists = 183,
    kErrorFilenameExcedRange = 206,
    kErrorNoData = 232,
    kErrorDirectory = 267,
    kErrorNotConnected = 2250,
};

uint32_t GetLastError();
void SetLastError(uint32_t code);

// ---- Files -------------------------------------------------------------------------------

using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFileHandle = -1;

enum FileAccess : uint32_t { kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u };
enum ShareMode : uint32_t { kShareNone = 0, kShareRead = 1, kShareWrite = 2 };
enum CreationDisposition : uint32_t { kCreateAlways = 2, kOpenExisting = 3 };

// As FILE_FLAG_OPEN_REPARSE_POINT: a symbolic link standing at the name is taken as the file
// itself, so kCreateAlways replaces the link with the new file and never creates or writes the
// file it leads to. Honoured with kCreateAlways.
inline constexpr uint32_t kFlagOpenReparsePoint = 0x00200000u;

// Opens or creates a file. Sharing modes are accepted for the Win32 contract; a backend
// without them ignores them. Returns kInvalidFileHandle and sets the last error on failure.
FileHandle CreateFile(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flags = 0);
// Reads up to count bytes; *read is 0 at the physical end of the file.
bool ReadFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* read);
bool WriteFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* written);
bool CloseHandle(FileHandle handle);

enum FileType : uint32_t { kFileTypeUnknown = 0, kFileTypeDisk = 1, kFileTypeChar = 2, kFileTypePipe = 3 };
uint32_t GetFileType(FileHandle handle);

enum MoveMethod : uint32_t { kFileBegin = 0, kFileCurrent = 1, kFileEnd = 2 };
// Returns the new position, or -1 with the last error set.
int64_t SetFilePointer(FileHandle handle, int64_t distance, uint32_t method);

bool DeleteFile(const std::string& name);

// Gives a freshly copied file the permission bits a copy of the source should carry where the
// host keeps them in the file (POSIX: 0666 less the umask, plus the execute bits less the umask
// when the source is executable by its owner), so a copied program stays runnable. A backend
// whose files carry no such bits does nothing and answers true. False with the last error set
// when either file cannot be reached.
bool CopyFileMode(const std::string& source, const std::string& target);

// ---- Attributes and directory search -----------------------------------------------------

enum FileAttribute : uint32_t {
    kAttrReadOnly = 0x01,
    kAttrHidden = 0x02,
    kAttrSystem = 0x04,
    kAttrVolumeId = 0x08,
    kAttrDirectory = 0x10,
    kAttrArchive = 0x20,
    kAttrNormal = 0x80,
};
inline constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

uint32_t GetFileAttributes(const std::string& name);

// 100-nanosecond intervals since 1601-01-01, as Win32 counts them.
struct FileTime {
    uint64_t ticks = 0;
};

struct FindData {
    uint32_t attributes = 0;
    FileTime lastWriteTime; // UTC
    uint64_t size = 0;
    std::string name; // the file-name part only
};

struct FindState;
using FindHandle = FindState*;

// Searches the folder part of the pattern for names that match its name part, with Windows
// wildcard rules, ignoring case. Returns nullptr with the last error set when nothing matches
// (kErrorFileNotFound, or kErrorPathNotFound when the folder cannot be searched).
FindHandle FindFirstFile(const std::string& pattern, FindData* data);
// FindFirstFile with FindExSearchLimitToDirectories: entries the host already knows are no
// folder may be left out unlooked-at. Only a hint, as there: callers still test the attribute.
FindHandle FindFirstFileEx(const std::string& pattern, FindData* data, bool limitToDirectories);
// Returns false with kErrorNoMoreFiles after the last entry.
bool FindNextFile(FindHandle handle, FindData* data);
bool FindClose(FindHandle handle);

bool FileTimeToLocalFileTime(FileTime utc, FileTime* local);
// Fails for times outside 1980 to 2107.
bool FileTimeToDosDateTime(FileTime time, uint16_t* dosDate, uint16_t* dosTime);

// ---- Current directory and the program's own path ----------------------------------------

// A bare drive designator ("D:") selects that drive at its current folder. The process's real
// working directory follows, so that child processes start there. Failures: kErrorFileNotFound
// for a missing folder in an existing one, kErrorPathNotFound when a folder on the way is
// missing, kErrorDirectory for a file, kErrorInvalidDrive for a letter without a drive,
// kErrorNotReady for a drive that cannot be entered, kErrorBadNetPath for an unknown share.
bool SetCurrentDirectory(const std::string& path);
std::string GetCurrentDirectory();
// Full Windows path of the running program file.
std::string GetModuleFileName();

// ---- Drives and volumes ------------------------------------------------------------------

// Bit 0 is drive A, bit 25 drive Z. Each call reads the drives afresh, so a volume mounted,
// removed or relabelled since shows from then on in every call.
uint32_t GetLogicalDrives();

enum DriveType : uint32_t {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamdisk = 6,
};
// root: a letter, a colon and a backslash, in either case.
uint32_t GetDriveType(const std::string& root);

enum FileSystemFlag : uint32_t { kFsCaseSensitiveSearch = 0x1, kFsCasePreservedNames = 0x2 };
// Either output may be null. Fails (false, last error set) for a drive that is not ready.
bool GetVolumeInformation(const std::string& root, std::string* volumeName, uint32_t* fileSystemFlags);

enum ErrorModeFlag : uint32_t { kSemFailCriticalErrors = 0x1 };
// Returns the previous mode.
uint32_t SetErrorMode(uint32_t mode);

// localName: an upper-case letter and a colon. Returns kErrorSuccess and the remote name in
// UNC form, or an error code (kErrorNotConnected when the drive is not a network drive).
uint32_t WNetGetConnection(const std::string& localName, std::string* remoteName);

// ---- Shell -------------------------------------------------------------------------------

enum ShowCommand : int { kSwShowNormal = 1 };
// Starts file with the parameter string. Returns a value above 32 on success, an error
// code of 32 or below on failure.
intptr_t ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                      const std::string& directory, int showCommand);

// Where no Windows viewer can run, the shell starts this system's viewer program, named here, from
// the running program's folder in place of the disc's kvd.exe. It tells that viewer the host path
// of the kvd.exe it stands in for in the environment variable named here, so that the eight
// tokens reach it exactly as the Windows viewer would get them. On Windows the viewer is the
// disc's kvd.exe itself, and nothing stands in for it.
#ifdef _WIN32
inline constexpr char kHostViewerProgram[] = "kvd.exe";
#else
inline constexpr char kHostViewerProgram[] = "kvd_view";
#endif
inline constexpr char kStandsInForVariable[] = "KVD_VIEW_STANDS_IN_FOR";

// ---- Names -------------------------------------------------------------------------------

// True when both paths name the same existing file system object (device and inode, or
// volume serial and file index), however each path reaches it.
bool SameFileObject(const std::string& a, const std::string& b);

// File-name casing and comparison of the platform's character set.
std::string CharLower(const std::string& text);
std::string CharUpper(const std::string& text);
// Locale-aware comparisons; negative, zero or positive.
int CompareStringNoCase(const std::string& a, const std::string& b);
int CompareStringCase(const std::string& a, const std::string& b);
// A key whose byte order (memcmp) is the order of CompareStringNoCase, for sorting many names
// without casing and collating them again at every comparison.
std::string SortKeyNoCase(const std::string& text);
// OEM to ANSI conversion of a program path; the identity where there is only one set.
std::string OemToChar(const std::string& text);

// The host's own path of a Windows path (relative ones against the current directory), for code that
// works on host paths, such as the disc check and image; empty when the path stands for no host place.
std::string HostPathOf(const std::string& windowsPath);

} // namespace platform
