// What the benchmarks share: a work folder of their own and programs run with their output thrown away.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace bench_support {

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
