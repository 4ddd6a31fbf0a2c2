#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

using namespace platform;

TEST(NameCase, MapsAsciiAndUtf8LatinLettersAndLeavesOtherBytes) {
    EXPECT_EQ(CharLower("KVD.EXE [Ab]"), "kvd.exe [ab]");
    EXPECT_EQ(CharUpper("kvd.exe @z{"), "KVD.EXE @Z{");
    EXPECT_EQ(CharLower("ÀÉÎÕÜÞ×"), "àéîõüþ×");
    EXPECT_EQ(CharUpper("àéîõüþ÷ß"), "ÀÉÎÕÜÞ÷ß");
    EXPECT_EQ(CharUpper("ÿ"), "Ÿ");
    EXPECT_EQ(CharLower("Ÿ"), "ÿ");
    EXPECT_EQ(CharLower("ĀŁŚŻŊ"), "āłśżŋ");
    EXPECT_EQ(CharUpper("āłśżŋ"), "ĀŁŚŻŊ");
    EXPECT_EQ(CharUpper(std::string("a\0b", 3)), std::string("A\0B", 3));
#ifndef _WIN32
    // Lone Latin-1 bytes and cut sequences are not UTF-8: they stay as they are. (Windows names
    // are UTF-16, so the process's code page never gives such bytes.)
    EXPECT_EQ(CharLower("\xC9T\xC3"), "\xC9t\xC3");
#endif
}

TEST(NameCompare, IgnoresCaseOnlyWhenAsked) {
    EXPECT_EQ(CompareStringNoCase("Program Files", "PROGRAM FILES"), 0);
    EXPECT_EQ(CompareStringNoCase("école", "ÉCOLE"), 0);
    EXPECT_LT(CompareStringNoCase("alpha", "Beta"), 0);
    EXPECT_GT(CompareStringNoCase("Beta", "alpha"), 0);
    EXPECT_LT(CompareStringNoCase("ab", "ABC"), 0);
    EXPECT_NE(CompareStringCase("abc", "ABC"), 0);
    EXPECT_EQ(CompareStringCase("abc", "abc"), 0);
    EXPECT_EQ(CompareStringCase("b", "a"), -CompareStringCase("a", "b"));
    EXPECT_EQ(OemToChar("C:\\Wiz\\KVD_GEN.EXE"), "C:\\Wiz\\KVD_GEN.EXE");
    EXPECT_EQ(OemToChar("C:\\Caf\xC3\xA9\\\xD0\x9C\xD0\xB8\xD1\x80.exe"), "C:\\Caf\xC3\xA9\\\xD0\x9C\xD0\xB8\xD1\x80.exe");
#ifndef _WIN32
    EXPECT_EQ(OemToChar("C:\\Wiz\\KVD_GEN.EXE\xE9"), "C:\\Wiz\\KVD_GEN.EXE\xE9");
#endif
}

}  // namespace
