// Cost of the Windows viewer engine's rules in the disc check, on the two manuals Debian ships as HTML:
// the nodejs API docs (package nodejs) and the Python 3.11 docs (package python3.11-doc), each copied
// into a work folder (links followed) and checked from its index page with the rules on and off. Both
// sides run interleaved in this process after one warm-up each; the medians are compared (target: at
// most 1.3 times). The peak memory of one check of each kind is taken in a child process of its own.
// Run by hand on a release build:  build/release/bench/kvd_engine_bench [--rounds N] [--work DIR]
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "publish/engine/tally.h"
#include "publish/publish.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Manual {
    const char* name;
    const char* folder;
    const char* firstPage;
};

constexpr Manual kManuals[] = {
    {"nodejs API docs", "/usr/share/doc/nodejs/api", "index.html"},
    {"Python 3.11 docs", "/usr/share/doc/python3.11/html", "index.html"},
};

using bench_support::Median;

void Row(const char* name, const std::vector<double>& times, long peakKb) {
    std::printf("  %-16s median %7.3f s, peak memory %6.1f MB   (runs:", name, Median(times), peakKb / 1024.0);
    for (double t : times)
        std::printf(" %.3f", t);
    std::printf(")\n");
}

publish::CheckOptions Options(const Manual& manual, bool rules) {
    publish::CheckOptions options;
    options.firstPage = manual.firstPage;
    options.engineRules = rules;
    return options;
}

// The peak resident memory of one check in a child process, in kilobytes; -1 when it failed.
long PeakKb(const fs::path& folder, const publish::CheckOptions& options) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        try {
            publish::CheckProject(folder, options);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

void Bench(const Manual& manual, const fs::path& work, int rounds) {
    if (!fs::is_directory(manual.folder)) {
        std::printf("%s: %s is missing, skipped (scripts/setup.sh installs it)\n\n", manual.name, manual.folder);
        return;
    }
    const fs::path folder = work / fs::path(manual.folder).filename();
    fs::copy(manual.folder, folder, fs::copy_options::recursive);
    publish::CheckResult with, without;
    auto time = [&](bool rules) {
        const auto start = Clock::now();
        (rules ? with : without) = publish::CheckProject(folder, Options(manual, rules));
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    time(true);
    time(false);
    std::vector<double> on, off;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            on.push_back(time(true));
            off.push_back(time(false));
        } else {
            off.push_back(time(false));
            on.push_back(time(true));
        }
    }
    size_t pages = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string ext = entry.path().extension();
        pages += ext == ".html" || ext == ".htm";
    }
    std::map<std::string, int> kinds;
    for (const publish::Finding& f : with.findings)
        if (publish::engine::IsEngineKind(f.kind)) ++kinds[f.kind];
    std::printf("%s (%zu pages), %d rounds:\n", manual.name, pages, rounds);
    Row("with the rules", on, PeakKb(folder, Options(manual, true)));
    Row("without them", off, PeakKb(folder, Options(manual, false)));
    std::printf("  ratio with / without: %.2f (target at most 1.3)\n  the rules find:", Median(on) / Median(off));
    for (const auto& [kind, count] : kinds)
        std::printf(" %d %s", count, kind.c_str());
    std::printf("\n\n");
    fs::remove_all(folder);
}

} // namespace

int main(int argc, char** argv) {
    bench_support::Options options{5};
    if (!bench_support::ParseOptions(argc, argv, options, "[--rounds N] [--work DIR]")) return 2;
    const int rounds = options.rounds;
    const std::string& base = options.base;
    const fs::path work = bench_support::MakeWorkFolder(base, "kvd_engine_bench");
    if (work.empty()) return 2;
    int status = 0;
    try {
        for (const Manual& manual : kManuals)
            Bench(manual, work, rounds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    fs::remove_all(work);
    return status;
}
