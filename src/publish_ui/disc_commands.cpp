// The window's disc commands: dialogs in front, the publish library on a worker thread behind.
#include "publish_ui/disc_commands.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>

#include "framework/qt_strings.h"
#include "publish_ui/burn_dialog.h"
#include "publish_ui/check_dialog.h"
#include "publish_ui/image_dialog.h"
#include "publish_ui/progress_run.h"

using framework::ToQString;

namespace publish_ui {

namespace {

// A check of a small project is over before a dialog could be read; only a long one shows its progress.
constexpr int kCheckDialogDelayMs = 400;

QString Megabytes(uint64_t bytes) {
    return QLocale::system().toString(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1) + " MB";
}

QString Shown(const std::string& hostPath) { return QDir::toNativeSeparators(ToQString(hostPath)); }

} // namespace

std::optional<publish::CheckResult> CheckBehindProgress(QWidget* parent, const std::string& hostFolder,
                                                        const publish::CheckOptions& options) {
    ProgressText text;
    text.title = QObject::tr("Check Project");
    text.label = QObject::tr("Checking the pages of %1...").arg(Shown(hostFolder));
    text.showAfterMs = kCheckDialogDelayMs;
    return ComputeBehindProgress<publish::CheckResult>(parent, text,
                                                       [hostFolder, options](const publish::ProgressFn& progress) {
                                                           publish::CheckOptions withProgress = options;
                                                           withProgress.progress = progress;
                                                           return publish::CheckProject(hostFolder, withProgress);
                                                       });
}

std::optional<uint64_t> WriteImageBehindProgress(QWidget* parent, const std::string& hostFolder,
                                                 const std::string& output, const publish::ImageOptions& options) {
    ProgressText text;
    text.title = QObject::tr("Make CD Image");
    text.label = QObject::tr("Writing %1...").arg(Shown(output));
    text.detail = [](uint64_t done, uint64_t total) {
        return QObject::tr("%1 of %2").arg(Megabytes(done), Megabytes(total));
    };
    return ComputeBehindProgress<uint64_t>(parent, text,
                                           [hostFolder, output, options](const publish::ProgressFn& progress) {
                                               publish::ImageOptions withProgress = options;
                                               withProgress.progress = progress;
                                               return publish::WriteImage(hostFolder, output, withProgress);
                                           });
}

void CheckProject(QWidget* parent, const std::string& hostFolder, const std::string& firstPage) {
    publish::CheckOptions options;
    options.firstPage = firstPage;
    const auto result = CheckBehindProgress(parent, hostFolder, options);
    if (!result) return;
    CheckDialog dialog(*result, options.medium, Shown(hostFolder), CheckDialog::Mode::Show, parent);
    dialog.exec();
}

void MakeCDImage(QWidget* parent, const std::string& hostFolder, const std::string& firstPage) {
    ImageDialog ask(hostFolder, parent);
    if (ask.exec() != QDialog::Accepted) return;
    const std::string output = ask.OutputPath();

    publish::CheckOptions check;
    check.firstPage = firstPage;
    check.medium = ask.Medium();
    check.label = ask.Label();
    const auto result = CheckBehindProgress(parent, hostFolder, check);
    if (!result) return;
    if (result->errors > 0) {
        CheckDialog findings(*result, check.medium, Shown(hostFolder), CheckDialog::Mode::AskToGoOn, parent);
        if (findings.exec() != QDialog::Accepted) return;
    }

    publish::ImageOptions image;
    image.label = ask.Label();
    const auto size = WriteImageBehindProgress(parent, hostFolder, output, image);
    if (!size) {
        const QString text = QFileInfo::exists(ToQString(output))
                                 ? QObject::tr("Cancelled. The image was not written; %1 is as it was before.")
                                 : QObject::tr("Cancelled. The image was not written; no file %1 was made.");
        QMessageBox::information(parent, QObject::tr("Make CD Image"), text.arg(Shown(output)));
        return;
    }
    RememberLastImage(output);
    const uint64_t capacity = publish::MediumSectors(check.medium) * publish::kSectorBytes;
    QMessageBox box(QMessageBox::Information, QObject::tr("Make CD Image"),
                    QObject::tr("The disc image is complete:\n%1\n\n%2 bytes (%3), %4% of a %5.")
                        .arg(Shown(output))
                        .arg(QLocale::system().toString(static_cast<qulonglong>(*size)))
                        .arg(Megabytes(*size))
                        .arg((*size * 100 + capacity - 1) / capacity)
                        .arg(QString::fromLatin1(publish::MediumDescription(check.medium))),
                    QMessageBox::Ok, parent);
    box.setObjectName("ImageResult");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

} // namespace publish_ui
