// The stand-in viewer kvd.exe: shows the first page named on its command line.
#include <QApplication>
#include <QLoggingCategory>
#include <string>
#include <vector>

#include "engine_setup.h"
#include "framework/qt_strings.h"
#include "page_files.h"
#include "viewer_window.h"

int main(int argc, char** argv) {
    std::vector<std::string> tokens(argv + (argc > 0 ? 1 : 0), argv + argc);
    viewer::PrepareEngine();
    // Qt would take tokens such as "-reverse" as its own options, so it sees only the name and the
    // engine's switches.
    viewer::EngineArgv qtArgs(argc > 0 ? argv[0] : "kvd.exe");
    QApplication app(qtArgs.Count(), qtArgs.Values());
    // The engine reports its rendering set-up whenever it draws without a GPU; a reader has no use
    // for that on the console. QT_LOGGING_RULES still brings it back.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    const std::string folder = framework::FromQString(QCoreApplication::applicationDirPath());
    if (tokens.empty()) {
        const std::string settings = folder + "/kvd.cfg";
        if (viewer::HostFileExists(settings)) tokens = viewer::SettingsFileTokens(viewer::ReadHostFile(settings));
    }
    viewer::ViewerWindow window(viewer::ParseViewerArgs(tokens), folder);
    window.Present();
    return app.exec();
}
