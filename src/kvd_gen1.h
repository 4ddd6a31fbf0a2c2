// The wizard's main window: the controls of the form and the handlers of its events.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class TDriveComboBox;
class TDirectoryListBox;
class TFileListBox;
namespace framework {
class TMemo;
}
namespace Ui {
class Form1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The controls, owned by Qt; each one's objectName is its field name.
    QPushButton* Button1 = nullptr;
    framework::TMemo* Memo1 = nullptr;
    QPushButton* Button2 = nullptr;
    TDirectoryListBox* DirectoryListBox1 = nullptr;
    TDriveComboBox* DriveComboBox1 = nullptr;
    TFileListBox* FileListBox1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    framework::TMemo* Memo2 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* FirstFile = nullptr;
    QLineEdit* WebLinkText = nullptr;
    QLineEdit* WebLinkURL = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* MaximiseCheck = nullptr;
    QLineEdit* FormHeight = nullptr;
    QLineEdit* FormWidth = nullptr;
    QPushButton* HeightPlus = nullptr;
    QPushButton* HeightMinus = nullptr;
    QPushButton* WidthPlus = nullptr;
    QPushButton* WidthMinus = nullptr;
    QCheckBox* BorderlessCheck = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* About1 = nullptr;
    QCheckBox* DebugCheck = nullptr;
    QPushButton* Button3 = nullptr;
    QAction* Exit1 = nullptr;
    std::string LaunchParams;
    // The disc commands of File, above Exit.
    QAction* CheckProject1 = nullptr;
    QAction* MakeCDImage1 = nullptr;
    QAction* TestDiscImage1 = nullptr;
    QAction* BurnDisc1 = nullptr;

    // Handlers. Called directly they throw; Qt reaches them only through framework::Guarded.
    void FormCreate();
    void FormActivate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void DirectoryListBox1Change();
    void DriveComboBox1Change();
    void FileListBox1DblClick();
    void HeightPlusClick();
    void HeightMinusClick();
    void WidthPlusClick();
    void WidthMinusClick();
    void Exit1Click();
    void Contents1Click();
    void About1Click();
    void CheckProject1Click();
    void MakeCDImage1Click();
    void TestDiscImage1Click();

    // Puts "Check Project...", "Make CD Image...", "Test Disc Image..." and "Burn Disc..." into File above Exit,
    // once; the window's constructor does it.
    void AddDiscCommands();

    // The seven-line settings record, read into and written from the controls.
    void LoadSettings(const std::string& path);
    void SaveSettings(const std::string& path);
    // Folder part of the program path, with its trailing backslash.
    std::string WizardFolder() const;
    // DirectoryListBox1's folder with exactly one trailing backslash.
    std::string ProjectFolder() const;
    bool Activated() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetUpControls();
    void FitFontToCaptions();
    bool CaptionsFit() const;
    void ConnectEvents();
    void ScheduleFirstActivation();
    void RunFirstActivation();

    std::unique_ptr<Ui::Form1> ui_;
    bool activated_ = false;
    bool shown_before_ = false;
    bool painted_ = false;
    bool busyCursor_ = false;
    // How long the first scan waits for a first paint that may never come.
    static constexpr int kFirstPaintWaitMs = 500;
};
