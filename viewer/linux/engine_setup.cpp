// The browser engine's start-up choices.
#include "engine_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QWebEngineUrlScheme>

namespace viewer {
namespace {

// A machine without a render node has no GPU the engine could use (a virtual X server, a remote
// session, a container). There every frame is drawn in software anyway, and asking for GL only
// adds a GPU process that probes, fails over and sometimes leaves the page blank.
bool HasRenderNode() {
    struct stat info {};
    return ::stat("/dev/dri", &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::vector<std::string> EngineSwitches() {
    std::vector<std::string> switches;
    // The engine will not start as root with its sandbox on, yet the viewer runs as whoever starts
    // the wizard or opens the disc, root included (a build machine, a container). Only then is the
    // sandbox turned off; for every other user the pages' renderers stay confined as in a browser.
    if (::geteuid() == 0) switches.emplace_back("--no-sandbox");
    if (!HasRenderNode()) {
        switches.emplace_back("--disable-gpu");
        switches.emplace_back("--disable-gpu-compositing");
    }
    return switches;
}

void ChooseRendering() {
    if (!HasRenderNode()) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

void PrepareEngine() {
    QWebEngineUrlScheme scheme(kDiscScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure so that pages get the modern APIs a page loaded over https would; CORS so that a
    // page's own scripts may read the disc's data files with XMLHttpRequest. fetch() stays refused
    // for the scheme: this engine cannot open it to a scheme of the program's own, and the
    // Windows viewer's browser control has no fetch() at all, so a preview that allowed it would
    // show a disc that fails on the reader's machine.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
    ChooseRendering();
}

EngineArgv::EngineArgv(const char* program) {
    strings_.emplace_back(program);
    strings_.emplace_back("--webEngineArgs");
    for (std::string& s : EngineSwitches())
        strings_.push_back(std::move(s));
    for (std::string& s : strings_)
        values_.push_back(s.data());
    values_.push_back(nullptr);
    count_ = static_cast<int>(strings_.size());
}

} // namespace viewer
