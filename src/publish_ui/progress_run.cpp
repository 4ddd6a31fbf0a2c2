// The worker of the disc commands and the progress dialog that stands in front of it.
#include "publish_ui/progress_run.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QPushButton>
#include <QTimer>
#include <QtConcurrent/QtConcurrent>
#include <atomic>
#include <exception>
#include <memory>

namespace publish_ui {

namespace {

constexpr int kSteps = 1000;

// What the worker and the window share; the worker never touches a widget.
struct SharedState {
    std::atomic<uint64_t> done{0};
    std::atomic<uint64_t> total{0};
    std::atomic<bool> cancel{false};
    // Written by the worker before it ends, read by the window after the future has finished.
    bool cancelled = false;
    std::exception_ptr error;
};

} // namespace

WorkProgressDialog::WorkProgressDialog(QWidget* parent) : QProgressDialog(parent) {
    setObjectName("WorkProgress");
    setWindowModality(Qt::ApplicationModal);
    setAutoClose(false);
    setAutoReset(false);
    setRange(0, kSteps);
    setValue(0);
    setMinimumWidth(420);
    // The dialog's own cancel() would hide it at once, while the worker is still busy.
    disconnect(this, &QProgressDialog::canceled, this, &QProgressDialog::cancel);
    connect(this, &QProgressDialog::canceled, this, &WorkProgressDialog::AskToCancel);
}

void WorkProgressDialog::reject() { AskToCancel(); }

void WorkProgressDialog::AskToCancel() {
    if (cancelRequested_) return;
    cancelRequested_ = true;
    setLabelText(tr("Cancelling..."));
    if (auto* button = findChild<QPushButton*>()) button->setEnabled(false);
    emit CancelAsked();
}

bool RunBehindProgress(QWidget* parent, const ProgressText& text,
                       const std::function<void(const publish::ProgressFn&)>& work) {
    auto shared = std::make_shared<SharedState>();

    WorkProgressDialog dialog(parent);
    dialog.setWindowTitle(text.title);
    dialog.setLabelText(text.label);
    dialog.setMinimumDuration(text.showAfterMs);
    QObject::connect(&dialog, &WorkProgressDialog::CancelAsked, [shared] { shared->cancel = true; });

    const QFuture<void> future = QtConcurrent::run([shared, work] {
        try {
            work([shared](uint64_t done, uint64_t total) {
                shared->done = done;
                shared->total = total;
                return !shared->cancel.load();
            });
        } catch (const publish::Cancelled&) {
            shared->cancelled = true;
        } catch (...) {
            shared->error = std::current_exception();
        }
    });
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);

    QTimer ticker;
    ticker.setInterval(100);
    QObject::connect(&ticker, &QTimer::timeout, &dialog, [&dialog, &text, shared] {
        const uint64_t total = shared->total;
        const uint64_t done = std::min<uint64_t>(shared->done, total);
        if (total > 0) dialog.setValue(static_cast<int>(done * kSteps / total));
        if (text.detail && !dialog.CancelRequested() && total > 0) {
            dialog.setLabelText(text.label + "\n" + text.detail(done, total));
        }
    });
    ticker.start();

    // Until the dialog shows, the window repaints but takes no clicks or keys: the user must not start
    // a second piece of work or change the project under the running one.
    QElapsedTimer clock;
    clock.start();
    while (!future.isFinished()) {
        if (!dialog.isVisible() && clock.elapsed() >= text.showAfterMs) dialog.show();
        const QEventLoop::ProcessEventsFlags input =
            dialog.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents;
        loop.processEvents(input | QEventLoop::WaitForMoreEvents);
    }
    ticker.stop();
    dialog.hide();

    if (shared->error) std::rethrow_exception(shared->error);
    return !shared->cancelled;
}

} // namespace publish_ui
