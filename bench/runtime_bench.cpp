// How reading one long line, writing a settings-sized file and copying a viewer-sized program scale.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/posix/drive_table.h"
#include "runtime/file_services.h"
#include "runtime/text_file.h"

namespace {

std::string TempFile(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/kvd-bench-" + std::to_string(getpid()) + "-" + name;
}

void WriteHost(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A line of n bytes, read back whole: the time per byte stays flat when joining is linear.
void ReadOneLongLine(benchmark::State& state) {
    const std::string host = TempFile("line.txt");
    WriteHost(host, std::string(static_cast<size_t>(state.range(0)), 'x') + "\r\n");
    const std::string name = platform::posix::FromHostPath(host);
    for (auto _ : state) {
        rtl::TTextFile file;
        file.Assign(name);
        file.Reset();
        rtl::InOutCheck();
        benchmark::DoNotOptimize(file.ReadLn());
        file.Close();
        rtl::InOutCheck();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    std::remove(host.c_str());
}
BENCHMARK(ReadOneLongLine)->RangeMultiplier(8)->Range(1 << 10, 1 << 25)->Unit(benchmark::kMillisecond);

// The seven-line settings record as the write step produces it.
void WriteSettingsRecord(benchmark::State& state) {
    const std::string host = TempFile("kvd.cfg");
    const std::string name = platform::posix::FromHostPath(host);
    for (auto _ : state) {
        rtl::TTextFile file;
        file.Assign(name);
        file.Rewrite();
        rtl::InOutCheck();
        for (const char* line : {"index.htm", "Visit us on the Web!", "http://www.kivador.com/", "-", "-", "400", "600"}) {
            file.WriteLn(line);
            rtl::InOutCheck();
        }
        file.Close();
        rtl::InOutCheck();
    }
    std::remove(host.c_str());
}
BENCHMARK(WriteSettingsRecord)->Unit(benchmark::kMicrosecond);

// The viewer copy of a preview: the whole file through memory.
void CopyViewerProgram(benchmark::State& state) {
    const std::string source = TempFile("kvd.exe"), target = TempFile("copy.exe");
    WriteHost(source, std::string(static_cast<size_t>(state.range(0)), 'M'));
    const std::string from = platform::posix::FromHostPath(source), to = platform::posix::FromHostPath(target);
    for (auto _ : state) rtl::CopyWholeFile(from, to);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    std::remove(source.c_str());
    std::remove(target.c_str());
}
BENCHMARK(CopyViewerProgram)->Arg(400 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
