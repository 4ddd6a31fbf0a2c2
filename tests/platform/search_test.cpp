#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "core_test_support.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/wildcard.h"

namespace platform_tests {
namespace {

using namespace platform;
using platform::posix::WildcardPattern;
using testing_support::MakeDirs;
using testing_support::WriteBytes;

TEST(Wildcard, FollowsTheWindowsRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "README", true},       {"*.*", ".", true},          {"*", "a.b.c", true},
        {"*.txt", "notes.TXT", true},  {"*.TXT", "notes.txt", true}, {"*.txt", "notes.txt.bak", false},
        {"*.txt", "txt", false},       {"a?c", "abc", true},        {"a?c", "ac", false},
        {"a?c", "abbc", false},        {"?", "é", true},            {"??x", "éx", false},
        {"*.", "README", true},        {"*.", "a.txt", false},      {"read*.", "readme", true},
        {"foo.*", "foo", true},        {"foo.*", "foo.bar", true},  {"foo.*", "food", false},
        {"*a*b", "xxaxxbxxb", true},   {"*a*b", "xxbxxa", false},   {"Index.HTM", "index.htm", true},
        {"index.htm", "index.html", false}, {"ÉCOLE*", "école.htm", true}, {"k*.exe", "KVD.EXE", true},
        // "?" stands for no character at the end of the name and before a period, never for the period.
        {"a?.htm", "a.htm", true},     {"a?.htm", "ab.htm", true},  {"a?.htm", "abc.htm", false},
        {"a??", "a", true},            {"a??", "abc", true},        {"a??", "abcd", false},
        {"a?c", "a.c", false},         {"k?d?.exe", "kvd.exe", true}, {"??", "é", true},
        {"?.htm", ".htm", true},       {"x?y", "xy", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardPattern(c.pattern).Matches(c.name), c.matches) << c.pattern << " / " << c.name;
}

class Search : public DriveFixture {
protected:
    // Every entry the search returns for pattern, by name.
    std::map<std::string, FindData> Find(const std::string& pattern) {
        std::map<std::string, FindData> found;
        FindData data;
        FindHandle handle = FindFirstFile(pattern, &data);
        if (handle == nullptr) return found;
        do {
            EXPECT_TRUE(found.emplace(data.name, data).second) << "twice: " << data.name;
        } while (FindNextFile(handle, &data));
        EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
        EXPECT_TRUE(FindClose(handle));
        return found;
    }
    uint32_t FailureOf(const std::string& pattern) {
        FindData data;
        SetLastError(0);
        FindHandle handle = FindFirstFile(pattern, &data);
        EXPECT_EQ(handle, nullptr) << pattern;
        if (handle) FindClose(handle);
        return GetLastError();
    }
};

TEST_F(Search, ListsEveryEntryWithItsHostFacts) {
    MakeDirs(c_ + "/p/sub");
    WriteBytes(c_ + "/p/index.htm", "12345");
    WriteBytes(c_ + "/p/.hidden", "");
    WriteBytes(c_ + "/p/back\\slash", "");
    ASSERT_EQ(mkfifo((c_ + "/p/fifo").c_str(), 0666), 0);
    ASSERT_EQ(symlink((c_ + "/p/sub").c_str(), (c_ + "/p/sublink").c_str()), 0);
    const timeval times[2] = {{946729496, 0}, {946729496, 0}};  // 2000-01-01 12:24:56 UTC
    ASSERT_EQ(utimes((c_ + "/p/index.htm").c_str(), times), 0);

    const auto found = Find("C:\\p\\*.*");
    std::vector<std::string> names;
    for (const auto& [name, data] : found) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "fifo", "index.htm", "sub", "sublink"}));
    EXPECT_EQ(found.at(".").attributes, kAttrDirectory);
    EXPECT_EQ(found.at("..").attributes, kAttrDirectory);
    EXPECT_EQ(found.at(".hidden").attributes, kAttrArchive | kAttrHidden);
    EXPECT_EQ(found.at("fifo").attributes, kAttrSystem);
    EXPECT_EQ(found.at("sub").attributes, kAttrDirectory);
    EXPECT_EQ(found.at("sublink").attributes, kAttrDirectory);
    EXPECT_EQ(found.at("sub").size, 0u);
    const FindData& page = found.at("index.htm");
    EXPECT_EQ(page.attributes, kAttrArchive);
    EXPECT_EQ(page.size, 5u);
    EXPECT_EQ(page.lastWriteTime.ticks, (946729496ull + 11644473600ull) * 10000000ull);
}

TEST_F(Search, LeavesOutNamesAWindowsPathCannotCarryAndListsInNtfsOrder) {
    const struct {
        const char* name;
        bool listed;
    } names[] = {
        {"b", true},        {"A", true},           {"_x", true},         {"a1", true},        {"Sub", true},
        {"sub", true},      {"!first", true},      {" lead", true},      {"a.b.c", true},     {"é", true},
        {"z", true},        {"\xF0\x9F\x98\x80", true}, {"\xEE\x80\x80", true},
        {"a:b", false},     {"a<b", false},        {"a>b", false},       {"a\"b", false},     {"a|b", false},
        {"a?b", false},     {"a*b", false},        {"a\\b", false},     {"tab\tname", false}, {"x\x01", false},
        {"x\x1F", false},   {"trail.", false},     {"trail ", false},    {"dots...", false},
    };
    MakeDirs(c_ + "/p");
    for (const auto& entry : names) WriteBytes(c_ + "/p/" + entry.name, "");
    std::vector<std::string> listed;
    FindData data;
    FindHandle handle = FindFirstFile("C:\\p\\*", &data);
    ASSERT_NE(handle, nullptr);
    do listed.push_back(data.name);
    while (FindNextFile(handle, &data));
    FindClose(handle);
    // "." and ".." first, then by the upper-cased names' UTF-16 code units: "_" after the
    // letters, "é" (É) after "Z", U+1F600 (a surrogate pair) before U+E000; names that differ
    // only in case both, in byte order.
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", " lead", "!first", "A", "a.b.c", "a1", "b", "Sub", "sub",
                                                "z", "_x", "é", "\xF0\x9F\x98\x80", "\xEE\x80\x80"}));
    for (const auto& entry : names)
        EXPECT_EQ(std::count(listed.begin(), listed.end(), entry.name), entry.listed ? 1 : 0) << entry.name;
}

TEST_F(Search, NamePartSelectsAndFolderPartResolvesLikeAnyPath) {
    MakeDirs(c_ + "/p/Sub");
    WriteBytes(c_ + "/p/a.txt", "");
    WriteBytes(c_ + "/p/B.TXT", "");
    WriteBytes(c_ + "/p/readme", "");
    EXPECT_EQ(Find("C:\\p\\*.txt").size(), 2u);
    EXPECT_EQ(Find("C:/p/*.").size(), 4u);  // ".", "..", readme and Sub
    EXPECT_EQ(Find("C:/p/*.").count("readme"), 1u);
    EXPECT_EQ(Find("C:\\p\\b.txt").count("B.TXT"), 1u);
    EXPECT_EQ(Find("C:\\p\\sub").count("Sub"), 1u);
    ASSERT_TRUE(SetCurrentDirectory("C:\\p"));
    EXPECT_EQ(Find("*.txt").size(), 2u);
    ASSERT_TRUE(SetCurrentDirectory("D:\\"));
    EXPECT_EQ(Find("C:*.txt").size(), 2u);
    EXPECT_EQ(Find("C:\\p\\Sub\\..\\readme").size(), 1u);
}

TEST_F(Search, APlainNameFindsTheEntryItsPathReaches) {
    MakeDirs(c_ + "/p/Docs");
    WriteBytes(c_ + "/p/docs", "file");
    WriteBytes(c_ + "/p/KVD.CFG", "");
    WriteBytes(c_ + "/p/Kvd.cfg", "");
    const struct {
        const char* pattern;
        const char* found;
        uint32_t attributes;
    } rows[] = {
        {"C:\\p\\docs", "docs", kAttrArchive},    // the exact name, on a case-sensitive host
        {"C:\\p\\Docs", "Docs", kAttrDirectory},
        {"C:\\p\\DOCS", "Docs", kAttrDirectory},  // else the first that differs only in case
        {"C:\\p\\kvd.cfg", "KVD.CFG", kAttrArchive},
        {"C:\\p\\Kvd.cfg. ", "Kvd.cfg", kAttrArchive},
    };
    for (const auto& row : rows) {
        const auto found = Find(row.pattern);
        ASSERT_EQ(found.size(), 1u) << row.pattern;
        EXPECT_EQ(found.begin()->first, row.found) << row.pattern;
        EXPECT_EQ(found.begin()->second.attributes, row.attributes) << row.pattern;
    }
    EXPECT_EQ(Find("C:\\p\\d*").size(), 2u);
}

TEST_F(Search, FailuresTellNoMatchFromAMissingFolder) {
    MakeDirs(c_ + "/p");
    WriteBytes(c_ + "/p/file", "");
    EXPECT_EQ(FailureOf("C:\\p\\*.htm"), kErrorFileNotFound);
    EXPECT_EQ(FailureOf("C:\\p\\missing"), kErrorFileNotFound);
    EXPECT_EQ(FailureOf("C:\\p\\"), kErrorFileNotFound);
    EXPECT_EQ(FailureOf("C:\\nofolder\\*.*"), kErrorPathNotFound);
    EXPECT_EQ(FailureOf("C:\\p\\file\\*.*"), kErrorInvalidName);
    EXPECT_EQ(FailureOf("Q:\\*.*"), kErrorPathNotFound);
    ASSERT_EQ(rmdir(d_.c_str()), 0);
    EXPECT_EQ(FailureOf("D:\\*.*"), kErrorNotReady);
    FindData data;
    EXPECT_FALSE(FindNextFile(nullptr, &data));
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

FileTime TicksOf(int64_t unixSeconds) {
    return FileTime{static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ull};
}

TEST(FileTimes, DosDatesCoverOnly1980To2107) {
    uint16_t date = 0;
    uint16_t time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(TicksOf(946729497), &date, &time));  // 2000-01-01 12:24:57
    EXPECT_EQ(date, (20 << 9) | (1 << 5) | 1);
    EXPECT_EQ(time, (12 << 11) | (24 << 5) | 28);
    ASSERT_TRUE(FileTimeToDosDateTime(TicksOf(315532800), &date, &time));  // 1980-01-01 00:00:00
    EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
    EXPECT_EQ(time, 0);
    ASSERT_TRUE(FileTimeToDosDateTime(TicksOf(4354819199LL), &date, &time));  // 2107-12-31 23:59:59
    EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
    EXPECT_FALSE(FileTimeToDosDateTime(TicksOf(315532799), &date, &time));
    EXPECT_FALSE(FileTimeToDosDateTime(TicksOf(4354819200LL), &date, &time));
    EXPECT_FALSE(FileTimeToDosDateTime(TicksOf(0), &date, &time));
}

TEST(FileTimes, HostTimesBeyondTheTickRangeNeverWrapIntoTheDosYears) {
    const struct {
        int64_t seconds;  // since 1970
        bool dosDate;
    } rows[] = {
        {946684800, true},                          // 2000-01-01
        {1845621092171, false},                     // 2^64 ticks after 2000-01-01
        {253402300800, false},                      // the year 10000
        {INT64_MAX / 2, false},                     // far beyond any date
        {-11644473601, false},                      // before 1601
    };
    for (const auto& row : rows) {
        const timespec host{static_cast<time_t>(row.seconds), 999999999};
        const FileTime utc{posix::TicksFromTimespec(host)};
        FileTime local;
        uint16_t date = 0;
        uint16_t time = 0;
        const bool converted = FileTimeToLocalFileTime(utc, &local) && FileTimeToDosDateTime(local, &date, &time);
        EXPECT_EQ(converted, row.dosDate) << row.seconds;
    }
    EXPECT_EQ(posix::TicksFromTimespec({1845621092171, 0}), UINT64_MAX);
    EXPECT_EQ(posix::TicksFromTimespec({-11644473600, 500}), 5u);
    FileTime local;
    EXPECT_FALSE(FileTimeToLocalFileTime(FileTime{UINT64_MAX}, &local) &&
                 FileTimeToDosDateTime(local, nullptr, nullptr));
}

TEST(FileTimes, LocalTimeAddsTheZoneOffset) {
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    setenv("TZ", "XYZ-02:30", 1);
    FileTime local;
    const FileTime utc = TicksOf(946729497);
    ASSERT_TRUE(FileTimeToLocalFileTime(utc, &local));
    EXPECT_EQ(local.ticks - utc.ticks, 9000ull * 10000000ull);
    if (saved) setenv("TZ", savedZone.c_str(), 1); else unsetenv("TZ");
    tzset();
}

TEST_F(Search, FilesFrom1970HaveNoDosDate) {
    WriteBytes(c_ + "/old", "");
    const timeval times[2] = {{0, 0}, {86400, 0}};
    ASSERT_EQ(utimes((c_ + "/old").c_str(), times), 0);
    const auto found = Find("C:\\old");
    ASSERT_EQ(found.size(), 1u);
    FileTime local;
    ASSERT_TRUE(FileTimeToLocalFileTime(found.at("old").lastWriteTime, &local));
    uint16_t date;
    uint16_t time;
    EXPECT_FALSE(FileTimeToDosDateTime(local, &date, &time));
}

}  // namespace
}  // namespace platform_tests
