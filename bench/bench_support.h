// What the benchmarks share: their common options, a work folder of their own, programs run with their output
// thrown away, and the median of their rounds.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace bench_support {

// "--rounds N" and "--work DIR" (default /var/tmp); another argument goes to more, which says whether it
// took it. False, with the usage on stderr, for an argument nobody takes.
struct Options {
    int rounds;
    std::string base = "/var/tmp";
};
inline bool ParseOptions(int argc, char** argv, Options& options, const char* usage,
                         const std::function<bool(const std::string&)>& more = {}) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            options.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--work" && i + 1 < argc) {
            options.base = argv[++i];
        } else if (!more || !more(arg)) {
            std::fprintf(stderr, "usage: %s %s\n", argv[0], usage);
            return false;
        }
    }
    return true;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A fresh folder under base, named after the benchmark; empty (with the reason on stderr) when it cannot be made.
inline std::string MakeWorkFolder(const std::string& base, const std::string& name) {
    std::string pattern = base + "/" + name + ".XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror(pattern.c_str());
        return {};
    }
    return pattern;
}

// Runs a program found along PATH with its output thrown away; its exit status, or -1 when it could not
// start or did not end by itself.
inline int RunQuiet(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace bench_support
