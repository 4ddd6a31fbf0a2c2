// The viewer's start against a bare engine program: time from starting the process to the page's
// colour on screen, and the peak memory of the process with its engine helpers, runs interleaved.
// kvd_view starts as the preview starts it: in the project folder, standing in for the kvd.exe
// there, with the page named relative to it. A second viewer program, such as an earlier build,
// may be measured in the same rounds; it gets the page's full path.
//
//   viewer_start_bench [rounds] [other-viewer]
//
// Runs on a virtual X server of its own. Not a test: it asserts nothing and CTest never runs it.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/virtual_x_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// The page fills its window with this colour, which neither program shows before the page is drawn.
constexpr unsigned long kPageColour = 0x2a7f62;
// How long memory is still watched after the page has appeared: scripts and fonts settle then.
constexpr auto kSettle = std::chrono::milliseconds(1500);
constexpr auto kLimit = std::chrono::seconds(30);

const char kPage[] = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>Start</title><style>
:root { --page: #2a7f62; --text: #f4f1e8; }
html, body { margin: 0; min-height: 100%; background: var(--page); color: var(--text); font-family: sans-serif; }
main { display: grid; grid-template-columns: 1fr 2fr; gap: 1em; padding: 1em; }
nav ul { display: flex; flex-direction: column; gap: .3em; list-style: none; padding: 0; }
</style></head><body><main><nav><ul><li><a href="a.htm">First</a></li><li><a href="b.htm">Second</a></li>
<li><a href="c.htm">Third</a></li></ul></nav><article><h1>A disc of pages</h1>
<p>Everything a reader sees first: a heading, some text, a list of links beside it.</p>
<table><tr><th>Part</th><th>Pages</th></tr><tr><td>One</td><td>12</td></tr></table></article></main>
<script>document.title = 'Start ' + document.querySelectorAll('a').length;</script></body></html>)";

// Whether the window at the top left of the screen shows the page's colour, in its lower part
// where the page has no text.
bool PageOnScreen(Display* display) {
    const Window root = DefaultRootWindow(display);
    XImage* image = XGetImage(display, root, 20, 220, 561, 161, AllPlanes, ZPixmap);
    if (!image) return false;
    bool all = true;
    for (int y = 0; y < image->height && all; y += 20) {
        for (int x = 0; x < image->width && all; x += 20)
            all = (XGetPixel(image, x, y) & 0xffffff) == kPageColour;
    }
    XDestroyImage(image);
    return all;
}

std::vector<pid_t> Children(pid_t pid) {
    std::vector<pid_t> found;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = ::opendir(tasks.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::ifstream in(tasks + "/" + entry->d_name + "/children");
            pid_t child;
            while (in >> child)
                found.push_back(child);
        }
        ::closedir(dir);
    }
    return found;
}

struct Memory {
    long rssKb = 0;
    long pssKb = 0;
    int processes = 0;
};

// Resident and proportional set sizes of the process and everything it started. The proportional
// size shares each library page among the processes mapping it, so the engine's helpers, which map
// the same large library, are not counted many times over.
Memory TreeMemory(pid_t root) {
    Memory total;
    std::vector<pid_t> pending{root};
    while (!pending.empty()) {
        const pid_t pid = pending.back();
        pending.pop_back();
        std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        bool seen = false;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string key;
            long value = 0;
            if (!(fields >> key >> value)) continue;
            if (key == "Rss:") total.rssKb += value, seen = true;
            if (key == "Pss:") total.pssKb += value;
        }
        if (seen) ++total.processes;
        for (pid_t child : Children(pid))
            pending.push_back(child);
    }
    return total;
}

struct Run {
    double firstPaintMs = -1;
    Memory peak;
    long ownMaxRssKb = 0;
};

Run Measure(Display* display, const std::vector<std::string>& command, const std::string& folder,
            const std::string& standsInFor = {}) {
    Run run;
    // Nothing of the previous run may still be on screen.
    while (PageOnScreen(display))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        if (!standsInFor.empty()) ::setenv("KVD_VIEW_STANDS_IN_FOR", standsInFor.c_str(), 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    auto lastSample = Clock::time_point{};
    Clock::time_point painted{};
    while (Clock::now() - start < kLimit) {
        const auto now = Clock::now();
        if (run.firstPaintMs < 0 && PageOnScreen(display)) {
            painted = Clock::now();
            run.firstPaintMs = std::chrono::duration<double, std::milli>(painted - start).count();
        }
        if (now - lastSample > std::chrono::milliseconds(50)) {
            const Memory m = TreeMemory(pid);
            run.peak.rssKb = std::max(run.peak.rssKb, m.rssKb);
            run.peak.pssKb = std::max(run.peak.pssKb, m.pssKb);
            run.peak.processes = std::max(run.peak.processes, m.processes);
            lastSample = now;
        }
        if (run.firstPaintMs >= 0 && Clock::now() - painted > kSettle) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.ownMaxRssKb = usage.ru_maxrss;
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    char folderTemplate[] = "/tmp/kvdbench.XXXXXX";
    const char* folder = ::mkdtemp(folderTemplate);
    if (!folder) return 2;
    const std::string page = std::string(folder) + "/index.htm";
    std::ofstream(page) << kPage;

    testing_support::VirtualXServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 2;

    const std::string windowsViewer = std::string(folder) + "/kvd.exe";
    std::ofstream(windowsViewer) << "MZ";
    struct Program {
        const char* name;
        std::vector<std::string> command;
        std::string standsInFor;
        std::vector<double> paintMs = {}, pss = {}, rss = {}, own = {};
    };
    std::vector<Program> programs = {
        {"kvd", {KVD_VIEWER_PATH, "-", "index.htm", "-", "-", "-", "-", "400", "600"}, windowsViewer},
        {"bare", {KVD_BARE_VIEW_PATH, page}, ""},
    };
    if (argc > 2) programs.push_back({"other", {argv[2], "-", page, "-", "-", "-", "-", "400", "600"}, ""});
    // One start of each first, unmeasured: the libraries come into the page cache.
    for (const Program& p : programs)
        Measure(display, p.command, folder, p.standsInFor);

    std::printf("%5s %-6s %10s %10s %10s %10s %5s\n", "round", "prog", "paint ms", "PSS MiB", "RSS MiB", "own MiB",
                "procs");
    for (int i = 0; i < rounds; ++i) {
        // The order rotates, so no program always runs in another's wake.
        for (size_t k = 0; k < programs.size(); ++k) {
            Program& p = programs[(i + k) % programs.size()];
            const Run r = Measure(display, p.command, folder, p.standsInFor);
            std::printf("%5d %-6s %10.0f %10.1f %10.1f %10.1f %5d\n", i + 1, p.name, r.firstPaintMs,
                        r.peak.pssKb / 1024.0, r.peak.rssKb / 1024.0, r.ownMaxRssKb / 1024.0, r.peak.processes);
            if (r.firstPaintMs < 0) {
                std::printf("      no paint within %lld s\n", static_cast<long long>(kLimit.count()));
                continue;
            }
            p.paintMs.push_back(r.firstPaintMs);
            p.pss.push_back(r.peak.pssKb / 1024.0);
            p.rss.push_back(r.peak.rssKb / 1024.0);
            p.own.push_back(r.ownMaxRssKb / 1024.0);
        }
    }
    XCloseDisplay(display);
    ::unlink(page.c_str());
    ::unlink(windowsViewer.c_str());
    ::rmdir(folder);
    for (const Program& p : programs) {
        if (p.paintMs.empty()) return 1;
    }

    std::printf("\nmedians over %d rounds\n", rounds);
    std::printf("%-6s %10s %10s %10s %10s\n", "prog", "paint ms", "PSS MiB", "RSS MiB", "own MiB");
    for (const Program& p : programs)
        std::printf("%-6s %10.0f %10.1f %10.1f %10.1f\n", p.name, Median(p.paintMs), Median(p.pss), Median(p.rss),
                    Median(p.own));
    const double bareMs = Median(programs[1].paintMs);
    std::printf("start ratio kvd / bare: %.2f (target at most 1.20)\n", Median(programs[0].paintMs) / bareMs);
    if (programs.size() > 2) std::printf("start ratio other / bare: %.2f\n", Median(programs[2].paintMs) / bareMs);
    return 0;
}
