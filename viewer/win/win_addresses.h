// How the Windows viewer reads the addresses its browser control reports, in plain C++: the control
// names the disc's pages as file addresses or as plain paths, so these decide what is the disc's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "viewer_core.h"

namespace viewer {

// The local path an address names, with backslashes and without query or fragment:
// "file:///Z:/a%20b.htm#top" and "Z:\a b.htm" both give "Z:\a b.htm", "file://host/share/x.htm"
// gives "\\host\share\x.htm". Empty when the address is of another kind.
std::string LocalPathOfAddress(std::string_view address);

// Where a navigation the control asks about goes. A file of one of the folders (the disc's, and
// the first page's) stays in the window in any frame; any other local path is refused; the rest
// follows the shared rule.
Route RouteWindowsNavigation(std::string_view address, const std::vector<std::string>& folders, bool mainFrame);

// The first page as a Windows path: a full path as given, a relative one with its dot parts
// resolved and joined to the viewer's folder. Empty for a relative one that climbs out of the
// folder, as ".." or a part Windows trims to ".." would.
std::string FirstPagePath(const std::string& firstPage, const std::string& viewerFolder);

// The folder part of a Windows path, with its last backslash ("X:\" of "X:\index.htm").
std::string FolderOfPath(const std::string& path);

// What the web-link item opens: an address with a scheme as it is, a bare host name on the web.
std::string WebLinkTarget(const std::string& address);

} // namespace viewer
