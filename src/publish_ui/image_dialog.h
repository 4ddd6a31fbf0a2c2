// Make CD Image's questions: the volume label, the medium and the image file.
#pragma once

#include <QDialog>
#include <string>

#include "publish/publish.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace publish_ui {

// The image file offered first: the label plus ".iso" in the folder above the project folder (the home
// folder when the project folder is the root), so that the image never lands inside what it holds.
std::string DefaultImagePath(const std::string& hostFolder, const std::string& label);

class ImageDialog : public QDialog {
    Q_OBJECT
public:
    ImageDialog(const std::string& hostFolder, QWidget* parent = nullptr);

    std::string Label() const;
    publish::Medium Medium() const;
    std::string OutputPath() const;

    QLineEdit* LabelEdit() const { return label_; }
    QComboBox* MediumCombo() const { return medium_; }
    QLineEdit* OutputEdit() const { return output_; }

    // Refuses an empty label or file name and an output no image may replace (publish::CheckImageOutput), and
    // asks before an existing file or link is replaced.
    void accept() override;

private:
    void Browse();
    void LabelEdited();

    std::string folder_;
    QLineEdit* label_ = nullptr;
    QComboBox* medium_ = nullptr;
    QLineEdit* output_ = nullptr;
    QPushButton* browse_ = nullptr;
    // The file name follows the label until the user picks one of his own.
    bool outputChosen_ = false;
    // The file dialog has asked already whether to replace this one.
    QString replaceConfirmed_;
};

} // namespace publish_ui
