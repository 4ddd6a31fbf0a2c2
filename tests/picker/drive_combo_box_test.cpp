// The drive selector: rows by drive kind, letter case, selection and its change events.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QItemSelectionModel>
#include <QTest>
#include <cerrno>
#include <cstring>

#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker/path_rules.h"
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

TEST_F(DriveComboBoxTest, AScreenReaderHearsDriveAndTheSelectedRow) {
    TDriveComboBox combo;
    combo.CreateWnd();
    combo.SetSelectedDrive('g');
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&combo);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::ComboBox);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Drive"));
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("g: [lower]"));
    // The bus carries the value as the combo's text, and the chosen row as the closed list's selection.
    ASSERT_NE(accessible->textInterface(), nullptr);
    EXPECT_EQ(accessible->textInterface()->text(0, -1), QStringLiteral("g: [lower]"));
    EXPECT_EQ(accessible->textInterface()->text(3, 5), QStringLiteral("[l"));
    const QModelIndexList selected = combo.view()->selectionModel()->selectedIndexes();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].row(), combo.SelectedRow());
    ASSERT_EQ(accessible->childCount(), 1);
    EXPECT_EQ(accessible->child(0)->object(), combo.view());
    EXPECT_EQ(accessible->indexOfChild(accessible->child(0)), 0);
    // Opening the list through assistive technology is the same as opening it by hand.
    combo.show();
    ASSERT_NE(accessible->actionInterface(), nullptr);
    accessible->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_TRUE(combo.view()->isVisible());
    EXPECT_TRUE(accessible->state().expanded);
    combo.hidePopup();
}

// A RAM disk mounted between two rebuilds of the rows, in a mount namespace of this test's own
// so that no other program on the machine sees it.
TEST_F(DriveComboBoxTest, EachRebuildOfTheRowsReadsTheDrivesAgain) {
    if (unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "no mount namespace of its own here: " << std::strerror(errno);
    // Without private propagation the RAM disk would show in the machine's own namespace too. A root
    // that is no mount point of its own (a chroot) cannot be made private: there the test cannot run.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "the mounts here cannot be made private: " << std::strerror(errno);
    // Not below /tmp: RAM disks there belong to the system and get no letter.
    char pattern[] = "/var/tmp/kvdmount.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    struct Teardown {
        std::string folder;
        bool mounted = false;
        ~Teardown() {
            if (mounted) umount2(folder.c_str(), MNT_DETACH);
            rmdir(folder.c_str());
        }
    } teardown{folder};
    platform::posix::ResetDriveTable();
    const auto letterOf = [&]() -> char {
        for (const auto& drive : platform::posix::DriveTable())
            if (drive.hostFolder == folder) return drive.letter;
        return 0;
    };
    TDriveComboBox combo;
    const auto rowOf = [&](char letter) -> int {
        for (int row = 0; row < combo.RowCount(); ++row)
            if (picker::UpperDriveChar(combo.RowText(row)[0]) == letter) return row;
        return -1;
    };
    combo.CreateWnd();
    const int before = combo.RowCount();
    ASSERT_EQ(letterOf(), 0);

    ASSERT_EQ(mount("kvdtest", folder.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
    teardown.mounted = true;
    EXPECT_EQ(combo.RowCount(), before);  // nothing reads the drives until the rows are rebuilt
    combo.SetTextCase(tcUpperCase);
    const char letter = letterOf();
    ASSERT_NE(letter, 0) << "the RAM disk got no letter";
    EXPECT_EQ(combo.RowCount(), before + 1);
    ASSERT_GE(rowOf(letter), 0);
    EXPECT_EQ(combo.RowText(rowOf(letter)), std::string(1, letter) + ": []");
    EXPECT_EQ(combo.RowGlyph(rowOf(letter)), TGlyph::Ram);

    ASSERT_EQ(umount2(folder.c_str(), 0), 0) << std::strerror(errno);
    teardown.mounted = false;
    combo.CreateWnd();  // what a re-created window does
    EXPECT_EQ(combo.RowCount(), before);
    EXPECT_EQ(rowOf(letter), -1);
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
