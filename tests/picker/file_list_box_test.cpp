// The file list: what a refresh lists, path texts, selection, the linked edit and the hourglass.
#include <sys/stat.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <cstdio>

#include "picker/TFileListBox.h"
#include "picker_fixture.h"
#include "runtime/exceptions.h"

namespace {

class FileListBoxTest : public PickerTest {
protected:
    void SetUp() override {
        PickerTest::SetUp();
        Folder(C("site/sub"));
        File(C("site/index.htm"));
        File(C("site/Alpha.txt"));
        File(C("site/SETUP.EXE"));
        File(C("site/run.Bat"));
        File(C("site/.secret"));
        File(C("site/locked.txt"));
        ::chmod(C("site/locked.txt").c_str(), 0444);
        ASSERT_EQ(::mkfifo(C("site/pipe").c_str(), 0600), 0);  // a system entry
        ASSERT_TRUE(platform::SetCurrentDirectory("C:\\site"));
    }
    static std::vector<std::string> Entries(const TFileListBox& list) {
        std::vector<std::string> entries;
        for (int i = 0; i < list.EntryCount(); ++i) entries.push_back(list.EntryText(i));
        return entries;
    }
    static QPoint RowCenter(const TFileListBox& list, int row) {
        return list.visualRect(list.model()->index(row, 0)).center();
    }
    void Count(TFileListBox& list) {
        list.OnChange = [this](TFileListBox* sender) { seen_.push_back(sender->SelectedEntry()); };
    }
    std::vector<std::string> seen_;
};

TEST_F(FileListBoxTest, DefaultsListVisibleFilesSortedWithoutFolders) {
    TFileListBox list;
    Count(list);
    EXPECT_EQ(list.ListedFolder(), "C:\\site");
    EXPECT_EQ(list.Mask(), "*.*");
    EXPECT_EQ(list.FileType(), TFileType{ftNormal});
    EXPECT_EQ(list.EntryCount(), 0);
    list.CreateWnd();
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"Alpha.txt", "index.htm", "locked.txt", "run.Bat", "SETUP.EXE"}));
    EXPECT_EQ(list.EntryGlyph(0), TGlyph::UnknownFile);
    EXPECT_EQ(list.EntryGlyph(3), TGlyph::Executable);
    EXPECT_EQ(list.EntryGlyph(4), TGlyph::Executable);
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.LastSelection(), -1);
    EXPECT_EQ(list.SelectedFilePath(), "");
    EXPECT_EQ(seen_, std::vector<std::string>{""});
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\site");
}

TEST_F(FileListBoxTest, MaskPatternsAndAttributeKinds) {
    TFileListBox list;
    list.CreateWnd();
    Count(list);
    list.SetMask("*.htm;index.*");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"index.htm", "index.htm"}));
    list.SetMask("*.htm;index.*");
    EXPECT_EQ(seen_.size(), 1u);

    list.SetMask("*");
    list.SetFileType({ftDirectory});
    // Only entries that share an attribute bit: the folders, with the folder and its parent.
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"[..]", "[.]", "[sub]"}));
    EXPECT_EQ(list.EntryGlyph(2), TGlyph::None);
    list.SetShowGlyphs(true);
    EXPECT_GE(list.RowHeight(), 16);
    list.SetFileType({ftDirectory, ftNormal});
    EXPECT_EQ(list.EntryCount(), 8);
    EXPECT_EQ(list.EntryGlyph(2), TGlyph::ClosedFolder);
    list.SetFileType({ftHidden, ftSystem, ftNormal});
    EXPECT_EQ(Entries(list), (std::vector<std::string>{".secret", "Alpha.txt", "index.htm", "locked.txt", "pipe",
                                                       "run.Bat", "SETUP.EXE"}));
    EXPECT_EQ(seen_.size(), 5u);
}

TEST_F(FileListBoxTest, PathTextsListTheFolderAndSelectOrFilter) {
    TFileListBox list;
    list.CreateWnd();
    Count(list);
    list.SetSelectedFilePath("C:\\site\\INDEX.HTM");
    EXPECT_EQ(list.SelectedEntry(), "index.htm");
    EXPECT_EQ(list.SelectedFilePath(), "C:\\site\\index.htm");
    EXPECT_EQ(list.LastSelection(), 1);
    EXPECT_EQ(seen_, std::vector<std::string>{"index.htm"});
    list.SetSelectedFilePath("c:\\SITE\\index.htm");  // the selected path again
    EXPECT_EQ(seen_.size(), 1u);

    // A folder followed by a pattern lists the folder through the pattern.
    list.SetListedFolder("C:\\site\\*.txt");
    EXPECT_EQ(list.Mask(), "*.txt");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"Alpha.txt", "locked.txt"}));

    // A file the mask leaves out becomes the mask.
    list.SetSelectedFilePath("C:\\site\\SETUP.EXE");
    EXPECT_EQ(list.Mask(), "SETUP.EXE");
    EXPECT_EQ(list.SelectedEntry(), "SETUP.EXE");

    // A drive root joins with one backslash.
    File(C("root.htm"));
    list.SetListedFolder("C:\\");
    EXPECT_EQ(list.ListedFolder(), "C:\\");
    list.SetMask("*.*");
    list.SetItemIndex(0);
    EXPECT_EQ(list.SelectedEntry(), "root.htm");
    EXPECT_EQ(list.SelectedFilePath(), "C:\\root.htm");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\");
}

TEST_F(FileListBoxTest, SameFolderInAnotherCaseIsNotReadAgain) {
    TFileListBox list;
    list.CreateWnd();
    Count(list);
    File(C("site/later.htm"));
    list.SetListedFolder("c:\\site\\");
    list.SetFolder("C:\\SITE");  // as a linked folder list hands it over
    EXPECT_EQ(list.EntryCount(), 5);
    EXPECT_EQ(list.ListedFolder(), "C:\\site");
    EXPECT_TRUE(seen_.empty());
    list.SetListedFolder("C:\\site\\sub");
    list.SetListedFolder("C:\\site");
    EXPECT_EQ(list.EntryCount(), 6);
}

TEST_F(FileListBoxTest, FailuresRaiseTheirExactMessagesAndKeepTheEntries) {
    TFileListBox list;
    list.CreateWnd();
    try {
        list.SetSelectedFilePath("C:\\site\\missing.htm");
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.Message(), "File not found");
    }
    // Found by the split, which looks in the folder, but not from the current directory.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\"));
    try {
        list.SetSelectedFilePath("C:\\site\\index.htm");
        FAIL() << "no exception";
    } catch (const rtl::EInvalidOperation& error) {
        EXPECT_EQ(error.Message(), "Invalid file name - C:\\site\\index.htm");
    }
    // A listed folder that has gone away.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\site"));
    list.SetListedFolder("C:\\site\\sub");
    ::rmdir(C("site/sub").c_str());
    try {
        list.SetMask("*.htm");
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, platform::kErrorFileNotFound);
    }
    EXPECT_EQ(list.ListedFolder(), "C:\\site\\sub");
}

TEST_F(FileListBoxTest, LinkedEditShowsTheSelectionOrTheMask) {
    TFileListBox list;
    list.CreateWnd();
    auto* edit = new QLineEdit;
    list.SetFileEdit(edit);
    EXPECT_EQ(edit->text().toStdString(), "*.*");
    list.SetSelectedFilePath("C:\\site\\Alpha.txt");
    EXPECT_EQ(edit->text().toStdString(), "Alpha.txt");
    EXPECT_EQ(edit->selectedText().toStdString(), "Alpha.txt");
    delete edit;
    EXPECT_EQ(list.FileEdit(), nullptr);
    list.SetMask("*.htm");
    EXPECT_EQ(list.EntryCount(), 1);
}

TEST_F(FileListBoxTest, UserSelectionNotifiesOnlyOnAChangeAndDoubleClickOnlyRaisesItsEvent) {
    TFileListBox list;
    list.resize(200, 200);
    list.show();
    Count(list);
    int doubleClicks = 0;
    list.OnDblClick = [&](TFileListBox*) { ++doubleClicks; };
    const QPoint second = RowCenter(list, 1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(seen_, std::vector<std::string>{"index.htm"});
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(seen_, (std::vector<std::string>{"index.htm", "locked.txt"}));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, RowCenter(list, 2));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(seen_.size(), 2u);
    // Only the left button double-clicks.
    QTest::mouseDClick(list.viewport(), Qt::RightButton, {}, RowCenter(list, 2));
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(FileListBoxTest, EnterRaisesTheDoubleClickEventAndNothingElse) {
    TFileListBox list;
    list.resize(200, 200);
    list.show();
    Count(list);
    int doubleClicks = 0;
    list.OnDblClick = [&](TFileListBox* sender) {
        ++doubleClicks;
        seen_.push_back("double-click " + sender->SelectedEntry());
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, RowCenter(list, 1));
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, RowCenter(list, 1));
    EXPECT_EQ(doubleClicks, 3);
    EXPECT_EQ(seen_, (std::vector<std::string>{"index.htm", "double-click index.htm", "double-click index.htm",
                                               "double-click index.htm"}));
    EXPECT_EQ(list.SelectedEntry(), "index.htm");
}

// Drive C is case-sensitive, drive G is not; both lie on the same host file system.
TEST_F(FileListBoxTest, CaseSensitiveVolumeListsAndReachesBothSpellings) {
    struct Row {
        std::string drive, host;
        bool caseSensitive;
    };
    for (const Row& row : {Row{"C", C("cs"), true}, Row{"G", temp_ / "g/cs", false}}) {
        SCOPED_TRACE(row.drive);
        Folder(row.host + "/p");
        Folder(row.host + "/P");
        File(row.host + "/a.htm");
        File(row.host + "/A.htm");
        File(row.host + "/p/lower.htm");
        File(row.host + "/P/upper.htm");
        const std::string folder = row.drive + ":\\cs";
        ASSERT_TRUE(platform::SetCurrentDirectory(folder));
        TFileListBox list;
        list.CreateWnd();
        seen_.clear();
        Count(list);
        EXPECT_EQ(list.CaseSensitive(), row.caseSensitive);
        ASSERT_EQ(list.EntryCount(), 2);
        EXPECT_EQ(platform::CompareStringNoCase(list.EntryText(0), list.EntryText(1)), 0);

        list.SetSelectedFilePath(folder + "\\A.htm");
        list.SetSelectedFilePath(folder + "\\a.htm");
        if (row.caseSensitive) {
            EXPECT_EQ(seen_, (std::vector<std::string>{"A.htm", "a.htm"}));
        } else {
            // The first entry of either spelling, and the second path is the same name.
            ASSERT_EQ(seen_.size(), 1u);
            EXPECT_EQ(seen_[0], list.EntryText(0));
        }

        list.SetListedFolder(folder + "\\p");
        EXPECT_EQ(list.EntryText(0), "lower.htm");
        list.SetListedFolder(folder + "\\P");
        EXPECT_EQ(list.ListedFolder(), folder + (row.caseSensitive ? "\\P" : "\\p"));
        EXPECT_EQ(list.EntryText(0), row.caseSensitive ? "upper.htm" : "lower.htm");
    }
}

TEST_F(FileListBoxTest, FocusMarksARowWithoutSelectingItAndOnlyASelectionNotifies) {
    TFileListBox list;
    list.resize(200, 200);
    list.show();
    Count(list);
    // Tabbing in puts the focus frame on the first row; nothing is selected by that.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(&list, &focusIn);
    ASSERT_EQ(list.currentIndex().row(), 0);
    EXPECT_EQ(list.ItemIndex(), -1);
    QTest::keyClick(&list, Qt::Key_Control);
    EXPECT_TRUE(seen_.empty());
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_EQ(seen_, std::vector<std::string>{"Alpha.txt"});
    EXPECT_EQ(list.LastSelection(), 0);
    // A Ctrl-click takes the selection off the row the focus frame stays on.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, RowCenter(list, 0));
    EXPECT_EQ(list.SelectedEntry(), "");
    EXPECT_EQ(seen_, (std::vector<std::string>{"Alpha.txt", ""}));
    EXPECT_EQ(list.LastSelection(), -1);
}

class HourglassTest : public PickerTest {
protected:
    void TearDown() override {
        TFileListBox::SetEntryAddedObserverForTesting(nullptr);
        PickerTest::TearDown();
    }
};

TEST_F(HourglassTest, WaitCursorOnlyWhileAnEntryLandsAtPosition100) {
    Folder(C("many"));
    std::string ascending, descending;
    for (int i = 0; i <= 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        File(C("many/") + name);
        ascending += (i ? ";" : "") + std::string(name);
        std::snprintf(name, sizeof name, "f%03d.txt", 100 - i);
        descending += (i ? ";" : "") + std::string(name);
    }
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\many"));
    TFileListBox list;
    list.CreateWnd();
    std::vector<std::pair<int, bool>> adds;
    TFileListBox::SetEntryAddedObserverForTesting([&](TFileListBox*, int position) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        adds.emplace_back(position, cursor && cursor->shape() == Qt::WaitCursor);
    });
    // In ascending order the 101st entry goes to position 100.
    list.SetMask(ascending);
    ASSERT_EQ(adds.size(), 101u);
    EXPECT_FALSE(adds[99].second);
    EXPECT_EQ(adds[100], std::make_pair(100, true));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // In descending order every entry goes to the front: no hourglass.
    adds.clear();
    list.SetMask(descending);
    ASSERT_EQ(adds.size(), 101u);
    for (const auto& add : adds) EXPECT_EQ(add, std::make_pair(0, false));

    // A refresh that fails after the hourglass went up still takes it down.
    adds.clear();
    TFileListBox::SetEntryAddedObserverForTesting([&](TFileListBox*, int position) {
        if (position == 100) throw rtl::EInOutError("stop", 5);
    });
    EXPECT_THROW(list.SetMask(ascending + ";"), rtl::EInOutError);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
