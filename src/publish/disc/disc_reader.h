// A disc image read back as a reader on Windows sees it: the Joliet tree, its files' bytes, and the
// autorun.inf line that starts the viewer. The image is only ever read. No Qt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "publish/publish.h"

namespace publish {

// The open= line of an autorun.inf: the program it starts and the tokens after it, split as the
// program's runtime splits its command line.
struct AutorunOpen {
    bool found = false;
    int line = 0;        // 1-based line of the open= key in the file
    std::string program; // "KVD.exe"
    std::vector<std::string> tokens;
};

// Reads the [autorun] section the way Windows reads an .inf file: lines end at CR, LF or CR LF,
// section and key names are compared without case, spaces around the key and before the value
// do not count, and the first open= of the section is the one used.
AutorunOpen ParseAutorunOpen(std::string_view bytes);

// Whether the path names a regular file (an image) rather than a folder; follows symbolic links.
bool IsImageFile(const std::string& path);

// The first look at an image file, before any reader sees it: a regular file whose first volume descriptor is
// ISO 9660's primary one and that holds the whole volume it describes. Throws Error naming the file.
// Returns the volume's size in sectors.
uint64_t CheckImageFile(const std::string& path);

// The disc check of an image: the same kinds as CheckProject, about the files as the disc carries
// them. The first page comes from the disc's autorun.inf unless options.firstPage names one; the
// image's size is its file's size. Throws Error for a file that is no ISO 9660 image, is cut short
// or damaged.
CheckResult CheckImage(const std::string& image, const CheckOptions& options = {});

// Copies every file and folder of the image's Joliet tree into folder, which must exist and should be
// empty; the names are the ones Joliet carries. progress counts bytes. Throws Error (leaving what was
// copied so far for the caller to remove) or Cancelled.
void ExtractImage(const std::string& image, const std::string& folder, const ProgressFn& progress = {});

} // namespace publish
