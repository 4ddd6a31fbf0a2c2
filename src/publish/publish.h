// The disc check and the disc image of a project folder, given as a host path; no Qt.
// Results come back as data: the library never prints or shows anything itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace publish {

enum class Severity { Error, Warning, Note };

// "error", "warning", "note".
const char* SeverityName(Severity severity);

struct Finding {
    Severity severity = Severity::Error;
    std::string kind;                      // "missing-target", "case-mismatch", ...
    std::string file;                      // relative to the project folder, "/" separators; empty: the whole folder
    int line = 0;                          // 1-based; 0 when there is none
    std::optional<std::string> reference;  // the reference as written in the page, when there is one
    std::string message;                   // one sentence for people
};

enum class Medium { CD, DVD, DVDDualLayer };

constexpr uint64_t kSectorBytes = 2048;
// 360,000, 2,295,104 and 4,173,824 sectors.
uint64_t MediumSectors(Medium medium);
// "cd", "dvd", "dvd-dl"; nothing for any other text.
std::optional<Medium> ParseMedium(std::string_view text);
const char* MediumName(Medium medium);
// "CD 700 MB", "DVD 4.7 GB", "DVD dual layer 8.5 GB".
const char* MediumDescription(Medium medium);

// Called now and then during long work with the amount done and the whole amount (pages or bytes);
// returning false asks the work to stop as soon as it can, which then throws Cancelled.
using ProgressFn = std::function<bool(uint64_t done, uint64_t total)>;

struct CheckOptions {
    std::string firstPage;  // empty: line 1 of the folder's kvd.cfg
    Medium medium = Medium::CD;
    std::string label;      // volume label used when sizing the image; empty: DefaultVolumeLabel
    ProgressFn progress;    // may be empty
    bool engineRules = true; // what the Windows viewer's engine lacks in pages, style sheets, scripts and pictures
    unsigned threads = 0;    // threads reading pages at once; 0: one per processor, up to 8. The findings do not
                             // depend on it.
};

struct CheckResult {
    std::vector<Finding> findings;  // in a stable order: by file, then line, then kind
    int errors = 0;
    int warnings = 0;
    int notes = 0;
    uint64_t imageBytes = 0;  // exact size of the image WriteImage would make
    uint64_t mediumBytes = 0; // capacity of the chosen medium
};

// "2 errors, 1 warning, 3 notes" (with "no errors" etc. where a count is 0).
std::string SummaryLine(const CheckResult& result);

// Thrown when the work cannot be done at all (no such folder, an unreadable file, a full disk, an output
// inside the project folder); what() is one sentence for people that names the file concerned.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown when a progress callback asked the work to stop.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled.") {}
};

CheckResult CheckProject(const std::string& folder, const CheckOptions& options = {});

// The folder's own name upper-cased, every character outside A-Z, 0-9 and "_" turned into "_",
// cut to 32 characters (the ISO 9660 label; Joliet takes its first 16).
std::string DefaultVolumeLabel(const std::string& folder);

struct ImageOptions {
    std::string label;  // empty: DefaultVolumeLabel(folder)
    ProgressFn progress; // bytes written of the whole image; may be empty
};

// Exact size in bytes of the image of the folder as WriteImage would write it.
uint64_t ImageSize(const std::string& folder, const ImageOptions& options = {});

// Throws Error, naming output, when no image can be put there: its folder does not exist, or output exists and
// is a folder, device, pipe or socket (which would be replaced by a file, not written to). A symbolic link is
// replaced by the image itself; what it points to is never opened or changed. WriteImage asks this first;
// a front end asks it too before the check, so that a bad output costs no work.
void CheckImageOutput(const std::string& output);

// Writes the ISO 9660 image (Joliet and Rock Ridge) of the folder to output. The bytes go to a temporary
// file ".NAME.NNNNNN.part" beside output, renamed into place only when complete; on an error or a cancel
// nothing is left and an existing file named output is untouched. Such temporary files of the same output left
// by a run that was killed are removed first. An output inside the folder is refused with Error, and so is
// one CheckImageOutput refuses. Returns the size of the written image.
uint64_t WriteImage(const std::string& folder, const std::string& output, const ImageOptions& options = {});

}  // namespace publish
