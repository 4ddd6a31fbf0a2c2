// The window's disc commands on the offscreen platform: the menu, the dialogs, the worker and its Cancel.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <vector>

#include "framework/guard.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "publish/disc/burn.h"
#include "publish/publish.h"
#include "publish_ui/burn_dialog.h"
#include "publish_ui/check_dialog.h"
#include "publish_ui/disc_commands.h"
#include "publish_ui/image_dialog.h"
#include "publish_ui/progress_run.h"
#include "support/iso_head.h"
#include "support/temp_dir.h"

namespace {

using publish_ui::CheckDialog;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A project a preview has completed, with three faults in sub/a.htm: a missing page (line 3), a picture
// named in another letter case (line 4) and a web link (line 5).
void MakeProject(const std::string& folder, bool withFaults) {
    MakeDirs(folder + "/sub");
    WriteBytes(folder + "/kvd.cfg", "index.htm\r\nVisit us\r\nhttp://example.com/\r\n-\r\n-\r\n400\r\n600\r\n");
    WriteBytes(folder + "/autorun.inf", "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\"");
    WriteBytes(folder + "/kvd.exe", "MZ" + std::string(3000, 'x'));
    WriteBytes(folder + "/index.htm", "<html><body>\n<a href=\"sub/a.htm\">A</a>\n</body></html>\n");
    WriteBytes(folder + "/sub/Logo.gif", "GIF89a");
    WriteBytes(folder + "/sub/a.htm", withFaults ? "<html><body>\n"
                                                   "<a href=\"../index.htm\">back</a>\n"
                                                   "<a href=\"gone.htm\">gone</a>\n"
                                                   "<img src=\"logo.gif\">\n"
                                                   "<a href=\"http://example.com/\">web</a>\n"
                                                   "</body></html>\n"
                                                 : "<html><body><a href=\"../index.htm\"><img src=\"Logo.gif\"></a>\n");
}

std::vector<std::vector<QString>> Rows(const QTableWidget* table) {
    std::vector<std::vector<QString>> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        std::vector<QString> row;
        for (int c = 0; c < table->columnCount(); ++c)
            row.push_back(table->item(r, c)->text());
        rows.push_back(row);
    }
    return rows;
}

// Answers the modal dialogs of a command as they come up, one step per dialog in the order expected;
// the progress dialogs of the worker pass unanswered. A dialog out of turn is rejected so that nothing
// hangs, and shows in Seen().
class DialogScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;
    explicit DialogScript(std::vector<std::pair<QString, Step>> steps) : steps_(std::move(steps)) {
        connect(&timer_, &QTimer::timeout, this, &DialogScript::Tick);
        timer_.start(20);
    }
    const QStringList& Seen() const { return seen_; }

private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_ || !modal->isVisible() || modal->objectName() == "WorkProgress") return;
        last_ = modal;
        seen_ << modal->objectName();
        if (next_ < steps_.size() && steps_[next_].first == modal->objectName()) {
            steps_[next_++].second(modal);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    }
    std::vector<std::pair<QString, Step>> steps_;
    size_t next_ = 0;
    QStringList seen_;
    QPointer<QWidget> last_;
    QTimer timer_;
};

class DiscCommands : public ::testing::Test {
protected:
    void SetUp() override {
        savedCwd_ = platform::GetCurrentDirectory();
        MakeDirs(tmp_ / "wiz");
        project_ = tmp_ / "Spring Show";
        platform::posix::SetModuleFileNameForTesting(platform::posix::FromHostPath(tmp_ / "wiz") + "\\kvd_gen");
        framework::SetExceptionHook([this](const std::string& m) { errors_.push_back(m); });
    }
    void TearDown() override {
        form_.reset();
        framework::SetExceptionHook(nullptr);
        platform::posix::SetModuleFileNameForTesting("");
        platform::SetCurrentDirectory(savedCwd_);
    }
    // The window with the disc commands, its folder list on the project folder.
    TForm1& Form() {
        if (!form_) {
            form_ = std::make_unique<TForm1>();
            form_->DirectoryListBox1->SetFolderPath(platform::posix::FromHostPath(project_));
        }
        return *form_;
    }

    TempDir tmp_;
    std::string project_;
    std::string savedCwd_;
    std::vector<std::string> errors_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(DiscCommands, FileMenuHoldsTheCommandsAboveExit) {
    MakeProject(project_, false);
    TForm1& form = Form();
    form.AddDiscCommands(); // a second call adds nothing
    QStringList texts;
    for (QAction* action : form.File1->actions()) {
        if (!action->isSeparator()) texts << action->text();
    }
    EXPECT_EQ(texts, (QStringList{"&Check Project...", "&Make CD Image...", "&Test Disc Image...", "&Burn Disc...",
                              "E&xit"}));
    EXPECT_EQ(form.File1->actions().indexOf(form.Exit1), 5);
    EXPECT_EQ(form.CheckProject1->objectName(), QString("CheckProject1"));
    EXPECT_EQ(form.MakeCDImage1->objectName(), QString("MakeCDImage1"));
    EXPECT_EQ(form.BurnDisc1->objectName(), QString("BurnDisc1"));
}

TEST_F(DiscCommands, CheckDialogShowsEveryFindingAndSortsByRank) {
    MakeProject(project_, true);
    const publish::CheckResult result = publish::CheckProject(project_);
    CheckDialog dialog(result, publish::Medium::CD, "folder", CheckDialog::Mode::Show);
    EXPECT_EQ(dialog.Summary()->text(), publish_ui::CheckSummary(result, publish::Medium::CD));
    EXPECT_TRUE(dialog.Summary()->text().startsWith("1 error, 1 warning, 1 note; image "))
        << dialog.Summary()->text().toStdString();
    EXPECT_TRUE(dialog.Summary()->text().endsWith("% of CD 700 MB)"));
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(result.findings.size(), 3u);
    const std::vector<std::vector<QString>> expected = {
        {"error", "sub/a.htm", "3", QString::fromStdString(result.findings[0].message) + " (reference \"gone.htm\")"},
        {"warning", "sub/a.htm", "4", publish_ui::ProblemText(result.findings[1])},
        {"note", "sub/a.htm", "5", publish_ui::ProblemText(result.findings[2])},
    };
    EXPECT_EQ(Rows(table), expected);
    EXPECT_TRUE(publish_ui::ProblemText(result.findings[1]).contains("logo.gif"));
    EXPECT_TRUE(table->isSortingEnabled());

    table->sortByColumn(CheckDialog::kLine, Qt::DescendingOrder);
    EXPECT_EQ(table->item(0, CheckDialog::kLine)->text(), "5");
    // Notes rank below warnings, whatever the alphabet says.
    table->sortByColumn(CheckDialog::kSeverity, Qt::DescendingOrder);
    EXPECT_EQ(table->item(0, CheckDialog::kSeverity)->text(), "note");
    EXPECT_EQ(table->item(1, CheckDialog::kSeverity)->text(), "warning");
    EXPECT_EQ(table->item(2, CheckDialog::kSeverity)->text(), "error");
}

// The lines of the rows the filter shows, top to bottom.
QStringList VisibleLines(const QTableWidget* table) {
    QStringList lines;
    for (int r = 0; r < table->rowCount(); ++r)
        if (!table->isRowHidden(r)) lines << table->item(r, CheckDialog::kLine)->text();
    return lines;
}

TEST_F(DiscCommands, CheckDialogShowsTheWindowsViewersFindingsTogetherAndCountsThem) {
    publish::CheckResult result;
    using publish::Severity;
    result.findings = {
        {Severity::Warning, "windows-css", "a.htm", 2, {}, "The Windows viewer does not know this style: x."},
        {Severity::Error, "missing-target", "a.htm", 3, "gone.htm", "The target \"gone.htm\" does not exist."},
        {Severity::Error, "windows-image", "a.htm", 4, {}, "The Windows viewer cannot show this picture: y."},
        {Severity::Note, "external-link", "a.htm", 5, "http://example.com/", "The link leads off the disc."},
        {Severity::Warning, "script-syntax", "b.js", 1, {}, "This script cannot be read by any browser: z."},
    };
    result.errors = 2;
    result.warnings = 2;
    result.notes = 1;
    EXPECT_EQ(publish_ui::CheckSummary(result, publish::Medium::CD),
              "2 errors, 2 warnings, 1 note (3 for the Windows viewer)");
    CheckDialog dialog(result, publish::Medium::CD, "folder", CheckDialog::Mode::Show);
    QTableWidget* table = dialog.Table();
    EXPECT_EQ(VisibleLines(table), (QStringList{"2", "3", "4", "5", "1"}));
    dialog.FilterBox()->setCurrentIndex(CheckDialog::kWindowsViewer);
    EXPECT_EQ(VisibleLines(table), (QStringList{"2", "4", "1"}));
    // A sort moves the rows; the filter follows them.
    table->sortByColumn(CheckDialog::kLine, Qt::DescendingOrder);
    EXPECT_EQ(VisibleLines(table), (QStringList{"4", "2", "1"}));
    dialog.FilterBox()->setCurrentIndex(CheckDialog::kOthers);
    EXPECT_EQ(VisibleLines(table), (QStringList{"5", "3"}));
    dialog.FilterBox()->setCurrentIndex(CheckDialog::kAll);
    EXPECT_EQ(VisibleLines(table), (QStringList{"5", "4", "3", "2", "1"}));
}

TEST_F(DiscCommands, CheckProjectChecksTheFolderListsFolderWithTheFirstPageOfTheWindow) {
    MakeProject(project_, false);
    TForm1& form = Form();
    form.FirstFile->setText("welcome.htm");
    std::vector<std::vector<QString>> rows;
    QString title;
    DialogScript script({{"CheckDialog", [&](QWidget* w) {
                              auto* dialog = static_cast<CheckDialog*>(w);
                              title = dialog->windowTitle();
                              rows = Rows(dialog->Table());
                              dialog->reject();
                          }}});
    form.CheckProject1->trigger();
    EXPECT_EQ(script.Seen(), QStringList{"CheckDialog"});
    EXPECT_EQ(title, "Check Project");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0][0], "error");
    EXPECT_TRUE(rows[0][3].contains("welcome.htm")) << rows[0][3].toStdString();
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

TEST_F(DiscCommands, ImageDialogOffersLabelMediumAndAFileBesideTheProject) {
    MakeDirs(project_);
    publish_ui::ImageDialog dialog(project_);
    EXPECT_EQ(dialog.LabelEdit()->text(), "SPRING_SHOW");
    EXPECT_EQ(dialog.MediumCombo()->count(), 3);
    EXPECT_EQ(dialog.MediumCombo()->currentText(), "CD 700 MB");
    EXPECT_EQ(dialog.Medium(), publish::Medium::CD);
    EXPECT_EQ(dialog.OutputEdit()->text().toStdString(), tmp_ / "SPRING_SHOW.iso");
    // The file follows the label until one is typed; small letters are raised.
    dialog.LabelEdit()->clear();
    for (const char c : std::string("fall_26")) {
        dialog.LabelEdit()->insert(QString(QChar(c)));
        emit dialog.LabelEdit()->textEdited(dialog.LabelEdit()->text());
    }
    EXPECT_EQ(dialog.Label(), "FALL_26");
    EXPECT_EQ(dialog.OutputPath(), tmp_ / "FALL_26.iso");
    dialog.MediumCombo()->setCurrentIndex(2);
    EXPECT_EQ(dialog.Medium(), publish::Medium::DVDDualLayer);
    dialog.OutputEdit()->setText("mine.iso");
    emit dialog.OutputEdit()->textEdited("mine.iso");
    emit dialog.LabelEdit()->textEdited("OTHER");
    EXPECT_EQ(dialog.OutputPath(), tmp_ / "mine.iso");
}

TEST_F(DiscCommands, CancelInTheProgressDialogLeavesNoFileAndTheOldOneWhole) {
    MakeProject(project_, false);
    // Two gigabytes of holes: no room taken, but long enough to write for the Cancel to land.
    for (const char* name : {"big1.bin", "big2.bin"}) {
        WriteBytes(project_ + "/" + name, "");
        std::filesystem::resize_file(project_ + "/" + name, 1ull << 30);
    }
    MakeDirs(tmp_ / "out");
    const std::string output = tmp_ / "out/show.iso";
    WriteBytes(output, "the image of last year");

    bool sawProgress = false;
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<publish_ui::WorkProgressDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        sawProgress = true;
        if (auto* cancel = dialog->findChild<QPushButton*>()) cancel->click();
    });
    clicker.start(20);
    const auto size = publish_ui::WriteImageBehindProgress(nullptr, project_, output, {});
    clicker.stop();
    EXPECT_TRUE(sawProgress);
    EXPECT_FALSE(size.has_value());
    EXPECT_EQ(Names(tmp_ / "out"), std::vector<std::string>{"show.iso"});
    EXPECT_EQ(ReadBytes(output), "the image of last year");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DiscCommands, MakeCDImageAsksChecksShowsTheErrorsWritesAndReports) {
    MakeProject(project_, true);
    TForm1& form = Form();
    QString medium;
    int rows = -1;
    QString report;
    DialogScript script({
        {"ImageDialog",
         [&](QWidget* w) {
             auto* dialog = static_cast<publish_ui::ImageDialog*>(w);
             medium = dialog->MediumCombo()->currentText();
             dialog->findChild<QPushButton*>("MakeButton")->click();
         }},
        {"CheckDialog",
         [&](QWidget* w) {
             auto* dialog = static_cast<CheckDialog*>(w);
             rows = dialog->Table()->rowCount();
             const QLabel* question = dialog->findChild<QLabel*>("QuestionLabel");
             ASSERT_NE(question, nullptr);
             EXPECT_TRUE(question->text().startsWith("The check found 1 error: ")) << question->text().toStdString();
             dialog->findChild<QPushButton*>("GoOnButton")->click();
         }},
        {"ImageResult",
         [&](QWidget* w) {
             report = static_cast<QMessageBox*>(w)->text();
             static_cast<QMessageBox*>(w)->accept();
         }},
    });
    form.MakeCDImage1->trigger();
    EXPECT_EQ(script.Seen(), (QStringList{"ImageDialog", "CheckDialog", "ImageResult"}));
    EXPECT_EQ(medium, "CD 700 MB");
    EXPECT_EQ(rows, 3);
    const std::string image = tmp_ / "SPRING_SHOW.iso";
    const std::string bytes = ReadBytes(image);
    EXPECT_EQ(bytes.substr(0x8028, 32), "SPRING_SHOW" + std::string(21, ' '));
    EXPECT_TRUE(report.startsWith("The disc image is complete:\n" + QString::fromStdString(image) + "\n\n" +
                                  QLocale::system().toString(qulonglong(bytes.size())) + " bytes ("))
        << report.toStdString();
    EXPECT_EQ(publish_ui::LastImage(), image) << "Burn Disc offers it next";
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

TEST_F(DiscCommands, AFailedImageReachesTheErrorBoxNamingTheFile) {
    MakeProject(project_, false);
    TForm1& form = Form();
    const std::string output = project_ + "/show.iso";
    DialogScript script({{"ImageDialog", [&](QWidget* w) {
                              auto* dialog = static_cast<publish_ui::ImageDialog*>(w);
                              dialog->OutputEdit()->setText(QString::fromStdString(output));
                              dialog->accept();
                          }}});
    form.MakeCDImage1->trigger();
    EXPECT_EQ(script.Seen(), QStringList{"ImageDialog"});
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find(output + " lies inside the project folder"), std::string::npos) << errors_[0];
    EXPECT_EQ(Names(tmp_.Path()), (std::vector<std::string>{"Spring Show", "wiz"}));
    EXPECT_FALSE(std::filesystem::exists(output));
}

// An output no image may replace is refused in the dialog, by the library's rule, before anything is checked.
TEST_F(DiscCommands, ImageDialogRefusesAnOutputThatIsNoFile) {
    MakeProject(project_, false);
    TForm1& form = Form();
    const std::string pipe = tmp_ / "pipe.iso";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {pipe, "The image file " + pipe + " is a pipe (FIFO), not a file; choose another name."},
        {tmp_ / "wiz", "The image file " + tmp_ / "wiz" + " is a folder, not a file; choose another name."},
        {tmp_ / "missing/show.iso",
         "The folder " + tmp_ / "missing" + " for the image file " + tmp_ / "missing/show.iso" + " does not exist."},
    };
    for (const auto& [output, message] : cases) {
        SCOPED_TRACE(output);
        QString refusal;
        DialogScript script({{"ImageDialog",
                              [&](QWidget* w) {
                                  auto* dialog = static_cast<publish_ui::ImageDialog*>(w);
                                  dialog->OutputEdit()->setText(QString::fromStdString(output));
                                  // Later, so that the script is free to answer the box this opens.
                                  QTimer::singleShot(0, dialog, [dialog] { dialog->accept(); });
                              }},
                             {"OutputRefused", [&](QWidget* w) {
                                  refusal = static_cast<QMessageBox*>(w)->text();
                                  static_cast<QMessageBox*>(w)->accept();
                              }}});
        form.MakeCDImage1->trigger();
        // The dialog stays for another name; the script then cancels it.
        EXPECT_EQ(script.Seen(), (QStringList{"ImageDialog", "OutputRefused", "ImageDialog"}));
        EXPECT_EQ(refusal.toStdString(), message);
    }
    EXPECT_EQ(errors_, std::vector<std::string>{});
    struct stat info {};
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(Names(tmp_.Path()), (std::vector<std::string>{"Spring Show", "pipe.iso", "wiz"}));
}

TEST_F(DiscCommands, BurnDiscWithoutADriveSaysSoAndOffersOnlyClose) {
    if (!publish::ListDrives().empty()) GTEST_SKIP() << "this machine has an optical drive";
    MakeProject(project_, false);
    TForm1& form = Form();
    QString said;
    QStringList buttons;
    bool asksNothing = false;
    DialogScript script({{"BurnDialog", [&](QWidget* w) {
                              said = w->findChild<QLabel*>("NoDriveLabel")->text();
                              for (const QAbstractButton* button : w->findChildren<QAbstractButton*>())
                                  buttons << QString(button->text()).remove(QChar('&'));
                              asksNothing =
                                  w->findChildren<QLineEdit*>().isEmpty() && w->findChildren<QComboBox*>().isEmpty();
                              w->findChild<QPushButton*>("CloseButton")->click();
                          }}});
    form.BurnDisc1->trigger();
    EXPECT_EQ(script.Seen(), QStringList{"BurnDialog"});
    EXPECT_EQ(said, "No disc drive was found on this computer.\n\nConnect a drive that can write CDs or DVDs, put a "
                    "blank disc in it, and choose Burn Disc again.");
    EXPECT_EQ(buttons, QStringList{"Close"});
    EXPECT_TRUE(asksNothing);
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

TEST_F(DiscCommands, BurnDialogOffersTheLastImageAsksBeforeBlankingAndBurnsOnTheWorker) {
    const std::string image = tmp_ / "SHOW.iso";
    std::string bytes(3 * 1024 * 1024 + 5, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i % 251);
    bytes = testing_support::AsIsoImage(bytes);
    WriteBytes(image, bytes);
    publish_ui::RememberLastImage(image);
    const std::string target = tmp_ / "disc.bin";
    // A file holding data is a rewritable disc holding data, asked about alike.
    const std::string held = tmp_ / "held.bin";
    WriteBytes(held, std::string(300000, 'd'));
    publish::DriveInfo used; // a rewritable disc with a session on it, in a drive the scan found
    used.address = "/dev/sr7";
    used.vendor = "TEST";
    used.product = "WRITER";
    used.state = publish::DiscState::Appendable;
    used.mediumType = "CD-RW";
    used.rewritable = true;
    used.capacity = 100 * 1024 * 1024;
    used.speeds = {4, 10};

    publish_ui::BurnDialog dialog(publish_ui::LastImage(), {publish::InspectDrive("stdio:" + target), used,
                                                            publish::InspectDrive("stdio:" + held)});
    EXPECT_EQ(dialog.ImageEdit()->text().toStdString(), image);
    EXPECT_EQ(dialog.DriveCombo()->itemText(0).toStdString(), "stdio:" + target);
    EXPECT_EQ(dialog.DriveCombo()->itemText(1), "/dev/sr7 (TEST WRITER)");
    EXPECT_TRUE(dialog.DiscLabel()->text().startsWith("stdio file, blank, rewritable, "));
    EXPECT_EQ(dialog.SpeedCombo()->count(), 1);
    EXPECT_TRUE(dialog.VerifyCheck()->isChecked());
    EXPECT_EQ(dialog.findChild<QLabel*>("WarningLabel")->text(),
              "A write-once disc (CD-R, DVD-R, DVD+R) whose burning is cancelled or fails cannot be used again.");

    // The used disc is blanked only once the question is answered Yes.
    dialog.DriveCombo()->setCurrentIndex(1);
    EXPECT_EQ(dialog.DiscLabel()->text(), "CD-RW, appendable, rewritable, 100.0 MB free");
    QStringList speeds;
    for (int i = 0; i < dialog.SpeedCombo()->count(); ++i)
        speeds << dialog.SpeedCombo()->itemText(i);
    EXPECT_EQ(speeds, (QStringList{"Best", "4x", "10x"}));
    dialog.SpeedCombo()->setCurrentIndex(2);
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        QString question;
        DialogScript script({{"", [&](QWidget* w) {
                                  question = static_cast<QMessageBox*>(w)->text();
                                  static_cast<QMessageBox*>(w)->button(answer)->click();
                              }}});
        dialog.show();
        dialog.accept();
        EXPECT_TRUE(question.startsWith("The rewritable disc in the drive /dev/sr7 (TEST WRITER) holds data."));
        EXPECT_EQ(dialog.result(), answer == QMessageBox::Yes ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(dialog.Options().blank, answer == QMessageBox::Yes);
    }
    EXPECT_EQ(dialog.Options().drive, "/dev/sr7");
    EXPECT_EQ(dialog.Options().speed, 10);

    dialog.DriveCombo()->setCurrentIndex(2);
    EXPECT_EQ(dialog.DiscLabel()->text(), "stdio file, closed, rewritable");
    {
        QString question;
        DialogScript script({{"", [&](QWidget* w) {
                                  question = static_cast<QMessageBox*>(w)->text();
                                  static_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click();
                              }}});
        dialog.show();
        dialog.accept();
        EXPECT_EQ(question.toStdString(), "The rewritable disc in the drive stdio:" + held +
                                              " holds data. Blank it, erasing everything on it, and burn the image?");
    }
    const auto blanked = publish_ui::BurnBehindProgress(nullptr, dialog.ImagePath(), dialog.Options());
    ASSERT_TRUE(blanked.has_value());
    EXPECT_EQ(blanked->outcome, publish::BurnOutcome::Verified) << blanked->message;
    EXPECT_TRUE(blanked->blanked);
    EXPECT_EQ(ReadBytes(held), bytes + std::string(1537 * 2048 - bytes.size(), '\0'));

    dialog.DriveCombo()->setCurrentIndex(0);
    const publish::BurnOptions options = dialog.Options();
    EXPECT_FALSE(options.blank) << "the agreement went with the other drive";
    const auto result = publish_ui::BurnBehindProgress(nullptr, dialog.ImagePath(), options);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->outcome, publish::BurnOutcome::Verified) << result->message;
    EXPECT_EQ(ReadBytes(target).substr(0, bytes.size()), bytes);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
