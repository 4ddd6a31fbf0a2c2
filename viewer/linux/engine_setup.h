// What the browser engine needs before the application object exists: its switches and the disc's scheme.
#pragma once

#include <string>
#include <vector>

namespace viewer {

// The scheme under which the viewer serves the host's files as a disc read on Windows finds them.
inline constexpr char kDiscScheme[] = "kvd";

// The engine's own switches for this process, in command-line form.
std::vector<std::string> EngineSwitches();

// Picks the rendering path. Must run before the QApplication is made.
void ChooseRendering();

// Registers the disc scheme and picks the rendering path. Must run before the QApplication is made.
void PrepareEngine();

// The arguments to give the QApplication: the program name, then the engine's switches behind the
// marker that keeps Qt and the engine from reading each other's options. The strings are owned by
// the returned holder and must outlive the application.
class EngineArgv {
public:
    explicit EngineArgv(const char* program);
    int& Count() { return count_; }
    char** Values() { return values_.data(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> values_;
    int count_ = 0;
};

} // namespace viewer
