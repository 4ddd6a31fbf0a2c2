// kvd_view, this system's viewer: shows the first page named on its command line. The shell starts
// it in place of the disc's Windows kvd.exe, with the same tokens.
#include <QApplication>
#include <QLoggingCategory>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine_setup.h"
#include "framework/qt_strings.h"
#include "page_files.h"
#include "platform/platform.h"
#include "viewer_window.h"

int main(int argc, char** argv) {
    std::vector<std::string> tokens(argv + (argc > 0 ? 1 : 0), argv + argc);
    // Read once and dropped, so that nothing the viewer starts (the reader's browser) inherits it.
    const char* standsInFor = std::getenv(platform::kStandsInForVariable);
    const std::string windowsViewer = standsInFor ? standsInFor : "";
    ::unsetenv(platform::kStandsInForVariable);
    viewer::PrepareEngine();
    // Qt would take tokens such as "-reverse" as its own options, so it sees only the name and the
    // engine's switches.
    viewer::EngineArgv qtArgs(argc > 0 ? argv[0] : platform::kHostViewerProgram);
    QApplication app(qtArgs.Count(), qtArgs.Values());
    // The engine reports its rendering set-up whenever it draws without a GPU; a reader has no use
    // for that on the console. QT_LOGGING_RULES still brings it back.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // Standing in for a kvd.exe, the viewer's folder is that file's: the pages and kvd.cfg are the
    // ones the disc's viewer will find beside itself.
    const std::string folder =
        viewer::StandInFolder(windowsViewer).value_or(framework::FromQString(QCoreApplication::applicationDirPath()));
    if (tokens.empty()) {
        const std::string settings = folder + "/kvd.cfg";
        if (viewer::HostFileExists(settings)) tokens = viewer::SettingsFileTokens(viewer::ReadHostFile(settings));
    }
    viewer::ViewerWindow window(viewer::ParseViewerArgs(tokens), folder);
    window.Present();
    return app.exec();
}
