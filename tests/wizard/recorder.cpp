// A stand-in for the viewer that only records how it was started: its arguments and its
// working folder, written beside its own program file so a test finds them wherever the
// wizard copied it.
//
// kvd-args.txt: every argument after the program name, each followed by one NUL byte.
// kvd-cwd.txt:  the working folder the program was started in (host path, no line end).
// Both are written under a temporary name and renamed into place, arguments last, so a test
// that polls for kvd-args.txt never reads a half-written file.
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

std::string OwnFolder() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool WriteAtomically(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return false;
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = OwnFolder();

    char cwd[4096];
    const std::string workingFolder = getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();

    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        arguments += argv[i];
        arguments += '\0';
    }

    const bool ok = WriteAtomically(folder + "/kvd-cwd.txt", workingFolder) &&
                    WriteAtomically(folder + "/kvd-args.txt", arguments);
    return ok ? 0 : 1;
}
