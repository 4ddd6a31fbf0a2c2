// Start to window shown, under Wine, of the viewer against the bare window program: each round starts
// both (in turns, so drifts of the machine hit both alike), takes the time from CreateProcess until
// a visible top-level window of the process exists, then closes it and waits for the exit.
//   kvd_win_start_bench ROUNDS VIEWER BARE   (VIEWER starts with "- index.htm" in its own folder)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->process && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds to the shown window; negative when the program failed.
double StartToShown(const std::wstring& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER frequency, begin, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &info))
        return -1;
    double shown = -1;
    for (;;) {
        Search search{info.dwProcessId, nullptr};
        EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            QueryPerformanceCounter(&now);
            shown =
                1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
            PostMessageW(search.found, WM_CLOSE, 0, 0);
            break;
        }
        if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return shown;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kvd_win_start_bench ROUNDS VIEWER BARE\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    // One start of each first, so that neither pays for the session's first program alone.
    if (StartToShown(argv[2], L"- index.htm") < 0 || StartToShown(argv[3], L"") < 0) {
        std::fprintf(stderr, "a program did not show its window\n");
        return 1;
    }
    std::vector<double> viewer, bare;
    for (int i = 0; i < rounds; ++i) {
        viewer.push_back(StartToShown(argv[2], L"- index.htm"));
        bare.push_back(StartToShown(argv[3], L""));
        if (viewer.back() < 0 || bare.back() < 0) return 1;
    }
    const double v = Median(viewer), b = Median(bare);
    std::printf("start to window shown, median of %d rounds under Wine:\n", rounds);
    std::printf("  kvd.exe      %8.1f ms (min %.1f, max %.1f)\n", v, *std::min_element(viewer.begin(), viewer.end()),
                *std::max_element(viewer.begin(), viewer.end()));
    std::printf("  bare window  %8.1f ms (min %.1f, max %.1f)\n", b, *std::min_element(bare.begin(), bare.end()),
                *std::max_element(bare.begin(), bare.end()));
    std::printf("  ratio        %8.2f (target at most 1.30)\n", v / b);
    return 0;
}
