// The scan of a newly chosen project folder: the status log, the settings it loads and keeps,
// the first activation and the double-click that picks the first page.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <thread>

#include "framework/memo.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker/TFileListBox.h"
#include "platform/posix/drive_table.h"
#include "runtime/file_services.h"
#include "wizard_job_support.h"

namespace wizard_job {
namespace {

void ShowAndWaitForActivation(TForm1& form) {
    form.show();
    form.activateWindow();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!form.Activated() && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

using testing_support::WriteBytes;

const char kNoSettings[] = "No kvd.cfg file present in project folder. One will be written during preview.";
const char kSettingsLoaded[] = "Existing kvd.cfg file present, settings loaded.";
const char kNoViewer[] = "KVD.EXE not present. It will be copied to project folder during preview.";

std::string PageMissing(const std::string& page) {
    return "Warning: your first page, " + page + ", does not exist in project folder.";
}
std::string PagePresent(const std::string& page) { return "Your first page, " + page + ", is present. Ready to preview."; }

using Scan = WizardJob;

TEST_F(Scan, LogsEveryMixOfSettingsViewerAndFirstPage) {
    TForm1& form = Form();
    for (int mix = 0; mix < 8; ++mix) {
        const bool withSettings = mix & 1, withViewer = mix & 2, withPage = mix & 4;
        SCOPED_TRACE("settings " + std::to_string(withSettings) + ", viewer " + std::to_string(withViewer) +
                     ", page " + std::to_string(withPage));
        const std::string name = "p" + std::to_string(mix);
        const std::string folder = MakeProject(name);
        // A loaded file decides which page is looked for; without one the page typed stays.
        SetText(form.FirstFile, "typed.htm");
        const std::string page = withSettings ? "loaded.htm" : "typed.htm";
        if (withSettings) WriteBytes(folder + "/kvd.cfg", Record("loaded.htm", "T", "U", "-", "-", "1", "2"));
        if (withViewer) WriteBytes(folder + "/kvd.exe", "viewer");
        if (withPage) WriteBytes(folder + "/" + page, "<html>");

        OpenFolder("C:\\" + name);

        std::string expected = "Project folder: C:\\" + name + "\\";
        expected += "\r\n" + std::string(withSettings ? kSettingsLoaded : kNoSettings);
        if (!withViewer) expected += "\r\n" + std::string(kNoViewer);
        expected += "\r\n" + (withPage ? PagePresent(page) : PageMissing(page));
        EXPECT_EQ(Log(), expected);
        EXPECT_EQ(Text(form.FirstFile), page);
        EXPECT_EQ(form.ProjectFolder(), "C:\\" + name + "\\");
    }
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(Scan, FolderWithoutSettingsKeepsThoseOfThePreviousFolder) {
    TForm1& form = Form();
    const std::string a = MakeProject("a"), b = MakeProject("b");
    WriteBytes(a + "/kvd.cfg", Record("a.htm", "T", "U", "M", "N", "300", "200"));
    WriteBytes(b + "/a.htm", "<html>");

    OpenFolder("C:\\a");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\a\\", kSettingsLoaded, kNoViewer, PageMissing("a.htm")}));

    OpenFolder("C:\\b");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\b\\", kNoSettings, kNoViewer, PagePresent("a.htm")}));
    EXPECT_EQ(Text(form.FirstFile), "a.htm");
    EXPECT_EQ(Text(form.WebLinkText), "T");
    EXPECT_EQ(Text(form.WebLinkURL), "U");
    EXPECT_TRUE(form.MaximiseCheck->isChecked());
    EXPECT_TRUE(form.BorderlessCheck->isChecked());
    EXPECT_EQ(Text(form.FormHeight), "300");
    EXPECT_EQ(Text(form.FormWidth), "200");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Scan, FilesNamedInCapitalsAreTheFilesTheWizardLooksFor) {
    // A folder copied from a CD often carries its names in capitals; they are the same files.
    TForm1& form = Form();
    const std::string p = MakeProject("cd");
    WriteBytes(p + "/KVD.CFG", Record("INDEX.HTM", "T", "U", "-", "-", "300", "200"));
    WriteBytes(p + "/KVD.EXE", "viewer");
    WriteBytes(p + "/index.htm", "<html>");
    OpenFolder("C:\\cd");
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\cd\\", kSettingsLoaded, PagePresent("INDEX.HTM")}));
    EXPECT_EQ(Text(form.FormHeight), "300");
    // The write step replaces the settings file in place instead of adding a second one.
    Run([&] { form.Button1Click(); });
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(testing_support::ReadBytes(p + "/KVD.CFG"), Record("INDEX.HTM", "T", "U", "-", "-", "300", "200"));
    EXPECT_FALSE(testing_support::HostExists(p + "/kvd.cfg"));
}

TEST_F(Scan, AFirstPageTypedWithTrailingPeriodsOrSpacesIsThePageWithoutThem) {
    TForm1& form = Form();
    const std::string p = MakeProject("site");
    WriteBytes(p + "/index.htm", "<html>");
    WriteBytes(p + "/kvd.exe", "viewer");
    for (const std::string typed : {"index.htm ", "index.htm.", "index.htm. .", "index.htm"}) {
        SetText(form.FirstFile, typed);
        OpenFolder("C:\\");
        OpenFolder("C:\\site");
        EXPECT_EQ(Log(), Lines({"Project folder: C:\\site\\", kNoSettings, PagePresent(typed)})) << typed;
    }
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(Scan, SettingsWithOnlyThreeLinesEmptyTheSizesAndKeepTheBoxes) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/kvd.cfg", "a.htm\r\nT\r\nU\r\n");
    form.MaximiseCheck->setChecked(true);

    OpenFolder("C:\\p");

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kSettingsLoaded, kNoViewer, PageMissing("a.htm")}));
    EXPECT_EQ(Text(form.FirstFile), "a.htm");
    EXPECT_TRUE(form.MaximiseCheck->isChecked());
    EXPECT_FALSE(form.BorderlessCheck->isChecked());
    EXPECT_EQ(Text(form.FormHeight), "");
    EXPECT_EQ(Text(form.FormWidth), "");
}

TEST_F(Scan, DriveRootIsWrittenWithOneBackslash) {
    TForm1& form = Form();
    MakeProject("p");
    WriteBytes(Host("index.htm"), "<html>");
    OpenFolder("C:\\p");  // away from the root the window started in, so the next write is a change

    OpenFolder("C:\\");

    EXPECT_EQ(form.ProjectFolder(), "C:\\");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\", kNoSettings, kNoViewer, PagePresent("index.htm")}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Scan, DashAsFirstPageIsMissingUnlessAFileIsNamedDash) {
    Form();
    const std::string a = MakeProject("a"), b = MakeProject("b");
    WriteBytes(a + "/kvd.cfg", Record("-", "-", "-", "-", "-", "400", "600"));
    WriteBytes(b + "/kvd.cfg", Record("-", "-", "-", "-", "-", "400", "600"));
    WriteBytes(b + "/-", "dash");
    WriteBytes(b + "/kvd.exe", "viewer");

    OpenFolder("C:\\a");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\a\\", kSettingsLoaded, kNoViewer, PageMissing("-")}));
    OpenFolder("C:\\b");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\b\\", kSettingsLoaded, PagePresent("-")}));
}

TEST_F(Scan, FolderNamedLikeThePageIsNotAPage) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    testing_support::MakeDirs(p + "/index.htm");
    testing_support::MakeDirs(p + "/kvd.cfg");
    testing_support::MakeDirs(p + "/kvd.exe");

    OpenFolder("C:\\p");

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kNoSettings, kNoViewer, PageMissing("index.htm")}));
    EXPECT_EQ(Text(form.FirstFile), "index.htm");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Scan, ReadErrorInSettingsEndsTheScanAfterTheFolderLine) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    // Reading this file's first block fails with EIO even for root: nothing is mapped at address 0.
    ASSERT_EQ(symlink("/proc/self/mem", (p + "/kvd.cfg").c_str()), 0);
    if (!rtl::FileExists("C:\\p\\kvd.cfg")) GTEST_SKIP() << "the existence test does not count the link as a file";
    SetText(form.FirstFile, "kept.htm");

    OpenFolder("C:\\p");

    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind("I/O error ", 0), 0u) << errors_[0];
    EXPECT_EQ(Log(), "Project folder: C:\\p\\");
    EXPECT_EQ(Text(form.FirstFile), "kept.htm");
}

TEST_F(Scan, ChoosingAnotherDriveScansItsCurrentFolder) {
    const std::string d = DriveCFolder() + "-d";
    testing_support::MakeDirs(d);
    WriteBytes(d + "/kvd.cfg", Record("d.htm", "T", "U", "-", "-", "400", "600"));
    WriteBytes(d + "/d.htm", "<html>");
    AddDrive('D', d);
    TForm1& form = Form();
    Run([&] { form.DriveComboBox1->CreateWnd(); });
    errors_.clear();

    Run([&] { form.DriveComboBox1->SetSelectedDrive('d'); });

    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(form.DirectoryListBox1->FolderPath(), "D:\\");
    EXPECT_EQ(Log(), Lines({"Project folder: D:\\", kSettingsLoaded, kNoViewer, PagePresent("d.htm")}));
}

TEST_F(Scan, DriveThatIsNotReadyLeavesFolderAndLogAsTheyWere) {
    const std::string e = DriveCFolder() + "-e";  // never made: the drive has no medium
    AddDrive('E', e);
    TForm1& form = Form();
    MakeProject("p");
    Run([&] { form.DriveComboBox1->CreateWnd(); });
    OpenFolder("C:\\p");
    const std::string log = Log();
    errors_.clear();

    Run([&] { form.DriveComboBox1->SetSelectedDrive('e'); });

    EXPECT_EQ(errors_, std::vector<std::string>{"I/O error 21"});
    EXPECT_EQ(form.DirectoryListBox1->FolderPath(), "C:\\p");
    EXPECT_EQ(Log(), log);
}

class FirstPagePick : public WizardJob {
protected:
    // The file list reads its entries only once its window exists.
    TForm1& FormWithFileList() {
        TForm1& form = Form();
        form.FileListBox1->CreateWnd();
        return form;
    }
    int RowOf(TForm1& form, const std::string& text) {
        for (int i = 0; i < form.FileListBox1->EntryCount(); ++i) {
            if (form.FileListBox1->EntryText(i) == text) return i;
        }
        return -1;
    }
};

TEST_F(FirstPagePick, DoubleClickTakesTheEntryInItsStoredCaseAndLogsNothing) {
    TForm1& form = FormWithFileList();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/Index.HTM", "<html>");
    WriteBytes(p + "/b.htm", "<html>");
    OpenFolder("C:\\p");
    const std::string log = Log();

    const int row = RowOf(form, "Index.HTM");
    ASSERT_GE(row, 0) << "the file list does not show Index.HTM";
    form.FileListBox1->SetItemIndex(row);
    Run([&] { form.FileListBox1DblClick(); });

    EXPECT_EQ(Text(form.FirstFile), "Index.HTM");
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FirstPagePick, EnterOnAnEntryPicksItAsADoubleClickDoes) {
    TForm1& form = FormWithFileList();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/Index.HTM", "<html>");
    WriteBytes(p + "/b.htm", "<html>");
    OpenFolder("C:\\p");
    const std::string log = Log();

    form.FileListBox1->SetItemIndex(RowOf(form, "b.htm"));
    QTest::keyClick(form.FileListBox1, Qt::Key_Return);
    EXPECT_EQ(Text(form.FirstFile), "b.htm");
    form.FileListBox1->SetItemIndex(RowOf(form, "Index.HTM"));
    QTest::keyClick(form.FileListBox1, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Text(form.FirstFile), "Index.HTM");
    EXPECT_EQ(Log(), log);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FirstPagePick, DoubleClickWithoutSelectionEmptiesTheFirstPage) {
    TForm1& form = FormWithFileList();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/b.htm", "<html>");
    OpenFolder("C:\\p");
    form.FileListBox1->SetItemIndex(-1);

    Run([&] { form.FileListBox1DblClick(); });

    EXPECT_EQ(Text(form.FirstFile), "");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FirstPagePick, MouseDoubleClickOnARowReachesTheHandler) {
    TForm1& form = FormWithFileList();
    // The first activation points the lists at the wizard folder; let it pass before choosing.
    ShowAndWaitForActivation(form);
    const std::string p = MakeProject("p");
    WriteBytes(p + "/a.htm", "<html>");
    WriteBytes(p + "/Zed.htm", "<html>");
    OpenFolder("C:\\p");
    const int row = RowOf(form, "Zed.htm");
    ASSERT_GE(row, 0);
    const QRect rect = form.FileListBox1->visualRect(form.FileListBox1->model()->index(row, 0));
    QTest::mouseClick(form.FileListBox1->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(form.FileListBox1->viewport(), Qt::LeftButton, {}, rect.center());

    EXPECT_EQ(Text(form.FirstFile), "Zed.htm");
    EXPECT_TRUE(errors_.empty());
}

using Activation = WizardJob;

TEST_F(Activation, FirstActivationPointsTheFolderListAtTheWizardFolderAndScansIt) {
    TForm1& form = Form();
    // First start: the wizard folder had no settings file, so an empty one was made.
    ASSERT_TRUE(testing_support::HostExists(Host("wiz/kvd.cfg")));
    EXPECT_EQ(testing_support::ReadBytes(Host("wiz/kvd.cfg")), "");
    EXPECT_EQ(form.WizardFolder(), "C:\\wiz\\");
    EXPECT_FALSE(form.Activated());
    WriteBytes(Host("wiz/kvd.exe"), "viewer");

    Run([&] { form.FormActivate(); });

    EXPECT_TRUE(form.Activated());
    EXPECT_EQ(form.DirectoryListBox1->FolderPath(), "C:\\wiz");
    EXPECT_EQ(form.ProjectFolder(), "C:\\wiz\\");
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\wiz\\", kSettingsLoaded, PageMissing("index.htm")}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Activation, WizardInADriveRootIsScannedAlthoughTheFolderListStaysPut) {
    // The folder list starts at C:\ already, so pointing it there raises no change event.
    platform::posix::SetModuleFileNameForTesting("C:\\kvd_gen");
    WriteBytes(Host("kvd.exe"), "viewer");
    TForm1& form = Form();
    ASSERT_EQ(form.DirectoryListBox1->FolderPath(), "C:\\");

    Run([&] { form.FormActivate(); });

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\", kSettingsLoaded, PageMissing("index.htm")}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Activation, ShowingTheWindowActivatesItOnceOnly) {
    TForm1& form = Form();
    WriteBytes(Host("wiz/kvd.cfg"), Record("w.htm", "T", "U", "-", "-", "400", "600"));
    MakeProject("p");
    ShowAndWaitForActivation(form);
    ASSERT_TRUE(form.Activated()) << "the window was never activated";
    EXPECT_EQ(form.DirectoryListBox1->FolderPath(), "C:\\wiz");
    EXPECT_EQ(Text(form.FirstFile), "w.htm");

    OpenFolder("C:\\p");
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    form.activateWindow();
    QApplication::processEvents();
    form.hide();
    form.show();
    QApplication::processEvents();

    EXPECT_EQ(form.DirectoryListBox1->FolderPath(), "C:\\p");
    EXPECT_EQ(Log().rfind("Project folder: C:\\p\\", 0), 0u);
}

}  // namespace
}  // namespace wizard_job
