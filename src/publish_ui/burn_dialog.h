// Burn Disc: the image, the drive, the speed and the read-back, and the burn behind a progress dialog.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "publish/disc/burn.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace publish_ui {

// The image Make CD Image wrote last in this session; empty before the first.
std::string LastImage();
void RememberLastImage(const std::string& hostPath);

// The drive as the drive list shows it: "/dev/sr0 (HL-DT-ST DVDRAM GH24NSD1)".
QString DriveName(const publish::DriveInfo& drive);
// The disc in it: "DVD+RW, blank, rewritable, 4,482.7 MB free", "No disc".
QString DiscText(const publish::DriveInfo& drive);

class BurnDialog : public QDialog {
    Q_OBJECT
public:
    // With no drive the dialog only says so and offers Close.
    BurnDialog(const std::string& image, std::vector<publish::DriveInfo> drives, QWidget* parent = nullptr);

    std::string ImagePath() const;
    // The choices; blank is set once the user has agreed to blank a rewritable disc holding data.
    publish::BurnOptions Options() const;

    QLineEdit* ImageEdit() const { return image_; }
    QComboBox* DriveCombo() const { return drive_; }
    QComboBox* SpeedCombo() const { return speed_; }
    QCheckBox* VerifyCheck() const { return verify_; }
    QLabel* DiscLabel() const { return disc_; }

    // Refuses a missing image or an empty drive, and asks before a rewritable disc holding data is blanked.
    void accept() override;

private:
    void DriveChosen();
    void Browse();

    std::vector<publish::DriveInfo> drives_;
    QLineEdit* image_ = nullptr;
    QComboBox* drive_ = nullptr;
    QLabel* disc_ = nullptr;
    QComboBox* speed_ = nullptr;
    QCheckBox* verify_ = nullptr;
    QCheckBox* eject_ = nullptr;
    bool blank_ = false;
};

// The drive scan on a worker thread; nothing when cancelled.
std::optional<std::vector<publish::DriveInfo>> ListDrivesBehindProgress(QWidget* parent);

// The burn on a worker thread behind a progress dialog that shows the phase, the amount and the speed.
// Cancel stops the write and yields a Cancelled result; failures throw publish::BurnError.
std::optional<publish::BurnResult> BurnBehindProgress(QWidget* parent, const std::string& image,
                                                      const publish::BurnOptions& options);

// Burn Disc: looks for drives, asks, burns, and reports how it ended.
void BurnDisc(QWidget* parent);

} // namespace publish_ui
