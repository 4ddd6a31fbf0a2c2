// The folder list: rows, indents, row paths, folder and drive changes, and their failures.
#include <QLabel>
#include <QTest>

#include "picker/TDirectoryListBox.h"
#include "picker/TFileListBox.h"
#include "picker_fixture.h"
#include "runtime/exceptions.h"

namespace {

struct Row {
    std::string text;
    TGlyph kind;
    int indent;
    std::string path;
    bool operator==(const Row& other) const {
        return text == other.text && kind == other.kind && indent == other.indent && path == other.path;
    }
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.text << ", " << static_cast<int>(row.kind) << ", " << row.indent << ", " << row.path << "}";
}

class DirectoryListBoxTest : public PickerTest {
protected:
    void SetUp() override {
        PickerTest::SetUp();
        Folder(C("a/b/Zeta"));
        Folder(C("a/b/alpha"));
        Folder(C("a/b/Beta"));
        Folder(C("a/b/.hidden"));
        File(C("a/b/page.htm"));
        Folder(C("top"));
    }
    std::vector<Row> Rows(const TDirectoryListBox& list) {
        std::vector<Row> rows;
        for (int i = 0; i < list.RowCount(); ++i)
            rows.push_back({list.RowText(i), list.RowKind(i), list.RowIndent(i), list.RowPath(i)});
        return rows;
    }
    void Count(TDirectoryListBox& list) {
        list.OnChange = [this](TDirectoryListBox* sender) { seen_.push_back(sender->FolderPath()); };
    }
    static void DoubleClickRow(TDirectoryListBox& list, int row) {
        const QPoint at = list.visualItemRect(list.item(row)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    }
    std::vector<std::string> seen_;
};

constexpr TGlyph kOpen = TGlyph::OpenFolder;
constexpr TGlyph kCurrent = TGlyph::CurrentFolder;
constexpr TGlyph kClosed = TGlyph::ClosedFolder;

TEST_F(DirectoryListBoxTest, RowsOfANestedFolderWithSortedVisibleSubFolders) {
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\a\\b"));
    TDirectoryListBox list;
    Count(list);
    EXPECT_EQ(list.RowCount(), 0);
    list.CreateWnd();
    EXPECT_EQ(Rows(list), (std::vector<Row>{{"C:\\", kOpen, 2, "C:\\"},
                                            {"a", kOpen, 6, "C:\\a"},
                                            {"b", kCurrent, 10, "C:\\a\\b"},
                                            {"alpha", kClosed, 14, "C:\\a\\b\\alpha"},
                                            {"Beta", kClosed, 14, "C:\\a\\b\\Beta"},
                                            {"Zeta", kClosed, 14, "C:\\a\\b\\Zeta"}}));
    EXPECT_EQ(list.SelectedRow(), 2);
    EXPECT_EQ(list.RowPath(6), "");
    EXPECT_TRUE(seen_.empty());
    EXPECT_GE(list.RowHeight(), 16);
}

TEST_F(DirectoryListBoxTest, DriveRootIsTheCurrentRowAndItsFirstSubFolderIsSelected) {
    TDirectoryListBox list;
    list.CreateWnd();
    EXPECT_EQ(list.FolderPath(), "C:\\");
    EXPECT_EQ(Rows(list),
              (std::vector<Row>{{"C:\\", kCurrent, 2, "C:\\"}, {"a", kClosed, 10, "C:\\a"}, {"top", kClosed, 10, "C:\\top"}}));
    EXPECT_EQ(list.SelectedRow(), 1);

    // A root without sub-folders leaves no row selected.
    ASSERT_TRUE(platform::SetCurrentDirectory("F:\\"));
    TDirectoryListBox empty;
    empty.CreateWnd();
    EXPECT_EQ(empty.RowCount(), 1);
    EXPECT_EQ(empty.SelectedRow(), -1);
}

TEST_F(DirectoryListBoxTest, FolderWritesChangeOnlyForADifferentText) {
    TDirectoryListBox list;
    list.CreateWnd();
    Count(list);
    list.SetFolderPath("C:\\a\\b");
    EXPECT_EQ(list.FolderPath(), "C:\\a\\b");
    EXPECT_EQ(list.SelectedRow(), 2);
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\a\\b");
    list.SetFolderPath("C:\\a\\b");
    list.SetFolderPath("");
    EXPECT_EQ(seen_.size(), 1u);
    // The same folder with a trailing backslash is another text: rebuilt and reported.
    list.SetFolderPath("C:\\a\\b\\");
    EXPECT_EQ(seen_, (std::vector<std::string>{"C:\\a\\b", "C:\\a\\b"}));
    // The case-sensitive volume tells "C:\A\B" from the folder shown: it is a change, and the
    // folder is entered under the name as requested, as the system keeps it.
    EXPECT_TRUE(list.CaseSensitive());
    list.SetFolderPath("C:\\A\\B");
    EXPECT_EQ(list.FolderPath(), "C:\\A\\B");
    EXPECT_EQ(seen_.size(), 3u);
    // The path of a file opens the file's folder.
    list.SetFolderPath("C:\\top");
    list.SetFolderPath("C:\\a\\b\\page.htm");
    EXPECT_EQ(list.FolderPath(), "C:\\a\\b");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\a\\b");
    // A relative request resolves against the folder shown.
    list.SetFolderPath("..");
    EXPECT_EQ(list.FolderPath(), "C:\\a");
    EXPECT_EQ(seen_.size(), 6u);
}

TEST_F(DirectoryListBoxTest, VolumeThatIgnoresCaseComparesAndShowsInLowerCase) {
    Folder(temp_ / "g/Mixed");
    ASSERT_TRUE(platform::SetCurrentDirectory("G:\\Mixed"));
    TDirectoryListBox list;
    list.CreateWnd();
    Count(list);
    EXPECT_FALSE(list.CasePreserving());
    EXPECT_EQ(list.RowText(1), "Mixed");
    EXPECT_EQ(list.DisplayText(1), "mixed");
    list.SetFolderPath("g:\\MIXED");
    EXPECT_TRUE(seen_.empty());
    list.SetFolderDrive('g');
    EXPECT_TRUE(seen_.empty());
}

TEST_F(DirectoryListBoxTest, FoldersThatDifferOnlyInCaseAreTwoRowsOnlyOnACaseSensitiveVolume) {
    Folder(C("cases/docs"));
    Folder(C("cases/Docs"));
    Folder(C("cases/alpha"));
    Folder(C("cases/DOCS/inner"));
    const struct {
        uint32_t flags;
        std::vector<std::string> subFolders;
    } volumes[] = {
        {platform::kFsCaseSensitiveSearch | platform::kFsCasePreservedNames, {"alpha", "DOCS", "Docs", "docs"}},
        {platform::kFsCaseSensitiveSearch, {"alpha", "DOCS", "Docs", "docs"}},
        {platform::kFsCasePreservedNames, {"alpha", "DOCS"}},
        {0, {"alpha", "DOCS"}},
    };
    char host[4096];
    for (const auto& volume : volumes) {
        platform::posix::DriveEntry drive;
        drive.letter = 'C';
        drive.hostFolder = temp_ / "c";
        drive.fsFlags = volume.flags;
        platform::posix::SetDriveTable({drive});
        ASSERT_TRUE(platform::SetCurrentDirectory("C:\\cases"));
        TDirectoryListBox list;
        list.CreateWnd();
        std::vector<std::string> subFolders;
        for (int i = 2; i < list.RowCount(); ++i) subFolders.push_back(list.RowText(i));
        EXPECT_EQ(subFolders, volume.subFolders) << volume.flags;
        // Every row opens the folder it names, and no other.
        for (int i = 2; i < list.RowCount(); ++i) {
            const std::string name = list.RowText(i);
            list.SetFolderPath(list.RowPath(i));
            EXPECT_EQ(list.FolderPath(), "C:\\cases\\" + name);
            ASSERT_NE(getcwd(host, sizeof host), nullptr);
            EXPECT_EQ(std::string(host), C("cases/" + name)) << volume.flags;
            list.SetFolderPath("C:\\cases");
        }
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(DirectoryListBoxTest, MissingFolderAndDriveThatIsNotReadyChangeNothing) {
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\a\\b"));
    TDirectoryListBox list;
    list.CreateWnd();
    Count(list);
    try {
        list.SetFolderPath("C:\\a\\nowhere");
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, platform::kErrorFileNotFound);
        EXPECT_EQ(error.Message(), "File not found");
    }
    try {
        list.SetFolderDrive('E');
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, 21);
        EXPECT_EQ(error.Message(), "I/O error 21");
    }
    EXPECT_EQ(list.FolderPath(), "C:\\a\\b");
    EXPECT_EQ(list.RowCount(), 6);
    EXPECT_EQ(list.SelectedRow(), 2);
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\a\\b");
    EXPECT_TRUE(seen_.empty());

    // A row whose folder was removed since the rows were built fails the same way.
    ::rmdir(C("a/b/alpha").c_str());
    list.SelectRow(3);
    EXPECT_THROW(list.OpenSelectedRow(), rtl::EInOutError);
    EXPECT_EQ(list.FolderPath(), "C:\\a\\b");
}

TEST_F(DirectoryListBoxTest, DriveWritesMoveToThatDrivesCurrentFolder) {
    Folder(temp_ / "f/kept");
    ASSERT_TRUE(platform::SetCurrentDirectory("F:\\kept"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\a"));
    TDirectoryListBox list;
    list.CreateWnd();
    Count(list);
    list.SetFolderDrive('f');
    EXPECT_EQ(list.FolderPath(), "F:\\kept");
    EXPECT_EQ(list.FolderDrive(), 'F');
    EXPECT_EQ(platform::GetCurrentDirectory(), "F:\\kept");
    list.SwitchDrive('C');
    EXPECT_EQ(list.FolderPath(), "C:\\a");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\a");
    list.SwitchDrive('c');
    EXPECT_EQ(seen_, (std::vector<std::string>{"F:\\kept", "C:\\a"}));
}

TEST_F(DirectoryListBoxTest, DoubleClickAndEnterOpenTheSelectedRow) {
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\a\\b"));
    TDirectoryListBox list;
    list.resize(200, 200);
    list.show();
    ASSERT_TRUE(list.WindowCreated());
    Count(list);
    DoubleClickRow(list, 2);  // the current folder: requests itself
    EXPECT_TRUE(seen_.empty());
    // A double-click of another button opens nothing.
    QTest::mouseDClick(list.viewport(), Qt::RightButton, {}, list.visualItemRect(list.item(0)).center());
    EXPECT_TRUE(seen_.empty());
    DoubleClickRow(list, 0);
    EXPECT_EQ(seen_, std::vector<std::string>{"C:\\"});
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\");
    // A single click and the arrow keys only select.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(2)).center());
    QTest::keyClick(&list, Qt::Key_Up);
    EXPECT_EQ(list.SelectedRow(), 1);
    EXPECT_EQ(seen_.size(), 1u);
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(seen_, (std::vector<std::string>{"C:\\", "C:\\a"}));
    EXPECT_TRUE(errors_.empty());

    // A failure from a double-click reaches the guard.
    ::rmdir(C("a/b/Zeta").c_str());
    list.SetFolderPath("C:\\a\\b");
    ::rmdir(C("a/b/Beta").c_str());
    DoubleClickRow(list, 4);
    EXPECT_EQ(errors_, std::vector<std::string>{"File not found"});
}

TEST_F(DirectoryListBoxTest, NetworkPathStartsWithTheShareRoot) {
    Folder(temp_ / "n/docs/x/inner");
    TDirectoryListBox list;
    list.CreateWnd();
    list.SetFolderPath("\\\\SRV\\Share\\docs\\x");
    EXPECT_EQ(list.FolderPath(), "\\\\SRV\\Share\\docs\\x");
    EXPECT_EQ(Rows(list), (std::vector<Row>{{"\\\\SRV\\Share\\", kOpen, 2, "\\\\SRV\\Share\\"},
                                            {"docs", kOpen, 6, "\\\\SRV\\Share\\docs"},
                                            {"x", kCurrent, 10, "\\\\SRV\\Share\\docs\\x"},
                                            {"inner", kClosed, 26, "\\\\SRV\\Share\\docs\\x\\inner"}}));
    EXPECT_EQ(platform::GetCurrentDirectory(), "\\\\SRV\\Share\\docs\\x");
}

TEST_F(DirectoryListBoxTest, LinkedFileListAndLabelFollowAndForgetDestroyedControls) {
    File(C("a/b/page.htm"));
    TDirectoryListBox list;
    list.resize(2000, 100);
    list.CreateWnd();
    auto* files = new TFileListBox;
    files->CreateWnd();
    auto* label = new QLabel;
    list.SetFileList(files);
    list.SetDirLabel(label);
    EXPECT_EQ(files->DirList(), &list);
    EXPECT_EQ(label->text().toStdString(), "C:\\");
    list.SetFolderPath("C:\\a\\b");
    EXPECT_EQ(files->ListedFolder(), "C:\\a\\b");
    ASSERT_EQ(files->EntryCount(), 1);
    EXPECT_EQ(files->EntryText(0), "page.htm");
    EXPECT_EQ(label->text().toStdString(), "C:\\a\\b");
    delete files;
    delete label;
    EXPECT_EQ(list.FileList(), nullptr);
    EXPECT_EQ(list.DirLabel(), nullptr);
    list.SetFolderPath("C:\\a");
    EXPECT_EQ(list.FolderPath(), "C:\\a");
}

}  // namespace
