// Stand-in program for start tests: records its working folder, its arguments and the viewer
// stand-in's variable when it is set, NUL-separated, in the file that KVD_ARG_RECORD names.
// Written to a side file and renamed, so a reader never sees half a record.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* target = std::getenv("KVD_ARG_RECORD");
    if (target == nullptr) return 2;
    char folder[PATH_MAX];
    std::string record = ::getcwd(folder, sizeof folder) ? folder : "?";
    record += '\0';
    for (int i = 0; i < argc; ++i) {
        record += argv[i];
        record += '\0';
    }
    // Which kvd.exe a stand-in viewer was started for, when it was told.
    if (const char* standsInFor = std::getenv("KVD_VIEW_STANDS_IN_FOR")) {
        record += std::string("stands-in-for=") + standsInFor;
        record += '\0';
    }
    // Descriptors beyond the standard three that were left open by the starter.
    int open = 0;
    for (int fd = 3; fd < 256; ++fd)
        if (::fcntl(fd, F_GETFD) != -1) ++open;
    record += "open-descriptors=" + std::to_string(open);
    record += '\0';
    const std::string side = std::string(target) + ".part";
    std::FILE* file = std::fopen(side.c_str(), "wb");
    if (file == nullptr) return 3;
    std::fwrite(record.data(), 1, record.size(), file);
    std::fclose(file);
    return std::rename(side.c_str(), target) == 0 ? 0 : 4;
}
