// Speed of burning an image to a stdio: pseudo-drive (a file) against "xorriso -as cdrecord dev=stdio:FILE IMAGE"
// writing the same image to a file of its own. Both write through the same library with its default syncing
// (an fsync every 16 MB), so the ratio shows what this program adds. The read-back is timed apart.
// Run by hand on a release build:  build/release/bench/kvd_burn_bench [--rounds N] [--megabytes M] [--work DIR]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "publish/disc/burn.h"
#include "support/iso_head.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

using bench_support::Median;

// Bytes that do not compress and do not repeat: what a disc of pictures and programs holds.
void MakeImage(const fs::path& path, uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint64_t> block(1 << 17);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t written = 0; written < bytes;) {
        for (uint64_t& word : block) {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            word = state * 0x2545F4914F6CDD1Dull;
        }
        const uint64_t n = std::min<uint64_t>(bytes - written, block.size() * sizeof(uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        written += n;
    }
    // A burn takes only an ISO 9660 image: the bytes get the descriptor of one as long as they are.
    out.seekp(static_cast<std::streamoff>(testing_support::kIsoDescriptorOffset));
    out << testing_support::PrimaryVolumeDescriptor(bytes);
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Runs a program with its output thrown away; the time from start to its end.
double TimeProgram(const std::vector<std::string>& arguments) {
    const auto start = Clock::now();
    const int status = bench_support::RunQuiet(arguments);
    const double t = Seconds(Clock::now() - start);
    if (status != 0) throw std::runtime_error(arguments[0] + " failed");
    return t;
}

// Every run starts from a drive file that does not exist yet, as a fresh disc would be blank.
double TimeOurs(const fs::path& image, const fs::path& target, bool verify, double* readBack) {
    fs::remove(target);
    publish::BurnOptions options;
    options.drive = "stdio:" + target.string();
    options.verify = verify;
    Clock::time_point written;
    options.progress = [&written](const publish::BurnProgress& now) {
        if (now.phase == publish::BurnPhase::Verifying && written == Clock::time_point()) written = Clock::now();
        return true;
    };
    const auto start = Clock::now();
    const publish::BurnResult result = publish::BurnImage(image.string(), options);
    const auto end = Clock::now();
    if (result.outcome != (verify ? publish::BurnOutcome::Verified : publish::BurnOutcome::Written))
        throw std::runtime_error(result.message);
    if (readBack) *readBack = Seconds(end - written);
    return Seconds((verify ? written : end) - start);
}

double TimeXorriso(const fs::path& image, const fs::path& target) {
    fs::remove(target);
    return TimeProgram({"xorriso", "-as", "cdrecord", "dev=stdio:" + target.string(), image.string()});
}

std::string Row(const std::string& name, const std::vector<double>& times) {
    std::string all;
    for (const double t : times) {
        char one[16];
        std::snprintf(one, sizeof one, " %.3f", t);
        all += one;
    }
    char line[256];
    std::snprintf(line, sizeof line, "  %-44s median %7.3f s   (runs:%s)\n", name.c_str(), Median(times), all.c_str());
    return line;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    uint64_t megabytes = 650;
    fs::path work = fs::temp_directory_path() / "kvd_burn_bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--megabytes")
            megabytes = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--work")
            work = argv[i + 1];
    }
    try {
        fs::create_directories(work);
        const fs::path image = work / "image.iso";
        const fs::path ours = work / "ours.bin";
        const fs::path theirs = work / "xorriso.bin";
        std::printf("Generating an image of %llu MB in %s ...\n", static_cast<unsigned long long>(megabytes),
                    work.c_str());
        MakeImage(image, megabytes * 1024 * 1024);

        std::printf("Warming up (one run of each) ...\n");
        TimeOurs(image, ours, false, nullptr);
        TimeXorriso(image, theirs);
        std::vector<double> a, b, written, readBack;
        for (int r = 0; r < rounds; ++r) {
            a.push_back(TimeOurs(image, ours, false, nullptr));
            b.push_back(TimeXorriso(image, theirs));
            double back = 0;
            written.push_back(TimeOurs(image, ours, true, &back));
            readBack.push_back(back);
            std::printf("  round %d: ours %.3f s, xorriso %.3f s; with read-back %.3f s + %.3f s\n", r + 1, a.back(),
                        b.back(), written.back(), back);
        }
        std::printf("\nBurning %llu MB to a stdio: file, %d rounds:\n", static_cast<unsigned long long>(megabytes),
                    rounds);
        std::printf("%s", Row("publish::BurnImage (no read-back)", a).c_str());
        std::printf("%s", Row("xorriso -as cdrecord dev=stdio:FILE", b).c_str());
        std::printf("%s", Row("publish::BurnImage write, when reading back", written).c_str());
        std::printf("%s", Row("  and its read-back", readBack).c_str());
        std::printf("  ratio ours / xorriso: %.2f (target at most 1.2)\n", Median(a) / Median(b));
        fs::remove_all(work);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvd_burn_bench: %s\n", e.what());
        return 2;
    }
    return 0;
}
