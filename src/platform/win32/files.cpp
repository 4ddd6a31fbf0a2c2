// File handles, deletion, attributes and file identity through the Win32 calls of the same names.
#include "platform/win32/win32_api.h"

#include "platform/platform.h"

namespace platform {

namespace {

HANDLE Native(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(uint32_t code) { ::SetLastError(code); }

FileHandle CreateFile(const std::string& name, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flags) {
    // CREATE_ALWAYS with FILE_FLAG_OPEN_REPARSE_POINT would write into the link's own reparse file; the
    // contract is that the link goes and a plain file takes its place, so the link is deleted first
    // (DeleteFileA removes a link, never what it leads to).
    const bool replaceLink = disposition == kCreateAlways && (flags & kFlagOpenReparsePoint) != 0;
    if (replaceLink) {
        const DWORD attributes = ::GetFileAttributesA(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !::DeleteFileA(name.c_str()))
            return kInvalidFileHandle;
    }
    const HANDLE handle = ::CreateFileA(name.c_str(), access, share, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | (replaceLink ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    return handle == INVALID_HANDLE_VALUE ? kInvalidFileHandle : reinterpret_cast<FileHandle>(handle);
}

bool ReadFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* read) {
    DWORD done = 0;
    const bool ok = ::ReadFile(Native(handle), buffer, count, &done, nullptr) != 0;
    if (read) *read = done;
    return ok;
}

bool WriteFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* written) {
    DWORD done = 0;
    const bool ok = ::WriteFile(Native(handle), buffer, count, &done, nullptr) != 0;
    if (written) *written = done;
    return ok;
}

bool CloseHandle(FileHandle handle) { return ::CloseHandle(Native(handle)) != 0; }

uint32_t GetFileType(FileHandle handle) { return ::GetFileType(Native(handle)); }

int64_t SetFilePointer(FileHandle handle, int64_t distance, uint32_t method) {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(Native(handle), move, &position, method)) return -1;
    return position.QuadPart;
}

bool DeleteFile(const std::string& name) { return ::DeleteFileA(name.c_str()) != 0; }

// Files here carry no permission bits: only both ends must be there.
bool CopyFileMode(const std::string& source, const std::string& target) {
    return ::GetFileAttributesA(source.c_str()) != INVALID_FILE_ATTRIBUTES &&
           ::GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES;
}

uint32_t GetFileAttributes(const std::string& name) { return ::GetFileAttributesA(name.c_str()); }

bool SameFileObject(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::string* names[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        // No access asked and every sharing allowed: only the identity is read, also of a folder.
        const HANDLE handle =
            ::CreateFileA(names[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        const bool ok = ::GetFileInformationByHandle(handle, &info[i]) != 0;
        const DWORD error = ::GetLastError();
        ::CloseHandle(handle);
        if (!ok) {
            ::SetLastError(error);
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

}  // namespace platform
