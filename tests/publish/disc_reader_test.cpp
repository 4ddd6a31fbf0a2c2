// The check of a disc image against the check of its folder, the autorun.inf reading, the copy out of an
// image, and images that are no images or are broken.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "publish/disc/disc_reader.h"
#include "publish_test_support.h"

namespace {

using namespace publish_test;
using publish::AutorunOpen;
using publish::CheckImage;
using publish::CheckProject;
using testing_support::TempDir;

constexpr auto E = publish::Severity::Error;
constexpr auto W = publish::Severity::Warning;
constexpr auto N = publish::Severity::Note;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
}

// An image made by the system's own mastering tool, as someone else's disc would be.
void MasterWithTool(const std::string& folder, const std::string& image) {
    const std::string command = "xorriso -as mkisofs -quiet -J -R -o '" + image + "' '" + folder + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(AutorunOpenLine, TokensAsTheViewerReceivesThem) {
    struct Case {
        const char* name;
        std::string bytes;
        bool found;
        int line;
        std::string program;
        std::vector<std::string> tokens;
    };
    const std::vector<Case> cases = {
        {"as the write step writes it",
         "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\" \"Visit us!\" \"-\" \"-\" \"-\" \"400\" \"600\"",
         true,
         2,
         "KVD.exe",
         {"-", "index.htm", "Visit us!", "-", "-", "-", "400", "600"}},
        {"maximised: the short list",
         "[autorun]\r\nopen=KVD.exe \"d\" \"sub\\a b.htm\" \"-\" \"-\" \"M\"",
         true,
         2,
         "KVD.exe",
         {"d", "sub\\a b.htm", "-", "-", "M"}},
        {"a value holding a quote is split as the runtime splits it",
         "[autorun]\r\nopen=KVD.exe \"-\" \"a\"b.htm\" \"-\"",
         true,
         2,
         "KVD.exe",
         {"-", "ab.htm -"}},
        {"line feeds, other sections, comments and any letter case",
         "[Other]\nopen=x.exe\n; open=y.exe\n[AutoRun]\n  OPEN = \"My Viewer.exe\" \"-\" \"i.htm\"\n",
         true,
         5,
         "My Viewer.exe",
         {"-", "i.htm"}},
        {"only the first open= counts",
         "[autorun]\r\nopen=a.exe \"1\"\r\nopen=b.exe \"2\"\r\n",
         true,
         2,
         "a.exe",
         {"1"}},
        {"no open= line", "[autorun]\r\nicon=kvd.exe\r\n", false, 0, "", {}},
        {"open= outside the section", "open=kvd.exe \"-\"\r\n[autorun]\r\n", false, 0, "", {}},
        {"open= under a later section",
         "[autorun]\r\nicon=kvd.exe\r\n[Other]\r\nopen=kvd.exe \"-\"\r\n",
         false,
         0,
         "",
         {}},
        {"nothing at all", "", false, 0, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AutorunOpen open = publish::ParseAutorunOpen(c.bytes);
        EXPECT_EQ(open.found, c.found);
        EXPECT_EQ(open.line, c.line);
        EXPECT_EQ(open.program, c.program);
        EXPECT_EQ(open.tokens, c.tokens);
    }
}

// A project whose folder check passes the links below, which the disc then breaks: a page reached through
// a symbolic link (which Joliet cannot carry) and a name too long for Joliet.
void WriteProjectTheDiscBreaks(const TempDir& dir) {
    WriteGoodProject(dir);
    const std::string longName = std::string(70, 'x') + ".htm";
    WriteBytes(dir / "autorun.inf",
               "[autorun]\r\nopen=KVD.exe \"-\" \"INDEX.HTM\" \"-\" \"-\" \"-\" \"-\" \"400\" \"600\"");
    WriteBytes(dir / "index.htm",
               "<html><body>\n<a href=\"sub/b.htm\">b</a>\n<a href=\"alias.htm\">alias</a>\n<a href=\"" + longName +
                   "\">long</a>\n</body></html>\n");
    WriteBytes(dir / "sub/real.htm", "<p>real</p>\n");
    ASSERT_EQ(::symlink("sub/real.htm", (dir / "alias.htm").c_str()), 0);
    WriteBytes(dir / longName, "<p>long</p>\n");
}

TEST(ImageCheck, FindsOnTheDiscWhatTheFolderHides) {
    TempDir dir, out;
    WriteProjectTheDiscBreaks(dir);
    MasterWithTool(dir.Path(), out / "tool.iso");
    const std::string longName = std::string(70, 'x') + ".htm";

    // The folder: the link works, the long name is only a name problem.
    EXPECT_EQ(Brief(CheckProject(dir.Path())),
              (std::vector<Expected>{{N, "not-linked", "sub/real.htm", 0, std::nullopt},
                                     {E, "name-not-joliet", longName, 0, std::nullopt}}));

    // The disc: both links lead nowhere, the cut name and the file behind the link are pages nobody reaches,
    // and the first page of autorun.inf is found without regard to case.
    publish::CheckResult disc = CheckImage(out / "tool.iso");
    std::vector<Expected> expected = {
        {W, "case-mismatch", "autorun.inf", 2, "INDEX.HTM"},
        {E, "missing-target", "index.htm", 3, "alias.htm"},
        {E, "missing-target", "index.htm", 4, longName},
        {N, "not-linked", "sub/real.htm", 0, std::nullopt},
    };
    std::vector<Expected> got = Brief(disc);
    // The name Joliet made of the long one is the tool's choice; that it is a page nobody reaches is not.
    ASSERT_EQ(got.size(), expected.size() + 1);
    EXPECT_EQ(got.back().kind, "not-linked");
    EXPECT_EQ(got.back().file.substr(0, 20), std::string(20, 'x'));
    EXPECT_LE(got.back().file.size(), 70u);
    got.pop_back();
    EXPECT_EQ(got, expected);
    EXPECT_EQ(disc.findings[1].message, "The target \"alias.htm\" does not exist.");
    // Findings about a disc speak of the disc, not of a folder.
    EXPECT_EQ(disc.findings[0].message, "The first page is named \"index.htm\" on the disc; the viewer finds it on "
                                        "Windows, but the letter case differs.");
    EXPECT_EQ(disc.imageBytes, static_cast<uint64_t>(std::filesystem::file_size(out / "tool.iso")));
}

// A bootable disc: the boot catalogue is a file to a reader on Windows and a node of its own kind to libisofs.
TEST(ImageCheck, ABootableDiscOfTheToolChecksClean) {
    TempDir dir, out;
    WriteGoodProject(dir);
    WriteBytes(dir / "boot.img", std::string(8192, 'b'));
    const std::string command = "xorriso -as mkisofs -quiet -J -R -b boot.img -no-emul-boot -o '" + (out / "boot.iso") +
                                "' '" + dir.Path() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(Brief(CheckImage(out / "boot.iso")), std::vector<Expected>{});
}

TEST(ImageCheck, OwnImageOfAGoodProjectPassesAndCopiesOutByteForByte) {
    TempDir dir, out, copy;
    WriteGoodProject(dir);
    WriteBytes(dir / "autorun.inf", "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\" \"-\" \"-\" \"M\"");
    MakeDirs(dir / "Mixed Case");
    WriteBytes(dir / "Mixed Case/Grüße.txt", std::string(300000, 'g') + "end");
    publish::WriteImage(dir.Path(), out / "own.iso");

    publish::CheckResult disc = CheckImage(out / "own.iso");
    EXPECT_EQ(Brief(disc), std::vector<Expected>{});
    EXPECT_EQ(disc.errors + disc.warnings + disc.notes, 0);
    EXPECT_EQ(disc.imageBytes, publish::ImageSize(dir.Path()));

    uint64_t lastDone = 0, total = 0;
    publish::ExtractImage(out / "own.iso", copy.Path(), [&](uint64_t done, uint64_t all) {
        lastDone = done;
        total = all;
        return true;
    });
    for (const char* name : {"autorun.inf", "kvd.exe", "kvd.cfg", "index.htm", "sub/b.htm", "Mixed Case/Grüße.txt"})
        EXPECT_EQ(ReadAll(copy / name), ReadAll(dir / name)) << name;
    EXPECT_EQ(lastDone, total);
    EXPECT_GT(total, 300000u);
    // A check that starts from kvd.cfg would miss a first page that autorun.inf names differently.
    WriteBytes(dir / "autorun.inf", "[autorun]\r\nopen=KVD.exe \"-\" \"gone.htm\"");
    publish::WriteImage(dir.Path(), out / "other.iso");
    EXPECT_EQ(Brief(CheckImage(out / "other.iso")),
              (std::vector<Expected>{{E, "missing-first-page", "autorun.inf", 2, "gone.htm"}}));
    // Without an open= line, or without autorun.inf at all, nothing names the first page on the disc.
    WriteBytes(dir / "autorun.inf", "[autorun]\r\nicon=kvd.exe");
    publish::WriteImage(dir.Path(), out / "no-open.iso");
    EXPECT_EQ(Brief(CheckImage(out / "no-open.iso")),
              (std::vector<Expected>{{E, "missing-first-page", "autorun.inf", 0, std::nullopt}}));
    ASSERT_EQ(::unlink((dir / "autorun.inf").c_str()), 0);
    publish::WriteImage(dir.Path(), out / "no-autorun.iso");
    EXPECT_EQ(Brief(CheckImage(out / "no-autorun.iso")),
              (std::vector<Expected>{{E, "missing-autorun", "", 0, std::nullopt},
                                     {E, "missing-first-page", "", 0, std::nullopt}}));

    // The copy never replaces what is there already: not a file, and not through a link the file it leads to.
    TempDir there, link;
    WriteBytes(there / "index.htm", "mine");
    WriteBytes(out / "outside.txt", "outside");
    ASSERT_EQ(::symlink((out / "outside.txt").c_str(), (link / "index.htm").c_str()), 0);
    for (const TempDir* target : {&there, &link}) {
        try {
            publish::ExtractImage(out / "own.iso", target->Path());
            ADD_FAILURE() << "copied over " << target->Path();
        } catch (const publish::Error& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot write " + (*target / "index.htm") + ": File exists.");
        }
    }
    EXPECT_EQ(ReadAll(there / "index.htm"), "mine");
    EXPECT_EQ(ReadAll(out / "outside.txt"), "outside");
}

TEST(ImageCheck, NoImageOrABrokenOneIsAClearErrorAndTheFileStaysAsItWas) {
    TempDir dir, out;
    WriteGoodProject(dir);
    publish::WriteImage(dir.Path(), out / "good.iso");
    const std::string good = ReadAll(out / "good.iso");
    auto damaged = [&](size_t at, const std::string& bytes) {
        std::string image = good;
        image.replace(at, bytes.size(), bytes);
        return image;
    };
    // The root folder's extent in the primary descriptor (offset 158) and in the Joliet one (sector 17).
    const std::string ff(8, '\xff');
    // The Joliet tree's subfolder made to point back at the root: a folder that holds the folder it lies in.
    auto looped = [&] {
        std::string image = good;
        const auto le32 = [&](size_t at) {
            return uint32_t(uint8_t(image[at])) | uint32_t(uint8_t(image[at + 1])) << 8 |
                   uint32_t(uint8_t(image[at + 2])) << 16 | uint32_t(uint8_t(image[at + 3])) << 24;
        };
        const size_t rootAt = size_t(le32(17 * 2048 + 158)) * 2048;
        for (size_t i = rootAt; uint8_t(image[i]) != 0; i += uint8_t(image[i])) {
            const bool folder = uint8_t(image[i + 25]) & 0x02;
            const bool selfOrParent = image[i + 32] == 1 && uint8_t(image[i + 33]) <= 1;
            if (folder && !selfOrParent) image.replace(i + 2, 4, image.substr(17 * 2048 + 158, 4));
        }
        return image;
    };
    struct Case {
        const char* name;
        std::string bytes;
        std::string message; // empty: any clear message naming the file, or a check that runs
    };
    const std::vector<Case> cases = {
        {"empty", "", "The file " + (out / "case.iso") + " is not an ISO 9660 disc image."},
        {"a page", "<html></html>", "The file " + (out / "case.iso") + " is not an ISO 9660 disc image."},
        {"cut in the descriptors", good.substr(0, 16 * 2048 + 100),
         "The disc image " + (out / "case.iso") + " is damaged: its first volume descriptor is not a primary one."},
        {"cut short", good.substr(0, good.size() - 4096),
         "The disc image " + (out / "case.iso") + " is cut short: it holds " + std::to_string(good.size() - 4096) +
             " bytes of the " + std::to_string(good.size()) + " its volume needs."},
        {"no primary descriptor", damaged(16 * 2048, "\x02"),
         "The disc image " + (out / "case.iso") + " is damaged: its first volume descriptor is not a primary one."},
        {"root extent far outside", damaged(16 * 2048 + 158, ff), ""},
        {"joliet root extent far outside", damaged(17 * 2048 + 158, ff), ""},
        {"directory sectors overwritten", damaged(18 * 2048, std::string(8 * 2048, '\xa5')), ""},
        {"a folder that holds its own parent", looped(),
         "The disc image " + (out / "case.iso") + " is damaged: a folder holds itself or a folder it lies in."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(out / "case.iso", c.bytes);
        try {
            CheckImage(out / "case.iso");
            EXPECT_TRUE(c.message.empty());
        } catch (const publish::Error& e) {
            if (c.message.empty())
                EXPECT_NE(std::string(e.what()).find(out / "case.iso"), std::string::npos) << e.what();
            else
                EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(ReadAll(out / "case.iso"), c.bytes);
    }
    // A folder or a pipe named as the image is said to be no file, not read.
    ASSERT_EQ(::mkfifo((out / "pipe.iso").c_str(), 0644), 0);
    for (const std::string& notFile : {dir.Path(), out / "pipe.iso"}) {
        try {
            CheckImage(notFile);
            ADD_FAILURE() << notFile;
        } catch (const publish::Error& e) {
            EXPECT_EQ(e.what(), "The disc image " + notFile + " is not a file.");
        }
    }
    EXPECT_FALSE(publish::IsImageFile(dir.Path()));
    EXPECT_TRUE(publish::IsImageFile(out / "good.iso"));
    EXPECT_THROW(CheckImage(out / "none.iso"), publish::Error);
}

} // namespace
