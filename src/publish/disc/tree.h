// One walk of a project folder: every entry with what the disc needs of it, symbolic links followed.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "publish/publish.h"

namespace publish::detail {

// Letter case folded the way a reader on Windows compares names (UTF-8 in, UTF-8 out; bytes that are not
// UTF-8 stay as they are).
std::string FoldCase(std::string_view name);

// Characters of the name as Joliet counts them (UTF-16 units); invalid UTF-8 bytes count one each.
size_t JolietLength(std::string_view name);

// Decodes one UTF-8 sequence at text[i] and moves i past it; -1 (and one byte) for anything not well-formed.
int32_t DecodeUtf8(std::string_view text, size_t& i);

// Limits of a whole path ("sub/page.htm") in UTF-16 units: the Joliet tree's, and that of Windows programs for
// the path with its drive in front ("D:\sub\page.htm").
constexpr size_t kJolietPathLimit = 240;
constexpr size_t kWindowsPathLimit = 259;

// Why the image's Joliet tree cannot carry the name unchanged (one sentence for people), or nothing.
std::optional<std::string> NotJolietReason(std::string_view name);
// Why a reader on Windows cannot open a name that Joliet carries, or nothing.
std::optional<std::string> NotWindowsReason(std::string_view name);

enum class EntryKind {
    File,
    Folder,
    LinkOutside, // a symbolic link whose target lies outside the project folder
    LinkLoop,    // a symbolic link that leads back into a folder above it, or in a circle of links
    LinkBroken,  // a symbolic link to nothing
    Special,     // a device, pipe or socket: nothing a disc can carry
};

struct Entry {
    std::string name;
    EntryKind kind = EntryKind::File;
    bool viaLink = false;   // reached through a symbolic link
    int folder = -1;        // index of the folder's table, for EntryKind::Folder
    struct stat info {};    // of the target, links followed
    std::string linkTarget; // what a symbolic link says, for the messages
};

struct Folder {
    std::string rel;            // "" for the root, else "a/b" (no trailing "/")
    std::string host;           // host path ending in "/"
    std::vector<Entry> entries; // sorted by name, byte order
    std::unordered_map<std::string, size_t> exact;
    std::unordered_map<std::string, std::vector<size_t>> folded; // folded name -> entries, in name order
    int error = 0; // why the folder could not be listed (then it has no entries); see WalkTree

    const Entry* Find(const std::string& name) const;
    // The entries whose name folds to the folded form of name, other than an exact match.
    const std::vector<size_t>* FindFolded(const std::string& name) const;
};

struct Tree {
    std::string root; // host path of the project folder, ending in "/"
    std::string realRoot;
    std::vector<Folder> folders; // [0] is the root; a folder's index is always above its parent's
    uint64_t files = 0;

    // A tree read back from a disc image rather than walked on the host: its files' bytes come through
    // readFile, the first page comes from the disc's autorun.inf, and the image's size is known. The check
    // reads pages on several threads but asks readFile from one at a time.
    bool fromImage = false;
    uint64_t imageBytes = 0;
    std::function<std::string(const Folder& folder, const Entry& entry, size_t limit)> readFile;
    // What the disc's own records tell about its entries beyond the list (a file whose bytes lie past the
    // image's end, a name the reader changed); an entry named here is not read again.
    std::vector<std::pair<const Entry*, Finding>> discFindings;

    // "sub/a.htm" for an entry of a folder.
    static std::string RelPath(const Folder& folder, const std::string& name) {
        return folder.rel.empty() ? name : folder.rel + "/" + name;
    }
};

// Walks the folder; throws Error when it or one of its subfolders cannot be read. With keepGoing, a subfolder
// that cannot be listed is kept, empty, with the reason in its error, for the check to report.
Tree WalkTree(const std::string& folder, bool keepGoing = false);

// The check over a tree however it was made; folder names it for the default volume label.
CheckResult CheckTree(const Tree& tree, const std::string& folder, const CheckOptions& options);

// Starts the image library once per process, for writing images and reading them back (see image.cpp).
void InitIsoLibrary();

// The exact image size in bytes for the walked tree (see image.cpp).
uint64_t TreeImageSize(const Tree& tree, const std::string& label);

// Appends the code point as UTF-8; one that UTF-8 cannot carry becomes U+FFFD.
void AppendUtf8(uint32_t cp, std::string& out);

// Error text for a failed system call on a path: "Cannot read /x/y: No such file or directory."
std::string SystemErrorText(const char* what, const std::string& path, int err);

// size bytes at offset, fewer where the file ends first: the count read, or -1 with errno set.
ssize_t ReadAt(int fd, void* data, size_t size, uint64_t offset);

} // namespace publish::detail
