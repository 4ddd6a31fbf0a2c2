// The wizard's main window: start-up, settings file, steppers, scan, write step, preview, help.
#include "kvd_gen1.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <cstdint>
#include <limits>

#include "framework/app_style.h"
#include "framework/guard.h"
#include "framework/memo.h"
#include "framework/message_form.h"
#include "framework/qt_strings.h"
#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker/TFileListBox.h"
#include "platform/platform.h"
#include "publish/publish.h"
#include "publish_ui/burn_dialog.h"
#include "publish_ui/disc_commands.h"
#include "publish_ui/disc_test.h"
#include "runtime/conversion.h"
#include "runtime/file_services.h"
#include "runtime/strings.h"
#include "runtime/text_file.h"
#include "ui_kvd_gen1.h"

using framework::FromQString;
using framework::ToQString;

namespace {

std::string TextOf(const QLineEdit* edit) { return FromQString(edit->text()); }
void SetTextOf(QLineEdit* edit, const std::string& text) { edit->setText(ToQString(text)); }

// One token of the viewer's parameter string: a space and the value in double quotes.
std::string Token(const std::string& value) { return " \"" + value + "\""; }

void AppendLine(framework::TMemo* memo, const std::string& line) { memo->SetText(memo->Text() + "\r\n" + line); }

// Adds the step to the number in the edit with 32-bit wrap-around; a text that is no number
// raises the conversion error before the edit is touched.
void StepNumber(QLineEdit* edit, int32_t step) {
    const int32_t value = rtl::StrToInt(TextOf(edit));
    const uint32_t sum = static_cast<uint32_t>(value) + static_cast<uint32_t>(step);
    SetTextOf(edit, rtl::IntToStr(static_cast<int32_t>(sum)));
}

void BlankToDash(QLineEdit* edit) {
    if (rtl::Trim(TextOf(edit)).empty()) SetTextOf(edit, "-");
}

// The disc library works on host paths; the folder list speaks the Windows namespace.
std::string HostProjectFolder(const std::string& folderPath) {
    const std::string host = platform::HostPathOf(folderPath);
    if (host.empty()) throw publish::Error("The project folder " + folderPath + " has no place on this machine.");
    return host;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::Form1>()) {
    framework::InstallWizardStyle();
    setFont(framework::WizardFont());
    ui_->setupUi(this);

    Button1 = ui_->Button1;
    Memo1 = ui_->Memo1;
    Button2 = ui_->Button2;
    DirectoryListBox1 = ui_->DirectoryListBox1;
    DriveComboBox1 = ui_->DriveComboBox1;
    FileListBox1 = ui_->FileListBox1;
    MainMenu1 = ui_->MainMenu1;
    File1 = ui_->File1;
    Memo2 = ui_->Memo2;
    GroupBox1 = ui_->GroupBox1;
    Label5 = ui_->Label5;
    Label6 = ui_->Label6;
    Label7 = ui_->Label7;
    FirstFile = ui_->FirstFile;
    WebLinkText = ui_->WebLinkText;
    WebLinkURL = ui_->WebLinkURL;
    Label3 = ui_->Label3;
    Label4 = ui_->Label4;
    MaximiseCheck = ui_->MaximiseCheck;
    FormHeight = ui_->FormHeight;
    FormWidth = ui_->FormWidth;
    HeightPlus = ui_->HeightPlus;
    HeightMinus = ui_->HeightMinus;
    WidthPlus = ui_->WidthPlus;
    WidthMinus = ui_->WidthMinus;
    BorderlessCheck = ui_->BorderlessCheck;
    Help1 = ui_->Help1;
    Contents1 = ui_->Contents1;
    About1 = ui_->About1;
    DebugCheck = ui_->DebugCheck;
    Button3 = ui_->Button3;
    Exit1 = ui_->Exit1;

    SetUpControls();
    ConnectEvents();
    AddDiscCommands();

    // A failure here is reported before the window is first shown; the window is then shown
    // as usual with whatever the controls hold.
    framework::Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::SetUpControls() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    Button1->hide();
    Memo1->hide();
    Memo1->SetText("Memo1");
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->SetText("Memo2");
    Memo2->setReadOnly(true);
    Memo2->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo2->setWordWrapMode(QTextOption::WordWrap);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // Fields of the settings record have no length limit.
    for (QLineEdit* edit : {FirstFile, WebLinkText, WebLinkURL, FormHeight, FormWidth}) {
        edit->setMaxLength(std::numeric_limits<int>::max());
    }
    FitFontToCaptions();
    for (QLabel* label : {Label5, Label6, Label7, Label3, Label4}) {
        label->setTextFormat(Qt::PlainText);
        label->adjustSize();
    }

    FirstFile->setAccessibleName(Label5->text());
    WebLinkText->setAccessibleName(Label6->text());
    WebLinkURL->setAccessibleName(Label7->text());
    FormHeight->setAccessibleName(Label3->text());
    FormWidth->setAccessibleName(Label4->text());
    for (QPushButton* stepper : {HeightPlus, HeightMinus, WidthPlus, WidthMinus}) {
        stepper->setAccessibleName(stepper->toolTip());
    }
    for (QPushButton* button : {Button1, Button2, Button3}) button->setAccessibleName(button->text());
    for (QCheckBox* box : {MaximiseCheck, BorderlessCheck, DebugCheck}) box->setAccessibleName(box->text());
    GroupBox1->setAccessibleName(GroupBox1->title());
    DriveComboBox1->setAccessibleName(QStringLiteral("Drive"));
    DirectoryListBox1->setAccessibleName(QStringLiteral("Folders"));
    FileListBox1->setAccessibleName(QStringLiteral("Files"));
    Memo2->setAccessibleName(QStringLiteral("Status"));
    framework::SetToolTipDurations(this);

    setWindowIcon(QIcon(QStringLiteral(":/kvd_gen.png")));
    setFixedSize(475, 325 + MainMenu1->sizeHint().height());
}

bool TForm1::CaptionsFit() const {
    for (const QCheckBox* box : {MaximiseCheck, BorderlessCheck, DebugCheck}) {
        if (box->sizeHint().width() > box->width()) return false;
    }
    for (const QPushButton* button : {Button2, Button3, HeightPlus, HeightMinus, WidthPlus, WidthMinus}) {
        if (button->fontMetrics().horizontalAdvance(button->text()) + 8 > button->width()) return false;
    }
    // A label ends before the control it names.
    const std::pair<const QLabel*, const QWidget*> named[] = {{Label5, FirstFile}, {Label6, WebLinkText},
                                                              {Label7, WebLinkURL}, {Label3, FormHeight},
                                                              {Label4, FormWidth}};
    for (const auto& [label, control] : named) {
        if (label->x() + label->fontMetrics().horizontalAdvance(label->text()) + 2 > control->x()) return false;
    }
    return true;
}

// The layout's pixel positions are fixed; with a stand-in for the classic font whose letters are
// wider, the window steps down to the largest size at which every caption still shows whole.
void TForm1::FitFontToCaptions() {
    QFont fitted = font();
    if (fitted.pixelSize() <= 0) return;
    while (!CaptionsFit() && fitted.pixelSize() > 8) {
        fitted.setPixelSize(fitted.pixelSize() - 1);
        setFont(fitted);
    }
}

void TForm1::ConnectEvents() {
    const auto guard = [this](void (TForm1::*handler)()) {
        return [this, handler] { framework::Guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, guard(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guard(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guard(&TForm1::Button3Click));
    connect(HeightPlus, &QPushButton::clicked, this, guard(&TForm1::HeightPlusClick));
    connect(HeightMinus, &QPushButton::clicked, this, guard(&TForm1::HeightMinusClick));
    connect(WidthPlus, &QPushButton::clicked, this, guard(&TForm1::WidthPlusClick));
    connect(WidthMinus, &QPushButton::clicked, this, guard(&TForm1::WidthMinusClick));
    connect(Exit1, &QAction::triggered, this, guard(&TForm1::Exit1Click));
    connect(Contents1, &QAction::triggered, this, guard(&TForm1::Contents1Click));
    connect(About1, &QAction::triggered, this, guard(&TForm1::About1Click));

    // The pickers guard their own entry points from Qt, so an exception from a handler
    // unwinds through the control to that guard.
    DriveComboBox1->OnChange = [this](TDriveComboBox*) { DriveComboBox1Change(); };
    DirectoryListBox1->OnChange = [this](TDirectoryListBox*) { DirectoryListBox1Change(); };
    FileListBox1->OnDblClick = [this](TFileListBox*) { FileListBox1DblClick(); };
}

std::string TForm1::WizardFolder() const {
    const std::string program = platform::GetModuleFileName();
    const size_t slash = program.rfind('\\');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

std::string TForm1::ProjectFolder() const { return rtl::IncludeTrailingBackslash(DirectoryListBox1->FolderPath()); }

bool TForm1::Activated() const { return activated_; }

// ---- Start-up, settings and the small commands ---------------------------------------------

void TForm1::FormCreate() {
    const std::string path = WizardFolder() + "kvd.cfg";
    if (!rtl::FileExists(path)) {
        rtl::TTextFile file;
        file.Assign(path);
        file.Rewrite();
        rtl::InOutCheck();
        file.Close();
        rtl::InOutCheck();
    }
    LoadSettings(path);
}

void TForm1::LoadSettings(const std::string& path) {
    rtl::TTextFile file;
    file.Assign(path);
    file.Reset();
    rtl::InOutCheck();
    for (;;) {
        const bool atEnd = file.Eof();
        rtl::InOutCheck();
        if (atEnd) break;
        const auto readLine = [&file] {
            std::string line = file.ReadLn();
            rtl::InOutCheck();
            return line;
        };
        SetTextOf(FirstFile, readLine());
        SetTextOf(WebLinkText, readLine());
        SetTextOf(WebLinkURL, readLine());
        const std::string maximise = readLine();
        if (maximise == "-") MaximiseCheck->setChecked(false);
        if (maximise == "M") MaximiseCheck->setChecked(true);
        const std::string borderless = readLine();
        if (borderless == "-") BorderlessCheck->setChecked(false);
        if (borderless == "N") BorderlessCheck->setChecked(true);
        SetTextOf(FormHeight, readLine());
        SetTextOf(FormWidth, readLine());
    }
    file.Close();
    rtl::InOutCheck();
}

void TForm1::SaveSettings(const std::string& path) {
    rtl::TTextFile file;
    file.Assign(path);
    file.Rewrite();
    rtl::InOutCheck();
    const auto writeLine = [&file](const std::string& text) {
        file.WriteLn(text);
        rtl::InOutCheck();
    };
    writeLine(TextOf(FirstFile));
    writeLine(TextOf(WebLinkText));
    writeLine(TextOf(WebLinkURL));
    file.WriteLn(MaximiseCheck->isChecked() ? 'M' : '-');
    rtl::InOutCheck();
    file.WriteLn(BorderlessCheck->isChecked() ? 'N' : '-');
    rtl::InOutCheck();
    writeLine(TextOf(FormHeight));
    writeLine(TextOf(FormWidth));
    file.Close();
    rtl::InOutCheck();
}

void TForm1::HeightPlusClick() { StepNumber(FormHeight, 10); }
void TForm1::HeightMinusClick() { StepNumber(FormHeight, -10); }
void TForm1::WidthPlusClick() { StepNumber(FormWidth, 10); }
void TForm1::WidthMinusClick() { StepNumber(FormWidth, -10); }

void TForm1::Exit1Click() { close(); }

void TForm1::About1Click() {
    framework::ShowInformationBox("Kivador Setup Wizard - for version 3.2\r\rKivador Software - web content on CD");
}

// ---- Activation and the project folder scan ------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous() || shown_before_) return;
    shown_before_ = true;
    if (QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(available.center());
        move(frame.topLeft());
    }
    // Without a window manager nobody else hands the new window the focus.
    activateWindow();
    raise();
    // Some platforms never report the activation, and a window shown minimised is not painted;
    // the first scan must still happen.
    QTimer::singleShot(kFirstPaintWaitMs, this, [this] { RunFirstActivation(); });
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ScheduleFirstActivation();
}

// The first scan of a large folder takes a while: the window is on screen first, its controls
// drawn, with the busy cursor over it until the scan is done.
void TForm1::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (painted_) return;
    painted_ = true;
    if (!activated_) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        busyCursor_ = true;
    }
    // Every control of the window paints in this same pass, and the pass reaches the screen
    // before the event loop takes the next event.
    ScheduleFirstActivation();
}

void TForm1::ScheduleFirstActivation() {
    if (activated_ || !painted_) return;
    QTimer::singleShot(0, this, [this] { RunFirstActivation(); });
}

void TForm1::RunFirstActivation() {
    framework::Guarded([this] {
        // The cursor is back before an error box of the scan shows.
        struct BusyCursorEnd {
            bool& busy;
            ~BusyCursorEnd() {
                if (busy) QGuiApplication::restoreOverrideCursor();
                busy = false;
            }
        } end{busyCursor_};
        if (!activated_) FormActivate();
    });
}

void TForm1::FormActivate() {
    activated_ = true;
    DirectoryListBox1->SetFolderPath(WizardFolder());
    DirectoryListBox1Change();
}

void TForm1::DriveComboBox1Change() {
    const char drive = DriveComboBox1->SelectedDrive();
    // No drive letter (the program was started on a network path): nothing to move to.
    if (drive == 0) return;
    DirectoryListBox1->SetFolderDrive(drive);
}

void TForm1::DirectoryListBox1Change() {
    FileListBox1->SetListedFolder(DirectoryListBox1->FolderPath());
    const std::string p = ProjectFolder();
    Memo2->SetText("Project folder: " + p);
    if (!rtl::FileExists(p + "kvd.cfg")) {
        AppendLine(Memo2, "No kvd.cfg file present in project folder. One will be written during preview.");
    }
    if (rtl::FileExists(p + "kvd.cfg")) {
        LoadSettings(p + "kvd.cfg");
        AppendLine(Memo2, "Existing kvd.cfg file present, settings loaded.");
    }
    if (!rtl::FileExists(p + "kvd.exe")) {
        AppendLine(Memo2, "KVD.EXE not present. It will be copied to project folder during preview.");
    }
    if (!rtl::FileExists(p + TextOf(FirstFile))) {
        AppendLine(Memo2, "Warning: your first page, " + TextOf(FirstFile) + ", does not exist in project folder.");
    }
    if (rtl::FileExists(p + TextOf(FirstFile))) {
        AppendLine(Memo2, "Your first page, " + TextOf(FirstFile) + ", is present. Ready to preview.");
    }
}

void TForm1::FileListBox1DblClick() { SetTextOf(FirstFile, rtl::ExtractFileName(FileListBox1->SelectedFilePath())); }

// ---- Write step, preview and help ------------------------------------------------------------

void TForm1::Button1Click() {
    const std::string p = ProjectFolder();
    BlankToDash(FirstFile);
    BlankToDash(WebLinkText);
    BlankToDash(WebLinkURL);
    Memo1->Clear();
    LaunchParams.clear();
    Memo1->SetText("[autorun]\r\nopen=KVD.exe");
    LaunchParams = Token(DebugCheck->isChecked() ? "d" : "-");
    DebugCheck->setChecked(false);
    LaunchParams += Token(TextOf(FirstFile));
    LaunchParams += Token(TextOf(WebLinkText));
    LaunchParams += Token(TextOf(WebLinkURL));
    if (MaximiseCheck->isChecked()) {
        LaunchParams += Token("M");
        if (BorderlessCheck->isChecked()) LaunchParams += Token("N");
    } else {
        LaunchParams += Token("-");
        LaunchParams += Token(BorderlessCheck->isChecked() ? "N" : "-");
        LaunchParams += Token(TextOf(FormHeight));
        LaunchParams += Token(TextOf(FormWidth));
    }
    Memo1->SetText(Memo1->Text() + LaunchParams);
    SaveSettings(p + "kvd.cfg");

    rtl::TTextFile file;
    file.Assign(p + "autorun.inf");
    file.Rewrite();
    rtl::InOutCheck();
    file.Write(Memo1->Text());
    rtl::InOutCheck();
    file.Close();
    rtl::InOutCheck();
}

void TForm1::Button2Click() {
    Memo2->Clear();
    const std::string p = ProjectFolder();
    const std::string w = WizardFolder();
    Memo2->SetText("Project folder: " + p);
    if (rtl::FileExists(p + "kvd.exe")) {
        // The text comparison misses the wizard folder reached by another path (a link, a
        // "..", a share); deleting then would destroy the source of the copy below, so
        // identity on disk counts as the same folder too.
        const bool sameText = rtl::UpperCase(w) == rtl::UpperCase(p);
        if (!sameText && !platform::SameFileObject(w, p)) rtl::DeleteFile(p + "kvd.exe");
    }
    if (!rtl::FileExists(p + "kvd.exe")) {
        rtl::CopyWholeFile(w + "kvd.exe", p + "kvd.exe");
        AppendLine(Memo2, "KVD.EXE copied to project folder");
    }
    if (!rtl::FileExists(p + TextOf(FirstFile))) {
        AppendLine(Memo2, "Error: your first page, " + TextOf(FirstFile) + ", does not exist in project folder.");
    }
    if (rtl::FileExists(p + TextOf(FirstFile))) {
        AppendLine(Memo2, "Your first page, " + TextOf(FirstFile) + ", is present.");
    }
    if (BorderlessCheck->isChecked()) {
        AppendLine(Memo2,
                   "Attention: you have specified the borderless option. Please make sure that your content explains "
                   "how to exit KVD! (See the help file if you are unsure about this)");
    }
    Button1Click();
    platform::ShellExecute("open", "kvd.exe", LaunchParams, "", platform::kSwShowNormal);
}

void TForm1::Button3Click() {
    DebugCheck->setChecked(true);
    Button2Click();
}

void TForm1::Contents1Click() {
    const std::string parameters =
        "\"-\" \"" + WizardFolder() + "kvdhelp.htm\" \"-\" \"-\" \"-\" \"-\" \"600\" \"700\"";
    platform::ShellExecute("open", "kvd.exe", parameters, "", platform::kSwShowNormal);
}

// ---- The disc commands ----------------------------------------------------------------------

void TForm1::AddDiscCommands() {
    if (CheckProject1) return;
    CheckProject1 = new QAction(QStringLiteral("&Check Project..."), this);
    CheckProject1->setObjectName("CheckProject1");
    MakeCDImage1 = new QAction(QStringLiteral("&Make CD Image..."), this);
    MakeCDImage1->setObjectName("MakeCDImage1");
    File1->insertAction(Exit1, CheckProject1);
    File1->insertAction(Exit1, MakeCDImage1);
    TestDiscImage1 = new QAction(QStringLiteral("&Test Disc Image..."), this);
    TestDiscImage1->setObjectName("TestDiscImage1");
    File1->insertAction(Exit1, TestDiscImage1);
    connect(TestDiscImage1, &QAction::triggered, this,
            [this] { framework::Guarded([this] { TestDiscImage1Click(); }); });
    BurnDisc1 = new QAction(QStringLiteral("&Burn Disc..."), this);
    BurnDisc1->setObjectName("BurnDisc1");
    File1->insertAction(Exit1, BurnDisc1);
    File1->insertSeparator(Exit1);
    connect(CheckProject1, &QAction::triggered, this,
            [this] { framework::Guarded([this] { CheckProject1Click(); }); });
    connect(MakeCDImage1, &QAction::triggered, this,
            [this] { framework::Guarded([this] { MakeCDImage1Click(); }); });
    connect(BurnDisc1, &QAction::triggered, this,
            [this] { framework::Guarded([this] { publish_ui::BurnDisc(this); }); });
}

void TForm1::CheckProject1Click() {
    publish_ui::CheckProject(this, HostProjectFolder(DirectoryListBox1->FolderPath()), TextOf(FirstFile));
}

void TForm1::MakeCDImage1Click() {
    publish_ui::MakeCDImage(this, HostProjectFolder(DirectoryListBox1->FolderPath()), TextOf(FirstFile));
}

void TForm1::TestDiscImage1Click() {
    const std::string wizard = platform::HostPathOf(WizardFolder());
    publish_ui::TestDiscImage(this, wizard.empty() || wizard.back() == '/' ? wizard : wizard + "/",
                              platform::HostPathOf(DirectoryListBox1->FolderPath()));
}
