// Test Disc Image on the offscreen platform: an image from the wizard and one from another mastering tool,
// checked and shown by a stand-in viewer that records what it was given; the copy of the disc goes with it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTableWidget>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/guard.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "publish/publish.h"
#include "publish_ui/check_dialog.h"
#include "publish_ui/disc_test.h"
#include "support/temp_dir.h"

namespace {

using publish_ui::DiscPreview;
using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// Runs events until the condition holds; false when it does not within a generous while.
bool EventsUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 30000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct Seen {
    QStringList dialogs;
    QString start;
    QString title;
    QString imageLabel;
    int rows = -1;
};

// Picks the image in the file dialog and closes the report and any message, noting what came up.
std::unique_ptr<QTimer> AnswerDialogs(const std::string& image, Seen* seen) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [image, seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->objectName() == "WorkProgress") return;
        const bool again = !seen->dialogs.isEmpty() && seen->dialogs.back() == modal->objectName();
        // A file dialog that did not take the file yet is asked again until it closes.
        if (again && !qobject_cast<QFileDialog*>(modal)) return;
        if (!again) seen->dialogs << modal->objectName();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            if (!again) seen->start = files->directory().absolutePath();
            // The full path typed into the name field, as a user would; it needs no listing of the folder.
            if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(QString::fromStdString(image));
            QMetaObject::invokeMethod(files, "accept");
        } else if (auto* report = qobject_cast<publish_ui::CheckDialog*>(modal)) {
            seen->title = report->windowTitle();
            seen->imageLabel = report->findChild<QLabel*>("FolderLabel")->text();
            seen->rows = report->Table()->rowCount();
            report->reject();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        }
    });
    timer->start(20);
    return timer;
}

class TestDiscImage : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirs(tmp_ / "wiz");
        MakeDirs(tmp_ / "Show/sub");
        WriteBytes(
            tmp_ / "Show/autorun.inf",
            "[autorun]\r\nopen=KVD.exe \"-\" \"Sub\\Start Here.htm\" \"Visit us\" \"-\" \"-\" \"N\" \"400\" \"600\"");
        WriteBytes(tmp_ / "Show/kvd.exe", "MZ" + std::string(100, 'x'));
        WriteBytes(tmp_ / "Show/sub/start here.htm", "<html><body><a href=\"../photo.jpg\">p</a></body></html>\n");
        WriteBytes(tmp_ / "Show/photo.jpg", std::string(50000, 'j'));
        // The stand-in viewer writes where it runs, its arguments and the files it finds there, then stays
        // while the hold file exists.
        WriteBytes(tmp_ / "wiz/kvd_view", "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; find . -type f | sort; } > '" +
                                              (tmp_ / "viewer.log") + "'\nwhile [ -e '" + (tmp_ / "hold") +
                                              "' ]; do sleep 0.05; done\n");
        ASSERT_EQ(::chmod((tmp_ / "wiz/kvd_view").c_str(), 0755), 0);
        platform::posix::SetModuleFileNameForTesting(platform::posix::FromHostPath(tmp_ / "wiz") + "\\kvd_gen");
        framework::SetExceptionHook([this](const std::string& m) { errors_.push_back(m); });
        form_ = std::make_unique<TForm1>();
        form_->DirectoryListBox1->SetFolderPath(platform::posix::FromHostPath(tmp_ / "Show"));
    }
    void TearDown() override {
        form_.reset();
        framework::SetExceptionHook(nullptr);
        platform::posix::SetModuleFileNameForTesting("");
    }

    TempDir tmp_;
    std::vector<std::string> errors_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(TestDiscImage, ChecksTheDiscThenShowsItsCopyAndRemovesTheCopyWhenTheViewerEnds) {
    publish::WriteImage(tmp_ / "Show", tmp_ / "wizard.iso");
    const std::string tool =
        "xorriso -as mkisofs -quiet -J -R -o '" + (tmp_ / "tool.iso") + "' '" + (tmp_ / "Show") + "' 2>/dev/null";
    ASSERT_EQ(std::system(tool.c_str()), 0);

    for (const char* name : {"wizard.iso", "tool.iso"}) {
        SCOPED_TRACE(name);
        Seen seen;
        auto answers = AnswerDialogs(tmp_ / name, &seen);
        form_->TestDiscImage1->trigger();
        EXPECT_EQ(seen.dialogs, (QStringList{"DiscImageFile", "CheckDialog"}));
        EXPECT_EQ(seen.start, QString::fromStdString(tmp_.Path()));
        EXPECT_EQ(seen.title, "Test Disc Image");
        EXPECT_EQ(seen.imageLabel, QString::fromStdString("Disc image: " + (tmp_ / name)));
        // The first page differs in letter case from the disc's name for it.
        EXPECT_EQ(seen.rows, 1);

        QPointer<DiscPreview> preview = form_->findChild<DiscPreview*>();
        ASSERT_NE(preview, nullptr);
        const std::string copy = preview->Folder().toStdString();
        ASSERT_TRUE(EventsUntil([&] { return preview.isNull(); }));
        EXPECT_FALSE(HostExists(copy));
        EXPECT_EQ(ReadBytes(tmp_ / "viewer.log"), copy + "\n-\n" + copy +
                                                      "/Sub/Start Here.htm\nVisit us\n-\n-\nN\n400\n600\n" +
                                                      "./autorun.inf\n./kvd.exe\n./photo.jpg\n./sub/start here.htm\n");
        EXPECT_EQ(errors_, std::vector<std::string>{});
    }
}

// An open= line naming the viewer alone: the disc's viewer then reads kvd.cfg beside itself, so the copy's viewer
// gets no tokens either and reads the copy's kvd.cfg.
TEST_F(TestDiscImage, AViewerStartedWithoutTokensOnTheDiscGetsNoneFromTheTest) {
    WriteBytes(tmp_ / "Show/autorun.inf", "[autorun]\r\nopen=KVD.exe\r\n");
    WriteBytes(tmp_ / "Show/kvd.cfg", "sub/start here.htm\r\nVisit us\r\n-\r\n-\r\n-\r\n400\r\n600\r\n");
    publish::WriteImage(tmp_ / "Show", tmp_ / "plain.iso");
    Seen seen;
    auto answers = AnswerDialogs(tmp_ / "plain.iso", &seen);
    form_->TestDiscImage1->trigger();
    QPointer<DiscPreview> preview = form_->findChild<DiscPreview*>();
    ASSERT_NE(preview, nullptr);
    const std::string copy = preview->Folder().toStdString();
    ASSERT_TRUE(EventsUntil([&] { return preview.isNull(); }));
    EXPECT_EQ(ReadBytes(tmp_ / "viewer.log"),
              // printf with no arguments still writes its format once: one empty line, no tokens.
              copy + "\n\n./autorun.inf\n./kvd.cfg\n./kvd.exe\n./photo.jpg\n./sub/start here.htm\n");
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

TEST_F(TestDiscImage, ClosingTheWizardEndsTheViewerAndRemovesTheCopy) {
    publish::WriteImage(tmp_ / "Show", tmp_ / "wizard.iso");
    WriteBytes(tmp_ / "hold", "");
    Seen seen;
    auto answers = AnswerDialogs(tmp_ / "wizard.iso", &seen);
    form_->TestDiscImage1->trigger();
    QPointer<DiscPreview> preview = form_->findChild<DiscPreview*>();
    ASSERT_NE(preview, nullptr);
    const std::string copy = preview->Folder().toStdString();
    QPointer<QProcess> viewer = preview->Process();
    ASSERT_TRUE(EventsUntil([&] { return HostExists(tmp_ / "viewer.log"); }));
    EXPECT_EQ(viewer->state(), QProcess::Running);
    EXPECT_TRUE(HostExists(copy + "/sub/start here.htm"));

    form_.reset();
    EXPECT_TRUE(preview.isNull());
    EXPECT_FALSE(HostExists(copy));
}

TEST_F(TestDiscImage, ABrokenImageOrAMissingViewerIsSaidPlainly) {
    WriteBytes(tmp_ / "cut.iso", std::string(20000, '\0'));
    Seen seen;
    auto answers = AnswerDialogs(tmp_ / "cut.iso", &seen);
    form_->TestDiscImage1->trigger();
    EXPECT_EQ(errors_, std::vector<std::string>{"The file " + (tmp_ / "cut.iso") + " is not an ISO 9660 disc image."});
    EXPECT_EQ(ReadBytes(tmp_ / "cut.iso"), std::string(20000, '\0'));

    errors_.clear();
    answers.reset();
    publish::WriteImage(tmp_ / "Show", tmp_ / "wizard.iso");
    ASSERT_EQ(::unlink((tmp_ / "wiz/kvd_view").c_str()), 0);
    Seen second;
    auto more = AnswerDialogs(tmp_ / "wizard.iso", &second);
    form_->TestDiscImage1->trigger();
    EXPECT_EQ(second.dialogs, (QStringList{"DiscImageFile", "CheckDialog", "NoViewer"}));
    EXPECT_EQ(form_->findChild<DiscPreview*>(), nullptr);
    EXPECT_EQ(errors_, std::vector<std::string>{});
}

} // namespace
