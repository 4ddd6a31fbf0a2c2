// The folder list: the current folder as a short indented tree, with its sub-folders below it.
#pragma once

#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <functional>
#include <string>

#include "picker/glyphs.h"

class QLabel;
class TDriveComboBox;
class TFileListBox;

class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);
    ~TDirectoryListBox() override;

    const std::string& FolderPath() const { return folderPath_; }
    // The folder change: raises rtl::EInOutError when the folder cannot be entered.
    void SetFolderPath(const std::string& path);
    char FolderDrive() const { return folderPath_.empty() ? 0 : folderPath_[0]; }
    void SetFolderDrive(char drive);
    void SwitchDrive(char drive);

    // The full path the row stands for; empty for an index out of range.
    std::string RowPath(int index) const;
    void OpenSelectedRow();

    TFileListBox* FileList() const;
    void SetFileList(TFileListBox* list);
    QLabel* DirLabel() const;
    void SetDirLabel(QLabel* label);
    TDriveComboBox* DriveCombo() const;

    std::function<void(TDirectoryListBox*)> OnChange;

    // Builds the rows and selects the row of FolderPath; runs by itself on first show.
    void CreateWnd();
    bool WindowCreated() const { return created_; }

    // Rows, for drawing and tests.
    int RowCount() const { return count(); }
    std::string RowText(int index) const;  // as stored; DisplayText applies the case rule
    std::string DisplayText(int index) const;
    TGlyph RowKind(int index) const;
    int RowIndent(int index) const;
    int SelectedRow() const;
    void SelectRow(int index);
    int RowHeight() const { return rowHeight_; }
    bool CasePreserving() const { return casePreserving_; }
    bool CaseSensitive() const { return caseSensitive_; }
    const QImage& GlyphImage(TGlyph glyph) const;

    void DrawRow(QPainter& painter, const QRect& rect, int index, bool selected, const QPalette& palette) const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TDriveComboBox;
    friend class TFileListBox;
    int ComparePaths(const std::string& a, const std::string& b) const;
    void SetFolderStep(const std::string& folder);
    void BuildRows();
    void AddRow(const std::string& text, TGlyph kind);
    void ChangeNotification();
    void UpdateLabel();
    void UpdateRowHeight();

    std::string folderPath_;
    bool casePreserving_ = true;
    bool caseSensitive_ = false;
    bool driveSwitching_ = false;
    bool created_ = false;
    int rowHeight_ = 16;
    QPointer<TFileListBox> fileList_;
    QPointer<QLabel> dirLabel_;
    QPointer<TDriveComboBox> driveCombo_;
    QImage open_, current_, closed_;
};
