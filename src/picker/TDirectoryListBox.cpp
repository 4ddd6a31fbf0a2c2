// The folder list.
#include "picker/TDirectoryListBox.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <vector>

#include "framework/guard.h"
#include "framework/qt_strings.h"
#include "picker/TDriveComboBox.h"
#include "picker/TFileListBox.h"
#include "picker/path_rules.h"
#include "picker/row_delegate.h"
#include "platform/platform.h"

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kBytesRole = Qt::UserRole + 1;

// The redraw stays off while the rows are rebuilt, and comes back also when the rebuild fails.
struct RedrawSuspended {
    explicit RedrawSuspended(QWidget* widget) : widget_(widget), enabled_(widget->updatesEnabled()) {
        widget_->setUpdatesEnabled(false);
    }
    ~RedrawSuspended() { widget_->setUpdatesEnabled(enabled_); }
    QWidget* widget_;
    bool enabled_;
};

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QListWidget(parent) {
    resize(145, height());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setSortingEnabled(false);
    setItemDelegate(new OwnerDrawnRowDelegate<TDirectoryListBox>(this));
    open_ = LoadGlyph(TGlyph::OpenFolder);
    current_ = LoadGlyph(TGlyph::CurrentFolder);
    closed_ = LoadGlyph(TGlyph::ClosedFolder);
    folderPath_ = platform::GetCurrentDirectory();
    UpdateRowHeight();
}

TDirectoryListBox::~TDirectoryListBox() {
    if (fileList_) fileList_->dirList_ = nullptr;
    if (driveCombo_) driveCombo_->dirList_ = nullptr;
}

TFileListBox* TDirectoryListBox::FileList() const { return fileList_.data(); }
QLabel* TDirectoryListBox::DirLabel() const { return dirLabel_.data(); }
TDriveComboBox* TDirectoryListBox::DriveCombo() const { return driveCombo_.data(); }

void TDirectoryListBox::SetFileList(TFileListBox* list) {
    if (fileList_ == list) return;
    if (fileList_) fileList_->dirList_ = nullptr;
    fileList_ = list;
    if (list) {
        if (list->dirList_ && list->dirList_ != this) list->dirList_->fileList_ = nullptr;
        list->dirList_ = this;
    }
}

void TDirectoryListBox::SetDirLabel(QLabel* label) {
    dirLabel_ = label;
    UpdateLabel();
}

const QImage& TDirectoryListBox::GlyphImage(TGlyph glyph) const {
    static const QImage none;
    switch (glyph) {
        case TGlyph::OpenFolder: return open_;
        case TGlyph::CurrentFolder: return current_;
        case TGlyph::ClosedFolder: return closed_;
        default: return none;
    }
}

void TDirectoryListBox::UpdateRowHeight() {
    rowHeight_ = std::max(fontMetrics().height(), (open_.isNull() ? 15 : open_.height()) + 1);
    doItemsLayout();
}

int TDirectoryListBox::ComparePaths(const std::string& a, const std::string& b) const {
    return caseSensitive_ ? platform::CompareStringCase(a, b) : platform::CompareStringNoCase(a, b);
}

void TDirectoryListBox::CreateWnd() {
    created_ = true;
    BuildRows();
    SelectRow(picker::CountBackslashes(folderPath_));
}

int TDirectoryListBox::SelectedRow() const {
    QListWidgetItem* item = currentItem();
    return item && item->isSelected() ? row(item) : -1;
}

void TDirectoryListBox::SelectRow(int index) {
    if (index >= 0 && index < count()) {
        setCurrentRow(index);
    } else {
        clearSelection();
        setCurrentRow(-1);
    }
}

std::string TDirectoryListBox::RowText(int index) const {
    if (index < 0 || index >= count()) return {};
    const QByteArray bytes = item(index)->data(kBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string TDirectoryListBox::DisplayText(int index) const {
    const std::string text = RowText(index);
    return casePreserving_ || caseSensitive_ ? text : platform::CharLower(text);
}

TGlyph TDirectoryListBox::RowKind(int index) const {
    if (index < 0 || index >= count()) return TGlyph::None;
    return static_cast<TGlyph>(item(index)->data(kKindRole).toInt());
}

int TDirectoryListBox::RowIndent(int index) const {
    if (RowKind(index) == TGlyph::ClosedFolder) return (picker::CountBackslashes(folderPath_) + 1) * 4 + 2;
    return index * 4 + 2;
}

void TDirectoryListBox::AddRow(const std::string& text, TGlyph kind) {
    auto* row = new QListWidgetItem(framework::ToQString(text));
    row->setData(kKindRole, static_cast<int>(kind));
    row->setData(kBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    addItem(row);
}

void TDirectoryListBox::BuildRows() {
    {
        const RedrawSuspended suspended(this);
        clear();
        const std::string root = picker::DrivePart(folderPath_) + "\\";
        uint32_t flags = 0;
        if (platform::GetVolumeInformation(root, nullptr, &flags)) {
            casePreserving_ = (flags & (platform::kFsCaseSensitiveSearch | platform::kFsCasePreservedNames)) != 0;
            caseSensitive_ = (flags & platform::kFsCaseSensitiveSearch) != 0;
        } else {
            casePreserving_ = true;
            caseSensitive_ = false;
        }
        std::string rest;
        int level = 0;
        if (root.size() >= 2 && root[1] == '\\') {
            AddRow(root, TGlyph::OpenFolder);
            rest = folderPath_.size() > root.size() ? folderPath_.substr(root.size()) : std::string();
            level = 1;
        } else {
            rest = folderPath_;
        }
        if (!rest.empty()) {
            if (rest.back() != '\\') {
                size_t slash;
                while ((slash = rest.find('\\')) != std::string::npos) {
                    std::string name = rest.substr(0, slash);
                    if (level == 0) name += '\\';
                    rest.erase(0, slash + 1);
                    AddRow(name, TGlyph::OpenFolder);
                    ++level;
                }
            }
            AddRow(rest, TGlyph::CurrentFolder);
        }
        const int currentRow = count() - 1;

        std::vector<std::string> names;
        platform::FindData data;
        constexpr uint32_t kLeftOut = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId;
        // Only folders become rows: the host may skip looking at the files.
        const std::string pattern = picker::JoinPath(folderPath_, "*.*");
        if (platform::FindHandle search = platform::FindFirstFileEx(pattern, &data, true)) {
            // The search is closed also when the list of names cannot grow.
            struct SearchScope {
                platform::FindHandle handle;
                ~SearchScope() { platform::FindClose(handle); }
            } scope{search};
            do {
                if (data.attributes & kLeftOut) continue;
                if ((data.attributes & platform::kAttrDirectory) == 0) continue;
                if (data.name == "." || data.name == "..") continue;
                names.push_back(data.name);
            } while (platform::FindNextFile(search, &data));
        }
        // Names that differ only in case sit together, the same order every time; a duplicate is
        // a name equal to the one before under the volume's comparison, so on a case-sensitive
        // volume "Docs" and "docs" are two folders and both are listed.
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            const int order = platform::CompareStringNoCase(a, b);
            return order != 0 ? order < 0 : a < b;
        });
        const std::string* previous = nullptr;
        for (const std::string& name : names) {
            if (previous && ComparePaths(*previous, name) == 0) continue;
            AddRow(name, TGlyph::ClosedFolder);
            previous = &name;
        }
        if (created_) SelectRow(currentRow);
    }
    viewport()->update();
}

void TDirectoryListBox::SetFolderPath(const std::string& path) {
    if (path.empty() || ComparePaths(path, folderPath_) == 0) return;
    const picker::SplitPath split = picker::SplitRequestedPath(path);
    if (split.drive != FolderDrive()) {
        struct FlagScope {
            bool& flag;
            explicit FlagScope(bool& f) : flag(f) { flag = true; }
            ~FlagScope() { flag = false; }
        } scope(driveSwitching_);
        if (driveCombo_)
            driveCombo_->SetSelectedDrive(split.drive);
        else
            SwitchDrive(split.drive);
    }
    SetFolderStep(split.folder);
}

void TDirectoryListBox::SetFolderStep(const std::string& folder) {
    if (picker::FolderExists(folderPath_)) picker::ChangeDirectory(folderPath_);
    picker::ChangeDirectory(folder);
    folderPath_ = picker::CurrentDirectory();
    BuildRows();
    ChangeNotification();
}

void TDirectoryListBox::SetFolderDrive(char drive) {
    if (picker::UpperDriveChar(drive) == picker::UpperDriveChar(FolderDrive())) return;
    SetFolderPath(std::string(1, drive) + ":");
}

void TDirectoryListBox::SwitchDrive(char drive) {
    if (picker::UpperDriveChar(drive) == picker::UpperDriveChar(FolderDrive())) return;
    if (drive != 0) {
        picker::ChangeDirectory(std::string(1, drive) + ":");
        folderPath_ = picker::CurrentDirectory();
    }
    if (!driveSwitching_) {
        BuildRows();
        ChangeNotification();
    }
}

void TDirectoryListBox::ChangeNotification() {
    if (fileList_) fileList_->SetFolder(folderPath_);
    UpdateLabel();
    if (OnChange) OnChange(this);
}

void TDirectoryListBox::UpdateLabel() {
    if (!dirLabel_) return;
    // A label without a fixed width sizes itself to its text, so the list's width is the limit.
    const bool sizesItself = dirLabel_->minimumWidth() != dirLabel_->maximumWidth();
    const int width = sizesItself ? this->width() : dirLabel_->width();
    dirLabel_->setText(framework::ToQString(picker::ShortenPath(folderPath_, width, dirLabel_->fontMetrics())));
    if (sizesItself) dirLabel_->adjustSize();
}

std::string TDirectoryListBox::RowPath(int index) const {
    if (index < 0 || index >= count()) return {};
    const std::string drive = picker::DrivePart(folderPath_);
    if (index == 0) return drive + "\\";
    switch (RowKind(index)) {
        case TGlyph::ClosedFolder: return picker::JoinPath(folderPath_, RowText(index));
        case TGlyph::CurrentFolder: return folderPath_;
        default: break;
    }
    const std::string below = folderPath_.substr(drive.size());
    int slashes = 0;
    for (size_t at = 0; at < below.size(); ++at) {
        if (below[at] == '\\' && ++slashes == index + 1) return drive + below.substr(0, at);
    }
    return drive + below;
}

void TDirectoryListBox::OpenSelectedRow() { SetFolderPath(RowPath(SelectedRow())); }

void TDirectoryListBox::DrawRow(QPainter& painter, const QRect& rect, int index, bool selected,
                                const QPalette& palette) const {
    const QColor fill = palette.color(selected ? QPalette::Highlight : QPalette::Base);
    painter.fillRect(rect, fill);
    const int indent = RowIndent(index);
    const QImage& glyph = GlyphImage(RowKind(index));
    DrawGlyph(painter, glyph, rect.left() + indent, rect.top(), rect.top() + rect.height(), fill);
    const int x = rect.left() + glyph.width() + indent + 4;
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(QRect(x, rect.top(), std::max(0, rect.right() - x + 1), rect.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, framework::ToQString(DisplayText(index)));
}

void TDirectoryListBox::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    if (!created_) framework::Guarded([this] { CreateWnd(); });
}

void TDirectoryListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateRowHeight();
}

void TDirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) framework::Guarded([this] { OpenSelectedRow(); });
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* event) {
    QListWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        framework::Guarded([this] { OpenSelectedRow(); });
}
