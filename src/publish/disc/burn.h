// Burning a disc image to an optical drive, or to a file through a "stdio:PATH" pseudo-drive; no Qt.
// Results come back as data: the library never prints or shows anything itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "publish/publish.h"

namespace publish {

// What the medium in a drive allows.
enum class DiscState {
    None,       // no disc in the drive
    Blank,      // ready to be written from the start (also every overwritable disc)
    Appendable, // written, but open for another session
    Closed,     // written to the end; only a rewritable one can be blanked
    Unsuitable, // a disc this drive cannot write (or read)
};

// "no disc", "blank", "appendable", "closed", "unsuitable".
const char* DiscStateName(DiscState state);

struct DriveInfo {
    std::string address; // "/dev/sr0", or "stdio:/path" for a pseudo-drive
    std::string vendor;  // as the drive reports itself, blanks trimmed
    std::string product;
    DiscState state = DiscState::None;
    std::string mediumType;  // "CD-R", "DVD+RW", "stdio file"; empty without a disc
    bool rewritable = false; // can be blanked or overwritten
    uint64_t capacity = 0;   // bytes a write can put on the disc as it is now
    std::vector<int> speeds; // write speeds the disc allows, as multiples of its 1x speed, slowest first
};

// Every optical drive the system shows, each with the disc in it. Drives this user may not open do not show.
std::vector<DriveInfo> ListDrives();

// One drive by its address, whether or not a scan would list it; a pseudo-drive works too.
// Throws BurnError when there is no such drive or it is in use.
// A stdio: drive is judged by the file its path leads to, following links: a regular file that is not empty
// shows as a closed rewritable disc (it holds data), an empty or missing one as a blank disc; a block device,
// a pipe, a character device or any other file that is no regular file is refused.
DriveInfo InspectDrive(const std::string& address);

enum class BurnPhase { Blanking, Writing, Closing, Verifying };

// "blanking", "writing", "closing", "verifying".
const char* BurnPhaseName(BurnPhase phase);

struct BurnProgress {
    BurnPhase phase = BurnPhase::Writing;
    uint64_t done = 0; // bytes of this phase; for blanking a share of total
    uint64_t total = 0;
    double bytesPerSecond = 0; // of this phase so far; 0 until it is known
};

// Called a few times a second; returning false cancels. A blanking the drive has begun cannot be stopped:
// the cancel then takes effect when it ends.
using BurnProgressFn = std::function<bool(const BurnProgress& progress)>;

struct BurnOptions {
    std::string drive;  // the address, as DriveInfo::address
    int speed = 0;      // a multiple of the disc's 1x speed; 0: the drive's best
    bool blank = false; // the caller agrees that a rewritable disc holding data is blanked first
    bool verify = true;
    bool eject = false;
    BurnProgressFn progress; // may be empty
};

enum class BurnOutcome {
    Verified,     // written, and every sector read back equals the image
    Written,      // written; not verified, as asked
    VerifyFailed, // written, but a sector read back differs from the image or could not be read
    Cancelled,    // stopped on request; what is on the disc is incomplete
};

struct BurnResult {
    BurnOutcome outcome = BurnOutcome::Written;
    std::string drive;
    std::string mediumType;
    bool writeOnce = false; // a cancelled or failed write has used the disc up
    bool blanked = false;
    uint64_t imageBytes = 0;
    uint64_t writtenBytes = 0; // of the image, as the drive confirmed them
    double writeBytesPerSecond = 0;
    std::optional<uint64_t> firstDifferentSector; // 2048-byte sectors from the start; with VerifyFailed
    std::string message;                          // one sentence for people on how it ended, naming the drive
};

// Why a burn could not start or did not finish.
enum class BurnFailure {
    NoDrive,       // no such drive, or none at all, or several and none chosen; a stdio: path that is no file
    InUse,         // another program holds the drive
    NoDisc,        // the drive is empty
    UnusableDisc,  // closed, holding data without being rewritable, or of a kind the drive cannot write
    NeedsBlanking, // rewritable and holding data, and blanking was not agreed
    TooSmall,      // less room on the disc than the image needs
    BadImage,      // the image file cannot be read, or is no ISO 9660 image
    WriteFailed,   // the drive failed while blanking or writing
};

// Thrown before anything is written when the burn cannot start, and when the drive fails during the
// blank or the write; what() is one sentence that names the drive (or the image) and, for a failure,
// carries the drive's own error.
class BurnError : public Error {
public:
    BurnError(BurnFailure failure, const std::string& message) : Error(message), failure_(failure) {}
    BurnFailure Failure() const { return failure_; }

private:
    BurnFailure failure_;
};

// The rule for the disc as it is: true when it must be blanked before the image goes on, which only a
// rewritable disc holding data with blankAgreed may be. Throws BurnError (NoDisc, UnusableDisc,
// NeedsBlanking) naming the drive when the image cannot go on it. Looks at nothing but disc.
bool BlankingNeeded(const DriveInfo& disc, bool blankAgreed);

// Writes the image file to the disc in the drive as one closed session: blanks a rewritable disc first
// when it holds data and options.blank allows it, writes at the chosen speed, reads the sectors back when
// asked, and ejects the disc at the end when asked. The image must be an ISO 9660 image (the disc
// reader's first look at it); anything else is refused before the drive is touched. A stdio: drive is
// judged as InspectDrive does, then opened without following a link, so that the file written is the
// file judged; blanking it empties it.
BurnResult BurnImage(const std::string& image, const BurnOptions& options);

} // namespace publish
