// Test Disc Image: the check of an image as its readers will see it, then the disc itself in the viewer.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QProcess;
class QTemporaryDir;
class QWidget;

namespace publish_ui {

// Host path of the Linux viewer program in the wizard folder (a host path ending in "/").
std::string ViewerProgram(const std::string& hostWizardFolder);

// A viewer showing a copy of a disc's files. The copy lives as long as this object, which goes when the
// viewer exits, or with its parent (the window), which ends the viewer first.
class DiscPreview : public QObject {
    Q_OBJECT
public:
    DiscPreview(std::unique_ptr<QTemporaryDir> copy, QObject* parent);
    ~DiscPreview() override;

    // Starts the program with the tokens, working in the copy; false (with the reason) when it cannot start.
    bool Start(const std::string& program, const std::vector<std::string>& tokens, QString* error);

    QString Folder() const;
    QProcess* Process() const { return process_; }

private:
    std::unique_ptr<QTemporaryDir> copy_;
    QProcess* process_ = nullptr;
};

// Asks for an image file, starting beside the project folder where Make CD Image puts its images, then runs
// TestDiscImageFile on it.
void TestDiscImage(QWidget* parent, const std::string& hostWizardFolder, const std::string& hostProjectFolder);

// Checks the image on a worker thread and shows the findings, then copies the disc's files out and starts
// the viewer on them as the disc's autorun.inf says. Failures of the image throw publish::Error.
void TestDiscImageFile(QWidget* parent, const std::string& hostWizardFolder, const std::string& image);

} // namespace publish_ui
