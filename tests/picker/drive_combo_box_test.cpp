// The drive selector: rows by drive kind, letter case, selection and its change events.
#include <QTest>

#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker_fixture.h"

namespace {

class DriveComboBoxTest : public PickerTest {
protected:
    std::vector<std::string> Rows(const TDriveComboBox& combo) {
        std::vector<std::string> rows;
        for (int i = 0; i < combo.RowCount(); ++i) rows.push_back(combo.RowText(i));
        return rows;
    }
    void Count(TDriveComboBox& combo) {
        combo.OnChange = [this](TDriveComboBox* sender) { seen_.push_back(sender->SelectedDrive()); };
    }
    std::vector<char> seen_;
};

TEST_F(DriveComboBoxTest, RowsNameEachDriveByItsKindInLowerCase) {
    TDriveComboBox combo;
    Count(combo);
    EXPECT_EQ(combo.RowCount(), 0);
    EXPECT_EQ(combo.SelectedDrive(), 'C');
    combo.CreateWnd();
    EXPECT_EQ(Rows(combo), (std::vector<std::string>{"c: [system]", "d:", "e: []", "f: []", "g: [lower]",
                                                       "n: \\\\srv\\share", "r: [ram&disk]"}));
    EXPECT_EQ(combo.RowGlyph(0), TGlyph::Hard);
    EXPECT_EQ(combo.RowGlyph(1), TGlyph::Floppy);
    EXPECT_EQ(combo.RowGlyph(2), TGlyph::Cdrom);
    EXPECT_EQ(combo.RowGlyph(5), TGlyph::Network);
    EXPECT_EQ(combo.RowGlyph(6), TGlyph::Ram);
    // Creating the window applies the drive once, with its event.
    EXPECT_EQ(combo.SelectedDrive(), 'c');
    EXPECT_EQ(combo.SelectedRow(), 0);
    EXPECT_EQ(seen_, std::vector<char>{'c'});
    EXPECT_GE(combo.RowHeight(), 11);
    EXPECT_GE(combo.RowHeight(), combo.fontMetrics().height());
}

TEST_F(DriveComboBoxTest, UpperCaseShowsLettersLabelsAndSharesInCapitals) {
    TDriveComboBox combo;
    combo.CreateWnd();
    combo.SetSelectedDrive('f');
    Count(combo);
    combo.SetTextCase(tcUpperCase);
    EXPECT_EQ(Rows(combo), (std::vector<std::string>{"C: [SYSTEM]", "D:", "E: []", "F: []", "G: [LOWER]",
                                                       "N: \\\\SRV\\SHARE", "R: [RAM&DISK]"}));
    EXPECT_EQ(combo.SelectedDrive(), 'F');
    EXPECT_EQ(combo.SelectedRow(), 3);
    EXPECT_EQ(seen_, std::vector<char>{'F'});
    combo.SetTextCase(tcUpperCase);
    EXPECT_EQ(seen_.size(), 1u);
}

TEST_F(DriveComboBoxTest, SetterCasesTheLetterAndKeepsTheRowForAnUnknownDrive) {
    TDriveComboBox combo;
    combo.CreateWnd();
    Count(combo);
    combo.SetSelectedDrive('C');  // the same drive in the other case
    EXPECT_TRUE(seen_.empty());
    combo.SetSelectedDrive('N');
    EXPECT_EQ(combo.SelectedDrive(), 'n');
    EXPECT_EQ(combo.SelectedRow(), 5);
    combo.SetSelectedDrive('x');
    EXPECT_EQ(combo.SelectedDrive(), 'x');
    EXPECT_EQ(combo.SelectedRow(), 5);
    combo.SetSelectedDrive(0);
    EXPECT_EQ(combo.SelectedDrive(), 0);
    EXPECT_EQ(combo.SelectedRow(), -1);
    EXPECT_EQ(seen_, (std::vector<char>{'n', 'x', 0}));
}

TEST_F(DriveComboBoxTest, UserSelectionRaisesTwiceForAnotherDriveAndOnceForTheSame) {
    TDriveComboBox combo;
    combo.show();
    ASSERT_TRUE(combo.WindowCreated());
    Count(combo);
    emit combo.activated(0);  // what a click on the selected row delivers
    EXPECT_EQ(seen_, std::vector<char>{'c'});
    seen_.clear();
    // Every arrow step is a selection of its own.
    QTest::keyClick(&combo, Qt::Key_Down);
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(seen_, (std::vector<char>{'d', 'd', 'e', 'e'}));
    EXPECT_EQ(combo.SelectedRow(), 2);
    EXPECT_TRUE(errors_.empty());

    // With the list dropped down too, each arrow step selects; Enter then only closes the list.
    seen_.clear();
    combo.showPopup();
    ASSERT_TRUE(combo.view()->isVisible());
    QTest::keyClick(combo.view(), Qt::Key_Down);
    EXPECT_EQ(seen_, (std::vector<char>{'f', 'f'}));
    EXPECT_EQ(combo.SelectedRow(), 3);
    QTest::keyClick(combo.view(), Qt::Key_Up);
    QTest::keyClick(combo.view(), Qt::Key_Return);
    EXPECT_FALSE(combo.view()->isVisible());
    EXPECT_EQ(seen_, (std::vector<char>{'f', 'f', 'e', 'e'}));
    EXPECT_EQ(combo.SelectedRow(), 2);
    // A row picked in the list after it opens again is a selection of its own.
    combo.showPopup();
    emit combo.activated(2);
    EXPECT_EQ(seen_.size(), 5u);
}

TEST_F(DriveComboBoxTest, FailedDriveSwitchEndsTheSelectionAndKeepsTheNewRow) {
    Folder(C("proj"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\proj"));
    TDriveComboBox combo;
    TDirectoryListBox folders;
    combo.CreateWnd();
    folders.CreateWnd();
    int changes = 0;
    combo.OnChange = [&](TDriveComboBox* sender) {
        ++changes;
        folders.SetFolderDrive(sender->SelectedDrive());
    };
    emit combo.activated(2);  // e:, whose folder is gone
    EXPECT_EQ(errors_, std::vector<std::string>{"I/O error 21"});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo.SelectedDrive(), 'e');
    EXPECT_EQ(combo.SelectedRow(), 2);
    EXPECT_EQ(folders.FolderPath(), "C:\\proj");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\proj");

    // Stepping onto that drive in the open list fails the same way, and the list closes for the box.
    combo.show();
    combo.SetSelectedDrive('d');
    errors_.clear();
    changes = 0;
    combo.showPopup();
    QTest::keyClick(combo.view(), Qt::Key_Down);
    EXPECT_EQ(errors_, std::vector<std::string>{"I/O error 21"});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(combo.SelectedDrive(), 'e');
    EXPECT_FALSE(combo.view()->isVisible());
    EXPECT_EQ(folders.FolderPath(), "D:\\");

    errors_.clear();
    changes = 0;
    emit combo.activated(3);
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(folders.FolderPath(), "F:\\");
    EXPECT_EQ(platform::GetCurrentDirectory(), "F:\\");
}

TEST_F(DriveComboBoxTest, NetworkCurrentDirectoryWithoutLetterSelectsNothing) {
    ASSERT_TRUE(platform::SetCurrentDirectory("\\\\SRV\\Share"));
    TDriveComboBox combo;
    Count(combo);
    EXPECT_EQ(combo.SelectedDrive(), 0);
    combo.CreateWnd();
    EXPECT_EQ(combo.SelectedDrive(), 0);
    EXPECT_EQ(combo.SelectedRow(), -1);
    EXPECT_EQ(seen_, std::vector<char>{0});
}

TEST_F(DriveComboBoxTest, LinkedFolderListSwitchesAndItsDestructionClearsTheLink) {
    Folder(temp_ / "f/sub");
    ASSERT_TRUE(platform::SetCurrentDirectory("F:\\sub"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\"));
    TDriveComboBox combo;
    combo.CreateWnd();
    auto* folders = new TDirectoryListBox;
    folders->CreateWnd();
    int folderChanges = 0;
    folders->OnChange = [&](TDirectoryListBox*) { ++folderChanges; };
    combo.SetDirList(folders);
    EXPECT_EQ(folders->DriveCombo(), &combo);
    combo.SetSelectedDrive('f');
    EXPECT_EQ(folders->FolderPath(), "F:\\sub");
    EXPECT_EQ(folderChanges, 1);
    EXPECT_EQ(platform::GetCurrentDirectory(), "F:\\sub");

    // A folder change across drives goes through the selector, which follows.
    folders->SetFolderPath("C:\\");
    EXPECT_EQ(combo.SelectedDrive(), 'c');
    EXPECT_EQ(folders->FolderPath(), "C:\\");
    EXPECT_EQ(folderChanges, 2);

    delete folders;
    EXPECT_EQ(combo.DirList(), nullptr);
    combo.SetSelectedDrive('d');
    EXPECT_EQ(combo.SelectedDrive(), 'd');
}

}  // namespace
