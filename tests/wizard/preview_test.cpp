// Preview and help: the viewer copy, the log, the files written, and the viewer really started
// (the wizard folder's kvd.exe is a recorder program that saves how it was started).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <thread>

#include "framework/guard.h"
#include "framework/memo.h"
#include "kvd_gen1.h"
#include "picker/TFileListBox.h"
#include "platform/posix/drive_table.h"
#include "wizard_job_support.h"

namespace wizard_job {
namespace {

using testing_support::HostExists;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

const char kCopied[] = "KVD.EXE copied to project folder";
const char kAttention[] =
    "Attention: you have specified the borderless option. Please make sure that your content explains how to exit "
    "KVD! (See the help file if you are unsure about this)";

std::string PageError(const std::string& page) {
    return "Error: your first page, " + page + ", does not exist in project folder.";
}
std::string PageFound(const std::string& page) { return "Your first page, " + page + ", is present."; }

class Preview : public WizardJob {
protected:
    void SetUp() override {
        WizardJob::SetUp();
        InstallProgram(RecorderPath(), Host("wiz/kvd.exe"));
        WriteBytes(Host("wiz/kvdhelp.htm"), "<html>help</html>");
        viewer_ = ReadBytes(Host("wiz/kvd.exe"));
    }
    // The recorder's report from the folder it was started in, waited for.
    std::vector<std::string> ViewerArguments(const std::string& hostFolder) {
        const std::string file = hostFolder + "/kvd-args.txt";
        if (!WaitForFile(file)) {
            ADD_FAILURE() << "no viewer was started in " << hostFolder;
            return {};
        }
        return SplitRecordedArguments(ReadBytes(file));
    }
    // A viewer started by mistake reports within milliseconds; a second is ample.
    void ExpectNoViewerIn(const std::string& hostFolder) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_FALSE(HostExists(hostFolder + "/kvd-args.txt")) << "a viewer was started in " << hostFolder;
    }
    std::string viewer_;
};

TEST_F(Preview, CopiesTheViewerKeepsItRunnableAndStartsIt) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/index.htm", "<html>");
    OpenFolder("C:\\p");

    form.Button2->click();

    EXPECT_TRUE(errors_.empty()) << errors_.front();
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageFound("index.htm")}));
    EXPECT_EQ(ReadBytes(p + "/kvd.exe"), viewer_);
    EXPECT_TRUE(IsExecutable(p + "/kvd.exe"));
    const std::string tokens = Tokens({"-", "index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"});
    EXPECT_EQ(form.LaunchParams, tokens);
    EXPECT_EQ(ReadBytes(p + "/autorun.inf"), "[autorun]\r\nopen=KVD.exe" + tokens);
    EXPECT_EQ(ReadBytes(p + "/kvd.cfg"), Record("index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"));
    EXPECT_EQ(ViewerArguments(p),
              (std::vector<std::string>{"-", "index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"}));
    EXPECT_EQ(ReadBytes(p + "/kvd-cwd.txt"), p);
}

TEST_F(Preview, FileListKeepsTheEntriesItReadBefore) {
    TForm1& form = Form();
    form.FileListBox1->CreateWnd();
    const std::string p = MakeProject("p"), q = MakeProject("q");
    WriteBytes(p + "/index.htm", "<html>");
    OpenFolder("C:\\p");
    ASSERT_EQ(form.FileListBox1->EntryCount(), 1);

    Run([&] { form.Button2Click(); });
    EXPECT_EQ(form.FileListBox1->EntryCount(), 1);
    ViewerArguments(p);

    // Only listing another folder in between shows what the preview wrote.
    OpenFolder("C:\\q");
    OpenFolder("C:\\p");
    QStringList entries;
    for (int i = 0; i < form.FileListBox1->EntryCount(); ++i)
        entries << QString::fromStdString(form.FileListBox1->EntryText(i));
    EXPECT_TRUE(entries.contains("kvd.exe") && entries.contains("kvd.cfg") && entries.contains("autorun.inf"))
        << entries.join(", ").toStdString();
}

TEST_F(Preview, ReplacesAnOldViewerCopy) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    InstallProgram("/bin/true", p + "/kvd.exe");
    OpenFolder("C:\\p");

    Run([&] { form.Button2Click(); });

    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageError("index.htm")}));
    EXPECT_EQ(ReadBytes(p + "/kvd.exe"), viewer_);
    EXPECT_EQ(ViewerArguments(p).size(), 8u);
}

// A link named kvd.exe is replaced by the copy itself, whether it leads nowhere or to a file: what
// it points to is never created or changed. Dated before 1980, what the name leads to is no file
// to the wizard's test of existence, so the link is not deleted first and the copy meets it.
TEST_F(Preview, ReplacesALinkNamedLikeTheViewerNeverWhatItLeadsTo) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    testing_support::MakeDirs(Host("other"));
    WriteBytes(Host("other/kept.exe"), "kept");
    const timespec old[2] = {{86400, 0}, {86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Host("other/kept.exe").c_str(), old, 0), 0);
    for (const std::string& target : {Host("other/made.exe"), std::string("../other/kept.exe")}) {
        SCOPED_TRACE(target);
        ::unlink((p + "/kvd.exe").c_str());
        ::unlink((p + "/kvd-args.txt").c_str());
        ASSERT_EQ(::symlink(target.c_str(), (p + "/kvd.exe").c_str()), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, (p + "/kvd.exe").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
        OpenFolder("C:\\p");

        Run([&] { form.Button2Click(); });

        EXPECT_TRUE(errors_.empty());
        EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageError("index.htm")}));
        struct stat info {};
        ASSERT_EQ(::lstat((p + "/kvd.exe").c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(ReadBytes(p + "/kvd.exe"), viewer_);
        EXPECT_TRUE(IsExecutable(p + "/kvd.exe"));
        EXPECT_FALSE(HostExists(Host("other/made.exe")));
        EXPECT_EQ(ReadBytes(Host("other/kept.exe")), "kept");
        EXPECT_EQ(ViewerArguments(p).size(), 8u);
    }
}

TEST_F(Preview, MissingSourceStopsBeforeAnythingIsWritten) {
    TForm1& form = Form();
    ASSERT_EQ(unlink(Host("wiz/kvd.exe").c_str()), 0);
    const std::string p = MakeProject("p");
    WriteBytes(p + "/index.htm", "<html>");
    OpenFolder("C:\\p");
    errors_.clear();

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(errors_, std::vector<std::string>{"Cannot open file C:\\wiz\\kvd.exe"});
    EXPECT_EQ(Log(), "Project folder: C:\\p\\");
    EXPECT_FALSE(HostExists(p + "/kvd.exe"));
    EXPECT_FALSE(HostExists(p + "/kvd.cfg"));
    EXPECT_FALSE(HostExists(p + "/autorun.inf"));
    EXPECT_EQ(form.LaunchParams, "");
}

TEST_F(Preview, MissingSourceIsShownInTheErrorBoxAsTheUserSeesIt) {
    TForm1& form = Form();
    ASSERT_EQ(unlink(Host("wiz/kvd.exe").c_str()), 0);
    MakeProject("p");
    OpenFolder("C:\\p");
    framework::SetExceptionHook(nullptr);

    QString text, title;
    int buttons = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->objectName() != "ErrorBox") return;
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->done(QMessageBox::Ok);
    });
    watcher.start(20);

    form.Button2->click();  // returns once the modal box is dismissed
    watcher.stop();

    EXPECT_EQ(text.toStdString(), "Cannot open file C:\\wiz\\kvd.exe.");
    EXPECT_EQ(title.toStdString(), "kvd_gen");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(Log(), "Project folder: C:\\p\\");
}

TEST_F(Preview, MissingSourceAfterAnOldCopyWasRemoved) {
    TForm1& form = Form();
    ASSERT_EQ(unlink(Host("wiz/kvd.exe").c_str()), 0);
    const std::string p = MakeProject("p");
    WriteBytes(p + "/kvd.exe", "old viewer");
    OpenFolder("C:\\p");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(errors_, std::vector<std::string>{"Cannot open file C:\\wiz\\kvd.exe"});
    EXPECT_FALSE(HostExists(p + "/kvd.exe"));
    EXPECT_FALSE(HostExists(p + "/kvd.cfg"));
}

TEST_F(Preview, DriveRootAsProjectFolder) {
    TForm1& form = Form();
    MakeProject("p");
    OpenFolder("C:\\p");
    OpenFolder("C:\\");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\", kCopied, PageError("index.htm")}));
    EXPECT_EQ(ReadBytes(Host("kvd.exe")), viewer_);
    EXPECT_EQ(ReadBytes(Host("kvd.cfg")), Record("index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"));
    EXPECT_TRUE(HostExists(Host("autorun.inf")));
    EXPECT_EQ(ViewerArguments(DriveCFolder()).size(), 8u);
}

TEST_F(Preview, TargetThatCannotBeCreatedStopsThePreview) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    testing_support::MakeDirs(p + "/kvd.exe");  // a folder is no file: it is neither deleted nor replaced
    OpenFolder("C:\\p");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(errors_, std::vector<std::string>{"Cannot create file C:\\p\\kvd.exe"});
    EXPECT_EQ(Log(), "Project folder: C:\\p\\");
    EXPECT_FALSE(HostExists(p + "/kvd.cfg"));
}

TEST_F(Preview, WriteFailureAfterTheCopyStartsNoViewer) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    testing_support::MakeDirs(p + "/kvd.cfg");
    OpenFolder("C:\\p");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(errors_, std::vector<std::string>{"File access denied"});
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageError("index.htm")}));
    EXPECT_EQ(ReadBytes(p + "/kvd.exe"), viewer_);
    EXPECT_FALSE(HostExists(p + "/autorun.inf"));
    ExpectNoViewerIn(p);
}

TEST_F(Preview, BorderlessAttentionIsTheLastLine) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/index.htm", "<html>");
    OpenFolder("C:\\p");
    form.BorderlessCheck->setChecked(true);

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageFound("index.htm"), kAttention}));
    EXPECT_EQ(ViewerArguments(p),
              (std::vector<std::string>{"-", "index.htm", "Visit us on the Web!", defaultUrl_, "-", "N", "400", "600"}));
}

TEST_F(Preview, DebugPreviewWritesDUntilTheNextNormalPreview) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    OpenFolder("C:\\p");

    form.Button3->click();

    EXPECT_FALSE(form.DebugCheck->isChecked());
    const std::string rest = Tokens({"index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"});
    EXPECT_EQ(ReadBytes(p + "/autorun.inf"), "[autorun]\r\nopen=KVD.exe" + Tokens({"d"}) + rest);
    const std::vector<std::string> debugArguments = ViewerArguments(p);
    ASSERT_FALSE(debugArguments.empty());
    EXPECT_EQ(debugArguments[0], "d");
    ASSERT_EQ(unlink((p + "/kvd-args.txt").c_str()), 0);

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(ReadBytes(p + "/autorun.inf"), "[autorun]\r\nopen=KVD.exe" + Tokens({"-"}) + rest);
    const std::vector<std::string> arguments = ViewerArguments(p);
    ASSERT_FALSE(arguments.empty());
    EXPECT_EQ(arguments[0], "-");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Preview, BlankFirstPageIsLoggedBlankThenWrittenAsDash) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    OpenFolder("C:\\p");
    SetText(form.FirstFile, "");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(Log(), Lines({"Project folder: C:\\p\\", kCopied, PageError("")}));
    EXPECT_EQ(Text(form.FirstFile), "-");
    EXPECT_EQ(ReadBytes(p + "/kvd.cfg"), Record("-", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"));
    const std::vector<std::string> arguments = ViewerArguments(p);
    ASSERT_EQ(arguments.size(), 8u);
    EXPECT_EQ(arguments[1], "-");
}

TEST_F(Preview, ViewerGetsTheProjectSettings) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    WriteBytes(p + "/kvd.cfg", Record("start.htm", "Link", "http://example.invalid/", "-", "N", "300", "500"));
    WriteBytes(p + "/start.htm", "<html>");
    OpenFolder("C:\\p");

    Run([&] { form.Button2Click(); });

    EXPECT_EQ(ViewerArguments(p), (std::vector<std::string>{"-", "start.htm", "Link", "http://example.invalid/", "-",
                                                            "N", "300", "500"}));
    EXPECT_EQ(ReadBytes(p + "/kvd-cwd.txt"), p);
}

TEST_F(Preview, MaximizedViewerGetsNoSizes) {
    TForm1& form = Form();
    const std::string p = MakeProject("p"), q = MakeProject("q");
    OpenFolder("C:\\p");
    form.MaximiseCheck->setChecked(true);

    Run([&] { form.Button2Click(); });
    EXPECT_EQ(ViewerArguments(p), (std::vector<std::string>{"-", "index.htm", "Visit us on the Web!", defaultUrl_, "M"}));

    OpenFolder("C:\\q");
    form.BorderlessCheck->setChecked(true);
    Run([&] { form.Button2Click(); });
    EXPECT_EQ(ViewerArguments(q),
              (std::vector<std::string>{"-", "index.htm", "Visit us on the Web!", defaultUrl_, "M", "N"}));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Preview, HelpStartsTheViewerOfTheCurrentFolderWithTheHelpPage) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    InstallProgram(RecorderPath(), p + "/kvd.exe");
    OpenFolder("C:\\p");
    const std::string log = Log();

    form.Contents1->trigger();

    EXPECT_EQ(ViewerArguments(p),
              (std::vector<std::string>{"-", "C:\\wiz\\kvdhelp.htm", "-", "-", "-", "-", "600", "700"}));
    EXPECT_EQ(ReadBytes(p + "/kvd-cwd.txt"), p);
    EXPECT_EQ(form.LaunchParams, "");
    EXPECT_EQ(Log(), log);
    EXPECT_FALSE(HostExists(p + "/kvd.cfg"));
    EXPECT_FALSE(HostExists(p + "/autorun.inf"));
    EXPECT_TRUE(errors_.empty());
}

// The shell looks for the bare name in the wizard folder last, so help shows even in a project
// folder that has no viewer copy yet; nothing is copied there.
TEST_F(Preview, HelpInAFolderWithoutAViewerStartsTheWizardFoldersViewer) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    OpenFolder("C:\\p");

    form.Contents1->trigger();

    EXPECT_EQ(ViewerArguments(Host("wiz")),
              (std::vector<std::string>{"-", "C:\\wiz\\kvdhelp.htm", "-", "-", "-", "-", "600", "700"}));
    EXPECT_EQ(ReadBytes(Host("wiz/kvd-cwd.txt")), p);
    EXPECT_FALSE(HostExists(p + "/kvd.exe"));
    EXPECT_TRUE(errors_.empty());
}

// The wizard folder reached as the project folder under another form of its path: its own
// kvd.exe is the source of every copy and must survive.
class WizardFolderAsProject : public Preview {
protected:
    void ExpectViewerKept() {
        EXPECT_TRUE(errors_.empty()) << errors_.front();
        ASSERT_TRUE(HostExists(Host("wiz/kvd.exe"))) << "the wizard's own kvd.exe was deleted";
        EXPECT_EQ(ReadBytes(Host("wiz/kvd.exe")), viewer_);
        EXPECT_EQ(Log().find(kCopied), std::string::npos) << Log();
        EXPECT_EQ(ViewerArguments(Host("wiz")).size(), 8u);
    }
};

TEST_F(WizardFolderAsProject, SamePath) {
    TForm1& form = Form();
    OpenFolder("C:\\wiz");
    Run([&] { form.Button2Click(); });
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\wiz\\", PageError("index.htm")}));
    ExpectViewerKept();
}

TEST_F(WizardFolderAsProject, ThroughASymbolicLink) {
    TForm1& form = Form();
    ASSERT_EQ(symlink(Host("wiz").c_str(), Host("link").c_str()), 0);
    OpenFolder("C:\\link");
    Run([&] { form.Button2Click(); });
    ExpectViewerKept();
}

TEST_F(WizardFolderAsProject, ThroughAnotherDriveLetter) {
    AddDrive('D', DriveCFolder());
    TForm1& form = Form();
    OpenFolder("D:\\wiz");
    ASSERT_EQ(form.ProjectFolder(), "D:\\wiz\\");
    Run([&] { form.Button2Click(); });
    EXPECT_EQ(Log(), Lines({"Project folder: D:\\wiz\\", PageError("index.htm")}));
    ExpectViewerKept();
}

TEST_F(WizardFolderAsProject, ThroughADriveRootedAtTheWizardFolder) {
    AddDrive('W', Host("wiz"));
    TForm1& form = Form();
    OpenFolder("W:\\");
    ASSERT_EQ(form.ProjectFolder(), "W:\\");
    Run([&] { form.Button2Click(); });
    ExpectViewerKept();
}

TEST_F(WizardFolderAsProject, ProgramPathInOtherLetterCase) {
    // Windows names ignore case, so C:\WIZ is the wizard folder C:\wiz under another spelling.
    platform::posix::SetModuleFileNameForTesting("C:\\WIZ\\kvd_gen");
    TForm1& form = Form();
    EXPECT_TRUE(errors_.empty()) << errors_.front();
    OpenFolder("C:\\wiz");
    Run([&] { form.Button2Click(); });
    ExpectViewerKept();
}

TEST_F(WizardFolderAsProject, ProjectFolderTypedInOtherLetterCase) {
    TForm1& form = Form();
    OpenFolder("C:\\WIZ");
    ASSERT_EQ(form.ProjectFolder(), "C:\\WIZ\\");
    Run([&] { form.Button2Click(); });
    EXPECT_EQ(Log(), Lines({"Project folder: C:\\WIZ\\", PageError("index.htm")}));
    ExpectViewerKept();
}

}  // namespace
}  // namespace wizard_job
