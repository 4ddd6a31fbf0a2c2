// Long work of the disc commands on a worker thread, behind a progress dialog with Cancel.
#pragma once

#include <QProgressDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "publish/publish.h"

namespace publish_ui {

struct ProgressText {
    QString title;
    QString label;
    // The line under the label for the amount done of the whole; may be empty.
    std::function<QString(uint64_t done, uint64_t total)> detail;
    // Short work finishes without the dialog ever flashing up.
    int showAfterMs = 0;
};

// Cancel, Escape and the title bar's close button only ask the work to stop: the dialog stays until the
// work has stopped and cleaned up, so the window never takes input while a file is half written.
class WorkProgressDialog : public QProgressDialog {
    Q_OBJECT
public:
    explicit WorkProgressDialog(QWidget* parent);
    bool CancelRequested() const { return cancelRequested_; }
    void reject() override;

signals:
    void CancelAsked();

private:
    void AskToCancel();
    bool cancelRequested_ = false;
};

// Runs work on a worker thread and waits for it in a local event loop, so that the window keeps painting
// and the progress dialog answers. The work reports through the progress function it is given. Returns
// false when the user cancelled and the work stopped (it threw publish::Cancelled); any other exception of
// the work is thrown again here, on the calling thread.
bool RunBehindProgress(QWidget* parent, const ProgressText& text,
                       const std::function<void(const publish::ProgressFn&)>& work);

// The same for work with a result; nothing when cancelled.
template <class T>
std::optional<T> ComputeBehindProgress(QWidget* parent, const ProgressText& text,
                                       const std::function<T(const publish::ProgressFn&)>& work) {
    std::optional<T> result;
    const bool finished = RunBehindProgress(
        parent, text, [&result, &work](const publish::ProgressFn& progress) { result = work(progress); });
    if (!finished) return std::nullopt;
    return result;
}

} // namespace publish_ui
