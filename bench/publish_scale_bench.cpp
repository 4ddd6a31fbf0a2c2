// How the disc check and the disc image grow with the number of files in one folder: one folder of
// 10,000, 50,000 and 100,000 small files, CPU and wall time per file for each. The per-file cost at the
// largest count should stay within 1.3 times that at the smallest (linear work).
// Run by hand on a release build:  build/release/bench/kvd_publish_scale_bench [--work DIR] [--counts A,B,C]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "publish/publish.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path.string());
    ::close(fd);
}

// A project the check passes, with count data files of 100 bytes in one folder beside the page.
void MakeFolder(const fs::path& root, int count) {
    fs::create_directories(root / "files");
    Write(root / "autorun.inf", "[autorun]\r\nopen=kvd.exe \"index.htm\"\r\n");
    Write(root / "kvd.exe", "MZ" + std::string(1024, '\0'));
    Write(root / "kvd.cfg", "index.htm\r\n-\r\n-\r\n-\r\n-\r\n400\r\n600\r\n");
    Write(root / "index.htm", "<html><body><a href=\"files/f0000000.dat\">first</a></body></html>\n");
    const std::string bytes(100, 'x');
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "f%07d.dat", i);
        Write(root / "files" / name, bytes);
    }
}

struct Cost {
    double cpu = 0;
    double wall = 0;
};

double CpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The process's CPU time covers the image library's writer thread too.
template <typename Work> Cost Measure(Work work) {
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    return {CpuSeconds() - cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

std::vector<int> ParseCounts(const std::string& text) {
    std::vector<int> counts;
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        counts.push_back(std::atoi(text.substr(start, comma - start).c_str()));
        start = comma + 1;
    }
    return counts;
}

} // namespace

int main(int argc, char** argv) {
    std::string base = "/var/tmp";
    std::vector<int> counts = {10000, 50000, 100000};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--work" && i + 1 < argc) {
            base = argv[++i];
        } else if (arg == "--counts" && i + 1 < argc) {
            counts = ParseCounts(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--work DIR] [--counts A,B,C]\n", argv[0]);
            return 2;
        }
    }
    const fs::path work = bench_support::MakeWorkFolder(base, "kvd_scale_bench");
    if (work.empty()) return 2;
    int status = 0;
    try {
        std::printf("%9s  %22s  %22s\n", "files", "check us/file cpu wall", "image us/file cpu wall");
        std::vector<Cost> checks, images;
        for (int count : counts) {
            const fs::path folder = work / ("folder" + std::to_string(count));
            MakeFolder(folder, count);
            publish::CheckResult result;
            const Cost check = Measure([&] { result = publish::CheckProject(folder); });
            if (result.errors + result.warnings > 0)
                throw std::runtime_error("the check found problems: " + publish::SummaryLine(result));
            const fs::path iso = work / "out.iso";
            const Cost image = Measure([&] { publish::WriteImage(folder, iso); });
            fs::remove(iso);
            fs::remove_all(folder);
            const double n = count;
            checks.push_back({check.cpu / n * 1e6, check.wall / n * 1e6});
            images.push_back({image.cpu / n * 1e6, image.wall / n * 1e6});
            std::printf("%9d  %10.2f %10.2f  %10.2f %10.2f\n", count, checks.back().cpu, checks.back().wall,
                        images.back().cpu, images.back().wall);
            std::fflush(stdout);
        }
        if (counts.size() > 1) {
            std::printf("per-file CPU cost, largest against smallest count (target at most 1.3): check %.2f, "
                        "image %.2f\n",
                        checks.back().cpu / checks.front().cpu, images.back().cpu / images.front().cpu);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    fs::remove_all(work);
    return status;
}
