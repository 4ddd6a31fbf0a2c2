// The write step: the parameter string, the settings file and the auto-start file, byte for byte.
#include <QCheckBox>
#include <QLineEdit>

#include "framework/memo.h"
#include "kvd_gen1.h"
#include "wizard_job_support.h"

namespace wizard_job {
namespace {

using testing_support::HostExists;
using testing_support::ReadBytes;

class WriteStep : public WizardJob {
protected:
    TForm1& FormInProject() {
        TForm1& form = Form();
        project_ = MakeProject("p");
        OpenFolder("C:\\p");
        errors_.clear();
        return form;
    }
    std::string Settings() { return ReadBytes(project_ + "/kvd.cfg"); }
    std::string Autorun() { return ReadBytes(project_ + "/autorun.inf"); }
    static std::string AutorunFor(const std::string& tokens) { return "[autorun]\r\nopen=KVD.exe" + tokens; }

    std::string project_;
};

TEST_F(WriteStep, EveryMaximizeBorderlessAndDebugCase) {
    TForm1& form = FormInProject();
    for (int mix = 0; mix < 8; ++mix) {
        const bool max = mix & 1, borderless = mix & 2, debug = mix & 4;
        SCOPED_TRACE("maximize " + std::to_string(max) + ", borderless " + std::to_string(borderless) +
                     ", debug " + std::to_string(debug));
        form.MaximiseCheck->setChecked(max);
        form.BorderlessCheck->setChecked(borderless);
        form.DebugCheck->setChecked(debug);

        Run([&] { form.Button1Click(); });

        const std::string head = Tokens({debug ? "d" : "-", "index.htm", "Visit us on the Web!", defaultUrl_});
        std::string tail;
        if (max) {
            tail = borderless ? Tokens({"M", "N"}) : Tokens({"M"});
        } else {
            tail = Tokens({"-", borderless ? "N" : "-", "400", "600"});
        }
        EXPECT_EQ(form.LaunchParams, head + tail);
        EXPECT_EQ(form.Memo1->Text(), AutorunFor(head + tail));
        EXPECT_EQ(Autorun(), AutorunFor(head + tail));
        // The sizes reach the settings file even when the parameter string leaves them out.
        EXPECT_EQ(Settings(), Record("index.htm", "Visit us on the Web!", defaultUrl_, max ? "M" : "-",
                                     borderless ? "N" : "-", "400", "600"));
        EXPECT_FALSE(form.DebugCheck->isChecked());
        EXPECT_TRUE(form.MaximiseCheck->isChecked() == max && form.BorderlessCheck->isChecked() == borderless);
    }
    EXPECT_TRUE(errors_.empty()) << errors_.front();
}

TEST_F(WriteStep, BlankFieldsBecomeDashAndPaddedFieldsStayPadded) {
    TForm1& form = FormInProject();
    SetText(form.FirstFile, "   ");
    SetText(form.WebLinkText, "  Hello ");
    SetText(form.WebLinkURL, "\t");
    SetText(form.FormHeight, "abc");
    SetText(form.FormWidth, "");

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(Text(form.FirstFile), "-");
    EXPECT_EQ(Text(form.WebLinkText), "  Hello ");
    EXPECT_EQ(Text(form.WebLinkURL), "-");
    // The sizes are written as typed, never replaced.
    EXPECT_EQ(Settings(), Record("-", "  Hello ", "-", "-", "-", "abc", ""));
    EXPECT_EQ(form.LaunchParams, Tokens({"-", "-", "  Hello ", "-", "-", "-", "abc", ""}));
    EXPECT_EQ(Autorun(), AutorunFor(form.LaunchParams));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(WriteStep, QuotesInValuesArePassedOnUnchanged) {
    TForm1& form = FormInProject();
    SetText(form.WebLinkText, "Say \"hi\"");
    SetText(form.WebLinkURL, "\"");

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(form.LaunchParams, " \"-\" \"index.htm\" \"Say \"hi\"\" \"\"\" \"-\" \"-\" \"400\" \"600\"");
    EXPECT_EQ(Autorun(), "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\" \"Say \"hi\"\" \"\"\" \"-\" \"-\" \"400\" \"600\"");
    EXPECT_EQ(Settings(), Record("index.htm", "Say \"hi\"", "\"", "-", "-", "400", "600"));
}

TEST_F(WriteStep, SecondWriteGivesTheSameBytesAndOneLineEnd) {
    TForm1& form = FormInProject();
    Run([&] { form.Button1Click(); });
    const std::string settings = Settings(), autorun = Autorun(), params = form.LaunchParams;

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(Settings(), settings);
    EXPECT_EQ(Autorun(), autorun);
    EXPECT_EQ(form.LaunchParams, params);
    // Exactly one CR LF, after "[autorun]", and nothing after the last token.
    EXPECT_EQ(autorun.find("\r\n"), 9u);
    EXPECT_EQ(autorun.find_first_of("\r\n", 11), std::string::npos);
    EXPECT_EQ(autorun.back(), '"');
    EXPECT_TRUE(errors_.empty());
}

TEST_F(WriteStep, ValuesLoadedWithBareLineFeedsAreWrittenBack) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    // A bare line feed does not end a line, so the whole file is the first field.
    testing_support::WriteBytes(p + "/kvd.cfg", "a.htm\nT\nU\n");
    OpenFolder("C:\\p");
    project_ = p;
    ASSERT_EQ(Text(form.FirstFile), "a.htm\nT\nU\n");

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(Settings(), Record("a.htm\nT\nU\n", "-", "-", "-", "-", "", ""));
}

TEST_F(WriteStep, EightBitBytesOfAnyCodePageAreWrittenBackUnchanged) {
    TForm1& form = Form();
    const std::string p = MakeProject("p");
    // Bytes of an 8-bit code page that are no UTF-8, beside UTF-8 and a lone lead byte.
    const std::string page = "Caf\xE9.htm";
    const std::string text = "Gr\xFC\xDF Gott \xC3\xA9 \xC3";
    testing_support::WriteBytes(p + "/kvd.cfg", Record(page, text, "\x80\xFF", "-", "-", "4\xB0", "600"));
    OpenFolder("C:\\p");
    project_ = p;
    ASSERT_EQ(Text(form.FirstFile), page);

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(Settings(), Record(page, text, "\x80\xFF", "-", "-", "4\xB0", "600"));
    EXPECT_EQ(form.LaunchParams, Tokens({"-", page, text, "\x80\xFF", "-", "-", "4\xB0", "600"}));
    EXPECT_EQ(Autorun(), AutorunFor(form.LaunchParams));
    EXPECT_TRUE(errors_.empty());
}

TEST_F(WriteStep, SettingsFileFailureStopsBeforeTheAutorunFile) {
    TForm1& form = FormInProject();
    testing_support::MakeDirs(project_ + "/kvd.cfg");
    form.DebugCheck->setChecked(true);

    Run([&] { form.Button1Click(); });

    // A folder where the file should be is refused as Windows refuses it.
    EXPECT_EQ(errors_, std::vector<std::string>{"File access denied"});
    EXPECT_FALSE(HostExists(project_ + "/autorun.inf"));
    const std::string tokens = Tokens({"d", "index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"});
    EXPECT_EQ(form.LaunchParams, tokens);
    EXPECT_EQ(form.Memo1->Text(), AutorunFor(tokens));
    EXPECT_FALSE(form.DebugCheck->isChecked());
}

TEST_F(WriteStep, AutorunFailureLeavesTheSettingsFileWritten) {
    TForm1& form = FormInProject();
    testing_support::MakeDirs(project_ + "/autorun.inf");

    Run([&] { form.Button1Click(); });

    EXPECT_EQ(errors_, std::vector<std::string>{"File access denied"});
    EXPECT_EQ(Settings(), Record("index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"));
    EXPECT_EQ(form.LaunchParams, Tokens({"-", "index.htm", "Visit us on the Web!", defaultUrl_, "-", "-", "400", "600"}));
}

TEST_F(WriteStep, FullDiskShowsTheErrorOfTheFailedWrite) {
    TForm1& form = FormInProject();
    // The settings file is a link to a device that refuses every write.
    ASSERT_EQ(symlink("/dev/full", (project_ + "/kvd.cfg").c_str()), 0);

    Run([&] { form.Button1Click(); });

    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "I/O error 112");
    EXPECT_FALSE(HostExists(project_ + "/autorun.inf"));
}

}  // namespace
}  // namespace wizard_job
