// Burn Disc's questions and the burn behind a progress dialog.
#include "publish_ui/burn_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <atomic>
#include <memory>

#include "framework/qt_strings.h"
#include "publish_ui/progress_run.h"

using framework::FromQString;
using framework::ToQString;

namespace publish_ui {

namespace {

// A drive scan with no drive or an idle one is over at once; a slow drive shows its progress.
constexpr int kScanDialogDelayMs = 400;

std::string& LastImageStore() {
    static std::string path;
    return path;
}

QString Megabytes(double bytes) { return QLocale::system().toString(bytes / (1024.0 * 1024.0), 'f', 1) + " MB"; }

QString PhaseText(publish::BurnPhase phase) {
    switch (phase) {
    case publish::BurnPhase::Blanking:
        return QObject::tr("Blanking the disc");
    case publish::BurnPhase::Writing:
        return QObject::tr("Writing");
    case publish::BurnPhase::Closing:
        return QObject::tr("Closing the disc");
    case publish::BurnPhase::Verifying:
        return QObject::tr("Verifying");
    }
    return QString();
}

bool HoldsData(const publish::DriveInfo& drive) {
    return drive.state == publish::DiscState::Appendable || drive.state == publish::DiscState::Closed;
}

} // namespace

std::string LastImage() { return LastImageStore(); }

void RememberLastImage(const std::string& hostPath) { LastImageStore() = hostPath; }

QString DriveName(const publish::DriveInfo& drive) {
    const QString model = ToQString(drive.vendor + (drive.vendor.empty() ? "" : " ") + drive.product).trimmed();
    return model.isEmpty() ? ToQString(drive.address) : QString("%1 (%2)").arg(ToQString(drive.address), model);
}

QString DiscText(const publish::DriveInfo& drive) {
    if (drive.state == publish::DiscState::None) return QObject::tr("No disc");
    QStringList parts;
    parts << (drive.mediumType.empty() ? QObject::tr("A disc") : ToQString(drive.mediumType));
    parts << QString::fromLatin1(publish::DiscStateName(drive.state));
    parts << (drive.rewritable ? QObject::tr("rewritable") : QObject::tr("write-once"));
    if (drive.capacity > 0) parts << QObject::tr("%1 free").arg(Megabytes(static_cast<double>(drive.capacity)));
    return parts.join(", ");
}

BurnDialog::BurnDialog(const std::string& image, std::vector<publish::DriveInfo> drives, QWidget* parent)
    : QDialog(parent), drives_(std::move(drives)) {
    setObjectName("BurnDialog");
    setWindowTitle(tr("Burn Disc"));
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(this);

    if (drives_.empty()) {
        auto* none = new QLabel(tr("No disc drive was found on this computer.\n\n"
                                   "Connect a drive that can write CDs or DVDs, put a blank disc in it, "
                                   "and choose Burn Disc again."),
                                this);
        none->setObjectName("NoDriveLabel");
        none->setWordWrap(true);
        none->setMinimumWidth(360);
        auto* icon = new QLabel(this);
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(side, side));
        icon->setAlignment(Qt::AlignTop);
        auto* row = new QHBoxLayout;
        row->addWidget(icon);
        row->addWidget(none, 1);
        layout->addLayout(row);
        buttons->addButton(QDialogButtonBox::Close);
        buttons->button(QDialogButtonBox::Close)->setObjectName("CloseButton");
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        return;
    }

    auto* form = new QFormLayout;
    image_ = new QLineEdit(ToQString(image), this);
    image_->setObjectName("ImageEdit");
    image_->setMinimumWidth(360);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    browse->setObjectName("BrowseButton");
    auto* imageRow = new QHBoxLayout;
    imageRow->addWidget(image_, 1);
    imageRow->addWidget(browse);
    // A row holding a layout gets no buddy of its own, and without one the "&" would show.
    auto* imageLabel = new QLabel(tr("Disc &image:"), this);
    imageLabel->setBuddy(image_);
    form->addRow(imageLabel, imageRow);

    drive_ = new QComboBox(this);
    drive_->setObjectName("DriveCombo");
    for (const publish::DriveInfo& drive : drives_)
        drive_->addItem(DriveName(drive));
    form->addRow(tr("&Drive:"), drive_);
    disc_ = new QLabel(this);
    disc_->setObjectName("DiscLabel");
    form->addRow(tr("Disc:"), disc_);
    speed_ = new QComboBox(this);
    speed_->setObjectName("SpeedCombo");
    form->addRow(tr("&Speed:"), speed_);
    layout->addLayout(form);

    verify_ = new QCheckBox(tr("&Verify after burning"), this);
    verify_->setObjectName("VerifyCheck");
    verify_->setChecked(true);
    layout->addWidget(verify_);
    eject_ = new QCheckBox(tr("&Eject the disc when done"), this);
    eject_->setObjectName("EjectCheck");
    layout->addWidget(eject_);

    auto* warning = new QLabel(tr("A write-once disc (CD-R, DVD-R, DVD+R) whose burning is cancelled or fails "
                                  "cannot be used again."),
                               this);
    warning->setObjectName("WarningLabel");
    warning->setWordWrap(true);
    layout->addWidget(warning);

    QPushButton* burn = buttons->addButton(tr("&Burn"), QDialogButtonBox::AcceptRole);
    burn->setObjectName("BurnButton");
    burn->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &BurnDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &BurnDialog::Browse);
    connect(drive_, &QComboBox::currentIndexChanged, this, &BurnDialog::DriveChosen);
    DriveChosen();
}

void BurnDialog::DriveChosen() {
    const int index = drive_->currentIndex();
    if (index < 0) return;
    const publish::DriveInfo& drive = drives_[static_cast<size_t>(index)];
    disc_->setText(DiscText(drive));
    speed_->clear();
    speed_->addItem(tr("Best"), 0);
    for (const int speed : drive.speeds)
        speed_->addItem(QString("%1x").arg(speed), speed);
    blank_ = false;
}

void BurnDialog::Browse() {
    const QString chosen =
        QFileDialog::getOpenFileName(this, tr("Disc Image"), image_->text(), tr("Disc images (*.iso);;All files (*)"));
    if (!chosen.isEmpty()) image_->setText(QDir::toNativeSeparators(chosen));
}

std::string BurnDialog::ImagePath() const { return image_ ? FromQString(image_->text().trimmed()) : std::string(); }

publish::BurnOptions BurnDialog::Options() const {
    publish::BurnOptions options;
    if (drives_.empty()) return options;
    options.drive = drives_[static_cast<size_t>(drive_->currentIndex())].address;
    options.speed = speed_->currentData().toInt();
    options.verify = verify_->isChecked();
    options.eject = eject_->isChecked();
    options.blank = blank_;
    return options;
}

void BurnDialog::accept() {
    if (drives_.empty()) return;
    const QFileInfo image(image_->text().trimmed());
    if (image_->text().trimmed().isEmpty() || !image.isFile()) {
        QMessageBox::warning(this, windowTitle(),
                             image_->text().trimmed().isEmpty()
                                 ? tr("Choose the disc image to burn.")
                                 : tr("There is no disc image %1.").arg(QDir::toNativeSeparators(image.filePath())));
        image_->setFocus();
        return;
    }
    const publish::DriveInfo& drive = drives_[static_cast<size_t>(drive_->currentIndex())];
    if (drive.state == publish::DiscState::None) {
        QMessageBox::warning(
            this, windowTitle(),
            tr("There is no disc in the drive %1. Put a blank disc in it first.").arg(DriveName(drive)));
        return;
    }
    if (drive.rewritable && HoldsData(drive) && !blank_) {
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            tr("The rewritable disc in the drive %1 holds data. Blank it, erasing everything on it, and burn the "
               "image?")
                .arg(DriveName(drive)),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
        blank_ = true;
    }
    QDialog::accept();
}

std::optional<std::vector<publish::DriveInfo>> ListDrivesBehindProgress(QWidget* parent) {
    ProgressText text;
    text.title = QObject::tr("Burn Disc");
    text.label = QObject::tr("Looking for disc drives...");
    text.showAfterMs = kScanDialogDelayMs;
    return ComputeBehindProgress<std::vector<publish::DriveInfo>>(parent, text,
                                                                  [](const publish::ProgressFn& progress) {
                                                                      auto drives = publish::ListDrives();
                                                                      // A scan cannot be stopped halfway; a cancel
                                                                      // meanwhile still counts.
                                                                      if (!progress(1, 1)) throw publish::Cancelled();
                                                                      return drives;
                                                                  });
}

std::optional<publish::BurnResult> BurnBehindProgress(QWidget* parent, const std::string& image,
                                                      const publish::BurnOptions& options) {
    // The phase and the speed travel beside the amount the progress dialog already shows.
    struct Now {
        std::atomic<int> phase{static_cast<int>(publish::BurnPhase::Writing)};
        std::atomic<double> speed{0};
    };
    auto now = std::make_shared<Now>();
    ProgressText text;
    text.title = QObject::tr("Burn Disc");
    text.label =
        QObject::tr("Burning %1 to %2...").arg(QDir::toNativeSeparators(ToQString(image)), ToQString(options.drive));
    text.detail = [now](uint64_t done, uint64_t total) {
        const auto phase = static_cast<publish::BurnPhase>(now->phase.load());
        if (phase == publish::BurnPhase::Blanking) return PhaseText(phase) + "...";
        QString line =
            QObject::tr("%1: %2 of %3")
                .arg(PhaseText(phase), Megabytes(static_cast<double>(done)), Megabytes(static_cast<double>(total)));
        if (now->speed > 0) line += QObject::tr(", %1/s").arg(Megabytes(now->speed));
        return line;
    };
    return ComputeBehindProgress<publish::BurnResult>(
        parent, text, [image, options, now](const publish::ProgressFn& progress) {
            publish::BurnOptions withProgress = options;
            withProgress.progress = [&progress, now](const publish::BurnProgress& report) {
                now->phase = static_cast<int>(report.phase);
                now->speed = report.bytesPerSecond;
                return progress(report.done, report.total);
            };
            return publish::BurnImage(image, withProgress);
        });
}

void BurnDisc(QWidget* parent) {
    const auto drives = ListDrivesBehindProgress(parent);
    if (!drives) return;
    BurnDialog ask(LastImage(), *drives, parent);
    if (ask.exec() != QDialog::Accepted) return;
    const auto result = BurnBehindProgress(parent, ask.ImagePath(), ask.Options());
    if (!result) return;
    const bool good =
        result->outcome == publish::BurnOutcome::Verified || result->outcome == publish::BurnOutcome::Written;
    QMessageBox box(good ? QMessageBox::Information : QMessageBox::Warning, QObject::tr("Burn Disc"),
                    ToQString(result->message), QMessageBox::Ok, parent);
    box.setObjectName("BurnResult");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

} // namespace publish_ui
