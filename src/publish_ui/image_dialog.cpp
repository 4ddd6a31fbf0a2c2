// Make CD Image's questions: the volume label, the medium and the image file.
#include "publish_ui/image_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "framework/qt_strings.h"

using framework::FromQString;
using framework::ToQString;

namespace publish_ui {

namespace {

// The folder that holds the project folder; the home folder for the root.
QString FolderAbove(const std::string& hostFolder) {
    QDir folder(ToQString(hostFolder));
    folder.makeAbsolute();
    if (!folder.cdUp()) return QDir::homePath();
    return folder.path();
}

} // namespace

std::string DefaultImagePath(const std::string& hostFolder, const std::string& label) {
    return FromQString(QDir(FolderAbove(hostFolder)).filePath(ToQString(label) + ".iso"));
}

ImageDialog::ImageDialog(const std::string& hostFolder, QWidget* parent) : QDialog(parent), folder_(hostFolder) {
    setObjectName("ImageDialog");
    setWindowTitle(tr("Make CD Image"));

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Makes a disc image of the project folder %1.").arg(ToQString(hostFolder)), this);
    intro->setObjectName("FolderLabel");
    intro->setTextFormat(Qt::PlainText);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    const std::string label = publish::DefaultVolumeLabel(hostFolder);
    label_ = new QLineEdit(ToQString(label), this);
    label_->setObjectName("LabelEdit");
    // What ISO 9660 allows in a volume label; small letters are raised as they are typed.
    label_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9_]{0,32}")), label_));
    form->addRow(tr("&Label:"), label_);

    medium_ = new QComboBox(this);
    medium_->setObjectName("MediumCombo");
    for (publish::Medium medium : {publish::Medium::CD, publish::Medium::DVD, publish::Medium::DVDDualLayer}) {
        medium_->addItem(QString::fromLatin1(publish::MediumDescription(medium)), static_cast<int>(medium));
    }
    form->addRow(tr("M&edium:"), medium_);

    output_ = new QLineEdit(ToQString(DefaultImagePath(hostFolder, label)), this);
    output_->setObjectName("OutputEdit");
    output_->setMinimumWidth(360);
    browse_ = new QPushButton(tr("&Browse..."), this);
    browse_->setObjectName("BrowseButton");
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(output_, 1);
    outputRow->addWidget(browse_);
    // A row holding a layout gets no buddy of its own, and without one the "&" would show.
    auto* outputLabel = new QLabel(tr("Image &file:"), this);
    outputLabel->setBuddy(output_);
    form->addRow(outputLabel, outputRow);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* make = buttons->addButton(tr("&Make Image"), QDialogButtonBox::AcceptRole);
    make->setObjectName("MakeButton");
    make->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &ImageDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse_, &QPushButton::clicked, this, &ImageDialog::Browse);
    connect(label_, &QLineEdit::textEdited, this, &ImageDialog::LabelEdited);
    connect(output_, &QLineEdit::textEdited, this, [this] { outputChosen_ = true; });
}

std::string ImageDialog::Label() const { return FromQString(label_->text()); }

publish::Medium ImageDialog::Medium() const { return static_cast<publish::Medium>(medium_->currentData().toInt()); }

std::string ImageDialog::OutputPath() const {
    const QString text = output_->text().trimmed();
    if (text.isEmpty()) return std::string();
    // A bare name goes beside the project folder, where the default goes, not into the current folder,
    // which is the project folder itself.
    return FromQString(QDir::cleanPath(QDir(FolderAbove(folder_)).absoluteFilePath(text)));
}

void ImageDialog::LabelEdited() {
    const int cursor = label_->cursorPosition();
    label_->setText(label_->text().toUpper());
    label_->setCursorPosition(cursor);
    if (!outputChosen_ && !label_->text().isEmpty()) {
        output_->setText(ToQString(DefaultImagePath(folder_, Label())));
    }
}

void ImageDialog::Browse() {
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Image File"), ToQString(OutputPath()),
                                                        tr("Disc images (*.iso);;All files (*)"));
    if (chosen.isEmpty()) return;
    output_->setText(chosen);
    outputChosen_ = true;
    replaceConfirmed_ = QFileInfo(chosen).absoluteFilePath();
}

void ImageDialog::accept() {
    if (label_->text().isEmpty()) {
        QMessageBox::warning(this, windowTitle(), tr("The disc needs a label."));
        label_->setFocus();
        return;
    }
    const std::string output = OutputPath();
    if (output.empty()) {
        QMessageBox::warning(this, windowTitle(), tr("Name the image file to write."));
        output_->setFocus();
        return;
    }
    // The library's own rule, asked before the check: a folder, device, pipe or socket is never replaced.
    try {
        publish::CheckImageOutput(output);
    } catch (const publish::Error& e) {
        QMessageBox refused(QMessageBox::Warning, windowTitle(), ToQString(e.what()), QMessageBox::Ok, this);
        refused.setObjectName("OutputRefused");
        refused.exec();
        output_->setFocus();
        return;
    }
    const QFileInfo target(ToQString(output));
    // A link is replaced too, even one that leads nowhere.
    if ((target.exists() || target.isSymLink()) && target.absoluteFilePath() != replaceConfirmed_) {
        const auto answer = QMessageBox::question(
            this, windowTitle(),
            tr("%1 already exists. Replace it once the new image is complete?").arg(target.filePath()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    QDialog::accept();
}

} // namespace publish_ui
