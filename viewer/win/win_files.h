// The running program's own path and whole-file reads, in wide characters.
#pragma once

#include <string>

namespace viewer {

// The full path of the running program; the first page and kvd.cfg are found beside it whatever
// the working folder is.
std::wstring ProgramPath();
// The folder part with its last backslash, and the file name part.
std::wstring FolderOf(const std::wstring& path);
std::wstring FileNameOf(const std::wstring& path);
bool ReadWholeFile(const std::wstring& path, std::string& bytes);

} // namespace viewer
