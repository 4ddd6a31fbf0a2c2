// Integer conversion, the string helpers, the error box's period rule and the title.
#include "runtime/conversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/posix/drive_table.h"
#include "runtime/error_text.h"
#include "runtime/exceptions.h"
#include "runtime/strings.h"

namespace {

struct GoodNumber {
    std::string text;
    int32_t value;
};

void PrintTo(const GoodNumber& c, std::ostream* os) { *os << '\'' << c.text << "' -> " << c.value; }

class StrToIntAccepts : public ::testing::TestWithParam<GoodNumber> {};

TEST_P(StrToIntAccepts, GivesTheValue) { EXPECT_EQ(rtl::StrToInt(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Examples, StrToIntAccepts,
                         ::testing::Values(GoodNumber{" 400", 400}, GoodNumber{"   400", 400}, GoodNumber{"+7", 7},
                                           GoodNumber{"007", 7}, GoodNumber{"-0", 0}, GoodNumber{"0", 0},
                                           GoodNumber{"-17", -17}, GoodNumber{"2147483647", INT32_MAX},
                                           GoodNumber{"-2147483648", INT32_MIN}, GoodNumber{"0002147483647", INT32_MAX},
                                           GoodNumber{"$1F", 31}, GoodNumber{"x1F", 31}, GoodNumber{"X1f", 31},
                                           GoodNumber{"0x1f", 31}, GoodNumber{"0X1F", 31}, GoodNumber{" $1F", 31},
                                           GoodNumber{"$FFFFFFFF", -1}, GoodNumber{"$80000000", INT32_MIN},
                                           GoodNumber{"$7FFFFFFF", INT32_MAX}, GoodNumber{"$0", 0},
                                           GoodNumber{"0x0", 0}, GoodNumber{"$00000000FF", 255},
                                           GoodNumber{"$0FFFFFFFF", -1}, GoodNumber{"$abcdef", 0xABCDEF}));

class StrToIntRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(StrToIntRejects, RaisesWithTheWholeTextAsPassed) {
    try {
        rtl::StrToInt(GetParam());
        ADD_FAILURE() << "accepted '" << GetParam() << "'";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "'" + GetParam() + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, StrToIntRejects,
                         ::testing::Values("", " ", "   ", "abc", "+", "-", "2147483648", "-2147483649",
                                           "99999999999999999999", "400 ", "4 00", "\t400", "-$1F", "+$1F", "-0x1F",
                                           "$", "0x", "x", " $", "$100000000", "$123456789", "$1G", "0x1F ", "1F",
                                           "--1", "+-1", "1.0", "1e3", "$-1", "0x$1"));

TEST(StrToInt, MessageForTheEmptyTextShowsTwoApostrophes) {
    EXPECT_THROW(rtl::StrToInt(""), rtl::EConvertError);
    try {
        rtl::StrToInt("");
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid integer value");
    }
}

TEST(IntToStr, WritesPlainDecimal) {
    EXPECT_EQ(rtl::IntToStr(0), "0");
    EXPECT_EQ(rtl::IntToStr(400), "400");
    EXPECT_EQ(rtl::IntToStr(-10), "-10");
    EXPECT_EQ(rtl::IntToStr(INT32_MAX), "2147483647");
    EXPECT_EQ(rtl::IntToStr(INT32_MIN), "-2147483648");
    for (int32_t v : {INT32_MIN, -1, 0, 7, 610, INT32_MAX}) EXPECT_EQ(rtl::StrToInt(rtl::IntToStr(v)), v);
}

TEST(Strings, TrimRemovesControlBytesAndSpacesAtBothEnds) {
    EXPECT_EQ(rtl::Trim("  a b \t\r\n"), "a b");
    EXPECT_EQ(rtl::Trim(std::string("\0\x01 x\x1F", 5)), "x");
    EXPECT_EQ(rtl::Trim("\xE9 \xA0"), "\xE9 \xA0");  // high bytes are not blanks
    EXPECT_EQ(rtl::Trim(" \t "), "");
    EXPECT_EQ(rtl::Trim(""), "");
    EXPECT_EQ(rtl::Trim("-"), "-");
}

TEST(Strings, UpperCaseTouchesOnlyAToZ) {
    EXPECT_EQ(rtl::UpperCase("c:\\Kvd\\proj-1_\xE9\xFF{}`@"), "C:\\KVD\\PROJ-1_\xE9\xFF{}`@");
    EXPECT_EQ(rtl::UpperCase("az"), "AZ");
}

TEST(Strings, PathPartsSplitAtTheLastBackslashOrColon) {
    EXPECT_EQ(rtl::ExtractFilePath("C:\\kvd\\kvd.exe"), "C:\\kvd\\");
    EXPECT_EQ(rtl::ExtractFileName("C:\\kvd\\kvd.exe"), "kvd.exe");
    EXPECT_EQ(rtl::ExtractFilePath("C:kvd.exe"), "C:");
    EXPECT_EQ(rtl::ExtractFileName("C:kvd.exe"), "kvd.exe");
    EXPECT_EQ(rtl::ExtractFilePath("kvd.exe"), "");
    EXPECT_EQ(rtl::ExtractFileName("kvd.exe"), "kvd.exe");
    EXPECT_EQ(rtl::ExtractFilePath("C:\\dir/sub/a.htm"), "C:\\");
    EXPECT_EQ(rtl::ExtractFileName("C:\\dir/sub/a.htm"), "dir/sub/a.htm");
    EXPECT_EQ(rtl::ExtractFilePath("C:\\kvd\\"), "C:\\kvd\\");
    EXPECT_EQ(rtl::ExtractFileName("C:\\kvd\\"), "");
    EXPECT_EQ(rtl::ExtractFilePath("\\\\server\\share:x\\y"), "\\\\server\\share:x\\");
}

TEST(Strings, IncludeTrailingBackslashAddsOneAtMost) {
    EXPECT_EQ(rtl::IncludeTrailingBackslash("C:\\kvd"), "C:\\kvd\\");
    EXPECT_EQ(rtl::IncludeTrailingBackslash("C:\\"), "C:\\");
    EXPECT_EQ(rtl::IncludeTrailingBackslash("C:"), "C:\\");
    EXPECT_EQ(rtl::IncludeTrailingBackslash(""), "\\");
}

struct PeriodCase {
    std::string message;
    bool period;
};

void PrintTo(const PeriodCase& c, std::ostream* os) {
    *os << (c.period ? "period after " : "no period after ") << c.message.size() << " bytes";
}

class ErrorBoxPeriod : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(ErrorBoxPeriod, FollowsTheLastByte) {
    const std::string& m = GetParam().message;
    EXPECT_EQ(rtl::ErrorBoxText(m), GetParam().period ? m + "." : m);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorBoxPeriod,
    ::testing::Values(PeriodCase{"", false}, PeriodCase{"File not found", true}, PeriodCase{"I/O error 32", true},
                      PeriodCase{"a/", true}, PeriodCase{"C:", true}, PeriodCase{"C:\\kvd\\", true},
                      PeriodCase{"'abc' is not a valid integer value", true}, PeriodCase{"x\xE9", true},
                      PeriodCase{"x\xFF", true}, PeriodCase{"x\x80", true}, PeriodCase{"x~", true},
                      PeriodCase{"x/", true}, PeriodCase{"x0", true}, PeriodCase{"x;", true}, PeriodCase{"x\r", false},
                      PeriodCase{"x\n", false}, PeriodCase{"x\x01", false}, PeriodCase{"x ", false},
                      PeriodCase{"x!", false}, PeriodCase{"x\"", false}, PeriodCase{"x#", false},
                      PeriodCase{"x$", false}, PeriodCase{"x%", false}, PeriodCase{"x&", false},
                      PeriodCase{"x'", false}, PeriodCase{"x(", false}, PeriodCase{"x)", false},
                      PeriodCase{"x*", false}, PeriodCase{"x+", false}, PeriodCase{"x,", false},
                      PeriodCase{"x-", false}, PeriodCase{"Done.", false}, PeriodCase{std::string("x\0", 2), false}));

TEST(ApplicationTitle, FormedFromTheProgramFileName) {
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\KVD\\SETUP.EXE"), "Setup");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\setup.exe"), "setup");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\My.Setup.exe"), "My");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\Dir.Old\\KVD_GEN"), "Kvd_gen");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("KVDGEN.EXE"), "Kvdgen");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\.EXE"), "");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\"), "");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\A"), "A");
    EXPECT_EQ(rtl::ApplicationTitleFromPath("C:\\kvd\\sETUP"), "setup");
}

TEST(ApplicationTitle, IsFormedOnceFromThePlatformsProgramPath) {
#ifdef _WIN32
    GTEST_SKIP() << "the program path is the real one there, not set by the test";
#else
    platform::posix::SetModuleFileNameForTesting("C:\\Program Files\\Wizard\\SETUP.EXE");
    EXPECT_EQ(rtl::ApplicationTitle(), "Setup");
    platform::posix::SetModuleFileNameForTesting("C:\\other\\OTHER.EXE");
    EXPECT_EQ(rtl::ApplicationTitle(), "Setup");
    platform::posix::SetModuleFileNameForTesting("");
#endif
}

}  // namespace
