// Speed of the disc image and the disc check against the standard tools, on generated folders:
//   the image of 10,000 files (about 1 GB) against "xorriso -as mkisofs -J -R -o",
//   the check of 2,000 interlinked pages against "xmllint --html --noout" of the same pages.
// Both sides run in the same process run, interleaved, after one warm-up each; the medians are compared.
// Run by hand on a release build:  build/release/bench/kvd_publish_bench [--rounds N] [--work DIR]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "publish/publish.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kImageFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr uint64_t kImageBytes = 1000ull * 1000 * 1000;
constexpr int kPageParts = 20;
constexpr int kPagesPerPart = 100;
constexpr int kLinksPerPage = 15;

// xorshift64*: fast, and the same folders on every run.
struct Random {
    uint64_t state;
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1Dull;
    }
    uint64_t Below(uint64_t bound) { return Next() % bound; }
};

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// 10,000 files of random bytes, sizes spread around 100 kB, in 100 folders; about 1 GB in all.
void MakeImageFolder(const fs::path& root) {
    Random random{0x9E3779B97F4A7C15ull};
    const uint64_t mean = kImageBytes / (kImageFolders * kFilesPerFolder);
    std::string buffer;
    for (int f = 0; f < kImageFolders; ++f) {
        const fs::path folder = root / ("folder" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const uint64_t size = mean / 10 + random.Below(mean * 18 / 10);
            buffer.resize(size);
            for (size_t k = 0; k + 8 <= size; k += 8) {
                const uint64_t word = random.Next();
                std::memcpy(&buffer[k], &word, 8);
            }
            Write(folder / ("file" + std::to_string(i) + ".dat"), buffer);
        }
    }
}

std::string PageName(int part, int page) {
    char name[48];
    std::snprintf(name, sizeof name, "part%02d/page%03d.htm", part, page);
    return name;
}

// 2,000 pages in 20 folders, each with sections carrying ids, a style sheet, a picture and 15 links to
// sections of other pages; index.htm lists them all, so every page is reached.
void MakePageFolder(const fs::path& root) {
    Random random{0xD1B54A32D192ED03ull};
    fs::create_directories(root / "pics");
    Write(root / "kvd.cfg", "index.htm\r\nVisit us\r\nhttp://example.com/\r\n-\r\n-\r\n400\r\n600\r\n");
    Write(root / "autorun.inf", "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\"");
    Write(root / "kvd.exe", "MZ" + std::string(4096, '\0'));
    Write(root / "style.css", "body { background: url(pics/paper.gif); }\nh2 { color: #335; }\n");
    Write(root / "pics/paper.gif", "GIF89a");
    Write(root / "pics/logo.png", "PNG");
    std::string index = "<!DOCTYPE html>\n<html><head><title>Contents</title>"
                        "<link rel=\"stylesheet\" href=\"style.css\"></head><body>\n<h1>Contents</h1>\n<ul>\n";
    const std::string text =
        "The exhibition opens in spring and shows the work of painters, sculptors and photographers "
        "from the region, with guided tours every afternoon and a catalogue on this disc. ";
    for (int part = 0; part < kPageParts; ++part) {
        fs::create_directories(root / ("part" + std::string(part < 10 ? "0" : "") + std::to_string(part)));
        for (int page = 0; page < kPagesPerPart; ++page) {
            index += "<li><a href=\"" + PageName(part, page) + "\">Page " + std::to_string(page) + "</a></li>\n";
            std::string html = "<!DOCTYPE html>\n<html><head><title>Page</title>"
                               "<link rel=\"stylesheet\" href=\"../style.css\"></head>\n<body>\n"
                               "<p><a href=\"../index.htm\"><img src=\"../pics/logo.png\" alt=\"home\"></a></p>\n";
            for (int section = 0; section < 5; ++section) {
                html += "<h2 id=\"s" + std::to_string(section) + "\">Section " + std::to_string(section) + "</h2>\n";
                for (int p = 0; p < 3; ++p)
                    html += "<p>" + text + text + "</p>\n";
                for (int l = 0; l < kLinksPerPage / 5; ++l) {
                    const int toPart = static_cast<int>(random.Below(kPageParts));
                    const int toPage = static_cast<int>(random.Below(kPagesPerPart));
                    html += "<p><a href=\"../" + PageName(toPart, toPage) + "#s" + std::to_string(random.Below(5)) +
                            "\">see also</a></p>\n";
                }
            }
            html += "</body></html>\n";
            Write(root / PageName(part, page), html);
        }
    }
    index += "</ul>\n</body></html>\n";
    Write(root / "index.htm", index);
}

// Runs the program with its output thrown away; false when it fails.
bool RunProgram(const std::vector<std::string>& arguments) { return bench_support::RunQuiet(arguments) == 0; }

void Fsync(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

using bench_support::Median;

std::string Row(const std::string& name, const std::vector<double>& times) {
    char line[256];
    std::string all;
    for (double t : times) {
        char one[16];
        std::snprintf(one, sizeof one, " %.3f", t);
        all += one;
    }
    std::snprintf(line, sizeof line, "  %-36s median %7.3f s   (runs:%s)\n", name.c_str(), Median(times), all.c_str());
    return line;
}

void BenchImage(const fs::path& work, int rounds) {
    const fs::path folder = work / "image-folder";
    const fs::path ours = work / "ours.iso";
    const fs::path theirs = work / "xorriso.iso";
    std::printf("Generating 10,000 files of about 1 GB in %s ...\n", folder.c_str());
    MakeImageFolder(folder);

    const auto runOurs = [&] {
        const auto start = Clock::now();
        publish::WriteImage(folder, ours);
        const double t = Seconds(Clock::now() - start);
        fs::remove(ours);
        return t;
    };
    // The library makes its image durable (fsync before the rename); xorriso leaves that to the kernel,
    // so both the bare time and the time with an fsync of its file are shown.
    const auto runTheirs = [&](double* synced) {
        const auto start = Clock::now();
        if (!RunProgram({"xorriso", "-as", "mkisofs", "-J", "-R", "-o", theirs.string(), folder.string()}))
            throw std::runtime_error("xorriso failed");
        const double t = Seconds(Clock::now() - start);
        Fsync(theirs);
        *synced = Seconds(Clock::now() - start);
        fs::remove(theirs);
        return t;
    };
    double ignored;
    std::printf("Warming up (one run of each) ...\n");
    runOurs();
    runTheirs(&ignored);
    std::vector<double> a, b, bSynced;
    for (int r = 0; r < rounds; ++r) {
        double synced;
        if (r % 2 == 0) {
            a.push_back(runOurs());
            b.push_back(runTheirs(&synced));
        } else {
            b.push_back(runTheirs(&synced));
            a.push_back(runOurs());
        }
        bSynced.push_back(synced);
        std::printf("  round %d: ours %.3f s, xorriso %.3f s (%.3f s with fsync)\n", r + 1, a.back(), b.back(), synced);
    }
    std::printf("\nImage of 10,000 files, %d rounds:\n", rounds);
    std::printf("%s", Row("publish::WriteImage", a).c_str());
    std::printf("%s", Row("xorriso -as mkisofs -J -R -o", b).c_str());
    std::printf("%s", Row("xorriso ... then fsync of its image", bSynced).c_str());
    std::printf("  ratio ours / xorriso: %.2f (target at most 1.2); against xorriso with fsync: %.2f\n\n",
                Median(a) / Median(b), Median(a) / Median(bSynced));
    fs::remove_all(folder);
}

void BenchCheck(const fs::path& work, int rounds) {
    const fs::path folder = work / "page-folder";
    std::printf("Generating 2,000 interlinked pages in %s ...\n", folder.c_str());
    MakePageFolder(folder);
    std::vector<std::string> xmllint = {"xmllint", "--html", "--noout"};
    for (int part = 0; part < kPageParts; ++part) {
        for (int page = 0; page < kPagesPerPart; ++page)
            xmllint.push_back((folder / PageName(part, page)).string());
    }

    publish::CheckResult result;
    // The check as it ships, without the Windows viewer engine's rules to show what they cost, and on one
    // thread to show what reading pages on several gains.
    const auto runOurs = [&](bool rules, unsigned threads = 0) {
        publish::CheckOptions options;
        options.engineRules = rules;
        options.threads = threads;
        const auto start = Clock::now();
        result = publish::CheckProject(folder, options);
        return Seconds(Clock::now() - start);
    };
    const auto runTheirs = [&] {
        const auto start = Clock::now();
        if (!RunProgram(xmllint)) throw std::runtime_error("xmllint failed");
        return Seconds(Clock::now() - start);
    };
    runOurs(false);
    runOurs(true);
    runTheirs();
    std::printf("  the check finds: %s\n", publish::SummaryLine(result).c_str());
    std::vector<double> a, b, c, d;
    for (int r = 0; r < rounds; ++r) {
        if (r % 2 == 0) {
            a.push_back(runOurs(true));
            c.push_back(runOurs(false));
            d.push_back(runOurs(true, 1));
            b.push_back(runTheirs());
        } else {
            b.push_back(runTheirs());
            d.push_back(runOurs(true, 1));
            c.push_back(runOurs(false));
            a.push_back(runOurs(true));
        }
    }
    std::printf("\nCheck of 2,000 pages (%zu references each), %d rounds:\n", static_cast<size_t>(kLinksPerPage + 3),
                rounds);
    std::printf("%s", Row("publish::CheckProject", a).c_str());
    std::printf("%s", Row("... without engine rules", c).c_str());
    std::printf("%s", Row("... on one thread", d).c_str());
    std::printf("%s", Row("xmllint --html --noout", b).c_str());
    std::printf("  ratio ours / xmllint: %.2f (target at most 1.0); without the engine rules %.2f; on one thread "
                "%.2f (%u processors)\n\n",
                Median(a) / Median(b), Median(c) / Median(b), Median(d) / Median(b),
                std::thread::hardware_concurrency());
    fs::remove_all(folder);
}

} // namespace

int main(int argc, char** argv) {
    bench_support::Options options{5};
    bool image = true;
    bool check = true;
    const auto only = [&](const std::string& arg) {
        if (arg == "--image-only") return check = false, true;
        if (arg == "--check-only") return image = false, true;
        return false;
    };
    if (!bench_support::ParseOptions(argc, argv, options, "[--rounds N] [--work DIR] [--image-only | --check-only]",
                                     only))
        return 2;
    const int rounds = options.rounds;
    const std::string& base = options.base;
    struct statvfs space;
    if (statvfs(base.c_str(), &space) == 0 &&
        static_cast<uint64_t>(space.f_bavail) * space.f_frsize < 3ull * 1000 * 1000 * 1000) {
        std::fprintf(stderr, "%s has less than 3 GB free; the benchmark needs the folder and one image at a time.\n",
                     base.c_str());
        return 2;
    }
    const fs::path work = bench_support::MakeWorkFolder(base, "kvd_publish_bench");
    if (work.empty()) return 2;
    int status = 0;
    try {
        if (check) BenchCheck(work, rounds);
        if (image) BenchImage(work, rounds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    fs::remove_all(work);
    return status;
}
