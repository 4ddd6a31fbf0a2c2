// Burning through libburn: the drive list, the disc in a drive, the write, the read-back.
#include "publish/disc/burn.h"

#include <fcntl.h>
#include <libburn/libburn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "publish/disc/disc_reader.h"
#include "publish/disc/tree.h"
#include "publish/figures.h"

namespace publish {

namespace {

using namespace burn;
using Clock = std::chrono::steady_clock;

// How often a running blank, write or read-back is looked at.
constexpr auto kPollInterval = std::chrono::milliseconds(50);
// Read-back in pieces of 1 MiB: each read is a command to the drive, so fewer and larger ones stream.
constexpr uint64_t kVerifySectors = 512;
constexpr int kStdioProfile = 0xffff;

// libburn keeps one drive list and one message queue per process: one piece of work at a time.
std::mutex& LibraryMutex() {
    static std::mutex mutex;
    return mutex;
}

void StartLibrary() {
    static const bool started = [] {
        if (burn_initialize() != 1)
            throw BurnError(BurnFailure::NoDrive, "The disc burning library could not be started.");
        // Its messages are queued for this code to read; none goes to standard error.
        burn_msgs_set_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"), const_cast<char*>(""));
        // Exclusive opening, so that a drive another program holds shows as busy instead of being shared.
        burn_preset_device_open(1, 0, 0);
        return true;
    }();
    (void)started;
}

void ForgetMessages() {
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    burn_msgs_obtain(const_cast<char*>("NEVER"), &code, text, &osErrno, severity);
}

struct LibraryMessage {
    std::string text; // empty when the library said nothing
    int osErrno = 0;
};

// The library's most recent complaint, with the system's reason when there is one.
LibraryMessage LastMessage() {
    LibraryMessage last;
    int code = 0;
    int osErrno = 0;
    char text[BURN_MSGS_MESSAGE_LEN];
    char severity[80];
    while (burn_msgs_obtain(const_cast<char*>("SORRY"), &code, text, &osErrno, severity) == 1) {
        last.text = text;
        last.osErrno = osErrno;
        if (osErrno != 0) last.text += std::string(" (") + std::strerror(osErrno) + ")";
    }
    return last;
}

// " (the drive's own words)" for the end of a sentence; nothing when the library gave none.
std::string Because(const LibraryMessage& message) {
    return message.text.empty() ? std::string() : ": " + message.text;
}

std::string Trimmed(const char* text, size_t size) {
    std::string value(text, strnlen(text, size));
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

std::string Megabytes(uint64_t bytes) { return publish::Megabytes(static_cast<double>(bytes)); }

std::string Size(uint64_t bytes) { return Grouped(bytes) + " bytes (" + Megabytes(bytes) + ")"; }

// The speed of 1x in kB/s (k = 1000, as the drives count), by the disc's family.
double OneX(int profile) {
    if (profile >= 0x40 && profile <= 0x43) return 4495.5;
    if (profile >= 0x10 && profile <= 0x2b) return 1385.0;
    return 176.4;
}

bool Overwritable(int profile) {
    // DVD-RAM, formatted DVD-RW, DVD+RW, BD-RE, and a file.
    return profile == 0x12 || profile == 0x13 || profile == 0x1a || profile == 0x43 || profile == kStdioProfile;
}

constexpr char kStdioPrefix[] = "stdio:";

bool IsStdio(const std::string& address) { return address.rfind(kStdioPrefix, 0) == 0; }

// One drive taken for this process's use, given back (and ejected when asked) at the end.
class GrabbedDrive {
public:
    // libraryAddress, when given, is what libburn is told instead: "stdio:/dev/fd/N" for a file opened here.
    explicit GrabbedDrive(const std::string& address, const std::string& libraryAddress = {}) : address_(address) {
        ForgetMessages();
        std::string wanted = libraryAddress.empty() ? address : libraryAddress;
        if (!IsStdio(address)) {
            // A link such as /dev/cdrom leads to the device libburn knows.
            char converted[BURN_DRIVE_ADR_LEN];
            if (burn_drive_convert_fs_adr(const_cast<char*>(address.c_str()), converted) == 1) wanted = converted;
        }
        const int grabbed = burn_drive_scan_and_grab(&info_, const_cast<char*>(wanted.c_str()), 1);
        if (grabbed == 1) return;
        info_ = nullptr;
        const LibraryMessage message = LastMessage();
        if (message.osErrno == EBUSY || message.text.find("busy") != std::string::npos) {
            throw BurnError(BurnFailure::InUse, "The drive " + address + " is in use by another program.");
        }
        if (grabbed == 0)
            throw BurnError(BurnFailure::NoDrive, "There is no drive " + address + Because(message) + ".");
        throw BurnError(BurnFailure::NoDrive, "The drive " + address + " cannot be opened" + Because(message) + ".");
    }
    ~GrabbedDrive() {
        if (!info_) return;
        burn_drive_release(info_[0].drive, eject_ ? 1 : 0);
        burn_drive_info_free(info_);
    }
    GrabbedDrive(const GrabbedDrive&) = delete;
    GrabbedDrive& operator=(const GrabbedDrive&) = delete;

    burn_drive* Drive() const { return info_[0].drive; }
    const burn_drive_info& Info() const { return info_[0]; }
    const std::string& Address() const { return address_; }
    void EjectAtEnd(bool eject) { eject_ = eject; }

private:
    std::string address_;
    burn_drive_info* info_ = nullptr;
    bool eject_ = false;
};

int Profile(burn_drive* drive, std::string* name) {
    int profile = 0;
    char text[80] = {};
    if (burn_disc_get_profile(drive, &profile, text) != 1) profile = 0;
    if (name) *name = profile == 0 ? std::string() : Trimmed(text, sizeof text);
    return profile;
}

// The disc in a grabbed drive.
DriveInfo Describe(const std::string& address, const burn_drive_info& info) {
    burn_drive* drive = info.drive;
    DriveInfo described;
    described.address = address;
    // A pseudo-drive's made-up maker and model would only puzzle a reader.
    if (burn_drive_get_drive_role(drive) == 1) {
        described.vendor = Trimmed(info.vendor, sizeof info.vendor);
        described.product = Trimmed(info.product, sizeof info.product);
    }
    switch (burn_disc_get_status(drive)) {
    case BURN_DISC_BLANK:
        described.state = DiscState::Blank;
        break;
    case BURN_DISC_APPENDABLE:
        described.state = DiscState::Appendable;
        break;
    case BURN_DISC_FULL:
        described.state = DiscState::Closed;
        break;
    case BURN_DISC_UNSUITABLE:
        described.state = DiscState::Unsuitable;
        break;
    default:
        described.state = DiscState::None;
        break;
    }
    if (described.state == DiscState::None) return described;
    const int profile = Profile(drive, &described.mediumType);
    described.rewritable = burn_disc_erasable(drive) != 0 || Overwritable(profile);
    if (described.state == DiscState::Blank || described.state == DiscState::Appendable) {
        const off_t space = burn_disc_available_space(drive, nullptr);
        described.capacity = space > 0 ? static_cast<uint64_t>(space) : 0;
    }
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(drive, &list) == 1) {
        for (const burn_speed_descriptor* item = list; item; item = item->next) {
            const int factor = static_cast<int>(std::lround(item->write_speed / OneX(profile)));
            if (factor > 0) described.speeds.push_back(factor);
        }
        burn_drive_free_speedlist(&list);
    }
    std::sort(described.speeds.begin(), described.speeds.end());
    described.speeds.erase(std::unique(described.speeds.begin(), described.speeds.end()), described.speeds.end());
    return described;
}

// A stdio: drive's file, judged by what its path leads to before anything opens it for writing.
struct StdioJudgement {
    bool exists = false;
    bool holdsData = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// libburn would take a block device as a disk to overwrite, open a pipe for writing and wait there for a
// reader, and write into /dev/null and then fail to read it back: only a regular file, or a new one in a
// folder that exists, is a stdio: drive here.
StdioJudgement JudgeStdio(const std::string& address) {
    const std::string path = address.substr(sizeof kStdioPrefix - 1);
    if (path.empty() || path.back() == '/')
        throw BurnError(BurnFailure::NoDrive, "The drive " + address + " names no file.");
    StdioJudgement judged;
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        struct stat link = {};
        if (error == ENOENT && lstat(path.c_str(), &link) == 0)
            throw BurnError(BurnFailure::NoDrive,
                            "The drive " + address + " is a link that leads to nothing; name the file itself.");
        if (error != ENOENT)
            throw BurnError(BurnFailure::NoDrive,
                            "The drive " + address + " cannot be looked at: " + std::strerror(error) + ".");
        std::string folder = std::filesystem::path(path).parent_path().string();
        if (folder.empty()) folder = ".";
        struct stat parent = {};
        if (stat(folder.c_str(), &parent) != 0 || !S_ISDIR(parent.st_mode))
            throw BurnError(BurnFailure::NoDrive,
                            "There is no drive " + address + ": the folder " + folder + " does not exist.");
        return judged;
    }
    if (S_ISBLK(info.st_mode)) {
        throw BurnError(BurnFailure::NoDrive, "The drive " + address +
                                                  " names a disk (a block device), not a disc drive; name the disc "
                                                  "drive itself without stdio:, such as /dev/sr0.");
    }
    if (!S_ISREG(info.st_mode)) {
        const char* kind = S_ISDIR(info.st_mode)    ? "a folder"
                           : S_ISFIFO(info.st_mode) ? "a pipe (FIFO)"
                           : S_ISCHR(info.st_mode)  ? "a character device"
                           : S_ISSOCK(info.st_mode) ? "a socket"
                                                    : "a special file";
        throw BurnError(BurnFailure::NoDrive, "The drive " + address + " is " + kind +
                                                  ", not a file; a stdio: drive writes only into a regular file.");
    }
    judged.exists = true;
    judged.holdsData = info.st_size > 0;
    judged.device = info.st_dev;
    judged.inode = info.st_ino;
    return judged;
}

// A file that holds data is a disc written to its end; it can be emptied, as a rewritable disc is blanked.
void ApplyJudgement(DriveInfo& disc, const StdioJudgement& judged) {
    if (!judged.holdsData || disc.state == DiscState::None) return;
    disc.state = DiscState::Closed;
    disc.rewritable = true;
    disc.capacity = 0;
}

// The stdio: drive's file, opened here and handed to libburn as an open descriptor: a link or a file put in
// its place after the judgement is never what gets written. A file made here goes again when nothing was
// written into it.
class StdioTarget {
public:
    StdioTarget(const std::string& address, const StdioJudgement& judged) : address_(address) {
        const std::string path = address.substr(sizeof kStdioPrefix - 1);
        // Resolved links, so that O_NOFOLLOW refuses only a link that appeared since.
        if (judged.exists) {
            path_ = Resolved(path);
            fd_ = open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        } else {
            const std::filesystem::path name(path);
            path_ =
                Resolved(name.has_parent_path() ? name.parent_path().string() : ".") + "/" + name.filename().string();
            fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
            made_ = fd_ >= 0;
        }
        if (fd_ < 0) {
            const int error = errno;
            if (error == EEXIST || error == ELOOP) Changed();
            throw BurnError(BurnFailure::WriteFailed,
                            "The drive " + address + " cannot be written: " + std::strerror(error) + ".");
        }
        struct stat info = {};
        if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) ||
            (judged.exists && (info.st_dev != judged.device || info.st_ino != judged.inode))) {
            close(fd_);
            fd_ = -1;
            Changed();
        }
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
    ~StdioTarget() {
        struct stat info = {};
        if (made_ && !keep_ && lstat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
            unlink(path_.c_str());
        if (fd_ >= 0) close(fd_);
    }
    StdioTarget(const StdioTarget&) = delete;
    StdioTarget& operator=(const StdioTarget&) = delete;

    // libburn takes "/dev/fd/N" as the descriptor itself, and works on a copy of it.
    std::string LibraryAddress() const { return kStdioPrefix + std::string("/dev/fd/") + std::to_string(fd_); }
    dev_t Device() const { return device_; }
    ino_t Inode() const { return inode_; }
    // From the first byte written on, the file stays whatever happens.
    void Keep() { keep_ = true; }

    void Blank() const {
        if (ftruncate(fd_, 0) != 0) {
            throw BurnError(BurnFailure::WriteFailed,
                            "Blanking the drive " + address_ + " failed: " + std::strerror(errno) + ".");
        }
    }

private:
    std::string Resolved(const std::string& path) const {
        char resolved[PATH_MAX];
        if (!realpath(path.c_str(), resolved)) Changed();
        return resolved;
    }
    [[noreturn]] void Changed() const {
        throw BurnError(BurnFailure::NoDrive,
                        "The drive " + address_ + " changed while it was looked at; nothing was written.");
    }

    std::string address_;
    std::string path_;
    int fd_ = -1;
    bool made_ = false;
    bool keep_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// The image file, open for reading.
class ImageFile {
public:
    explicit ImageFile(const std::string& path) : path_(path) {
        // Without waiting for a writer, should the image be a pipe.
        fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            throw BurnError(BurnFailure::BadImage,
                            "The image " + path + " cannot be read: " + std::strerror(errno) + ".");
        struct stat info = {};
        if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd_);
            throw BurnError(BurnFailure::BadImage, "The image " + path + " is not a file.");
        }
        if (info.st_size == 0) {
            close(fd_);
            throw BurnError(BurnFailure::BadImage, "The image " + path + " is empty.");
        }
        size_ = static_cast<uint64_t>(info.st_size);
        device_ = info.st_dev;
        inode_ = info.st_ino;
    }
    ~ImageFile() { close(fd_); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    uint64_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    bool SameFile(const StdioTarget& target) const { return target.Device() == device_ && target.Inode() == inode_; }

    // Exactly size bytes from offset, or an error naming the image.
    void Read(uint64_t offset, char* data, size_t size) const {
        const ssize_t n = detail::ReadAt(fd_, data, size, offset);
        if (n != static_cast<ssize_t>(size))
            throw BurnError(BurnFailure::BadImage,
                            "The image " + path_ + " cannot be read: " +
                                (n < 0 ? std::strerror(errno) : "it became shorter while it was burned") + ".");
    }

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// Reports progress with the speed of the phase so far; remembers whether the caller asked to stop.
class Reporter {
public:
    explicit Reporter(const BurnProgressFn& progress) : progress_(progress) {}

    void Start(BurnPhase phase) {
        phase_ = phase;
        start_ = Clock::now();
    }
    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
    double Speed(uint64_t done) const {
        const double seconds = Seconds();
        return seconds > 0.05 ? static_cast<double>(done) / seconds : 0.0;
    }
    // False once the caller has asked to stop; the question is not put again after that.
    bool Report(uint64_t done, uint64_t total) {
        if (cancelled_ || !progress_) return !cancelled_;
        BurnProgress now;
        now.phase = phase_;
        now.done = std::min(done, total);
        now.total = total;
        now.bytesPerSecond = phase_ == BurnPhase::Blanking ? 0.0 : Speed(now.done);
        if (!progress_(now)) cancelled_ = true;
        return !cancelled_;
    }
    bool Cancelled() const { return cancelled_; }

private:
    const BurnProgressFn& progress_;
    BurnPhase phase_ = BurnPhase::Writing;
    Clock::time_point start_ = Clock::now();
    bool cancelled_ = false;
};

// Waits until the drive is idle again, reporting each look.
void WaitWhileBusy(burn_drive* drive, const std::function<void(burn_drive_status, const burn_progress&)>& look) {
    for (;;) {
        burn_progress progress = {};
        const burn_drive_status status = burn_drive_get_status(drive, &progress);
        if (status == BURN_DRIVE_IDLE) return;
        look(status, progress);
        std::this_thread::sleep_for(kPollInterval);
    }
}

void Blank(GrabbedDrive& grabbed, Reporter& reporter) {
    burn_drive* drive = grabbed.Drive();
    reporter.Start(BurnPhase::Blanking);
    ForgetMessages();
    // A fast blank: only what tells the disc's contents is erased, which is what a new session needs.
    burn_disc_erase(drive, 1);
    WaitWhileBusy(drive, [&](burn_drive_status status, const burn_progress& progress) {
        if (status == BURN_DRIVE_ERASING || status == BURN_DRIVE_FORMATTING)
            reporter.Report(static_cast<uint64_t>(std::max(progress.sector, 0)), 0x10000);
    });
    const LibraryMessage message = LastMessage();
    if (burn_drive_wrote_well(drive) == 0 || burn_disc_get_status(drive) != BURN_DISC_BLANK) {
        throw BurnError(BurnFailure::WriteFailed,
                        "Blanking the disc in the drive " + grabbed.Address() + " failed" + Because(message) + ".");
    }
}

struct DiscFree {
    void operator()(burn_disc* disc) const { burn_disc_free(disc); }
};
struct OptsFree {
    void operator()(burn_write_opts* opts) const { burn_write_opts_free(opts); }
};

// The image as a disc of one session with one data track, padded to whole sectors.
std::unique_ptr<burn_disc, DiscFree> DiscOf(const ImageFile& image, const std::string& address) {
    burn_source* source = burn_file_source_new(image.Path().c_str(), nullptr);
    if (!source)
        throw BurnError(BurnFailure::BadImage,
                        "The image " + image.Path() + " cannot be read" + Because(LastMessage()) + ".");
    std::unique_ptr<burn_disc, DiscFree> disc(burn_disc_create());
    burn_session* session = burn_session_create();
    burn_track* track = burn_track_create();
    burn_track_define_data(track, 0, 0, 1, BURN_MODE1);
    const burn_source_status status = burn_track_set_source(track, source);
    // The track holds its own reference to the source from here on.
    burn_source_free(source);
    if (status != BURN_SOURCE_OK) {
        burn_track_free(track);
        burn_session_free(session);
        throw BurnError(BurnFailure::BadImage,
                        "The image " + image.Path() + " cannot be burned to the drive " + address + ".");
    }
    burn_session_add_track(session, track, BURN_POS_END);
    burn_disc_add_session(disc.get(), session, BURN_POS_END);
    // The disc and the session hold the references now.
    burn_track_free(track);
    burn_session_free(session);
    return disc;
}

// The bytes the drive accepted for the one track of the disc.
uint64_t WrittenBytes(burn_disc* disc) {
    int sessions = 0;
    int tracks = 0;
    burn_session** session = burn_disc_get_sessions(disc, &sessions);
    if (sessions < 1) return 0;
    burn_track** track = burn_session_get_tracks(session[0], &tracks);
    off_t read = 0;
    off_t written = 0;
    if (tracks < 1 || burn_track_get_counters(track[0], &read, &written) != 1) return 0;
    return written > 0 ? static_cast<uint64_t>(written) : 0;
}

// Reads the written sectors back and compares them with the image; the first sector that differs or
// cannot be read, or nothing when all are equal. Stops early, with nothing, when the caller cancels.
std::optional<uint64_t> Verify(burn_drive* drive, const ImageFile& image, Reporter& reporter, std::string* why) {
    reporter.Start(BurnPhase::Verifying);
    const uint64_t chunk = kVerifySectors * kSectorBytes;
    std::vector<char> expected(chunk);
    std::vector<char> actual(chunk);
    ForgetMessages();
    for (uint64_t offset = 0; offset < image.Size(); offset += chunk) {
        if (!reporter.Report(offset, image.Size())) return std::nullopt;
        const uint64_t wanted = std::min(chunk, image.Size() - offset);
        // The disc is read in whole sectors; the padding after the image is not compared.
        const uint64_t sectorBytes = (wanted + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
        image.Read(offset, expected.data(), wanted);
        off_t count = 0;
        // The count tells how far a read got, whether it failed or not; a drive pads nothing.
        burn_read_data(drive, static_cast<off_t>(offset), actual.data(), static_cast<off_t>(sectorBytes), &count, 0);
        const uint64_t got = std::min<uint64_t>(static_cast<uint64_t>(std::max<off_t>(count, 0)), wanted);
        // memcmp finds that a piece is equal at memory speed; only a differing piece is searched byte by byte.
        if (std::memcmp(expected.data(), actual.data(), got) != 0) {
            const auto mismatch = std::mismatch(expected.begin(), expected.end(), actual.begin());
            *why = "differs from the image";
            return (offset + static_cast<uint64_t>(mismatch.first - expected.begin())) / kSectorBytes;
        }
        if (got < wanted) {
            *why = "could not be read back" + Because(LastMessage());
            return (offset + got) / kSectorBytes;
        }
    }
    reporter.Report(image.Size(), image.Size());
    return std::nullopt;
}

std::string ChooseDrive() {
    const std::vector<DriveInfo> drives = ListDrives();
    if (drives.empty()) throw BurnError(BurnFailure::NoDrive, "There is no optical drive on this computer.");
    if (drives.size() > 1) {
        std::string names;
        for (const DriveInfo& drive : drives)
            names += (names.empty() ? "" : ", ") + drive.address;
        throw BurnError(BurnFailure::NoDrive,
                        "There are " + std::to_string(drives.size()) + " drives (" + names + "); choose one.");
    }
    return drives.front().address;
}

} // namespace

const char* DiscStateName(DiscState state) {
    switch (state) {
    case DiscState::None:
        return "no disc";
    case DiscState::Blank:
        return "blank";
    case DiscState::Appendable:
        return "appendable";
    case DiscState::Closed:
        return "closed";
    case DiscState::Unsuitable:
        return "unsuitable";
    }
    return "?";
}

const char* BurnPhaseName(BurnPhase phase) {
    switch (phase) {
    case BurnPhase::Blanking:
        return "blanking";
    case BurnPhase::Writing:
        return "writing";
    case BurnPhase::Closing:
        return "closing";
    case BurnPhase::Verifying:
        return "verifying";
    }
    return "?";
}

std::vector<DriveInfo> ListDrives() {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    StartLibrary();
    ForgetMessages();
    burn_drive_info* infos = nullptr;
    unsigned int count = 0;
    int scanned = 0;
    while ((scanned = burn_drive_scan(&infos, &count)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (scanned < 0)
        throw BurnError(BurnFailure::NoDrive, "The drives could not be listed" + Because(LastMessage()) + ".");
    std::vector<DriveInfo> drives;
    for (unsigned int i = 0; i < count; ++i) {
        char address[BURN_DRIVE_ADR_LEN] = {};
        if (burn_drive_get_adr(&infos[i], address) <= 0) continue;
        // Grabbing reads the disc; a drive another program holds shows without one.
        const bool grabbed = burn_drive_grab(infos[i].drive, 0) == 1;
        DriveInfo drive = grabbed ? Describe(address, infos[i]) : DriveInfo{};
        drive.address = address;
        drive.vendor = Trimmed(infos[i].vendor, sizeof infos[i].vendor);
        drive.product = Trimmed(infos[i].product, sizeof infos[i].product);
        if (grabbed) burn_drive_release(infos[i].drive, 0);
        drives.push_back(drive);
    }
    burn_drive_info_free(infos);
    return drives;
}

bool BlankingNeeded(const DriveInfo& disc, bool blankAgreed) {
    const std::string& address = disc.address;
    const std::string type = disc.mediumType.empty() ? std::string() : " (" + disc.mediumType + ")";
    switch (disc.state) {
    case DiscState::None:
        throw BurnError(BurnFailure::NoDisc, "There is no disc in the drive " + address + ".");
    case DiscState::Unsuitable:
        throw BurnError(BurnFailure::UnusableDisc,
                        "The disc in the drive " + address + type + " is of a kind this drive cannot write.");
    case DiscState::Blank:
        return false;
    case DiscState::Appendable:
    case DiscState::Closed:
        break;
    }
    if (!disc.rewritable) {
        throw BurnError(BurnFailure::UnusableDisc,
                        disc.state == DiscState::Closed
                            ? "The disc in the drive " + address + type + " is closed: it is written and takes no more."
                            : "The disc in the drive " + address + type +
                                  " already holds data and cannot be blanked; the image needs a blank disc.");
    }
    if (!blankAgreed) {
        throw BurnError(BurnFailure::NeedsBlanking,
                        "The rewritable disc in the drive " + address + type +
                            " holds data; it must be blanked first, which erases everything on it.");
    }
    return true;
}

DriveInfo InspectDrive(const std::string& address) {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    StartLibrary();
    const StdioJudgement judged = IsStdio(address) ? JudgeStdio(address) : StdioJudgement{};
    const GrabbedDrive grabbed(address);
    DriveInfo drive = Describe(address, grabbed.Info());
    ApplyJudgement(drive, judged);
    return drive;
}

BurnResult BurnImage(const std::string& imagePath, const BurnOptions& options) {
    const ImageFile image(imagePath);
    try {
        CheckImageFile(imagePath);
    } catch (const Error& error) {
        throw BurnError(BurnFailure::BadImage, error.what());
    }
    const std::string address = options.drive.empty() ? ChooseDrive() : options.drive;

    std::lock_guard<std::mutex> lock(LibraryMutex());
    StartLibrary();
    StdioJudgement judged;
    std::optional<StdioTarget> target;
    if (IsStdio(address)) {
        judged = JudgeStdio(address);
        target.emplace(address, judged);
        if (image.SameFile(*target))
            throw BurnError(BurnFailure::BadImage, "The drive " + address + " is the image " + image.Path() +
                                                       " itself; it cannot be burned onto itself.");
    }
    GrabbedDrive grabbed(address, target ? target->LibraryAddress() : std::string());
    burn_drive* drive = grabbed.Drive();
    Reporter reporter(options.progress);

    BurnResult result;
    result.drive = address;
    result.imageBytes = image.Size();
    DriveInfo disc = Describe(address, grabbed.Info());
    ApplyJudgement(disc, judged);
    result.mediumType = disc.mediumType;
    result.writeOnce = !disc.rewritable;
    if (BlankingNeeded(disc, options.blank)) {
        if (target) {
            reporter.Start(BurnPhase::Blanking);
            reporter.Report(0, 1);
            target->Blank();
            reporter.Report(1, 1);
        } else {
            Blank(grabbed, reporter);
        }
        result.blanked = true;
        disc = Describe(address, grabbed.Info());
    }
    const uint64_t padded = (image.Size() + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    if (padded > disc.capacity) {
        throw BurnError(BurnFailure::TooSmall, "The image " + image.Path() + " is " + Size(image.Size()) +
                                                   ", more than the " + Size(disc.capacity) +
                                                   " free on the disc in the drive " + address + ".");
    }

    const int profile = Profile(drive, nullptr);
    const int speed = options.speed > 0 ? static_cast<int>(std::ceil(options.speed * OneX(profile))) : 0;
    burn_drive_set_speed(drive, 0, speed);

    const std::unique_ptr<burn_disc, DiscFree> layout = DiscOf(image, address);
    const std::unique_ptr<burn_write_opts, OptsFree> opts(burn_write_opts_new(drive));
    // One session, closed: a write-once disc takes nothing after it.
    burn_write_opts_set_multi(opts.get(), 0);
    burn_write_opts_set_underrun_proof(opts.get(), 1);
    char reasons[BURN_REASONS_LEN] = {};
    if (burn_write_opts_auto_write_type(opts.get(), layout.get(), reasons, 0) == BURN_WRITE_NONE) {
        throw BurnError(BurnFailure::UnusableDisc,
                        "The drive " + address + " cannot write this disc: " + Trimmed(reasons, sizeof reasons) + ".");
    }

    if (reporter.Cancelled()) {
        result.outcome = BurnOutcome::Cancelled;
        result.message = "Cancelled before writing; the disc in the drive " + address + " is blank.";
        return result;
    }
    ForgetMessages();
    // A refused disc stays in the drive for the user to look at; a written one comes out when asked.
    grabbed.EjectAtEnd(options.eject);
    if (target) target->Keep();
    reporter.Start(BurnPhase::Writing);
    burn_disc_write(opts.get(), layout.get());
    bool cancelAsked = false;
    bool closingSeen = false;
    uint64_t written = 0;
    WaitWhileBusy(drive, [&](burn_drive_status status, const burn_progress& progress) {
        if (status == BURN_DRIVE_SPAWNING) return;
        const bool closing = status == BURN_DRIVE_WRITING_LEADOUT || status == BURN_DRIVE_CLOSING_TRACK ||
                             status == BURN_DRIVE_CLOSING_SESSION;
        written = std::max(written,
                           std::min(static_cast<uint64_t>(std::max(progress.sector, 0)) * kSectorBytes, image.Size()));
        if (closing && !closingSeen) {
            closingSeen = true;
            reporter.Start(BurnPhase::Closing);
        }
        if (closing) written = image.Size();
        if (!reporter.Report(written, image.Size()) && !cancelAsked) {
            cancelAsked = true;
            burn_drive_cancel(drive);
        }
    });
    const double seconds = reporter.Seconds();
    // The track knows what reached the drive, also when the write ended between two looks.
    written = std::max(written, std::min(WrittenBytes(layout.get()), image.Size()));
    const bool wroteWell = burn_drive_wrote_well(drive) != 0;
    // A small image can be written between two looks; the caller still sees it complete.
    if (!cancelAsked && wroteWell) reporter.Report(image.Size(), image.Size());
    const LibraryMessage message = LastMessage();
    const std::string lost = result.writeOnce ? " The disc cannot be used again." : "";
    if (cancelAsked) {
        result.outcome = BurnOutcome::Cancelled;
        result.writtenBytes = written;
        result.message = "Cancelled after " + Megabytes(written) + " of " + Megabytes(image.Size()) +
                         " were written to the drive " + address + "; the disc holds an incomplete image." + lost;
        return result;
    }
    if (!wroteWell) {
        throw BurnError(BurnFailure::WriteFailed, "Writing to the drive " + address + " failed after " +
                                                      Megabytes(written) + " of " + Megabytes(image.Size()) +
                                                      Because(message) + "." + lost);
    }
    result.writtenBytes = image.Size();
    result.writeBytesPerSecond = seconds > 0 ? static_cast<double>(image.Size()) / seconds : 0;

    if (!options.verify) {
        result.outcome = BurnOutcome::Written;
        result.message = "Wrote " + Size(image.Size()) + " to the drive " + address + "; not verified.";
        return result;
    }
    std::string why;
    result.firstDifferentSector = Verify(drive, image, reporter, &why);
    if (result.firstDifferentSector) {
        result.outcome = BurnOutcome::VerifyFailed;
        result.message = "Wrote " + Size(image.Size()) + " to the drive " + address + ", but sector " +
                         Grouped(*result.firstDifferentSector) + " " + why + ".";
    } else if (reporter.Cancelled()) {
        result.outcome = BurnOutcome::Written;
        result.message =
            "Wrote " + Size(image.Size()) + " to the drive " + address + "; the verification was cancelled.";
    } else {
        result.outcome = BurnOutcome::Verified;
        result.message = "Wrote " + Size(image.Size()) + " to the drive " + address + " and verified every sector.";
    }
    return result;
}

} // namespace publish
