// The yardstick for the viewer's start: the least a Qt program needs to show a page with the engine.
// It gets the engine switches and rendering path of the viewer, so the difference measured is the
// viewer's own work.
#include <QApplication>
#include <QUrl>
#include <QWebEngineView>

#include "engine_setup.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    viewer::ChooseRendering();
    viewer::EngineArgv qtArgs(argv[0]);
    QApplication app(qtArgs.Count(), qtArgs.Values());
    QWebEngineView view;
    view.resize(600, 400);
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    view.show();
    return app.exec();
}
