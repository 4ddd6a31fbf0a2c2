// Where the Linux viewer finds its pages on this host; no Qt.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer_core.h"

namespace viewer {

// The host path of the first page as the engine's address names it, "." and ".." parts resolved
// on the text: a Windows full path ("C:\...", "\\server\share\...", "\...") goes through the
// drive table, a host absolute path is taken as it is, anything else is relative to the viewer's
// own folder (a host path). Empty when the path cannot be translated, or when a page given relative
// to the folder climbs out of it.
std::string ResolvePagePath(const std::string& firstPage, const std::string& viewerFolder);

// Whether the first page is given by a full path (host or Windows) rather than relative to the disc.
bool GivenByFullPath(const std::string& firstPage);

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
    // Each folder is taken as an address names it, its dot parts resolved on the text, and resolved
    // through its symbolic links once, here.
    explicit PermittedFolders(std::vector<std::string> folders);

    // The folder a first page given by a full path permits: its folder as the address names it,
    // and the real folder of the file found there (a page that is a link permits where it leads).
    // Nothing when no file is there.
    void AddFolderOf(const std::string& hostPage);

    // The path to open for a file the pages ask for, or empty when it lies outside every folder.
    // Judged twice: on the path as asked, where a dot part or another folder refuses it, and on
    // its real path, once every symbolic link is followed, against the real folders, so that a
    // link inside a folder that points out of it serves nothing while one that stays inside keeps
    // working.
    std::string Resolve(const std::string& hostPath) const;

private:
    std::vector<std::string> folders_;
    std::vector<std::string> resolved_;
};

// A descriptor for reading the file at the host path when that is a regular file, -1 otherwise.
// A named pipe or a device is never waited on: the file is opened without blocking and its type
// judged on what was opened. The descriptor blocks as usual.
int OpenRegularFile(const std::string& hostPath);

// The whole content of a regular host file; empty when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);

} // namespace viewer
