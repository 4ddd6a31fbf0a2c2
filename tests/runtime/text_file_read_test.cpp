// Reading text files: line ends, Ctrl-Z, the end of the data and the read-side error codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/text_file.h"
#include "runtime_test_support.h"

using runtime_tests::ExpectCheckRaises;
using runtime_tests::Win;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Every line the settings reader would see: Eof and ReadLn alternating, each checked.
std::vector<std::string> ReadAllLines(const std::string& bytes) {
    TempDir dir;
    WriteBytes(dir / "f.txt", bytes);
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    f.Reset();
    rtl::InOutCheck();
    std::vector<std::string> lines;
    while (!f.Eof()) {
        rtl::InOutCheck();
        lines.push_back(f.ReadLn());
        rtl::InOutCheck();
        if (lines.size() > 1000) break;  // a reader stuck on one byte would loop forever
    }
    rtl::InOutCheck();
    f.Close();
    rtl::InOutCheck();
    return lines;
}

struct LineCase {
    const char* title;
    std::string bytes;
    std::vector<std::string> lines;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.title; }

class TextFileLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(TextFileLines, SplitsExactlyAsTheLineRulesSay) {
    EXPECT_EQ(ReadAllLines(GetParam().bytes), GetParam().lines);
    EXPECT_EQ(rtl::IOResult(), 0);
}

const std::string k127(127, 'a');
const std::string k128(128, 'b');

INSTANTIATE_TEST_SUITE_P(
    ByteByByte, TextFileLines,
    ::testing::Values(
        LineCase{"Empty", "", {}}, LineCase{"CrLfWithoutFinalLineEnd", "A\r\nB", {"A", "B"}},
        LineCase{"FinalCrLfAddsNoLine", "A\r\nB\r\n", {"A", "B"}}, LineCase{"LoneCrEndsALine", "A\rB", {"A", "B"}},
        LineCase{"LoneLineFeedStaysInsideTheLine", "A\nB\n", {"A\nB\n"}},
        LineCase{"CrCrLfGivesAnEmptyLine", "A\r\r\nB", {"A", "", "B"}},
        LineCase{"CtrlZEndsTheFile",
                 std::string("A\x1A"
                             "B\r\n"),
                 {"A"}},
        LineCase{"CtrlZAtTheStart",
                 std::string("\x1A"
                             "A\r\n"),
                 {}},
        LineCase{"NulIsPlainText", std::string("A\0B\r\n", 5), {std::string("A\0B", 3)}},
        LineCase{"LfCrIsLineFeedThenLineEnd", "A\n\rB", {"A\n", "B"}},
        LineCase{"CrLfSplitAcrossBuffers", k127 + "\r\nB", {k127, "B"}},
        LineCase{"LineEndAtBufferEnd", k127 + "\r" + k128, {k127, k128}},
        LineCase{"CtrlZAtStartOfSecondBuffer", k128 + "\x1A" + "rest\r\n", {k128}},
        LineCase{"AllOtherBytesUnchanged", std::string("\x01\x7F\x80\xE9\xFF\t\n"), {"\x01\x7F\x80\xE9\xFF\t\n"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.title); });

TEST(TextFile, ReadingPastTheEndGivesEmptyLinesWithoutError) {
    TempDir dir;
    WriteBytes(dir / "f.txt", "A\r\nB");
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    f.Reset();
    rtl::InOutCheck();
    EXPECT_FALSE(f.Eof());
    EXPECT_FALSE(f.Eof());  // asking twice consumes nothing
    EXPECT_EQ(f.ReadLn(), "A");
    EXPECT_EQ(f.ReadLn(), "B");
    EXPECT_TRUE(f.Eof());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f.ReadLn(), "");
        EXPECT_TRUE(f.Eof());
        EXPECT_EQ(rtl::IOResult(), 0);
    }
    EXPECT_NO_THROW(rtl::InOutCheck());
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
}

TEST(TextFile, EmptyFileIsAtItsEndAtOnce) {
    TempDir dir;
    WriteBytes(dir / "f.txt", "");
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    f.Reset();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.ReadLn(), "");
    EXPECT_EQ(rtl::IOResult(), 0);
}

TEST(TextFile, CtrlZIsNeverConsumed) {
    TempDir dir;
    WriteBytes(dir / "f.txt", std::string("A\x1A"
                                          "B\r\nC\r\n"));
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    f.Reset();
    EXPECT_EQ(f.ReadLn(), "A");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(f.Eof());
        EXPECT_EQ(f.ReadLn(), "");
    }
    EXPECT_EQ(rtl::IOResult(), 0);
}

TEST(TextFile, LongLinesComeBackWhole) {
    std::string line300;
    for (int i = 0; i < 300; ++i) line300 += static_cast<char>('a' + i % 26);
    EXPECT_EQ(ReadAllLines(line300 + "\r\nnext"), (std::vector<std::string>{line300, "next"}));

    std::string line100k;
    for (int i = 0; i < 100000; ++i) line100k += static_cast<char>('0' + i % 10);
    EXPECT_EQ(ReadAllLines(line100k), std::vector<std::string>{line100k});

    // Exactly one 255-byte chunk and one byte either side of it.
    for (size_t n : {254u, 255u, 256u, 510u, 511u}) {
        const std::string line(n, 'q');
        EXPECT_EQ(ReadAllLines(line + "\r\nz"), (std::vector<std::string>{line, "z"})) << n;
    }
}

TEST(TextFile, ReadingAHugeLineTakesLinearTime) {
    // Joining the 255-byte chunks by copying the line so far would take hours here.
    const std::string line(8 * 1024 * 1024, 'x');
    EXPECT_EQ(ReadAllLines(line + "\r\n").at(0).size(), line.size());
}

TEST(TextFile, LineFeedOnlySettingsFileIsOneLineThenEmptyOnes) {
    TempDir dir;
    WriteBytes(dir / "kvd.cfg", "a.htm\nT\nU\nM\nN\n300\n200\n");
    rtl::TTextFile f;
    f.Assign(Win(dir / "kvd.cfg"));
    f.Reset();
    rtl::InOutCheck();
    ASSERT_FALSE(f.Eof());
    EXPECT_EQ(f.ReadLn(), "a.htm\nT\nU\nM\nN\n300\n200\n");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(f.ReadLn(), "");
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(rtl::IOResult(), 0);
}

TEST(TextFile, OpeningForReadingAFileOpenForWritingFlushesItFirst) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    f.Rewrite();
    f.Write("kept");
    f.Reset();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Reading);
    EXPECT_EQ(f.ReadLn(), "kept");
}

TEST(TextFile, AFifoWhoseWriterHasGoneIsTheEndOfTheData) {
#ifdef _WIN32
    GTEST_SKIP() << "a named pipe of the host's (mkfifo) has no counterpart in a Windows folder";
#else
    TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader of our own lets the writer open at once; the bytes wait in the pipe.
    const int keeper = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    const int writer = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const std::string bytes = "A\r\nB";
    ASSERT_EQ(write(writer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    rtl::TTextFile f;
    f.Assign(Win(fifo));
    f.Reset();
    close(writer);
    close(keeper);
    ASSERT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.ReadLn(), "A");
    EXPECT_EQ(f.ReadLn(), "B");
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.ReadLn(), "");
    EXPECT_EQ(rtl::IOResult(), 0);
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
#endif
}

// ---- Error codes of opening and reading ----------------------------------------------------

TEST(TextFileErrors, OpeningMissingFilesAndFolders) {
    TempDir dir;
    WriteBytes(dir / "plain", "x");
    rtl::TTextFile f;

    f.Assign(Win(dir / "missing.cfg"));
    f.Reset();
    ExpectCheckRaises(2, "File not found");
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);

    f.Assign(Win(dir / "nofolder/kvd.cfg"));
    f.Reset();
    ExpectCheckRaises(3, "Invalid filename");
    f.Rewrite();
    ExpectCheckRaises(3, "Invalid filename");
    EXPECT_FALSE(testing_support::HostExists(dir / "nofolder"));

    f.Assign(Win(dir / "plain") + "\\kvd.cfg");  // a path through a file
    f.Rewrite();
    ExpectCheckRaises(3, "Invalid filename");
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
}

TEST(TextFileErrors, CreatingOverAFolderIsRefused) {
    TempDir dir;
    testing_support::MakeDirs(dir / "kvd.cfg");
    rtl::TTextFile f;
    f.Assign(Win(dir / "kvd.cfg"));
    f.Rewrite();
    ExpectCheckRaises(5, "File access denied");
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
    struct stat st;
    ASSERT_EQ(stat((dir / "kvd.cfg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(TextFileErrors, ReadingAFileNotOpenForReadingIs104) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "f.txt"));
    EXPECT_EQ(f.ReadLn(), "");
    ExpectCheckRaises(104, "I/O error 104");
    EXPECT_TRUE(f.Eof());
    ExpectCheckRaises(104, "I/O error 104");

    f.Rewrite();
    rtl::InOutCheck();
    EXPECT_EQ(f.ReadLn(), "");
    ExpectCheckRaises(104, "I/O error 104");
    f.Write("still writable");
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(testing_support::ReadBytes(dir / "f.txt"), "still writable");
}

TEST(TextFileErrors, AnUnboundFileCannotBeOpened) {
    rtl::TTextFile f;
    f.Reset();
    ExpectCheckRaises(102, "I/O error 102");
    f.Rewrite();
    ExpectCheckRaises(102, "I/O error 102");
}

TEST(TextFileErrors, TheLastFailureReplacesEarlierOnes) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "missing"));
    f.Reset();
    EXPECT_EQ(rtl::IOResult(), 2);
    f.Close();
    ExpectCheckRaises(103, "I/O error 103");
}

TEST(TextFileErrors, TheIoResultBelongsToItsThread) {
    rtl::SetIOResult(32);
    int32_t seen = -1;
    std::thread other([&] {
        seen = rtl::IOResult();
        rtl::SetIOResult(5);
    });
    other.join();
    EXPECT_EQ(seen, 0);
    ExpectCheckRaises(32, "I/O error 32");
}

}  // namespace
