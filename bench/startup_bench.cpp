// Benchmark driver: the real wizard window started in a wizard folder given on the command line,
// timed until its first project folder scan is done. Run by bench/folder_scan_bench.py, never by CTest.
//
//   kvd_startup_bench WIZARD_FOLDER                  start up, report, quit
//   kvd_startup_bench WIZARD_FOLDER --open FOLDER    then open FOLDER in the folder list, report, quit
//
// Reported on standard output, one "key value" per line: first_paint_ms, scan_done_ms,
// painted_before_scan (1 or 0), entries, heap_bytes and rss_kb once the window is idle, and for
// --open the wall and CPU time of the folder change.
#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "framework/app_style.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "picker/TFileListBox.h"
#include "platform/posix/drive_table.h"

namespace {

double CpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// Notes the first paint of any part of the window, and whether the first scan had run by then.
class PaintWatch : public QObject {
public:
    PaintWatch(TForm1* form, QElapsedTimer* clock) : form_(form), clock_(clock) {}
    qint64 firstPaintMs = -1;
    bool scanBeforePaint = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && firstPaintMs < 0 && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->window() == form_) {
                firstPaintMs = clock_->elapsed();
                scanBeforePaint = form_->Activated();
            }
        }
        return false;
    }

private:
    TForm1* form_;
    QElapsedTimer* clock_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WIZARD_FOLDER [--open FOLDER]\n", argv[0]);
        return 2;
    }
    const std::string wizardFolder = argv[1];
    const std::string openFolder = argc >= 4 && std::strcmp(argv[2], "--open") == 0 ? argv[3] : std::string();

    QElapsedTimer clock;
    clock.start();
    QApplication application(argc, argv);
    QApplication::setFont(framework::WizardFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kvd_gen.png")));
    framework::InstallWizardStyle();
    // The wizard folder is the folder of the program file; stand the window in the bench folder.
    platform::posix::SetModuleFileNameForTesting(platform::posix::FromHostPath(wizardFolder + "/kvd_gen"));

    TForm1 form;
    PaintWatch watch(&form, &clock);
    application.installEventFilter(&watch);
    form.show();

    qint64 scanDoneMs = -1;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (scanDoneMs >= 0 || !form.Activated()) return;
        scanDoneMs = clock.elapsed();
        poll.stop();
        // Let the window settle (layout, paint) before the idle memory is read.
        QTimer::singleShot(200, [&] {
            std::printf("first_paint_ms %lld\n", static_cast<long long>(watch.firstPaintMs));
            std::printf("scan_done_ms %lld\n", static_cast<long long>(scanDoneMs));
            std::printf("painted_before_scan %d\n", watch.firstPaintMs >= 0 && !watch.scanBeforePaint ? 1 : 0);
            std::printf("entries %d\n", form.FileListBox1->EntryCount());
            std::printf("heap_bytes %zu\n", static_cast<size_t>(::mallinfo2().uordblks));
            std::printf("rss_kb %ld\n", RssKb());
            if (!openFolder.empty()) {
                const std::string windowsFolder = platform::posix::FromHostPath(openFolder);
                QElapsedTimer openClock;
                const double cpuBefore = CpuMs();
                openClock.start();
                form.DirectoryListBox1->SetFolderPath(windowsFolder);
                QApplication::processEvents();
                std::printf("open_wall_ms %.3f\n", openClock.nsecsElapsed() / 1e6);
                std::printf("open_cpu_ms %.3f\n", CpuMs() - cpuBefore);
                std::printf("open_entries %d\n", form.FileListBox1->EntryCount());
            }
            std::fflush(stdout);
            QApplication::quit();
        });
    });
    poll.start();
    return application.exec();
}
