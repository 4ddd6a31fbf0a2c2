// The reader of disc images, given any bytes as an image file: it checks the disc or refuses it with
// an Error, never crashes, and its findings stay consistent; autorun.inf's open= line parses the same.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "publish/disc/disc_reader.h"

using fuzz_support::Require;

namespace {

// The reader takes a path, as kvd_cd gives it: a file in memory, rewritten for every input, whose path
// goes away with the process however it ends.
const std::string& ImagePath() {
    static const std::string path = [] {
        const int fd = ::memfd_create("kvd-fuzz-disc.iso", 0);
        Require(fd >= 0, "a file in memory can be made");
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void WriteImage(const uint8_t* data, size_t size) {
    const int fd = std::stoi(ImagePath().substr(ImagePath().rfind('/') + 1));
    Require(::ftruncate(fd, 0) == 0, "the image file can be emptied");
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        Require(n > 0, "the image file takes the bytes");
        done += static_cast<size_t>(n);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const publish::AutorunOpen open = publish::ParseAutorunOpen(bytes);
    Require(!open.found || open.line >= 1, "an open= line has a line number", bytes.substr(0, 64));
    Require(open.found || open.tokens.empty(), "no tokens without an open= line");

    WriteImage(data, size);
    try {
        const publish::CheckResult result = publish::CheckImage(ImagePath());
        int errors = 0, warnings = 0, notes = 0;
        for (const publish::Finding& f : result.findings) {
            Require(!f.kind.empty() && !f.message.empty(), "a finding has a kind and a sentence", f.kind);
            Require(f.line >= 0, "a finding's line is never negative", f.kind);
            Require(f.file.empty() || (f.file.front() != '/' && f.file.find("..") != 0),
                    "a finding names a file on the disc", f.file);
            errors += f.severity == publish::Severity::Error;
            warnings += f.severity == publish::Severity::Warning;
            notes += f.severity == publish::Severity::Note;
        }
        Require(result.errors == errors && result.warnings == warnings && result.notes == notes,
                "the counts are the findings'");
        Require(result.imageBytes == size, "a disc's size is its image file's");
    } catch (const publish::Error& error) {
        Require(error.what()[0] != '\0', "a refusal says why");
    }
    return 0;
}
