// Test main for the viewer's window: a virtual X server of its own (the browser engine draws on no
// offscreen platform), then the engine prepared exactly as the program prepares it.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "engine_setup.h"
#include "support/virtual_x_server.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    testing_support::VirtualXServer display;
    if (!display.Start()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    viewer::PrepareEngine();
    viewer::EngineArgv qtArgs(argv[0]);
    QApplication app(qtArgs.Count(), qtArgs.Values());
    return RUN_ALL_TESTS();
}
