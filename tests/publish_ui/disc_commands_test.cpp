// The window's disc commands on the offscreen platform: the menu, the dialogs, the worker and its Cancel.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
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
#include "publish/publish.h"
#include "publish_ui/check_dialog.h"
#include "publish_ui/disc_commands.h"
#include "publish_ui/image_dialog.h"
#include "publish_ui/progress_run.h"
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
    EXPECT_EQ(texts, (QStringList{"&Check Project...", "&Make CD Image...", "&Test Disc Image...", "E&xit"}));
    EXPECT_EQ(form.File1->actions().indexOf(form.Exit1), 4);
    EXPECT_EQ(form.CheckProject1->objectName(), QString("CheckProject1"));
    EXPECT_EQ(form.MakeCDImage1->objectName(), QString("MakeCDImage1"));
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
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

TEST_F(DiscCommands, AFailedImageReachesTheErrorBoxNamingTheFile) {
    MakeProject(project_, false);
    TForm1& form = Form();
    const std::string output = tmp_ / "missing/show.iso";
    DialogScript script({{"ImageDialog", [&](QWidget* w) {
                              auto* dialog = static_cast<publish_ui::ImageDialog*>(w);
                              dialog->OutputEdit()->setText(QString::fromStdString(output));
                              dialog->accept();
                          }}});
    form.MakeCDImage1->trigger();
    EXPECT_EQ(script.Seen(), QStringList{"ImageDialog"});
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find(tmp_ / "missing"), std::string::npos) << errors_[0];
    EXPECT_EQ(Names(tmp_.Path()), (std::vector<std::string>{"Spring Show", "wiz"}));
}

} // namespace
