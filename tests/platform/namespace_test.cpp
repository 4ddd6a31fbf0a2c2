// The Windows namespace as both backends must answer it: the same tables run against the POSIX
// emulation here and against the Win32 calls under Wine, so the emulation is held to Windows.
#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sandbox.h"

namespace {

using platform_tests::Sandbox;

// What a name leads to: the last error of a failed call, or 0 for success.
uint32_t AttributesError(const std::string& name) {
    platform::SetLastError(0);
    return platform::GetFileAttributes(name) == platform::kInvalidFileAttributes ? platform::GetLastError() : 0;
}

uint32_t OpenError(const std::string& name, uint32_t access, uint32_t disposition) {
    const platform::FileHandle file = platform::CreateFile(name, access, platform::kShareRead, disposition);
    if (file == platform::kInvalidFileHandle) return platform::GetLastError();
    platform::CloseHandle(file);
    return 0;
}

#ifdef _WIN32
constexpr bool kWine = true;
#else
constexpr bool kWine = false;
#endif

struct NameCase {
    std::string name;  // inside the working folder, which holds the file "file.txt" and the folder "sub"
    uint32_t look;     // GetFileAttributes
    uint32_t open;     // CreateFile to read an existing file
    uint32_t create;   // CreateFile to create it
    // Where Wine's GetFileAttributes is known to answer otherwise than Windows: why.
    const char* wineLooksOtherwise = nullptr;
};

class BadNames : public Sandbox {};

TEST_F(BadNames, EachKindOfNameGetsTheErrorWindowsGives) {
    MakeFile(In("file.txt"));
    MakeFolder(In("sub"));
    const std::string longName(256, 'n');
    const std::vector<NameCase> cases = {
        // Characters no Windows name may hold.
        {"a<b", 123, 123, 123},
        {"a>b", 123, 123, 123},
        {"a|b", 123, 123, 123},
        {"a\"b", 123, 123, 123},
        {"a*b", 123, 123, 123},
        {"a?b", 123, 123, 123},
        {"sub\\a<b", 123, 123, 123},
        {"a<b\\x", 123, 123, 123},
        // A file's name followed by a separator, or used as a folder.
        {"file.txt\\", 123, 123, 123, "Wine's attribute query walks the name as a path and answers 3"},
        {"file.txt\\x", 3, 3, 3},
        {"missing\\x", 3, 3, 3},
        {"missing", 2, 2, 0},
        // Dots and spaces at the end of a name are dropped.
        {"file.txt.", 0, 0, 0},
        {"file.txt ", 0, 0, 0},
        {"file.txt. .", 0, 0, 0},
        {"sub.\\file.txt", 2, 2, 0},
        // A folder with a separator after it is the folder.
        {"sub\\", 0, 5, 5},
        {"sub", 0, 5, 5},
        // A name longer than any file system keeps.
        {longName, 206, 206, 206},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE("[" + c.name + "]");
        const std::string name = In(c.name);
        if (kWine && c.wineLooksOtherwise)
            std::cout << "not compared under Wine: GetFileAttributes of [" << c.name << "]: " << c.wineLooksOtherwise << "\n";
        else
            EXPECT_EQ(AttributesError(name), c.look);
        EXPECT_EQ(OpenError(name, platform::kGenericRead, platform::kOpenExisting), c.open);
        EXPECT_EQ(OpenError(name, platform::kGenericWrite, platform::kCreateAlways), c.create);
    }
}

// Windows keeps to MAX_PATH in the ANSI calls unless long paths are enabled for the machine and the
// program; the emulation takes paths of any length, as Windows does with them enabled.
TEST_F(BadNames, APathPastMaxPathIsTooLong) {
    if (!kWine) GTEST_SKIP() << "the emulation takes paths of any length, as Windows with long paths enabled does";
    std::string path = work_;
    while (path.size() < 300) path += "\\" + std::string(40, 'p');
    EXPECT_EQ(AttributesError(path), platform::kErrorFilenameExcedRange);
    EXPECT_EQ(OpenError(path, platform::kGenericWrite, platform::kCreateAlways), platform::kErrorFilenameExcedRange);
}

// The names a search of the working folder finds, sorted.
std::set<std::string> Found(const std::string& pattern, uint32_t* error) {
    std::set<std::string> names;
    platform::FindData data;
    platform::FindHandle find = platform::FindFirstFile(pattern, &data);
    *error = find ? 0 : platform::GetLastError();
    if (!find) return names;
    do {
        names.insert(data.name);
    } while (platform::FindNextFile(find, &data));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreFiles);
    platform::FindClose(find);
    return names;
}

struct SearchCase {
    std::string pattern;
    std::set<std::string> names;
    uint32_t error;
    // Where Wine's search is known to answer otherwise than Windows: why.
    const char* wineFindsOtherwise = nullptr;
};

class Wildcards : public Sandbox {};

TEST_F(Wildcards, MatchAsWindowsMatches) {
    for (const char* name : {"a.txt", "ab.txt", "abc", "b.htm", "Readme.TXT", "x.y.z", "long.html"}) MakeFile(In(name));
    MakeFolder(In("sub"));
    const std::set<std::string> all = {".", "..", "a.txt", "ab.txt", "abc", "b.htm", "Readme.TXT", "x.y.z", "long.html",
                                       "sub"};
    const std::vector<SearchCase> cases = {
        {"*", all, 0},
        {"*.*", all, 0},
        {"?.txt", {"a.txt"}, 0},
        // A question mark before a dot or at the end may match nothing.
        {"a?.txt", {"a.txt", "ab.txt"}, 0, "Wine's ? always takes one character"},
        {"??.txt", {"a.txt", "ab.txt"}, 0, "Wine's ? always takes one character"},
        {"a??", {"abc"}, 0},
        {"A*", {"a.txt", "ab.txt", "abc"}, 0},
        {"*.TXT", {"a.txt", "ab.txt", "Readme.TXT"}, 0},
        // Only long names count: a disc has no short ones.
        {"*.htm", {"b.htm"}, 0, "Wine matches the short name LONG~1.HTM too, as Windows does where 8.3 names are made"},
        {"*.ht?", {"b.htm"}, 0, "Wine matches the short name LONG~1.HTM too, as Windows does where 8.3 names are made"},
        {"abc.", {"abc"}, 0},
        {"*.", {".", "..", "abc", "sub"}, 0, "Wine reads *. as *"},
        {"x.*", {"x.y.z"}, 0},
        {"*.z", {"x.y.z"}, 0},
        {"readme.txt", {"Readme.TXT"}, 0},
        {"nothing*", {}, 2},
        {"missing\\*", {}, 3},
        {"a.txt\\*", {}, 123},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE("[" + c.pattern + "]");
        uint32_t error = 0;
        const std::set<std::string> found = Found(In(c.pattern), &error);
        if (kWine && c.wineFindsOtherwise) {
            std::cout << "not compared under Wine: [" << c.pattern << "]: " << c.wineFindsOtherwise << "\n";
            continue;
        }
        EXPECT_EQ(found, c.names);
        EXPECT_EQ(error, c.error);
    }
}

class LetterCase : public Sandbox {};

TEST_F(LetterCase, NamesMatchInAnyCaseAndKeepTheirOwn) {
    MakeFile(In("MixedCase.Txt"), "first");
    EXPECT_EQ(AttributesError(In("MIXEDCASE.TXT")), 0u);
    EXPECT_EQ(AttributesError(In("mixedcase.txt")), 0u);
    // Writing under another case replaces the file and keeps the name it had.
    MakeFile(In("mixedcase.txt"), "second");
    uint32_t error = 0;
    EXPECT_EQ(Found(In("*"), &error), (std::set<std::string>{".", "..", "MixedCase.Txt"}));
    platform::FindData data;
    platform::FindHandle find = platform::FindFirstFile(In("MIXEDCASE.TXT"), &data);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(data.size, 6u);
    platform::FindClose(find);
    EXPECT_TRUE(platform::DeleteFile(In("MIXEDCASE.txt")));
    EXPECT_EQ(AttributesError(In("MixedCase.Txt")), 2u);
}

class CurrentFolder : public Sandbox {};

TEST_F(CurrentFolder, RelativeNamesFollowItAndFailuresNameTheCause) {
    MakeFolder(In("sub\\deeper"));
    MakeFile(In("file.txt"));
    ASSERT_TRUE(platform::SetCurrentDirectory(In("sub")));
    EXPECT_EQ(platform::GetCurrentDirectory(), In("sub"));
    ASSERT_TRUE(platform::SetCurrentDirectory("deeper\\"));
    EXPECT_EQ(platform::GetCurrentDirectory(), In("sub\\deeper"));
    ASSERT_TRUE(platform::SetCurrentDirectory("..\\.."));
    EXPECT_EQ(platform::GetCurrentDirectory(), work_);
    EXPECT_EQ(AttributesError("file.txt"), 0u);
    EXPECT_EQ(AttributesError(".\\sub\\..\\file.txt"), 0u);

    const std::vector<std::pair<std::string, uint32_t>> failures = {
        {"missing", 2}, {"missing\\x", 3}, {"file.txt", 267}, {"a<b", 123}, {"file.txt\\", 123},
    };
    for (const auto& [path, error] : failures) {
        SCOPED_TRACE("[" + path + "]");
        platform::SetLastError(0);
        EXPECT_FALSE(platform::SetCurrentDirectory(path));
        EXPECT_EQ(platform::GetLastError(), error);
        EXPECT_EQ(platform::GetCurrentDirectory(), work_);
    }
}

// The one answer the emulation keeps apart on purpose: the picker returns to the folder it last
// showed on a drive when the drive alone is chosen (path_rules_test), as a program whose runtime
// keeps the "=X:" variables does on Windows.
TEST_F(CurrentFolder, ABareDriveAfterAnotherDrivesFolder) {
    ASSERT_TRUE(platform::SetCurrentDirectory(work_));
    ASSERT_TRUE(platform::SetCurrentDirectory(second_ + "\\w"));
    const std::string firstDrive = first_.substr(0, 2);
    ASSERT_TRUE(platform::SetCurrentDirectory(firstDrive));
#ifdef _WIN32
    // Windows keeps a drive's folder only in the "=X:" variables a command shell or a C runtime's
    // chdir sets; SetCurrentDirectory itself remembers none, so the drive's root it is.
    EXPECT_EQ(platform::GetCurrentDirectory(), firstDrive + "\\");
#else
    EXPECT_EQ(platform::GetCurrentDirectory(), work_);
#endif
}

TEST_F(CurrentFolder, ADrivesRootHasNoDotEntriesAndNothingAboveIt) {
    // A drive whose root the test may list: Wine's Z: is the host's root, the emulation's D: the
    // second folder.
    const std::string root = (kWine ? std::string("Z:") : second_) + "\\";
    uint32_t error = 0;
    const std::set<std::string> names = Found(root + "*", &error);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(names.count("."), 0u);
    EXPECT_EQ(names.count(".."), 0u);
    EXPECT_TRUE(platform::GetFileAttributes(root) & platform::kAttrDirectory);
    ASSERT_TRUE(platform::SetCurrentDirectory(root + ".."));
    EXPECT_EQ(platform::GetCurrentDirectory(), root);
    ASSERT_TRUE(platform::SetCurrentDirectory(root + "..\\..\\."));
    EXPECT_EQ(platform::GetCurrentDirectory(), root);
}

class FileTypes : public Sandbox {};

TEST_F(FileTypes, DiskFileDeviceAndFolder) {
    MakeFile(In("file.txt"));
    platform::FileHandle file =
        platform::CreateFile(In("file.txt"), platform::kGenericRead, platform::kShareRead, platform::kOpenExisting);
    ASSERT_NE(file, platform::kInvalidFileHandle);
    EXPECT_EQ(platform::GetFileType(file), platform::kFileTypeDisk);
    platform::CloseHandle(file);
    // The null device answers in any folder, under any extension-free spelling.
    for (const std::string& name : {std::string("NUL"), In("nul"), In("sub\\..\\NUL")}) {
        SCOPED_TRACE(name);
        file = platform::CreateFile(name, platform::kGenericWrite, platform::kShareRead, platform::kOpenExisting);
        ASSERT_NE(file, platform::kInvalidFileHandle) << platform::GetLastError();
        EXPECT_EQ(platform::GetFileType(file), platform::kFileTypeChar);
        uint32_t written = 0;
        EXPECT_TRUE(platform::WriteFile(file, "abc", 3, &written));
        EXPECT_EQ(written, 3u);
        platform::CloseHandle(file);
    }
    // A folder is no file to open.
    MakeFolder(In("sub"));
    EXPECT_EQ(OpenError(In("sub"), platform::kGenericRead, platform::kOpenExisting), 5u);
}

TEST_F(FileTypes, PipeIsAPipe) {
    platform::FileHandle readEnd;
    platform::FileHandle writeEnd;
#ifdef _WIN32
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    ASSERT_TRUE(::CreatePipe(&r, &w, nullptr, 0));
    readEnd = reinterpret_cast<platform::FileHandle>(r);
    writeEnd = reinterpret_cast<platform::FileHandle>(w);
#else
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    readEnd = fds[0];
    writeEnd = fds[1];
#endif
    EXPECT_EQ(platform::GetFileType(readEnd), platform::kFileTypePipe);
    EXPECT_EQ(platform::GetFileType(writeEnd), platform::kFileTypePipe);
    uint32_t done = 0;
    EXPECT_TRUE(platform::WriteFile(writeEnd, "pipe", 4, &done));
    char buffer[8] = {};
    EXPECT_TRUE(platform::ReadFile(readEnd, buffer, sizeof buffer, &done));
    EXPECT_EQ(std::string(buffer, done), "pipe");
    // Nobody left to read: the writer hears that the pipe is being closed.
    platform::CloseHandle(readEnd);
    platform::SetLastError(0);
    EXPECT_FALSE(platform::WriteFile(writeEnd, "x", 1, &done));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNoData);
    platform::CloseHandle(writeEnd);
}

}  // namespace

namespace {

class Handles : public Sandbox {};

TEST_F(Handles, WrongDirectionsSeeksAndClosesFailAsOnWindows) {
    MakeFile(In("file.txt"), "0123456789");
    const platform::FileHandle reader =
        platform::CreateFile(In("file.txt"), platform::kGenericRead, platform::kShareRead, platform::kOpenExisting);
    ASSERT_NE(reader, platform::kInvalidFileHandle);
    const platform::FileHandle writer = platform::CreateFile(In("other.txt"), platform::kGenericWrite,
                                                             platform::kShareRead, platform::kCreateAlways);
    ASSERT_NE(writer, platform::kInvalidFileHandle);
    uint32_t done = 99;
    char buffer[4];
    platform::SetLastError(0);
    EXPECT_FALSE(platform::WriteFile(reader, "x", 1, &done));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(done, 0u);
    platform::SetLastError(0);
    EXPECT_FALSE(platform::ReadFile(writer, buffer, sizeof buffer, &done));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAccessDenied);

    struct Seek {
        int64_t distance;
        uint32_t method;
        int64_t position;  // -1: fails with the code
        uint32_t error;
    };
    const std::vector<Seek> seeks = {
        {4, platform::kFileBegin, 4, 0},      {2, platform::kFileCurrent, 6, 0},  {-1, platform::kFileEnd, 9, 0},
        {100, platform::kFileBegin, 100, 0},  {-1, platform::kFileBegin, -1, platform::kErrorNegativeSeek},
        {-20, platform::kFileEnd, -1, platform::kErrorNegativeSeek},
        {0, 7, -1, platform::kErrorInvalidParameter},
    };
    for (const Seek& seek : seeks) {
        SCOPED_TRACE(std::to_string(seek.distance) + " from " + std::to_string(seek.method));
        platform::SetLastError(0);
        EXPECT_EQ(platform::SetFilePointer(reader, seek.distance, seek.method), seek.position);
        EXPECT_EQ(platform::GetLastError(), seek.error);
    }
    // Past the end a read gives nothing, and no error.
    ASSERT_EQ(platform::SetFilePointer(reader, 100, platform::kFileBegin), 100);
    EXPECT_TRUE(platform::ReadFile(reader, buffer, sizeof buffer, &done));
    EXPECT_EQ(done, 0u);

    EXPECT_TRUE(platform::CloseHandle(reader));
    EXPECT_TRUE(platform::CloseHandle(writer));
    platform::SetLastError(0);
    EXPECT_EQ(platform::GetFileType(reader), platform::kFileTypeUnknown);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidHandle);
}

TEST_F(Handles, DeletingFoldersMissingFilesAndOpenFiles) {
    MakeFolder(In("sub"));
    MakeFile(In("file.txt"));
    const std::vector<std::pair<std::string, uint32_t>> deletions = {
        {"sub", 5}, {"sub\\", 5}, {"missing.txt", 2}, {"missing\\x.txt", 3}, {"a<b", 123}, {"file.txt\\", 123},
    };
    for (const auto& [name, error] : deletions) {
        SCOPED_TRACE("[" + name + "]");
        platform::SetLastError(0);
        EXPECT_FALSE(platform::DeleteFile(In(name)));
        EXPECT_EQ(platform::GetLastError(), error);
    }
    EXPECT_TRUE(platform::DeleteFile(In("FILE.TXT. ")));
    EXPECT_EQ(AttributesError(In("file.txt")), 2u);
}

class DeviceNames : public Sandbox {};

struct DeviceCase {
    std::string name;
    std::string found;  // what a search for the name finds
};

// Windows reserves these names in every folder, with or without an extension: each is a device
// that answers where any file would, and no file of that name can be listed, made or deleted.
TEST_F(DeviceNames, AreDevicesInEveryFolderAndNeverFiles) {
    const std::vector<DeviceCase> cases = {
        {"CON", "CON"}, {"PRN", "PRN"}, {"AUX", "AUX"},       {"COM1", "COM1"},    {"LPT1", "LPT1"},
        {"com9", "com9"}, {"con.txt", "con"}, {"aux.htm", "aux"}, {"Nul.txt", "Nul"}, {"lpt9 .log", "lpt9"},
    };
    for (const DeviceCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AttributesError(In(c.name)), 0u);
        uint32_t error = 0;
        EXPECT_EQ(Found(In(c.name), &error), (std::set<std::string>{c.found}));
        // What the failure says depends on the device (a console, a printer, a port).
        EXPECT_FALSE(platform::DeleteFile(In(c.name)));
        if (c.found == "Nul") {
            const platform::FileHandle device = platform::CreateFile(In(c.name), platform::kGenericWrite,
                                                                     platform::kShareRead, platform::kCreateAlways);
            EXPECT_NE(device, platform::kInvalidFileHandle) << platform::GetLastError();
            EXPECT_EQ(platform::GetFileType(device), platform::kFileTypeChar);
            platform::CloseHandle(device);
        } else {
            // Only the null device is sure to open: the others need a console, a printer or a port.
            OpenError(In(c.name), platform::kGenericWrite, platform::kCreateAlways);
        }
        EXPECT_EQ(Found(In("*"), &error), (std::set<std::string>{".", ".."}));
    }
}

struct CaseRow {
    std::string text;
    std::string lower;
    std::string upper;
    // Where Wine's comparison is known to answer otherwise than Windows: why.
    const char* wineComparesOtherwise = nullptr;
};

TEST(NameText, CasingAndComparisonOfUtf8Names) {
    const std::vector<CaseRow> rows = {
        {"Index.HTM", "index.htm", "INDEX.HTM"},
        {"\xC3\x84rger \xC3\xA9t\xC3\xA9", "\xC3\xA4rger \xC3\xA9t\xC3\xA9", "\xC3\x84RGER \xC3\x89T\xC3\x89"},
        {"\xD0\x9C\xD0\xB8\xD1\x80", "\xD0\xBC\xD0\xB8\xD1\x80", "\xD0\x9C\xD0\x98\xD0\xA0"},
        {"1-_~!.txt", "1-_~!.txt", "1-_~!.TXT"},
    };
    for (const CaseRow& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(platform::CharLower(row.text), row.lower);
        EXPECT_EQ(platform::CharUpper(row.text), row.upper);
        if (kWine && row.wineComparesOtherwise) {
            std::cout << "not compared under Wine: [" << row.text << "]: " << row.wineComparesOtherwise << "\n";
            continue;
        }
        EXPECT_EQ(platform::CompareStringNoCase(row.lower, row.upper), 0);
        EXPECT_EQ(platform::SortKeyNoCase(row.lower), platform::SortKeyNoCase(row.upper));
    }
    EXPECT_LT(platform::CompareStringNoCase("apple", "Banana"), 0);
    EXPECT_GT(platform::CompareStringNoCase("Cherry", "banana"), 0);
    EXPECT_NE(platform::CompareStringCase("abc", "ABC"), 0);
    EXPECT_LT(platform::SortKeyNoCase("apple"), platform::SortKeyNoCase("Banana"));
    EXPECT_EQ(platform::OemToChar("C:\\Tools\\SETUP.EXE"), "C:\\Tools\\SETUP.EXE");
}

struct DosTimeRow {
    uint64_t ticks;
    bool ok;
    uint16_t date;
    uint16_t time;
    // Where Wine is known to answer otherwise than Windows: why.
    const char* wineConvertsOtherwise = nullptr;
};

TEST(NameText, DosTimesCoverOnly1980To2107) {
    constexpr uint64_t kDay = 864000000000ull;
    constexpr uint64_t k1980 = 119600064000000000ull;  // 1980-01-01 00:00:00
    const std::vector<DosTimeRow> rows = {
        {k1980, true, 0x0021, 0x0000},
        {k1980 - 1, false, 0, 0},
        {k1980 + kDay + 10000000ull * 3661, true, 0x0022, 0x0820},  // 1980-01-02 01:01:01: seconds halved
        {159992927980000000ull, true, 0xFF9F, 0xBF7D},               // 2107-12-31 23:59:58
        {159992928000000000ull, false, 0, 0, "Wine lets the year run past 2107 into the bits of the month"},
    };
    for (const DosTimeRow& row : rows) {
        SCOPED_TRACE(row.ticks);
        if (kWine && row.wineConvertsOtherwise) {
            std::cout << "not compared under Wine: " << row.ticks << ": " << row.wineConvertsOtherwise << "\n";
            continue;
        }
        uint16_t date = 0;
        uint16_t time = 0;
        EXPECT_EQ(platform::FileTimeToDosDateTime(platform::FileTime{row.ticks}, &date, &time), row.ok);
        if (row.ok) {
            EXPECT_EQ(date, row.date);
            EXPECT_EQ(time, row.time);
        }
    }
}

}  // namespace
