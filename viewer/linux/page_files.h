// Where the Linux viewer finds its pages on this host; no Qt.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer_core.h"

namespace viewer {

// The host path of the first page: a Windows full path ("C:\...", "\\server\share\...", "\...")
// goes through the drive table, a host absolute path is taken as it is, anything else is
// relative to the viewer's own folder (a host path). Empty when the path cannot be translated.
std::string ResolvePagePath(const std::string& firstPage, const std::string& viewerFolder);

// The folder of the Windows viewer at the host path, when the viewer was started in its place
// (an absolute path of a file, as the shell passes it); nothing otherwise.
std::optional<std::string> StandInFolder(const std::string& windowsViewerPath);

// Whether a regular file stands at the host path (a folder does not count).
bool HostFileExists(const std::string& hostPath);

// The file at the host path as a disc read on a case-blind file system finds it: each folder and
// the file name may differ from what is on disk in the case of a to z, the exact spelling wins,
// and of several other spellings the first in byte order does. Returns the path unchanged when
// no file answers to it.
std::string FindPage(const std::string& hostPath);

// The folders whose files the pages may reach (host paths), and the rule that keeps the viewer
// inside them.
class PermittedFolders {
public:
    PermittedFolders() = default;
    // Each folder is resolved through its symbolic links once, here.
    explicit PermittedFolders(std::vector<std::string> folders);

    // The path to open for a file the pages ask for, or empty when it lies outside every folder.
    // Judged twice: on the path as asked, where a "." or ".." part or another folder refuses it,
    // and on where it leads once every symbolic link is followed, so that a link inside a folder
    // that points out of it serves nothing while one that stays inside keeps working.
    std::string Resolve(const std::string& hostPath) const;

private:
    std::vector<std::string> folders_;
    std::vector<std::string> resolved_;
};

// The whole content of a host file; empty when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);

} // namespace viewer
