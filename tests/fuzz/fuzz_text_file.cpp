// The line reader of text files (and so of the settings file) against a plain reading of its
// rules: lines end at CR, an LF right after a CR belongs to that end, a Ctrl-Z or the physical end
// ends the text. The viewer reads the same file on its own; both must see the same seven lines.
// Every line read is then written back and read again unchanged.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/posix/drive_table.h"
#include "runtime/text_file.h"
#include "viewer_core.h"

using fuzz_support::Require;

namespace {

std::string g_hostFile;
const std::string kWindowsFile = "C:\\fuzz.txt";

std::vector<std::string> ExpectedLines(const std::string& bytes) {
    std::vector<std::string> lines;
    const size_t end = std::min(bytes.find('\x1a'), bytes.size());
    size_t i = 0;
    while (i < end) {
        std::string line;
        while (i < end && bytes[i] != '\r')
            line += bytes[i++];
        if (i < end) {
            ++i;
            if (i < end && bytes[i] == '\n') ++i;
        }
        lines.push_back(line);
    }
    return lines;
}

void WriteHost(const std::string& bytes) {
    const int fd = ::open(g_hostFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Require(fd >= 0, "cannot write the input file");
    Require(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "short write");
    ::close(fd);
}

std::vector<std::string> ReadAll() {
    rtl::TTextFile file;
    file.Assign(kWindowsFile);
    file.Reset();
    Require(rtl::IOResult() == 0, "reset failed");
    std::vector<std::string> lines;
    while (!file.Eof()) {
        lines.push_back(file.ReadLn());
        Require(rtl::IOResult() == 0, "read failed");
    }
    // The end stays the end: a further line is empty and the file still at its end.
    Require(file.ReadLn().empty() && file.Eof(), "reading past the end yields nothing");
    file.Close();
    Require(rtl::IOResult() == 0, "close failed");
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/kvd_fuzz_text.XXXXXX";
    Require(::mkdtemp(folder) != nullptr, "no temporary folder");
    g_hostFile = std::string(folder) + "/fuzz.txt";
    static const std::string kFolder = folder;
    std::atexit([] {
        ::unlink(g_hostFile.c_str());
        ::rmdir(kFolder.c_str());
    });
    platform::posix::DriveEntry c;
    c.letter = 'C';
    c.hostFolder = folder;
    platform::posix::SetDriveTable({c});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    WriteHost(bytes);
    const std::vector<std::string> lines = ReadAll();
    const std::vector<std::string> expected = ExpectedLines(bytes);
    Require(lines == expected, "lines differ from the rules'", bytes);

    const std::vector<std::string> tokens = viewer::SettingsFileTokens(bytes);
    Require(!tokens.empty() && tokens[0] == "-", "viewer tokens start with debug off", bytes);
    const size_t shared = std::min<size_t>(lines.size(), 7);
    Require(tokens.size() == shared + 1, "viewer reads as many settings lines", bytes);
    for (size_t i = 0; i < shared; ++i)
        Require(tokens[i + 1] == lines[i], "viewer reads the same line", lines[i]);

    rtl::TTextFile out;
    out.Assign(kWindowsFile);
    out.Rewrite();
    for (const std::string& line : lines)
        out.WriteLn(line);
    out.Close();
    Require(rtl::IOResult() == 0, "writing back failed");
    Require(ReadAll() == lines, "lines written back read the same", bytes);
    return 0;
}
