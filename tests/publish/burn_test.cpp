// Burning to stdio: pseudo-drives, which write real files: the bytes, the read-back, refusals and a cancel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "publish/disc/burn.h"
#include "publish/figures.h"
#include "support/iso_head.h"
#include "support/temp_dir.h"

namespace {

using publish::BurnFailure;
using publish::BurnOutcome;
using publish::BurnPhase;
using publish::DiscState;
using testing_support::AsIsoImage;
using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Bytes that differ from sector to sector and within one, so that a shifted or repeated sector shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// A sparse image: long to write, yet no room taken and quick to make.
void MakeHoles(const std::string& path, uint64_t size) {
    WriteBytes(path, "");
    std::filesystem::resize_file(path, size);
    const std::string descriptor = testing_support::PrimaryVolumeDescriptor(size);
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, descriptor.data(), descriptor.size(), testing_support::kIsoDescriptorOffset), 2048);
    close(fd);
}

TEST(Burn, StdioDriveShowsAsABlankRewritableFileAndTakesTheImageByteForByte) {
    TempDir dir;
    const std::string image = AsIsoImage(Pattern(5 * 1024 * 1024 + 1000)); // not a whole number of sectors
    WriteBytes(dir / "show.iso", image);
    const std::string drive = "stdio:" + dir / "disc.bin";

    const publish::DriveInfo info = publish::InspectDrive(drive);
    EXPECT_EQ(info.address, drive);
    EXPECT_EQ(info.state, publish::DiscState::Blank);
    EXPECT_EQ(info.mediumType, "stdio file");
    EXPECT_TRUE(info.rewritable);
    EXPECT_GT(info.capacity, image.size());
    EXPECT_EQ(info.vendor + info.product, "");

    std::vector<publish::BurnProgress> seen;
    publish::BurnOptions options;
    options.drive = drive;
    options.progress = [&seen](const publish::BurnProgress& now) {
        seen.push_back(now);
        return true;
    };
    const publish::BurnResult result = publish::BurnImage(dir / "show.iso", options);
    EXPECT_EQ(result.outcome, BurnOutcome::Verified);
    EXPECT_EQ(result.message, "Wrote 5,243,880 bytes (5.0 MB) to the drive " + drive + " and verified every sector.");
    EXPECT_EQ(result.imageBytes, image.size());
    EXPECT_EQ(result.writtenBytes, image.size());
    EXPECT_FALSE(result.writeOnce);
    EXPECT_FALSE(result.firstDifferentSector);

    const std::string disc = ReadBytes(dir / "disc.bin");
    ASSERT_GE(disc.size(), image.size());
    EXPECT_TRUE(disc.compare(0, image.size(), image) == 0);
    EXPECT_EQ(disc.find_first_not_of('\0', image.size()), std::string::npos) << "the padding is zeros";
    EXPECT_EQ(disc.size() % 2048, 0u);

    // Writing, then verifying, each rising to the whole image.
    ASSERT_FALSE(seen.empty());
    BurnPhase phase = BurnPhase::Writing;
    uint64_t done = 0;
    for (const publish::BurnProgress& now : seen) {
        ASSERT_TRUE(now.phase == BurnPhase::Writing || now.phase == BurnPhase::Verifying);
        if (now.phase != phase) {
            EXPECT_EQ(done, image.size()) << "the write ended before the read-back began";
            phase = now.phase;
            done = 0;
        }
        EXPECT_GE(now.done, done);
        EXPECT_EQ(now.total, image.size());
        done = now.done;
    }
    EXPECT_EQ(phase, BurnPhase::Verifying);
    EXPECT_EQ(done, image.size());

    // The file holds data now: a second burn blanks it first, and without the read-back says so.
    EXPECT_EQ(publish::InspectDrive(drive).state, DiscState::Closed);
    options.verify = false;
    options.blank = true;
    const publish::BurnResult again = publish::BurnImage(dir / "show.iso", options);
    EXPECT_EQ(again.message, "Wrote 5,243,880 bytes (5.0 MB) to the drive " + drive + "; not verified.");
    EXPECT_TRUE(again.blanked);
}

// The whole image is read back, the last sector too; the first sector that differs is named.
TEST(Burn, ReadBackNamesTheFirstSectorThatDiffers) {
    struct Case {
        const char* name;
        uint64_t size;
        std::function<void(int fd)> spoil; // done to the written file as the read-back begins
        uint64_t sector;
        std::string said; // how the message goes on after "sector "
    };
    constexpr uint64_t k3MiB = 3 * 1024 * 1024;
    const std::vector<Case> cases = {
        {"one byte changed", k3MiB, [](int fd) { ASSERT_EQ(pwrite(fd, "!", 1, 700 * 2048 + 5), 1); }, 700,
         "700 differs from the image."},
        {"the image's last byte changed", k3MiB + 1000, [](int fd) { ASSERT_EQ(pwrite(fd, "!", 1, k3MiB + 999), 1); },
         1536, "1,536 differs from the image."},
        // libburn reads a file's missing end as zeros.
        {"the medium cut short", k3MiB, [](int fd) { ASSERT_EQ(ftruncate(fd, 900 * 2048), 0); }, 900,
         "900 differs from the image."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteBytes(dir / "show.iso", AsIsoImage(Pattern(c.size)));
        const std::string target = dir / "disc.bin";
        publish::BurnOptions options;
        options.drive = "stdio:" + target;
        bool spoiled = false;
        options.progress = [&](const publish::BurnProgress& now) {
            if (now.phase == BurnPhase::Verifying && !spoiled) {
                const int fd = open(target.c_str(), O_WRONLY);
                c.spoil(fd);
                close(fd);
                spoiled = true;
            }
            return true;
        };
        const publish::BurnResult result = publish::BurnImage(dir / "show.iso", options);
        EXPECT_EQ(result.outcome, BurnOutcome::VerifyFailed);
        EXPECT_EQ(result.firstDifferentSector, std::optional<uint64_t>(c.sector));
        EXPECT_EQ(result.message, "Wrote " + publish::Grouped(c.size) + " bytes (3.0 MB) to the drive " +
                                      options.drive + ", but sector " + c.said);
    }
}

TEST(Burn, RefusalsNameTheDriveOrTheImageAndWriteNothing) {
    TempDir dir;
    WriteBytes(dir / "show.iso", AsIsoImage(Pattern(100000)));
    WriteBytes(dir / "data.iso", Pattern(100000));
    WriteBytes(dir / "empty.iso", "");
    MakeDirs(dir / "folder.iso");
    const std::string disc = "stdio:" + dir / "disc.bin";
    struct Case {
        std::string image;
        std::string drive;
        BurnFailure failure;
        std::string message;
    };
    std::vector<Case> cases = {
        {dir / "none.iso", disc, BurnFailure::BadImage,
         "The image " + dir / "none.iso" + " cannot be read: No such file or directory."},
        {dir / "empty.iso", disc, BurnFailure::BadImage, "The image " + dir / "empty.iso" + " is empty."},
        {dir / "folder.iso", disc, BurnFailure::BadImage, "The image " + dir / "folder.iso" + " is not a file."},
        {dir / "data.iso", disc, BurnFailure::BadImage,
         "The file " + dir / "data.iso" + " is not an ISO 9660 disc image."},
        {dir / "show.iso", "stdio:" + dir / "gone/disc.bin", BurnFailure::NoDrive,
         "There is no drive stdio:" + dir / "gone/disc.bin" + ": the folder " + dir / "gone" + " does not exist."},
    };
    // Without a drive named, the only one is taken; this machine may have none.
    if (publish::ListDrives().empty()) {
        cases.push_back({dir / "show.iso", "", BurnFailure::NoDrive, "There is no optical drive on this computer."});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        publish::BurnOptions options;
        options.drive = c.drive;
        try {
            publish::BurnImage(c.image, options);
            ADD_FAILURE() << "burned";
        } catch (const publish::BurnError& error) {
            EXPECT_EQ(error.what(), c.message);
            EXPECT_EQ(error.Failure(), c.failure);
        }
        EXPECT_FALSE(HostExists(dir / "disc.bin"));
    }
}

TEST(Burn, CancelDuringTheWriteEndsWithACancelledResultAndHowFarItGot) {
    TempDir dir;
    constexpr uint64_t kSize = 256ull * 1024 * 1024;
    MakeHoles(dir / "show.iso", kSize);
    publish::BurnOptions options;
    options.drive = "stdio:" + dir / "disc.bin";
    std::vector<BurnPhase> phases;
    options.progress = [&phases](const publish::BurnProgress& now) {
        phases.push_back(now.phase);
        return !(now.phase == BurnPhase::Writing && now.done > 0);
    };
    const publish::BurnResult result = publish::BurnImage(dir / "show.iso", options);
    EXPECT_EQ(result.outcome, BurnOutcome::Cancelled);
    EXPECT_GT(result.writtenBytes, 0u);
    EXPECT_LT(result.writtenBytes, kSize);
    EXPECT_EQ(result.message.rfind("Cancelled after ", 0), 0u) << result.message;
    EXPECT_NE(result.message.find(" of 256.0 MB were written to the drive " + options.drive +
                                  "; the disc holds an incomplete image."),
              std::string::npos)
        << result.message;
    EXPECT_EQ(std::count(phases.begin(), phases.end(), BurnPhase::Verifying), 0) << "no read-back after a cancel";
    // Only what was written is there; the drive is free for the next burn.
    EXPECT_LT(std::filesystem::file_size(dir / "disc.bin"), kSize);
    options.progress = nullptr;
    options.verify = false;
    options.blank = true;
    EXPECT_EQ(publish::BurnImage(dir / "show.iso", options).outcome, BurnOutcome::Written);
}

// The rule for the disc in the drive, row by row: what it is, whether it can be rewritten, whether blanking
// was agreed; a row either blanks or not, or is refused with its reason.
TEST(Burn, BlankRuleDependsOnTheDiscItsRewritingAndTheAgreement) {
    struct Row {
        DiscState state;
        bool rewritable;
        bool agreed;
        bool blanks;
        std::optional<BurnFailure> failure;
        std::string message;
    };
    const std::string data = "The rewritable disc in the drive /dev/sr7 (CD-RW) holds data; it must be blanked "
                             "first, which erases everything on it.";
    const std::string closed = "The disc in the drive /dev/sr7 (CD-R) is closed: it is written and takes no more.";
    const std::string used = "The disc in the drive /dev/sr7 (CD-R) already holds data and cannot be blanked; the "
                             "image needs a blank disc.";
    const std::string kind = "The disc in the drive /dev/sr7 (CD-RW) is of a kind this drive cannot write.";
    const std::string none = "There is no disc in the drive /dev/sr7.";
    const std::vector<Row> rows = {
        {DiscState::Blank, false, false, false, {}, ""},
        {DiscState::Blank, true, false, false, {}, ""},
        {DiscState::Blank, true, true, false, {}, ""},
        {DiscState::Appendable, true, false, false, BurnFailure::NeedsBlanking, data},
        {DiscState::Appendable, true, true, true, {}, ""},
        {DiscState::Closed, true, false, false, BurnFailure::NeedsBlanking, data},
        {DiscState::Closed, true, true, true, {}, ""},
        {DiscState::Closed, false, false, false, BurnFailure::UnusableDisc, closed},
        {DiscState::Closed, false, true, false, BurnFailure::UnusableDisc, closed},
        {DiscState::Appendable, false, false, false, BurnFailure::UnusableDisc, used},
        {DiscState::Appendable, false, true, false, BurnFailure::UnusableDisc, used},
        {DiscState::Unsuitable, true, true, false, BurnFailure::UnusableDisc, kind},
        {DiscState::None, false, false, false, BurnFailure::NoDisc, none},
        {DiscState::None, true, true, false, BurnFailure::NoDisc, none},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(publish::DiscStateName(row.state)) + (row.rewritable ? " rewritable" : " write-once") +
                     (row.agreed ? " agreed" : ""));
        publish::DriveInfo disc;
        disc.address = "/dev/sr7";
        disc.state = row.state;
        disc.mediumType = row.state == DiscState::None ? "" : row.rewritable ? "CD-RW" : "CD-R";
        disc.rewritable = row.rewritable;
        try {
            EXPECT_EQ(publish::BlankingNeeded(disc, row.agreed), row.blanks);
            EXPECT_FALSE(row.failure) << "not refused";
        } catch (const publish::BurnError& error) {
            EXPECT_EQ(std::optional<BurnFailure>(error.Failure()), row.failure);
            EXPECT_EQ(error.what(), row.message);
        }
    }
}

} // namespace
