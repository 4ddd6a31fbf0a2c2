// The file list: the files of one folder that match the mask and the attribute kinds, sorted.
// The entries live in a model of their own, a few bytes each, drawn by the shared row delegate.
#pragma once

#include <QImage>
#include <QListView>
#include <QPointer>
#include <functional>
#include <set>
#include <string>

#include "picker/glyphs.h"

class QLineEdit;
class TDirectoryListBox;
class TFileListModel;

enum TFileAttr { ftReadOnly, ftHidden, ftSystem, ftVolumeID, ftDirectory, ftArchive, ftNormal };
using TFileType = std::set<TFileAttr>;

class TFileListBox : public QListView {
    Q_OBJECT
public:
    explicit TFileListBox(QWidget* parent = nullptr);
    ~TFileListBox() override;

    const std::string& ListedFolder() const { return listedFolder_; }
    void SetListedFolder(const std::string& path);  // ApplyPathText
    const std::string& Mask() const { return mask_; }
    void SetMask(const std::string& mask);
    TFileType FileType() const { return fileType_; }
    void SetFileType(TFileType type);
    bool ShowGlyphs() const { return showGlyphs_; }
    void SetShowGlyphs(bool value);

    std::string SelectedEntry() const;
    std::string SelectedFilePath() const;
    void SetSelectedFilePath(const std::string& path);  // ApplyPathText
    // Splits the text into folder and name: lists the folder, then takes the name as the mask
    // (a pattern) or selects it (a file). Raises rtl::EInOutError or rtl::EInvalidOperation.
    void ApplyPathText(const std::string& text);
    // The listed-folder step a linked folder list uses: enters the folder and refreshes, unless
    // it is the one listed (ignoring case).
    void SetFolder(const std::string& folder);

    QLineEdit* FileEdit() const;
    void SetFileEdit(QLineEdit* edit);
    TDirectoryListBox* DirList() const;

    std::function<void(TFileListBox*)> OnChange;
    std::function<void(TFileListBox*)> OnDblClick;

    // Reads the entries; runs by itself on first show.
    void CreateWnd();
    bool WindowCreated() const { return created_; }
    void Refresh();

    // Entries, for drawing and tests.
    int EntryCount() const;
    std::string EntryText(int index) const;
    TGlyph EntryGlyph(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    int LastSelection() const { return lastSelection_; }
    int RowHeight() const { return rowHeight_; }
    // The case flags of the listed folder's volume, read whenever the listed folder changes.
    bool CaseSensitive() const { return caseSensitive_; }
    const QImage& GlyphImage(TGlyph glyph) const;

    // Called after every entry a refresh adds, with the position the entry was put at.
    static void SetEntryAddedObserverForTesting(std::function<void(TFileListBox*, int position)> observer);

    void DrawRow(QPainter& painter, const QRect& rect, int index, bool selected, const QPalette& palette) const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TDirectoryListBox;
    void SelectByName(const std::string& name);
    bool SameName(const std::string& listed, const std::string& asked) const;
    bool SamePath(const std::string& selectedPath, const std::string& asked) const;
    int FindEntry(const std::string& name, bool exact) const;
    void ReadCaseFlags();
    void ChangeNotification();
    void Click();
    void UpdateRowHeight();

    std::string listedFolder_;
    std::string mask_ = "*.*";
    TFileType fileType_{ftNormal};
    bool showGlyphs_ = false;
    bool created_ = false;
    bool caseSensitive_ = false;
    int lastSelection_ = -1;
    int rowHeight_ = 16;
    QPointer<QLineEdit> fileEdit_;
    QPointer<TDirectoryListBox> dirList_;
    QImage exe_, closed_, unknown_;
    TFileListModel* model_;
};
