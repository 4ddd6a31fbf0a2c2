// Disc images made to hurt the reader, put together record by record: folders that lead round, trees of
// absurd shape, names the image library changes, files past the end or sharing their bytes. Each test has a
// time limit of its own (see CMakeLists.txt), so a reader that goes round fails at once rather than hangs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "publish/disc/disc_reader.h"
#include "publish_test_support.h"
#include "raw_image.h"

namespace {

using namespace publish_test;
using raw_image::Image;
using raw_image::Joliet;
using raw_image::Record;
using testing_support::ReadBytes;
using testing_support::TempDir;

constexpr auto E = publish::Severity::Error;

const std::string kAutorun = "[autorun]\r\nopen=kvd.exe \"-\" \"index.htm\"\r\n";

std::string J(const std::u16string& name) { return Joliet(name); }
std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::string FileRecord(const std::u16string& name, uint32_t extent, uint32_t size) {
    return Record(J(name), extent, size, false);
}
std::string FolderRecord(const std::u16string& name, Image::Extent folder, uint8_t xa = 0) {
    std::string r = Record(J(name), folder.sector - xa, folder.bytes, true);
    r[1] = static_cast<char>(xa);
    return r;
}

// The start files of a disc that checks clean, as entries of its root, in name order.
std::vector<std::string> StartFiles(Image& image, const std::string& page = "<p>here</p>\n") {
    const uint32_t autorun = image.AddFile(kAutorun), index = image.AddFile(page), viewer = image.AddFile("MZ");
    return {FileRecord(u"autorun.inf", autorun, static_cast<uint32_t>(kAutorun.size())),
            FileRecord(u"index.htm", index, static_cast<uint32_t>(page.size())), FileRecord(u"kvd.exe", viewer, 2)};
}

std::string Refusal(const std::string& path) {
    try {
        publish::CheckImage(path);
    } catch (const publish::Error& e) {
        return e.what();
    }
    return "(checked)";
}

TEST(HostileImage, FoldersThatLeadRoundOrGrowBeyondReasonAreRefusedAsDamaged) {
    TempDir dir;
    const std::string path = dir / "case.iso";
    auto damaged = [&](const std::string& why) { return "The disc image " + path + " is damaged: " + why + "."; };
    struct Case {
        const char* name;
        std::function<void(Image&)> make;
        std::string message;
    };
    const std::vector<Case> cases = {
        // The root spans two sectors; the second starts with a record named like a parent's that leads to the
        // root. Only the first two records of a folder are its own and its parent's: this one is an entry.
        {"a later sector starting with a parent record that leads back to the root",
         [](Image& image) {
             const uint32_t root = image.Take(2 * raw_image::kSector);
             std::vector<std::string> entries = StartFiles(image);
             entries.push_back("");
             entries.push_back(Record("\1", root, 2 * raw_image::kSector, true));
             image.Put(root, Image::FolderBytes(root, entries));
             image.SetJolietRoot({root, 2 * raw_image::kSector});
         },
         "a folder holds itself or a folder it lies in"},
        // The same, reached through the extended attribute length that libisofs adds to the extent.
        {"a subfolder that leads back to the root through its attribute length",
         [](Image& image) {
             const uint32_t root = image.Take(raw_image::kSector);
             const Image::Extent sub = image.AddFolder({FolderRecord(u"up", {root, raw_image::kSector}, 3)});
             std::vector<std::string> entries = StartFiles(image);
             entries.push_back(FolderRecord(u"sub", sub));
             image.Put(root, Image::FolderBytes(root, entries));
             image.SetJolietRoot({root, raw_image::kSector});
         },
         "a folder holds itself or a folder it lies in"},
        {"two folder records that lead to the same folder",
         [](Image& image) {
             const Image::Extent shared = image.AddFolder(StartFiles(image));
             std::vector<std::string> entries = StartFiles(image);
             entries.push_back(FolderRecord(u"x", shared));
             entries.push_back(FolderRecord(u"y", shared));
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "two folder records lead to the same folder"},
        {"folders 129 deep",
         [](Image& image) {
             Image::Extent inner = image.AddFolder({});
             for (int depth = 0; depth < 128; ++depth)
                 inner = image.AddFolder({FolderRecord(u"d", inner)});
             std::vector<std::string> entries = StartFiles(image);
             entries.push_back(FolderRecord(u"top", inner));
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "its folders lie more than 128 deep"},
        {"a folder of 10,001 entries in reverse order: 50,005,000 steps of sorting",
         [](Image& image) {
             std::vector<std::string> entries;
             for (int i = 10000; i >= 0; --i) {
                 const std::string name = "f" + std::to_string(100000 + i);
                 entries.push_back(FileRecord(std::u16string(name.begin(), name.end()), 0, 0));
             }
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "its folders list their entries too far out of name order"},
        {"202 entries of one name, 201 of them for the reader to rename",
         [](Image& image) {
             std::vector<std::string> entries = StartFiles(image);
             for (int i = 0; i < 202; ++i)
                 entries.push_back(FileRecord(u"same.htm", 0, 0));
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "more than 200 of its names are damaged or the same as another in their folder"},
        // Folders whose extents overlap, each running on to the end of the volume: libisofs would read the
        // image once for every one of them.
        {"folders that overlap",
         [](Image& image) {
             const uint32_t first = image.Take(400 * raw_image::kSector);
             std::vector<std::string> entries;
             for (uint32_t i = 0; i < 200; ++i) {
                 // The folder's first record gives its size; to the folders before it, it is a file.
                 const std::u16string name = u"d" + U(std::to_string(100 + i));
                 image.Put(first + i, FileRecord(name, first + i, 390 * raw_image::kSector));
                 entries.push_back(FolderRecord(name, {first + i, raw_image::kSector}));
             }
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "its folders take more room than the whole image"},
        // Records of 42 bytes fill the sector up to 2042; one more of them would run 36 bytes past its end.
        {"a record that runs past the end of its sector",
         [](Image& image) {
             const uint32_t at = image.Take(raw_image::kSector);
             std::vector<std::string> entries;
             for (int i = 0; i < 47; ++i)
                 entries.push_back(FileRecord(u"e" + U(std::to_string(100 + i)), 0, 0));
             std::string bytes = Image::FolderBytes(at, entries);
             bytes[2042] = 42;
             image.Put(at, bytes);
             image.SetJolietRoot({at, raw_image::kSector});
         },
         "a folder record runs past the end of its sector"},
        {"a record cut short",
         [](Image& image) {
             const uint32_t at = image.Take(raw_image::kSector);
             std::string bytes = Image::FolderBytes(at, StartFiles(image));
             bytes[68] = 20; // the first entry's length, after the folder's own record and its parent's
             image.Put(at, bytes);
             image.SetJolietRoot({at, raw_image::kSector});
         },
         "a folder record is cut short"},
        {"a name that is the folder above",
         [](Image& image) {
             std::vector<std::string> entries = StartFiles(image);
             entries.insert(entries.begin(), FileRecord(u"..", 0, 0));
             image.SetJolietRoot(image.AddFolder(entries));
         },
         "a folder holds a name no reader accepts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        c.make(image);
        image.Write(path);
        EXPECT_EQ(Refusal(path), damaged(c.message));
    }
}

// Cancel reaches every stage before the pages: the walk of the records, libisofs's reading of them and the
// listing of its tree. Each report while loading is "0 of 0" (the whole is not known yet); whichever of them
// answers false, the work stops there.
TEST(HostileImage, CancelStopsTheLoadingAtAnyOfItsReports) {
    TempDir dir;
    Image image;
    std::vector<std::string> entries = StartFiles(image);
    const uint32_t empty = image.Take(raw_image::kSector);
    for (int i = 0; i < 8000; ++i)
        entries.push_back(FileRecord(u"p" + U(std::to_string(100000 + i)) + u".jpg", empty, 0));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(dir / "many.iso");

    int loading = 0;
    publish::CheckOptions options;
    options.progress = [&](uint64_t done, uint64_t total) {
        loading += done == 0 && total == 0;
        return true;
    };
    publish::CheckImage(dir / "many.iso", options);
    ASSERT_GE(loading, 6);
    for (int stop = 1; stop <= loading; ++stop) {
        SCOPED_TRACE(stop);
        int calls = 0;
        options.progress = [&](uint64_t, uint64_t) { return ++calls < stop; };
        EXPECT_THROW(publish::CheckImage(dir / "many.iso", options), publish::Cancelled);
        EXPECT_EQ(calls, stop);
    }
}

// Files whose bytes do not lie wholly inside the volume, and entries the reader lists under another name than the
// disc's records carry: a "/" (the library keeps what follows it), a NUL (it keeps what comes before), half a
// surrogate pair, a name longer than the library keeps.
TEST(HostileImage, FilesPastTheEndAndNamesTheReaderChangesAreErrors) {
    TempDir dir;
    Image image;
    const uint32_t volume = 60;
    image.SetSectors(volume);
    const uint32_t some = image.AddFile("<p>x</p>");
    std::vector<std::string> start = StartFiles(image, "<img src=\"far.jpg\"><img src=\"edge.jpg\">\n");
    const std::u16string longName = std::u16string(90, u'\u4E00') + u".jpg";
    const std::vector<std::string> entries = {
        FileRecord(u"a/b.htm", some, 8),
        start[0],
        FileRecord(u"edge.jpg", volume - 1, raw_image::kSector),
        FileRecord(u"far.jpg", volume + 100, 1000),
        start[1],
        start[2],
        FileRecord(std::u16string(u"nul\0.htm", 8), some, 8),
        FileRecord(u"over.jpg", volume - 1, raw_image::kSector + 1),
        FileRecord(std::u16string(u"x") + char16_t(0xD800) + u".htm", some, 8),
        FileRecord(longName, some, 8),
    };
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(dir / "odd.iso");

    const publish::CheckResult result = publish::CheckImage(dir / "odd.iso");
    std::string longUtf8;
    for (int i = 0; i < 90; ++i)
        longUtf8 += "\xE4\xB8\x80";
    EXPECT_EQ(Brief(result), (std::vector<Expected>{
                                 {E, "name-damaged",
                                  "a\xEF\xBF\xBD"
                                  "b.htm",
                                  0, std::nullopt},
                                 {publish::Severity::Note, "not-linked", "b.htm", 0, std::nullopt},
                                 {E, "unreadable", "far.jpg", 0, std::nullopt},
                                 {E, "name-not-windows", "nul", 0, std::nullopt},
                                 {E, "name-damaged", "nul\xEF\xBF\xBD.htm", 0, std::nullopt},
                                 {E, "unreadable", "over.jpg", 0, std::nullopt},
                                 {E, "name-damaged", "x\xEF\xBF\xBD.htm", 0, std::nullopt},
                                 {E, "name-damaged", longUtf8 + ".jpg", 0, std::nullopt},
                             }));
    ASSERT_EQ(result.findings.size(), 8u);
    EXPECT_EQ(result.findings[0].message,
              "The name on the disc holds a \"/\", so readers on Windows see it under another name or not at all.");
    EXPECT_EQ(result.findings[5].message, "The file's 2,049 bytes from sector 59 run past the end of the disc, "
                                          "which has 60 sectors, so no reader can read them.");
    EXPECT_EQ(result.findings[7].message, "The disc holds this file, but the reader does not list it under this "
                                          "name; readers on Windows may see it differently or not at all.");
}

// 100 entries naming one extent of 4 MiB: the copy takes 4 MiB, not 400, and is refused when even what it
// takes does not fit.
TEST(HostileImage, TheCopyOutNeedsTheRoomOfEachExtentOnceAndIsRefusedWithoutIt) {
    TempDir dir, copy, tight;
    Image image;
    std::vector<std::string> entries = StartFiles(image);
    const uint32_t size = 4 << 20;
    const uint32_t shared = image.Take(size);
    image.Put(shared, "shared bytes");
    for (int i = 0; i < 100; ++i)
        entries.push_back(FileRecord(u"p" + U(std::to_string(100 + i)) + u".jpg", shared, size));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(dir / "shared.iso");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "shared.iso").c_str(), &info), 0);
    EXPECT_LT(uint64_t(info.st_blocks) * 512, 1u << 20) << "the image is sparse";

    publish::ExtractImage(dir / "shared.iso", copy.Path());
    const std::string expected = "shared bytes" + std::string(size - 12, '\0');
    for (const char* name : {"p100.jpg", "p150.jpg", "p199.jpg"}) {
        EXPECT_EQ(ReadBytes(copy / name), expected) << name;
        ASSERT_EQ(::stat((copy / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_nlink, 100u) << name;
    }

    // Extents of their own, more of them than the copy's folder has room for: refused before anything is
    // written, and the sentence names both amounts.
    struct statvfs room {};
    ASSERT_EQ(::statvfs(tight.Path().c_str(), &room), 0);
    const uint64_t free = uint64_t(room.f_bavail) * room.f_frsize;
    const uint32_t big = 0xFFFFF800u;
    Image huge;
    std::vector<std::string> many = StartFiles(huge);
    for (uint64_t i = 0, n = free / big + 3; i < n; ++i)
        many.push_back(FileRecord(u"big" + U(std::to_string(1000 + i)), huge.Take(big), big));
    huge.SetJolietRoot(huge.AddFolder(many));
    huge.Write(dir / "huge.iso");
    bool progressed = false;
    try {
        publish::ExtractImage(dir / "huge.iso", tight.Path(), [&](uint64_t, uint64_t) {
            progressed = true;
            return false;
        });
        ADD_FAILURE() << "the copy was not refused";
    } catch (const publish::Error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("The copy of the disc needs ", 0), 0u) << text;
        EXPECT_NE(text.find(" MB ("), std::string::npos) << text;
        EXPECT_NE(text.find("bytes), but " + tight.Path() + " has only "), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 13), " bytes) free.") << text;
    }
    EXPECT_FALSE(progressed);
    EXPECT_EQ(::rmdir(tight.Path().c_str()), 0) << "nothing was written";
    ASSERT_EQ(::mkdir(tight.Path().c_str(), 0700), 0);
}

// More entries naming one extent than a file system keeps links to one file (65,000 on ext4): the copy
// goes on with a second copy of the bytes for the rest.
TEST(HostileImage, MoreEntriesOfOneExtentThanLinksToAFileAreCopiedOnceMore) {
    TempDir dir, copy;
    Image image;
    std::vector<std::string> entries = StartFiles(image);
    const uint32_t shared = image.Take(2048);
    image.Put(shared, "shared");
    constexpr int kEntries = 66000;
    for (int i = 0; i < kEntries; ++i)
        entries.push_back(FileRecord(u"p" + U(std::to_string(100000 + i)), shared, 6));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(dir / "links.iso");

    publish::ExtractImage(dir / "links.iso", copy.Path());
    for (int i : {0, 64999, 65000, kEntries - 1})
        EXPECT_EQ(ReadBytes(copy / ("p" + std::to_string(100000 + i))), "shared") << i;
}

} // namespace
