// Path rules shared by the folder list and the file list, on the platform's Windows namespace.
#pragma once

#include <string>

class QFontMetrics;

namespace picker {

// "C:" for a lettered path; "\\server\share" for a network path; empty otherwise.
std::string DrivePart(const std::string& path);
// Everything after the last backslash or colon; the whole path when it has neither.
std::string NamePart(const std::string& path);
// The folder, a backslash and the name; no second backslash after a folder that ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);
// The path exists and is a folder.
bool FolderExists(const std::string& path);
// Sets the process's current directory; raises rtl::EInOutError with the platform's code.
void ChangeDirectory(const std::string& path);
std::string CurrentDirectory();
int CountBackslashes(const std::string& text);
// A drive letter upper-cased by the platform's file-name rules, to compare two letters.
char UpperDriveChar(char c);

struct SplitPath {
    char drive = 0;      // 0 for a network path
    std::string folder;  // without the drive part, except for a network path
    std::string name;    // a file name, a pattern, or empty
};

// Splits a requested path into drive, folder and name, entering folders to tell a folder name
// from a file name. Leaves the current directory as it found it; raises rtl::EInOutError.
SplitPath SplitRequestedPath(const std::string& requested);

// The path with leading folders replaced by "...\" until it fits the width in pixels.
std::string ShortenPath(const std::string& path, int width, const QFontMetrics& metrics);

}  // namespace picker
