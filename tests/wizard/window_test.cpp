// The main window: layout, start-up, settings file and steppers, on real files and widgets.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <map>

#include "framework/guard.h"
#include "framework/memo.h"
#include "framework/qt_strings.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker/TFileListBox.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "runtime/exceptions.h"
#include "support/temp_dir.h"

using framework::FromQString;
using framework::ToQString;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace {

const char* const kUrl = "http://www.kivador.com/";

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        savedCwd_ = platform::GetCurrentDirectory();
        wizard_ = tmp_ / "wiz";
        testing_support::MakeDirs(wizard_);
        platform::posix::SetModuleFileNameForTesting(platform::posix::FromHostPath(wizard_) + "\\kvd_gen");
        framework::SetExceptionHook([this](const std::string& m) { errors_.push_back(m); });
    }
    void TearDown() override {
        form_.reset();
        framework::SetExceptionHook(nullptr);
        platform::posix::SetModuleFileNameForTesting("");
        platform::SetCurrentDirectory(savedCwd_);
    }

    TForm1& Form() {
        if (!form_) form_ = std::make_unique<TForm1>();
        return *form_;
    }
    std::string Settings() const { return wizard_ + "/kvd.cfg"; }
    std::string WinPath(const std::string& name) const {
        return platform::posix::FromHostPath(wizard_) + "\\" + name;
    }
    static std::string Text(const QLineEdit* edit) { return FromQString(edit->text()); }
    static void SetText(QLineEdit* edit, const std::string& text) { edit->setText(ToQString(text)); }

    // Loads the bytes as a settings file through the reader.
    void Load(const std::string& bytes) {
        WriteBytes(wizard_ + "/p.cfg", bytes);
        Form().LoadSettings(WinPath("p.cfg"));
    }
    void ExpectEdits(const std::string& page, const std::string& text, const std::string& url,
                     const std::string& height, const std::string& width) {
        EXPECT_EQ(Text(Form().FirstFile), page);
        EXPECT_EQ(Text(Form().WebLinkText), text);
        EXPECT_EQ(Text(Form().WebLinkURL), url);
        EXPECT_EQ(Text(Form().FormHeight), height);
        EXPECT_EQ(Text(Form().FormWidth), width);
    }
    void ExpectDefaults() {
        ExpectEdits("index.htm", "Visit us on the Web!", kUrl, "400", "600");
        EXPECT_FALSE(Form().MaximiseCheck->isChecked());
        EXPECT_FALSE(Form().BorderlessCheck->isChecked());
        EXPECT_FALSE(Form().DebugCheck->isChecked());
    }

    testing_support::TempDir tmp_;
    std::string wizard_;
    std::string savedCwd_;
    std::vector<std::string> errors_;
    std::unique_ptr<TForm1> form_;
};

std::string Crlf(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

}  // namespace

// ---- Start-up ------------------------------------------------------------------------------

TEST_F(Window, FirstStartCreatesAnEmptySettingsFileAndKeepsTheDefaults) {
    ASSERT_FALSE(testing_support::HostExists(Settings()));
    Form();
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(testing_support::HostExists(Settings()));
    EXPECT_EQ(ReadBytes(Settings()), "");
    ExpectDefaults();
    EXPECT_EQ(Form().LaunchParams, "");
    EXPECT_FALSE(Form().Activated());
    EXPECT_EQ(Form().WizardFolder(), platform::posix::FromHostPath(wizard_) + "\\");
}

TEST_F(Window, StartUpLoadsTheWizardFoldersSettings) {
    WriteBytes(Settings(), Crlf({"a.htm", "T", "U", "M", "N", "300", "200"}));
    Form();
    EXPECT_TRUE(errors_.empty());
    ExpectEdits("a.htm", "T", "U", "300", "200");
    EXPECT_TRUE(Form().MaximiseCheck->isChecked());
    EXPECT_TRUE(Form().BorderlessCheck->isChecked());
    // Start-up does not rewrite an existing file.
    EXPECT_EQ(ReadBytes(Settings()), Crlf({"a.htm", "T", "U", "M", "N", "300", "200"}));
}

TEST_F(Window, StartUpFailureIsReportedBeforeShowingAndTheWindowStillShows) {
    testing_support::MakeDirs(Settings());  // a folder where the settings file belongs
    Form();
    EXPECT_EQ(errors_, std::vector<std::string>{"File access denied"});
    EXPECT_FALSE(Form().isVisible());
    ExpectDefaults();
    EXPECT_EQ(Form().Memo2->Text(), "Memo2");
    Form().show();
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Text(Form().FirstFile), "index.htm");
}

TEST_F(Window, UnreadableSettingsFileStopsTheLoadWhereItFailed) {
    // A path through a regular file cannot be opened at all.
    WriteBytes(wizard_ + "/plain", "x");
    EXPECT_THROW(Form().LoadSettings(WinPath("plain\\kvd.cfg")), rtl::EInOutError);
    try {
        Form().LoadSettings(WinPath("missing.cfg"));
        ADD_FAILURE();
    } catch (const rtl::EInOutError& e) {
        EXPECT_EQ(e.Message(), "File not found");
        EXPECT_EQ(e.ErrorCode, 2);
    }
    ExpectDefaults();
}

// ---- Settings file -------------------------------------------------------------------------

TEST_F(Window, SettingsReaderEdgeCases) {
    Form();
    {
        SCOPED_TRACE("empty file");
        Load("");
        ExpectDefaults();
    }
    {
        SCOPED_TRACE("seven lines");
        Load(Crlf({"a.htm", "T", "U", "M", "N", "300", "200"}));
        ExpectEdits("a.htm", "T", "U", "300", "200");
        EXPECT_TRUE(Form().MaximiseCheck->isChecked());
        EXPECT_TRUE(Form().BorderlessCheck->isChecked());
    }
    {
        SCOPED_TRACE("three lines keep both boxes and empty the sizes");
        Load(Crlf({"b.htm", "T2", "U2"}));
        ExpectEdits("b.htm", "T2", "U2", "", "");
        EXPECT_TRUE(Form().MaximiseCheck->isChecked());
        EXPECT_TRUE(Form().BorderlessCheck->isChecked());
    }
    {
        SCOPED_TRACE("fourteen lines: the second record wins");
        Load(Crlf({"a.htm", "T", "U", "M", "N", "300", "200", "c.htm", "T3", "U3", "-", "-", "301", "201"}));
        ExpectEdits("c.htm", "T3", "U3", "301", "201");
        EXPECT_FALSE(Form().MaximiseCheck->isChecked());
        EXPECT_FALSE(Form().BorderlessCheck->isChecked());
    }
    {
        SCOPED_TRACE("an empty eighth line starts a second record");
        Load(Crlf({"a.htm", "T", "U", "M", "-", "300", "200", ""}));
        ExpectEdits("", "", "", "", "");
        EXPECT_TRUE(Form().MaximiseCheck->isChecked());
        EXPECT_FALSE(Form().BorderlessCheck->isChecked());
    }
    {
        SCOPED_TRACE("values other than the two letters change nothing");
        Load(Crlf({"a.htm", "T", "U", "x", "n", "300", "200"}));
        EXPECT_TRUE(Form().MaximiseCheck->isChecked());
        EXPECT_FALSE(Form().BorderlessCheck->isChecked());
        Load(Crlf({"a.htm", "T", "U", "-", "N ", "300", "200"}));
        EXPECT_FALSE(Form().MaximiseCheck->isChecked());
        EXPECT_FALSE(Form().BorderlessCheck->isChecked());
        Load(Crlf({"a.htm", "T", "U", "m", "N", "300", "200"}));
        EXPECT_FALSE(Form().MaximiseCheck->isChecked());
        EXPECT_TRUE(Form().BorderlessCheck->isChecked());
    }
    {
        SCOPED_TRACE("a dash stays a dash, spaces stay");
        Load(Crlf({"-", "  Hello ", " ", "-", "-", "abc", " 7"}));
        ExpectEdits("-", "  Hello ", " ", "abc", " 7");
    }
}

TEST_F(Window, SettingsWriterProducesTheExactRecord) {
    Form();
    Form().SaveSettings(WinPath("out.cfg"));
    EXPECT_EQ(ReadBytes(wizard_ + "/out.cfg"),
              std::string("index.htm\r\nVisit us on the Web!\r\n") + kUrl + "\r\n-\r\n-\r\n400\r\n600\r\n");

    Form().MaximiseCheck->setChecked(true);
    Form().BorderlessCheck->setChecked(true);
    SetText(Form().FormWidth, "abc");
    SetText(Form().FirstFile, "");
    SetText(Form().WebLinkText, "  two  ");
    Form().SaveSettings(WinPath("out.cfg"));
    const std::string saved = std::string("\r\n  two  \r\n") + kUrl + "\r\nM\r\nN\r\n400\r\nabc\r\n";
    EXPECT_EQ(ReadBytes(wizard_ + "/out.cfg"), saved);

    // What the writer wrote, the reader reads back unchanged.
    SetText(Form().FormWidth, "600");
    Form().MaximiseCheck->setChecked(false);
    Form().LoadSettings(WinPath("out.cfg"));
    EXPECT_EQ(Text(Form().FormWidth), "abc");
    EXPECT_TRUE(Form().MaximiseCheck->isChecked());
    Form().SaveSettings(WinPath("again.cfg"));
    EXPECT_EQ(ReadBytes(wizard_ + "/again.cfg"), saved);
}

TEST_F(Window, LineFeedOnlyFileIsOneLineAndIsWrittenBackUnchanged) {
    Form();
    const std::string lf = "a.htm\nT\nU\nM\nN\n300\n200\n";
    Load(lf);
    EXPECT_EQ(Text(Form().FirstFile), lf);
    ExpectEdits(lf, "", "", "", "");
    EXPECT_FALSE(Form().MaximiseCheck->isChecked());
    Form().SaveSettings(WinPath("out.cfg"));
    EXPECT_EQ(ReadBytes(wizard_ + "/out.cfg"), lf + "\r\n\r\n\r\n-\r\n-\r\n\r\n\r\n");
}

TEST_F(Window, LongFieldsAreNotCut) {
    Form();
    const std::string page(40000, 'p');
    Load(Crlf({page, "T", "U", "-", "-", "1", "2"}));
    EXPECT_EQ(Text(Form().FirstFile), page);
}

TEST_F(Window, SettingsWriterFailsOnAFolderInTheWay) {
    Form();
    testing_support::MakeDirs(wizard_ + "/busy.cfg");
    try {
        Form().SaveSettings(WinPath("busy.cfg"));
        ADD_FAILURE();
    } catch (const rtl::EInOutError& e) {
        EXPECT_EQ(e.Message(), "File access denied");
        EXPECT_EQ(e.ErrorCode, 5);
    }
}

// ---- Steppers ------------------------------------------------------------------------------

TEST_F(Window, SteppersAddAndSubtractTen) {
    Form();
    Form().HeightPlus->click();
    EXPECT_EQ(Text(Form().FormHeight), "410");
    Form().HeightMinus->click();
    Form().HeightMinus->click();
    EXPECT_EQ(Text(Form().FormHeight), "390");
    SetText(Form().FormHeight, "5");
    Form().HeightMinus->click();
    EXPECT_EQ(Text(Form().FormHeight), "-5");
    SetText(Form().FormHeight, " 400");
    Form().HeightPlus->click();
    EXPECT_EQ(Text(Form().FormHeight), "410");
    SetText(Form().FormHeight, "$1F");
    Form().HeightPlus->click();
    EXPECT_EQ(Text(Form().FormHeight), "41");

    Form().WidthPlus->click();
    EXPECT_EQ(Text(Form().FormWidth), "610");
    Form().WidthMinus->click();
    Form().WidthMinus->click();
    EXPECT_EQ(Text(Form().FormWidth), "590");
    // The height pair never touches the width and the other way round.
    EXPECT_EQ(Text(Form().FormHeight), "41");
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Window, SteppersWrapAroundIn32Bits) {
    Form();
    SetText(Form().FormHeight, "2147483647");
    Form().HeightPlus->click();
    EXPECT_EQ(Text(Form().FormHeight), "-2147483639");
    SetText(Form().FormWidth, "-2147483648");
    Form().WidthMinus->click();
    EXPECT_EQ(Text(Form().FormWidth), "2147483638");
    SetText(Form().FormWidth, "0");
    Form().WidthMinus->click();
    EXPECT_EQ(Text(Form().FormWidth), "-10");
}

TEST_F(Window, StepperWithoutANumberReportsAndLeavesTheEdit) {
    Form();
    for (const std::string bad : {"400 ", "abc", "", "4 00", "2147483648"}) {
        SCOPED_TRACE(bad);
        errors_.clear();
        SetText(Form().FormHeight, bad);
        SetText(Form().FormWidth, bad);
        Form().HeightPlus->click();
        Form().WidthMinus->click();
        EXPECT_EQ(Text(Form().FormHeight), bad);
        EXPECT_EQ(Text(Form().FormWidth), bad);
        const std::string message = "'" + bad + "' is not a valid integer value";
        EXPECT_EQ(errors_, (std::vector<std::string>{message, message}));
    }
    SetText(Form().FormHeight, "abc");
    EXPECT_THROW(Form().HeightMinusClick(), rtl::EConvertError);
}

// ---- Layout --------------------------------------------------------------------------------

TEST_F(Window, WindowIsFixedCentredCaptionedWithoutMaximise) {
    TForm1& form = Form();
    EXPECT_EQ(form.objectName(), QString("Form1"));
    EXPECT_EQ(form.windowTitle(), QString("Kivador Setup Wizard - version 3.2"));
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.centralWidget()->size(), QSize(475, 325));
    EXPECT_EQ(form.centralWidget()->y(), form.MainMenu1->height());
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(form.windowIcon().isNull());
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - screen.center().y()), 1);
    const QFont font = form.font();
    if (font.family() != "MS Sans Serif") {
        // 11 pixels, or the largest size below at which every caption shows whole.
        EXPECT_LE(font.pixelSize(), 11);
        EXPECT_GE(font.pixelSize(), 8);
    }
    for (QCheckBox* box : {form.MaximiseCheck, form.BorderlessCheck, form.DebugCheck}) {
        EXPECT_LE(box->sizeHint().width(), box->width()) << FromQString(box->text());
    }
    for (QPushButton* button : {form.Button2, form.Button3, form.HeightPlus, form.WidthMinus}) {
        EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width());
    }
    EXPECT_LT(form.Label6->x() + form.Label6->width(), form.WebLinkText->x());
}

TEST_F(Window, ControlsStandWhereTheTablesPutThem) {
    TForm1& form = Form();
    struct Row {
        QWidget* widget;
        const char* name;
        QRect geometry;
        const char* caption;
        const char* hint;
    };
    const std::vector<Row> rows = {
        {form.Button1, "Button1", {120, 96, 25, 25}, "Write autorun.inf file", ""},
        {form.Memo1, "Memo1", {64, 88, 33, 33}, "Memo1", ""},
        {form.Button2, "Button2", {320, 176, 145, 25}, "Preview Actual", "Preview without links shown"},
        {form.DirectoryListBox1, "DirectoryListBox1", {0, 136, 153, 81}, nullptr, ""},
        {form.DriveComboBox1, "DriveComboBox1", {0, 112, 153, 19}, nullptr, ""},
        {form.FileListBox1, "FileListBox1", {160, 112, 153, 105}, nullptr, "Double-click to select first page"},
        {form.Memo2, "Memo2", {0, 224, 473, 97}, "Memo2", ""},
        {form.GroupBox1, "GroupBox1", {0, 0, 473, 105}, "Kivador Settings", ""},
        {form.DebugCheck, "DebugCheck", {392, 128, 73, 17}, "Debug", "Check to show link file names at top of form"},
        {form.Button3, "Button3", {320, 128, 145, 25}, "Preview in debug mode", "Preview with links shown on screen"},
        {form.FirstFile, "FirstFile", {88, 24, 201, 21}, "index.htm", "This is the first page you want displayed"},
        {form.WebLinkText, "WebLinkText", {88, 48, 201, 21}, "Visit us on the Web!",
         "Text for menu item to launch system browser"},
        {form.WebLinkURL, "WebLinkURL", {88, 72, 201, 21}, kUrl, "URL for system web browser to open"},
        {form.MaximiseCheck, "MaximiseCheck", {304, 80, 81, 17}, "Maximize", "Start up full-screen"},
        {form.FormHeight, "FormHeight", {376, 24, 41, 21}, "400", "Start-up height in pixels"},
        {form.FormWidth, "FormWidth", {376, 48, 41, 21}, "600", "Start-up width in pixels"},
        {form.HeightPlus, "HeightPlus", {424, 24, 17, 17}, "+", "Increase height by 10"},
        {form.HeightMinus, "HeightMinus", {448, 24, 17, 17}, "-", "Decrease height by 10"},
        {form.WidthPlus, "WidthPlus", {424, 48, 17, 17}, "+", "Increase width by 10"},
        {form.WidthMinus, "WidthMinus", {448, 48, 17, 17}, "-", "Decrease width by 10"},
        {form.BorderlessCheck, "BorderlessCheck", {392, 80, 73, 17}, "Borderless", "No border (see Help)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(row.widget, nullptr);
        EXPECT_EQ(row.widget->objectName(), QString(row.name));
        EXPECT_EQ(row.widget->geometry(), row.geometry);
        EXPECT_EQ(row.widget->toolTip(), QString(row.hint));
        if (*row.hint) {
            EXPECT_EQ(row.widget->toolTipDuration(), 2500);
        }
        if (row.caption) {
            QString caption;
            if (auto* b = qobject_cast<QAbstractButton*>(row.widget)) caption = b->text();
            if (auto* e = qobject_cast<QLineEdit*>(row.widget)) caption = e->text();
            if (auto* g = qobject_cast<QGroupBox*>(row.widget)) caption = g->title();
            if (auto* m = qobject_cast<framework::TMemo*>(row.widget)) caption = ToQString(m->Text());
            EXPECT_EQ(caption, QString(row.caption));
        }
    }
    EXPECT_EQ(form.FirstFile->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.BorderlessCheck->parentWidget(), form.GroupBox1);
    EXPECT_EQ(form.Button2->parentWidget(), form.centralWidget());
    EXPECT_TRUE(form.Button1->isHidden());
    EXPECT_TRUE(form.Memo1->isHidden());
    EXPECT_TRUE(form.Memo2->isReadOnly());
    EXPECT_EQ(form.Memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.Memo2->wordWrapMode(), QTextOption::WordWrap);
    EXPECT_EQ(form.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.MaximiseCheck->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(form.BorderlessCheck->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(form.DebugCheck->layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);

    const std::vector<std::pair<QLabel*, QPoint>> labels = {{form.Label5, {8, 28}}, {form.Label6, {8, 52}},
                                                            {form.Label7, {8, 76}}, {form.Label3, {304, 32}},
                                                            {form.Label4, {304, 56}}};
    const std::vector<const char*> labelTexts = {"First Page", "Web Link Text", "Web Link URL", "Height", "Width"};
    for (size_t i = 0; i < labels.size(); ++i) {
        SCOPED_TRACE(labelTexts[i]);
        QLabel* label = labels[i].first;
        EXPECT_EQ(label->text(), QString(labelTexts[i]));
        EXPECT_EQ(label->pos(), labels[i].second);
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        EXPECT_EQ(label->parentWidget(), form.GroupBox1);
    }
}

TEST_F(Window, MenusAndShortcut) {
    TForm1& form = Form();
    EXPECT_EQ(form.menuBar(), form.MainMenu1);
    EXPECT_EQ(form.MainMenu1->objectName(), QString("MainMenu1"));
    const QList<QAction*> top = form.MainMenu1->actions();
    ASSERT_EQ(top.size(), 2);
    EXPECT_EQ(top[0]->menu(), form.File1);
    EXPECT_EQ(top[1]->menu(), form.Help1);
    EXPECT_EQ(form.File1->title(), QString("&File"));
    EXPECT_EQ(form.Help1->title(), QString("&Help"));
    // File: the disc commands, a separator, Exit.
    const QList<QAction*> file = form.File1->actions();
    ASSERT_EQ(file.size(), 6);
    EXPECT_EQ(file[0], form.CheckProject1);
    EXPECT_EQ(file[1], form.MakeCDImage1);
    EXPECT_EQ(file[2], form.TestDiscImage1);
    EXPECT_EQ(file[3], form.BurnDisc1);
    EXPECT_TRUE(file[4]->isSeparator());
    EXPECT_EQ(file[5], form.Exit1);
    EXPECT_EQ(form.Help1->actions(), (QList<QAction*>{form.Contents1, form.About1}));
    EXPECT_EQ(form.Exit1->text(), QString("E&xit"));
    EXPECT_EQ(form.Contents1->text(), QString("&Contents"));
    EXPECT_EQ(form.About1->text(), QString("&About"));
    EXPECT_EQ(form.Contents1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(form.Exit1->shortcut().isEmpty());
}

// Alt with the underlined letter opens each menu from the keyboard.
TEST_F(Window, AccessKeysOpenTheMenus) {
    TForm1& form = Form();
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const std::vector<std::pair<Qt::Key, QMenu*>> keys = {{Qt::Key_F, form.File1}, {Qt::Key_H, form.Help1}};
    for (const auto& [key, menu] : keys) {
        SCOPED_TRACE(menu->objectName().toStdString());
        QTest::keyClick(&form, key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([menu = menu] { return menu->isVisible(); }, 2000));
        for (QMenu* other : {form.File1, form.Help1}) {
            if (other != menu) {
                EXPECT_FALSE(other->isVisible());
            }
        }
        QTest::keyClick(menu, Qt::Key_Escape);
        QTest::keyClick(form.MainMenu1, Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([menu = menu] { return !menu->isVisible(); }, 2000));
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(Window, TabOrderAndAccessibleNames) {
    TForm1& form = Form();
    const std::vector<QWidget*> expected = {form.Button1,   form.Memo1,       form.Button2,     form.DirectoryListBox1,
                                            form.DriveComboBox1, form.FileListBox1, form.Memo2, form.GroupBox1,
                                            form.FirstFile, form.WebLinkText, form.WebLinkURL, form.MaximiseCheck,
                                            form.FormHeight, form.FormWidth, form.HeightPlus, form.HeightMinus,
                                            form.WidthPlus, form.WidthMinus, form.BorderlessCheck, form.DebugCheck,
                                            form.Button3};
    // The focus chain in the order of the list (other widgets, such as scroll bars, may stand between).
    std::vector<QWidget*> seen;
    QWidget* w = form.Button1;
    for (int guard = 0; guard < 500 && seen.size() < expected.size(); ++guard) {
        if (std::find(expected.begin(), expected.end(), w) != expected.end() &&
            std::find(seen.begin(), seen.end(), w) == seen.end()) {
            seen.push_back(w);
        }
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(seen, expected);

    const std::map<QWidget*, QString> names = {
        {form.FirstFile, "First Page"},
        {form.WebLinkText, "Web Link Text"},
        {form.WebLinkURL, "Web Link URL"},
        {form.FormHeight, "Height"},
        {form.FormWidth, "Width"},
        {form.HeightPlus, "Increase height by 10"},
        {form.HeightMinus, "Decrease height by 10"},
        {form.WidthPlus, "Increase width by 10"},
        {form.WidthMinus, "Decrease width by 10"},
        {form.Button2, "Preview Actual"},
        {form.Button3, "Preview in debug mode"},
        {form.MaximiseCheck, "Maximize"},
        {form.BorderlessCheck, "Borderless"},
        {form.DebugCheck, "Debug"},
        {form.DriveComboBox1, "Drive"},
        {form.DirectoryListBox1, "Folders"},
        {form.FileListBox1, "Files"},
    };
    for (const auto& [widget, name] : names) EXPECT_EQ(widget->accessibleName(), name) << FromQString(name);
    // What a screen reader is told: the drive selector's name, not its row text.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.DriveComboBox1)->text(QAccessible::Name), "Drive");
}

// ---- Commands ------------------------------------------------------------------------------

TEST_F(Window, AboutShowsTheInformationBoxAndExitClosesTheWindow) {
    TForm1& form = Form();
    form.show();
    QString caption, text;
    auto* timer = new QTimer(&form);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        caption = modal->windowTitle();
        if (auto* label = modal->findChild<QLabel*>("Message")) text = label->text();
        modal->findChild<QPushButton*>("OK")->click();
    });
    timer->start();
    form.About1->trigger();
    EXPECT_EQ(caption, QString("Information"));
    EXPECT_EQ(text, QString("Kivador Setup Wizard - for version 3.2\n\nKivador Software - web content on CD"));
    EXPECT_TRUE(form.isVisible());

    form.Exit1->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST_F(Window, FirstShowActivatesOnceAndScansTheWizardFolder) {
    WriteBytes(wizard_ + "/index.htm", "<html></html>");
    TForm1& form = Form();
    EXPECT_FALSE(form.Activated());
    form.show();
    for (int i = 0; i < 50 && !form.Activated(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(form.Activated());
    EXPECT_TRUE(errors_.empty());
    const std::string p = platform::posix::FromHostPath(wizard_) + "\\";
    EXPECT_EQ(form.ProjectFolder(), p);
    EXPECT_EQ(form.Memo2->Text(), "Project folder: " + p + "\r\nExisting kvd.cfg file present, settings loaded." +
                                      "\r\nKVD.EXE not present. It will be copied to project folder during preview." +
                                      "\r\nYour first page, index.htm, is present. Ready to preview.");
    // Leaving and coming back does not scan again.
    form.Memo2->SetText("kept");
    form.hide();
    form.show();
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(form.Memo2->Text(), "kept");
}

// Notes the first paint of any part of one window, and whether its first scan had run by then.
class FirstPaintSpy : public QObject {
public:
    FirstPaintSpy(TForm1& form, std::vector<std::string>& events) : form_(form), events_(events) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == &form_) {
            seen_ = true;
            events_.push_back(std::string("paint, ") + (form_.Activated() ? "scanned" : "not scanned"));
        }
        return false;
    }

private:
    TForm1& form_;
    std::vector<std::string>& events_;
    bool seen_ = false;
};

TEST_F(Window, FirstScanWaitsForTheFirstPaintAndRunsUnderTheBusyCursor) {
    TForm1& form = Form();
    std::vector<std::string> events;
    FirstPaintSpy spy(form, events);
    qApp->installEventFilter(&spy);
    const auto scan = form.DirectoryListBox1->OnChange;
    form.DirectoryListBox1->OnChange = [&](TDirectoryListBox* sender) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        events.push_back(std::string("scan, ") + (cursor && cursor->shape() == Qt::WaitCursor ? "busy" : "idle"));
        scan(sender);
    };
    form.show();
    for (int i = 0; i < 50 && !form.Activated(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    qApp->removeEventFilter(&spy);
    ASSERT_TRUE(form.Activated());
    EXPECT_EQ(events, (std::vector<std::string>{"paint, not scanned", "scan, busy"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form.ProjectFolder(), platform::posix::FromHostPath(wizard_) + "\\");
    EXPECT_TRUE(errors_.empty());
}
