// Writing text files: exact bytes, 128-byte blocks, character devices, closing and the codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "runtime/exceptions.h"
#include "runtime/text_file.h"
#include "runtime_test_support.h"

using runtime_tests::ExpectCheckRaises;
using runtime_tests::Win;
using testing_support::HostExists;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

off_t HostSize(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(TextFileWrite, WritesExactlyTheBytesGiven) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "a.txt"));
    f.Rewrite();
    rtl::InOutCheck();
    f.WriteLn("abc");
    rtl::InOutCheck();
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "abc\r\n");

    f.Assign(Win(dir / "x.txt"));
    f.Rewrite();
    f.Write("x");
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(ReadBytes(dir / "x.txt"), "x");

    f.Assign(Win(dir / "m.txt"));
    f.Rewrite();
    f.WriteLn('M');
    f.WriteLn('-');
    f.WriteLn("");
    f.Write(std::string("\0\x1A\xFF\n", 4));
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(ReadBytes(dir / "m.txt"), std::string("M\r\n-\r\n\r\n\0\x1A\xFF\n", 12));
}

TEST(TextFileWrite, CreatingOverALongerFileTruncatesIt) {
    TempDir dir;
    WriteBytes(dir / "old.txt", std::string(1000, 'o'));
    rtl::TTextFile f;
    f.Assign(Win(dir / "old.txt"));
    f.Rewrite();
    EXPECT_EQ(HostSize(dir / "old.txt"), 0);
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(dir / "old.txt"), "");
}

class TextFileBlocks : public ::testing::TestWithParam<int> {};

TEST_P(TextFileBlocks, DiskReceivesWholeBlocksWhileWritingAndTheRestAtClose) {
    const int n = GetParam();
    std::string bytes;
    for (int i = 0; i < n; ++i) bytes += static_cast<char>('A' + i % 23);
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "b.txt"));
    f.Rewrite();
    f.Write(bytes);
    rtl::InOutCheck();
    EXPECT_EQ(HostSize(dir / "b.txt"), n / 128 * 128);
    EXPECT_EQ(ReadBytes(dir / "b.txt"), bytes.substr(0, n / 128 * 128));
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(dir / "b.txt"), bytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TextFileBlocks, ::testing::Values(0, 1, 127, 128, 129, 255, 256, 300, 1000));

TEST(TextFileWrite, NamesLongerThan259CharactersWork) {
#ifdef _WIN32
    GTEST_SKIP() << "the ANSI calls keep to MAX_PATH unless the machine and the program enable long paths";
#else
    TempDir dir;
    std::string host = dir.Path();
    while (host.size() < 320) host += "/" + std::string(60, 'd');
    testing_support::MakeDirs(host);
    host += "/kvd.cfg";
    ASSERT_GT(Win(host).size(), static_cast<size_t>(rtl::kMaxFileNameLength));
    rtl::TTextFile f;
    f.Assign(Win(host));
    f.Rewrite();
    f.WriteLn("deep");
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(host), "deep\r\n");
    f.Reset();
    EXPECT_EQ(f.ReadLn(), "deep");
    rtl::InOutCheck();
#endif
}

TEST(TextFileWrite, RewritingAnOpenFileClosesItFirst) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "r.txt"));
    f.Rewrite();
    f.Write("first");
    f.Rewrite();  // flushes "first", then truncates
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Writing);
    EXPECT_EQ(HostSize(dir / "r.txt"), 0);
    f.Write("second");
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(dir / "r.txt"), "second");
}

TEST(TextFileWrite, AFileLeftOpenIsWrittenAndClosedWhenItGoesAway) {
    TempDir dir;
    {
        rtl::TTextFile f;
        f.Assign(Win(dir / "left.txt"));
        f.Rewrite();
        f.WriteLn("abandoned");
        EXPECT_EQ(HostSize(dir / "left.txt"), 0);
    }
    EXPECT_EQ(ReadBytes(dir / "left.txt"), "abandoned\r\n");
    {
        rtl::TTextFile f;
        f.Assign(Win(dir / "first.txt"));
        f.Rewrite();
        f.Write("first");
        f.Assign(Win(dir / "second.txt"));
        EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
        EXPECT_EQ(ReadBytes(dir / "first.txt"), "first");
        EXPECT_EQ(rtl::IOResult(), 0);
    }
#ifndef _WIN32  // a named pipe of the host's (mkfifo) has no counterpart in a Windows folder
    {
        // The final write fails here (the pipe's reader has gone); that must neither throw nor
        // leave a code behind for a later check.
        signal(SIGPIPE, SIG_IGN);
        const std::string fifo = dir / "pipe";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        rtl::TTextFile f;
        f.Assign(Win(fifo));
        f.Rewrite();
        f.WriteLn("never read");
        ASSERT_EQ(rtl::IOResult(), 0);
        close(reader);
    }
#endif
    EXPECT_EQ(rtl::IOResult(), 0);
}

// ---- Codes of the write side ---------------------------------------------------------------

TEST(TextFileWriteErrors, CreatingOverAFileThatRefusesWritesIs5) {
    TempDir dir;
    WriteBytes(dir / "kvd.cfg", "old\r\n");
    runtime_tests::ImmutableFile locked(dir / "kvd.cfg");
    if (!locked.Active()) GTEST_SKIP() << "no immutable files on this file system";
    rtl::TTextFile f;
    f.Assign(Win(dir / "kvd.cfg"));
    f.Rewrite();
    ExpectCheckRaises(5, "File access denied");
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
    EXPECT_EQ(ReadBytes(dir / "kvd.cfg"), "old\r\n");
}

TEST(TextFileWriteErrors, WritingToAClosedFileEndsWith103) {
    TempDir dir;
    rtl::TTextFile f;
    f.Assign(Win(dir / "never.txt"));
    f.WriteLn("abc");
    ExpectCheckRaises(103, "I/O error 103");
    f.WriteLn('c');
    ExpectCheckRaises(103, "I/O error 103");
    f.Write("abc");
    ExpectCheckRaises(103, "I/O error 103");
    f.Close();
    ExpectCheckRaises(103, "I/O error 103");
    EXPECT_FALSE(HostExists(dir / "never.txt"));

    f.Rewrite();
    f.Close();
    rtl::InOutCheck();
    f.Close();  // a second close
    ExpectCheckRaises(103, "I/O error 103");
}

TEST(TextFileWriteErrors, WritingToAFileOpenForReadingIs105AndChangesNothing) {
    TempDir dir;
    WriteBytes(dir / "in.txt", "A\r\n");
    rtl::TTextFile f;
    f.Assign(Win(dir / "in.txt"));
    f.Reset();
    rtl::InOutCheck();
    f.WriteLn("abc");
    ExpectCheckRaises(105, "I/O error 105");
    f.Write("abc");
    ExpectCheckRaises(105, "I/O error 105");
    f.WriteLn('x');
    ExpectCheckRaises(105, "I/O error 105");
    EXPECT_EQ(f.ReadLn(), "A");
    f.Close();
    rtl::InOutCheck();
    EXPECT_EQ(ReadBytes(dir / "in.txt"), "A\r\n");
}

TEST(TextFileWriteErrors, ACharacterDeviceGetsEveryStatementAtOnce) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full (/dev/full)";
#else
    rtl::TTextFile f;
    f.Assign(Win("/dev/null"));
    f.Rewrite();
    rtl::InOutCheck();
    f.WriteLn("gone");
    f.Write(std::string(300, 'z'));
    f.Close();
    EXPECT_NO_THROW(rtl::InOutCheck());

    // A full device shows that nothing waits in the buffer: the statement itself fails.
    f.Assign(Win("/dev/full"));
    f.Rewrite();
    rtl::InOutCheck();
    f.WriteLn("x");
    ExpectCheckRaises(112, "I/O error 112");
    f.Write("y");
    ExpectCheckRaises(112, "I/O error 112");
    f.WriteLn('z');
    ExpectCheckRaises(112, "I/O error 112");
    // The failed bytes are not kept for a retry, so the close has nothing left to write.
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
#endif
}

TEST(TextFileWriteErrors, AFullBlockThatCannotBeWrittenLosesTheRestOfTheStatement) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full (/dev/full)";
#else
    rtl::TTextFile f;
    f.Assign(Win("/dev/full"));
    f.Rewrite();
    f.Write(std::string(1000, 'w'));  // fails at the first block, not eight times
    ExpectCheckRaises(112, "I/O error 112");
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
#endif
}

TEST(TextFileWriteErrors, TheLineEndOfALostStatementIsLostToo) {
#ifdef _WIN32
    GTEST_SKIP() << "a named pipe of the host's (mkfifo) has no counterpart in a Windows folder";
#else
    // A pipe holds its bytes until the close; with the reader gone the first block fails, and
    // nothing of that write line may be left waiting for the close.
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const bool ofCharacter : {false, true}) {
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        rtl::TTextFile f;
        f.Assign(Win(fifo));
        f.Rewrite();
        ASSERT_EQ(rtl::IOResult(), 0);
        close(reader);
        if (ofCharacter) {
            f.Write(std::string(rtl::kTextBufferSize - 1, 'x'));
            rtl::InOutCheck();
            f.WriteLn('c');  // the character fills the block that fails
        } else {
            f.WriteLn(std::string(rtl::kTextBufferSize + 1, 'x'));
        }
        EXPECT_NE(rtl::IOResult(), 0);
        EXPECT_THROW(rtl::InOutCheck(), rtl::EInOutError);
        f.Close();
        EXPECT_EQ(rtl::IOResult(), 0);
        EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
    }
#endif
}

TEST(TextFileWriteErrors, AFailedCloseLeavesTheFileOpen) {
#ifdef _WIN32
    GTEST_SKIP() << "a named pipe of the host's (mkfifo) has no counterpart in a Windows folder";
#else
    // A pipe is no character device, so its bytes wait for the close; the reader leaves first.
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    rtl::TTextFile f;
    f.Assign(Win(fifo));
    f.Rewrite();
    ASSERT_EQ(rtl::IOResult(), 0);
    f.WriteLn("waiting");
    rtl::InOutCheck();
    close(reader);
    f.Close();
    EXPECT_NE(rtl::IOResult(), 0);
    EXPECT_THROW(rtl::InOutCheck(), rtl::EInOutError);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Writing);
    // The lost bytes are not written again: the next close only releases the handle.
    f.Close();
    EXPECT_EQ(rtl::IOResult(), 0);
    EXPECT_EQ(f.CurrentMode(), rtl::TTextFile::Mode::Closed);
#endif
}

struct MessageCase {
    int32_t code;
    const char* message;
};

void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.code << " -> " << c.message; }

class InOutErrorMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(InOutErrorMessages, CheckRaisesTheCodeWithItsTextAndResets) {
    EXPECT_EQ(rtl::InOutErrorMessage(GetParam().code), GetParam().message);
    rtl::SetIOResult(GetParam().code);
    ExpectCheckRaises(GetParam().code, GetParam().message);
    EXPECT_NO_THROW(rtl::InOutCheck());
}

INSTANTIATE_TEST_SUITE_P(Table, InOutErrorMessages,
                         ::testing::Values(MessageCase{2, "File not found"}, MessageCase{3, "Invalid filename"},
                                           MessageCase{4, "Too many open files"}, MessageCase{5, "File access denied"},
                                           MessageCase{100, "Read beyond end of file"}, MessageCase{101, "Disk full"},
                                           MessageCase{106, "Invalid numeric input"}, MessageCase{1, "I/O error 1"},
                                           MessageCase{32, "I/O error 32"}, MessageCase{102, "I/O error 102"},
                                           MessageCase{103, "I/O error 103"}, MessageCase{112, "I/O error 112"},
                                           MessageCase{-7, "I/O error -7"}));

}  // namespace
