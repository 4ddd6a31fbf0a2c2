// The Windows viewer kvd.exe: shows the first page named on its command line, or in kvd.cfg beside it.
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "browser_mode.h"
#include "viewer_core.h"
#include "viewer_window.h"
#include "win_files.h"
#include "win_text.h"

namespace {

// The run-time library has split the command line already, by the rules every Windows program
// follows; the shell's own splitter would cost loading the shell's library before the window shows.
std::vector<std::string> CommandLineTokens() {
    std::vector<std::string> tokens;
    for (int i = 1; __wargv && i < __argc; ++i)
        tokens.push_back(viewer::Narrow(__wargv[i]));
    return tokens;
}

struct OleSession {
    const bool ready = SUCCEEDED(OleInitialize(nullptr));
    ~OleSession() {
        if (ready) OleUninitialize();
    }
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    const std::wstring program = viewer::ProgramPath();
    const std::string folder = viewer::Narrow(viewer::FolderOf(program));
    std::vector<std::string> tokens = CommandLineTokens();
    if (tokens.empty()) {
        // A reader who opens the viewer from the disc by hand gets what AutoPlay would have shown.
        std::string settings;
        if (viewer::ReadWholeFile(viewer::Widen(folder) + L"kvd.cfg", settings))
            tokens = viewer::SettingsFileTokens(settings);
    }
    const viewer::ViewerArgs args = viewer::ParseViewerArgs(tokens);

    OleSession ole;
    const viewer::BrowserModeSetting mode(viewer::FileNameOf(program));
    viewer::ViewerWindow window(args, folder);
    const bool created = ole.ready && window.Create();
    if (created) window.Present();
    if (!created || !window.StartBrowser()) {
        // An empty window helps nobody: the reader's own browser shows the disc instead, but only a
        // page: the shell would run a program or script named as the first page.
        const std::string firstPage = window.FirstPagePath();
        const bool handOver = !firstPage.empty() && viewer::IsPageForBrowser(firstPage);
        MessageBoxW(nullptr,
                    handOver ? L"The browser control of Windows cannot be started on this computer.\n\n"
                               L"The first page opens in your web browser instead."
                             : L"The browser control of Windows cannot be started on this computer.",
                    viewer::kViewerCaption, MB_OK | MB_ICONWARNING);
        if (!handOver) return 1;
        const std::wstring first = viewer::Widen(firstPage);
        const auto result =
            reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", first.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        return result > 32 ? 0 : 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
