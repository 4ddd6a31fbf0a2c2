// What the window tests need to start the viewer and watch it from outside, as a reader's system
// would see it: a child process, its windows, its exit code, and files of the session.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// A started program; a program still running when this goes is ended, so a failed test never
// leaves one behind.
class Process {
public:
    Process(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingFolder,
            const std::vector<std::wstring>& extraEnvironment);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code once the program ended within the limit; STILL_ACTIVE when it did not.
    DWORD WaitForExit(DWORD limitMs);

private:
    PROCESS_INFORMATION info_{};
};

// The first visible top-level window of the process with the class, waited for up to the limit;
// null when the process ends first or the limit passes.
HWND WaitForWindow(const Process& process, const wchar_t* className, DWORD limitMs);

std::wstring WindowText(HWND window);

// A Unix path of the session as Wine names it ("Z:\...").
std::wstring WinePath(const std::string& unixPath);
// A variable of the test's environment, empty when unset.
std::string Variable(const char* name);

// A fresh, empty folder under the system's temporary folder.
std::wstring MakeTempFolder(const wchar_t* stem);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);

// Dispatches this thread's messages until the condition holds or the limit passes.
template <typename Condition> bool PumpUntil(Condition condition, DWORD limitMs) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    while (!condition()) {
        if (GetTickCount64() > end) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

} // namespace wintest
