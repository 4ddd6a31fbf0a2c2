// The running program's own path and whole-file reads, in wide characters.
#pragma once

#include <windows.h>

#include <string>

namespace viewer {

// A kernel handle that closes itself.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~UniqueHandle() {
        if (Valid()) CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The full path of the running program; the first page and kvd.cfg are found beside it whatever
// the working folder is.
std::wstring ProgramPath();
// The folder part with its last backslash, and the file name part.
std::wstring FolderOf(const std::wstring& path);
std::wstring FileNameOf(const std::wstring& path);
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

} // namespace viewer
