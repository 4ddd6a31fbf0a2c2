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

// The tokens a settings file "kvd.cfg" stands for, debug off: the viewer started with no
// arguments (a reader double-clicking it on the CD) takes its settings from there. Lines end at
// a carriage return (a line feed right after it is skipped), a Ctrl-Z ends the text, and only
// the first seven lines count.
std::vector<std::string> SettingsFileTokens(const std::string& bytes);

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

// The file at the host path as a disc read on a case-blind file system finds it: each folder and
// the file name may differ from what is on disk in the case of a to z, the exact spelling wins,
// and of several other spellings the first in byte order does. Returns the path unchanged when
// no file answers to it.
std::string FindPage(const std::string& hostPath);

// The whole content of a host file; empty when it cannot be read.
std::string ReadHostFile(const std::string& hostPath);

}  // namespace viewer
