// Speed of the disc check on an image against the same check on the folder the image was made from:
// 2,000 interlinked pages with their pictures, a style sheet and the start files. Both run in the same
// process, interleaved, after one warm-up each; the medians are compared (target: at most 1.5 times).
// Run by hand on a release build:  build/release/bench/kvd_disc_check_bench [--rounds N] [--work DIR]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "publish/disc/disc_reader.h"
#include "publish/publish.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kParts = 20;
constexpr int kPagesPerPart = 100;
constexpr int kLinksPerPage = 15;

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string PageName(int part, int page) {
    char name[48];
    std::snprintf(name, sizeof name, "part%02d/page%03d.htm", part, page);
    return name;
}

// Every page reached from index.htm, each with sections, a picture of its own and links to sections of
// other pages; the same folder on every run.
void MakeProject(const fs::path& root) {
    uint64_t state = 0xD1B54A32D192ED03ull;
    auto below = [&state](uint64_t bound) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return (state * 0x2545F4914F6CDD1Dull) % bound;
    };
    fs::create_directories(root / "pics");
    Write(root / "kvd.cfg", "index.htm\r\nVisit us\r\nhttp://example.com/\r\n-\r\n-\r\n400\r\n600\r\n");
    Write(root / "autorun.inf",
          "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\" \"Visit us\" \"-\" \"-\" \"-\" \"400\" \"600\"");
    Write(root / "kvd.exe", "MZ" + std::string(200000, '\0'));
    Write(root / "style.css", "body { background: url(pics/paper.gif); }\n");
    Write(root / "pics/paper.gif", "GIF89a" + std::string(20000, 'p'));
    const std::string text = "The exhibition opens in spring and shows the work of painters, sculptors and "
                             "photographers from the region, with guided tours every afternoon. ";
    std::string index = "<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body><ul>\n";
    for (int part = 0; part < kParts; ++part) {
        fs::create_directories((root / PageName(part, 0)).parent_path());
        for (int page = 0; page < kPagesPerPart; ++page) {
            index += "<li><a href=\"" + PageName(part, page) + "\">Page</a></li>\n";
            const std::string picture = "pics/p" + std::to_string(part * kPagesPerPart + page) + ".jpg";
            Write(root / picture, std::string(30000, 'j'));
            std::string html = "<html><head><link rel=\"stylesheet\" href=\"../style.css\"></head><body>\n"
                               "<p><a href=\"../index.htm\"><img src=\"../" +
                               picture + "\"></a></p>\n";
            for (int section = 0; section < 5; ++section) {
                html += "<h2 id=\"s" + std::to_string(section) + "\">Section</h2>\n<p>" + text + text + "</p>\n";
                for (int l = 0; l < kLinksPerPage / 5; ++l)
                    html += "<p><a href=\"../" +
                            PageName(static_cast<int>(below(kParts)), static_cast<int>(below(kPagesPerPart))) + "#s" +
                            std::to_string(below(5)) + "\">see also</a></p>\n";
            }
            Write(root / PageName(part, page), html + "</body></html>\n");
        }
    }
    Write(root / "index.htm", index + "</ul></body></html>\n");
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

using bench_support::Median;

void Row(const char* name, const std::vector<double>& times) {
    std::printf("  %-24s median %7.3f s   (runs:", name, Median(times));
    for (double t : times)
        std::printf(" %.3f", t);
    std::printf(")\n");
}

} // namespace

int main(int argc, char** argv) {
    bench_support::Options options{7};
    if (!bench_support::ParseOptions(argc, argv, options, "[--rounds N] [--work DIR]")) return 2;
    const int rounds = options.rounds;
    const std::string& base = options.base;
    const fs::path work = bench_support::MakeWorkFolder(base, "kvd_disc_check_bench");
    if (work.empty()) return 2;
    const fs::path folder = work / "project";
    const fs::path image = work / "project.iso";
    int status = 0;
    try {
        std::printf("Generating %d interlinked pages and their pictures in %s ...\n", kParts * kPagesPerPart,
                    folder.c_str());
        MakeProject(folder);
        publish::WriteImage(folder, image);
        publish::CheckResult onFolder, onImage;
        auto time = [](auto&& run) {
            const auto start = Clock::now();
            run();
            return Seconds(Clock::now() - start);
        };
        auto runFolder = [&] { return time([&] { onFolder = publish::CheckProject(folder); }); };
        auto runImage = [&] { return time([&] { onImage = publish::CheckImage(image); }); };
        runFolder();
        runImage();
        std::printf("  folder: %s\n  image:  %s\n", publish::SummaryLine(onFolder).c_str(),
                    publish::SummaryLine(onImage).c_str());
        std::vector<double> a, b;
        for (int r = 0; r < rounds; ++r) {
            if (r % 2 == 0) {
                a.push_back(runImage());
                b.push_back(runFolder());
            } else {
                b.push_back(runFolder());
                a.push_back(runImage());
            }
        }
        std::printf("\nCheck of %d pages, image of %.1f MB, %d rounds:\n", kParts * kPagesPerPart,
                    static_cast<double>(fs::file_size(image)) / 1e6, rounds);
        Row("publish::CheckImage", a);
        Row("publish::CheckProject", b);
        std::printf("  ratio image / folder: %.2f (target at most 1.5)\n", Median(a) / Median(b));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    fs::remove_all(work);
    return status;
}
