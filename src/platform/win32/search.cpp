// Directory search and file times through FindFirstFileExA and the time conversions.
#include "platform/win32/win32_api.h"

#include "platform/platform.h"

namespace platform {

struct FindState {
    HANDLE handle;
};

namespace {

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME Native(FileTime time) {
    FILETIME native;
    native.dwLowDateTime = static_cast<DWORD>(time.ticks);
    native.dwHighDateTime = static_cast<DWORD>(time.ticks >> 32);
    return native;
}

void Fill(const WIN32_FIND_DATAA& native, FindData* data) {
    data->attributes = native.dwFileAttributes;
    data->lastWriteTime.ticks = Ticks(native.ftLastWriteTime);
    data->size = (static_cast<uint64_t>(native.nFileSizeHigh) << 32) | native.nFileSizeLow;
    data->name = native.cFileName;
}

}  // namespace

FindHandle FindFirstFile(const std::string& pattern, FindData* data) { return FindFirstFileEx(pattern, data, false); }

FindHandle FindFirstFileEx(const std::string& pattern, FindData* data, bool limitToDirectories) {
    WIN32_FIND_DATAA native;
    const HANDLE handle =
        ::FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &native,
                           limitToDirectories ? FindExSearchLimitToDirectories : FindExSearchNameMatch, nullptr, 0);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    Fill(native, data);
    return new FindState{handle};
}

bool FindNextFile(FindHandle handle, FindData* data) {
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    WIN32_FIND_DATAA native;
    if (!::FindNextFileA(handle->handle, &native)) return false;
    Fill(native, data);
    return true;
}

bool FindClose(FindHandle handle) {
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const bool ok = ::FindClose(handle->handle) != 0;
    delete handle;
    return ok;
}

bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
    const FILETIME in = Native(utc);
    FILETIME out;
    if (!::FileTimeToLocalFileTime(&in, &out)) return false;
    local->ticks = Ticks(out);
    return true;
}

bool FileTimeToDosDateTime(FileTime time, uint16_t* dosDate, uint16_t* dosTime) {
    const FILETIME in = Native(time);
    WORD date = 0;
    WORD clock = 0;
    if (!::FileTimeToDosDateTime(&in, &date, &clock)) return false;
    *dosDate = date;
    *dosTime = clock;
    return true;
}

}  // namespace platform
