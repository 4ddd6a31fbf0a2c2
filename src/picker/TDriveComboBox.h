// The drive selector: a drop-down list of the machine's drives with a glyph per drive kind.
#pragma once

#include <QComboBox>
#include <QImage>
#include <QPointer>
#include <functional>
#include <string>

#include "picker/glyphs.h"

enum TTextCase { tcLowerCase = 0, tcUpperCase = 1 };

class TDirectoryListBox;

class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);
    ~TDriveComboBox() override;

    // The selected letter in the case TextCase gives, or 0 when no drive is selected.
    char SelectedDrive() const { return selectedDrive_; }
    void SetSelectedDrive(char drive);
    TTextCase TextCase() const { return textCase_; }
    void SetTextCase(TTextCase value);
    TDirectoryListBox* DirList() const;
    void SetDirList(TDirectoryListBox* list);

    std::function<void(TDriveComboBox*)> OnChange;

    // Builds the rows and applies SelectedDrive (raising OnChange); runs by itself on first show
    // and again after a font change.
    void CreateWnd();
    bool WindowCreated() const { return created_; }

    // Rows, for drawing and tests.
    int RowCount() const { return count(); }
    std::string RowText(int index) const;
    TGlyph RowGlyph(int index) const;
    int SelectedRow() const { return currentIndex(); }
    int RowHeight() const { return rowHeight_; }
    const QImage& GlyphImage(TGlyph glyph) const;

    // Draws one row as the popup and the closed box show it.
    void DrawRow(QPainter& painter, const QRect& rect, int index, bool selected, const QPalette& palette) const;

    void showPopup() override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TDirectoryListBox;
    void BuildRows();
    void AddRow(const std::string& text, TGlyph glyph);
    std::string VolumeLabel(const std::string& letter) const;
    std::string NetworkName(const std::string& letter) const;
    void UserSelected(int index);
    void UpdateRowHeight();
    // Selects the current row in the list (also while it is closed) and tells assistive technology.
    void ShowCurrentRow();

    char selectedDrive_ = 0;
    TTextCase textCase_ = tcLowerCase;
    QPointer<TDirectoryListBox> dirList_;
    bool created_ = false;
    int rowHeight_ = 16;
    int keySelectedRow_ = -1;  // the row the arrow keys selected in the open list
    QImage floppy_, hard_, network_, cdrom_, ram_;
};
