// Burning to stdio: pseudo-drives, which write real files: the bytes, the read-back, refusals and a cancel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "publish/disc/burn.h"
#include "support/temp_dir.h"

namespace {

using publish::BurnFailure;
using publish::BurnOutcome;
using publish::BurnPhase;
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

// A sparse file: long to write, yet no room taken and quick to make.
void MakeHoles(const std::string& path, uint64_t size) {
    WriteBytes(path, "");
    std::filesystem::resize_file(path, size);
}

TEST(Burn, StdioDriveShowsAsABlankRewritableFileAndTakesTheImageByteForByte) {
    TempDir dir;
    const std::string image = Pattern(5 * 1024 * 1024 + 1000); // not a whole number of sectors
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

    // Without the read-back the burn says so.
    options.verify = false;
    EXPECT_EQ(publish::BurnImage(dir / "show.iso", options).message,
              "Wrote 5,243,880 bytes (5.0 MB) to the drive " + drive + "; not verified.");
}

TEST(Burn, ReadBackNamesTheFirstSectorThatDiffersOrCannotBeRead) {
    struct Case {
        const char* name;
        std::string drive;                 // in the test's folder, or a device
        std::function<void(int fd)> spoil; // done to the written file as the read-back begins
        uint64_t sector;
        std::string said; // how the message goes on
    };
    const std::vector<Case> cases = {
        {"one byte changed", "disc.bin", [](int fd) { ASSERT_EQ(pwrite(fd, "!", 1, 700 * 2048 + 5), 1); }, 700,
         "700 differs from the image."},
        // A character device takes the bytes and gives none back.
        {"a drive that cannot read", "/dev/null", nullptr, 0,
         "0 could not be read back: Read attempt on write-only drive."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteBytes(dir / "show.iso", Pattern(3 * 1024 * 1024));
        const std::string target = c.drive[0] == '/' ? c.drive : dir / c.drive;
        publish::BurnOptions options;
        options.drive = "stdio:" + target;
        bool spoiled = c.spoil == nullptr;
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
        ASSERT_TRUE(result.firstDifferentSector);
        EXPECT_EQ(*result.firstDifferentSector, c.sector);
        EXPECT_EQ(result.message,
                  "Wrote 3,145,728 bytes (3.0 MB) to the drive " + options.drive + ", but sector " + c.said);
    }
}

TEST(Burn, RefusalsNameTheDriveOrTheImageAndWriteNothing) {
    TempDir dir;
    WriteBytes(dir / "show.iso", Pattern(100000));
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
        {dir / "show.iso", "stdio:" + dir / "gone/disc.bin", BurnFailure::NoDrive,
         "There is no drive stdio:" + dir / "gone/disc.bin" + ": Neither stdio-path nor its directory exist."},
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
    EXPECT_EQ(publish::BurnImage(dir / "show.iso", options).outcome, BurnOutcome::Written);
}

} // namespace
