// The viewer's command line and where its first page lives on this host; no Qt.
#pragma once

#include <string>
#include <vector>

namespace viewer {

inline constexpr int kDefaultHeight = 400;
inline constexpr int kDefaultWidth = 600;

struct ViewerArgs {
    bool debug = false;
    std::string firstPage = "index.htm";
    std::string linkText = "-";
    std::string address = "-";
    bool maximised = false;
    bool borderless = false;
    int height = kDefaultHeight;
    int width = kDefaultWidth;
};

// Reads the tokens by position: debug, first page, link text, address, maximised,
// borderless, height, width. Any tail may be missing (the "M" and "M" "N" lists are just
// shorter lists) and takes the defaults; a size that is not a plain positive number does too.
ViewerArgs ParseViewerArgs(const std::vector<std::string>& tokens);

// Whether the menu item that opens the system browser is wanted at all.
bool HasWebLink(const ViewerArgs& args);

// The host path of the first page: a Windows full path ("C:\...", "\\server\share\...", "\...")
// goes through the drive table, a host absolute path is taken as it is, anything else is
// relative to the viewer's own folder (a host path). Empty when the path cannot be translated.
std::string ResolvePagePath(const std::string& firstPage, const std::string& viewerFolder);

// The file-name part of a page name in either form: after the last backslash, colon or slash.
std::string PageFileName(const std::string& page);

// Whether a regular file stands at the host path (a folder does not count).
bool HostFileExists(const std::string& hostPath);

}  // namespace viewer
