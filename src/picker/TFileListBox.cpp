// The file list.
#include "picker/TFileListBox.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "framework/guard.h"
#include "framework/qt_strings.h"
#include "picker/TDirectoryListBox.h"
#include "picker/path_rules.h"
#include "picker/row_delegate.h"
#include "platform/platform.h"
#include "runtime/exceptions.h"
#include "runtime/file_services.h"

namespace {

constexpr int kGlyphRole = Qt::UserRole;
constexpr int kBytesRole = Qt::UserRole + 1;
constexpr int kHourglassPosition = 100;

std::function<void(TFileListBox*, int)>& EntryAddedObserver() {
    static std::function<void(TFileListBox*, int)> observer;
    return observer;
}

uint32_t AttributeValue(TFileAttr attr) {
    switch (attr) {
        case ftReadOnly: return platform::kAttrReadOnly;
        case ftHidden: return platform::kAttrHidden;
        case ftSystem: return platform::kAttrSystem;
        case ftVolumeID: return platform::kAttrVolumeId;
        case ftDirectory: return platform::kAttrDirectory;
        case ftArchive: return platform::kAttrArchive;
        case ftNormal: break;
    }
    return 0;
}

bool IsProgramName(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string extension = platform::CharLower(name.substr(dot));
    return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".pif";
}

// The hourglass goes up at most once per refresh and comes down when the refresh ends, however it ends.
class WaitCursorScope {
public:
    ~WaitCursorScope() {
        if (shown_) QApplication::restoreOverrideCursor();
    }
    void Show() {
        if (shown_) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        shown_ = true;
    }

private:
    bool shown_ = false;
};

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    resize(145, height());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setSortingEnabled(false);
    setItemDelegate(new OwnerDrawnRowDelegate<TFileListBox>(this));
    exe_ = LoadGlyph(TGlyph::Executable);
    closed_ = LoadGlyph(TGlyph::ClosedFolder);
    unknown_ = LoadGlyph(TGlyph::UnknownFile);
    listedFolder_ = platform::GetCurrentDirectory();
    UpdateRowHeight();
}

TFileListBox::~TFileListBox() {
    if (dirList_) dirList_->fileList_ = nullptr;
}

void TFileListBox::SetEntryAddedObserverForTesting(std::function<void(TFileListBox*, int)> observer) {
    EntryAddedObserver() = std::move(observer);
}

QLineEdit* TFileListBox::FileEdit() const { return fileEdit_.data(); }
TDirectoryListBox* TFileListBox::DirList() const { return dirList_.data(); }

const QImage& TFileListBox::GlyphImage(TGlyph glyph) const {
    static const QImage none;
    switch (glyph) {
        case TGlyph::Executable: return exe_;
        case TGlyph::ClosedFolder: return closed_;
        case TGlyph::UnknownFile: return unknown_;
        default: return none;
    }
}

void TFileListBox::UpdateRowHeight() {
    rowHeight_ = fontMetrics().height();
    if (showGlyphs_) rowHeight_ = std::max(rowHeight_, (exe_.isNull() ? 15 : exe_.height()) + 1);
    doItemsLayout();
}

std::string TFileListBox::EntryText(int index) const {
    if (index < 0 || index >= count()) return {};
    const QByteArray bytes = item(index)->data(kBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

TGlyph TFileListBox::EntryGlyph(int index) const {
    if (index < 0 || index >= count()) return TGlyph::None;
    return static_cast<TGlyph>(item(index)->data(kGlyphRole).toInt());
}

int TFileListBox::ItemIndex() const {
    // The focus frame can stand on a row that is not selected (after Tab, or a Ctrl-click); that
    // row is no selection.
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TFileListBox::SetItemIndex(int index) {
    if (index >= 0 && index < count()) {
        setCurrentRow(index);
    } else {
        clearSelection();
        setCurrentRow(-1);
    }
}

std::string TFileListBox::SelectedEntry() const {
    const int index = ItemIndex();
    if (index < 0 || count() == 0 || index >= count() || !item(index)->isSelected()) return {};
    return EntryText(index);
}

std::string TFileListBox::SelectedFilePath() const {
    const std::string entry = SelectedEntry();
    return entry.empty() ? std::string() : picker::JoinPath(listedFolder_, entry);
}

void TFileListBox::CreateWnd() {
    created_ = true;
    Refresh();
}

int TFileListBox::AddEntry(const std::string& text, TGlyph glyph) {
    // Upper bound: an entry equal to one already listed goes after it.
    int low = 0, high = count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (platform::CompareStringNoCase(text, EntryText(middle)) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    auto* entry = new QListWidgetItem(framework::ToQString(text));
    entry->setData(kGlyphRole, static_cast<int>(glyph));
    entry->setData(kBytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    insertItem(low, entry);
    return low;
}

void TFileListBox::Refresh() {
    if (!created_) return;
    uint32_t attributes = 0;
    for (TFileAttr attr : fileType_) attributes += AttributeValue(attr);
    picker::ChangeDirectory(listedFolder_);
    clear();
    {
        WaitCursorScope cursor;
        const bool listAll = fileType_.count(ftNormal) != 0;
        std::string patterns = mask_;
        size_t start = 0;
        while (start <= patterns.size()) {
            const size_t end = std::min(patterns.find(';', start), patterns.size());
            const std::string pattern = patterns.substr(start, end - start);
            start = end + 1;
            platform::FindData data;
            platform::FindHandle search = pattern.empty() ? nullptr : platform::FindFirstFile(pattern, &data);
            if (!search) continue;
            struct SearchScope {
                platform::FindHandle handle;
                ~SearchScope() { platform::FindClose(handle); }
            } scope{search};
            do {
                const uint32_t kinds = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId |
                                       platform::kAttrDirectory;
                if ((data.attributes & kinds & ~attributes) != 0) continue;
                if (!listAll && (data.attributes & attributes) == 0) continue;
                int position;
                if (data.attributes & platform::kAttrDirectory)
                    position = AddEntry("[" + data.name + "]", showGlyphs_ ? TGlyph::ClosedFolder : TGlyph::None);
                else
                    position = AddEntry(data.name, IsProgramName(data.name) ? TGlyph::Executable : TGlyph::UnknownFile);
                if (position == kHourglassPosition) cursor.Show();
                if (EntryAddedObserver()) EntryAddedObserver()(this, position);
            } while (platform::FindNextFile(search, &data));
        }
    }
    ChangeNotification();
}

void TFileListBox::SetMask(const std::string& mask) {
    if (mask == mask_) return;
    mask_ = mask;
    Refresh();
}

void TFileListBox::SetFileType(TFileType type) {
    if (type == fileType_) return;
    fileType_ = std::move(type);
    Refresh();
}

void TFileListBox::SetShowGlyphs(bool value) {
    if (value == showGlyphs_) return;
    showGlyphs_ = value;
    if (showGlyphs_ && rowHeight_ < (exe_.isNull() ? 15 : exe_.height()) + 1) UpdateRowHeight();
    viewport()->update();
}

void TFileListBox::SetFileEdit(QLineEdit* edit) {
    fileEdit_ = edit;
    if (edit) {
        const std::string entry = SelectedEntry();
        edit->setText(framework::ToQString(entry.empty() ? mask_ : entry));
    }
}

void TFileListBox::SetFolder(const std::string& folder) {
    if (platform::CompareStringNoCase(folder, listedFolder_) == 0) return;
    if (picker::FolderExists(listedFolder_)) picker::ChangeDirectory(listedFolder_);
    picker::ChangeDirectory(folder);
    listedFolder_ = picker::CurrentDirectory();
    Refresh();
}

void TFileListBox::SetListedFolder(const std::string& path) { ApplyPathText(path); }
void TFileListBox::SetSelectedFilePath(const std::string& path) { ApplyPathText(path); }

void TFileListBox::ApplyPathText(const std::string& text) {
    if (text.empty() || platform::CompareStringNoCase(text, SelectedFilePath()) == 0) return;
    const picker::SplitPath split = picker::SplitRequestedPath(text);
    if (dirList_)
        dirList_->SetFolderPath(text);
    else if (split.drive != 0)
        SetFolder(std::string(1, split.drive) + ":" + split.folder);
    else
        SetFolder(split.folder);
    const std::string& name = split.name;
    if (name.find_first_of("*?") != std::string::npos) {
        SetMask(name);
    } else if (!name.empty()) {
        SelectByName(name);
        if (!rtl::FileExists(name)) throw rtl::EInvalidOperation("Invalid file name - " + text);
        if (SelectedEntry().empty()) {
            SetMask(name);
            SelectByName(name);
        }
    }
}

void TFileListBox::SelectByName(const std::string& name) {
    if (platform::CompareStringNoCase(name, SelectedEntry()) == 0) return;
    int found = -1;
    for (int index = 0; index < count() && found < 0; ++index)
        if (platform::CompareStringNoCase(EntryText(index), name) == 0) found = index;
    SetItemIndex(found);
    ChangeNotification();
}

void TFileListBox::ChangeNotification() {
    lastSelection_ = ItemIndex();
    if (fileEdit_) {
        const std::string entry = SelectedEntry();
        fileEdit_->setText(framework::ToQString(entry.empty() ? mask_ : entry));
        fileEdit_->selectAll();
    }
    if (OnChange) OnChange(this);
}

void TFileListBox::Click() {
    if (ItemIndex() != lastSelection_) ChangeNotification();
}

void TFileListBox::DrawRow(QPainter& painter, const QRect& rect, int index, bool selected,
                           const QPalette& palette) const {
    const QColor fill = palette.color(selected ? QPalette::Highlight : QPalette::Base);
    painter.fillRect(rect, fill);
    int x = rect.left() + 2;
    if (showGlyphs_) {
        const QImage& glyph = GlyphImage(EntryGlyph(index));
        if (!glyph.isNull()) {
            DrawGlyph(painter, glyph, rect.left() + 2, rect.top(), rect.top() + rect.height(), fill);
            x = rect.left() + glyph.width() + 6;
        }
    }
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.drawText(QRect(x, rect.top(), std::max(0, rect.right() - x + 1), rect.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, framework::ToQString(EntryText(index)));
}

void TFileListBox::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    if (!created_) framework::Guarded([this] { CreateWnd(); });
}

void TFileListBox::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateRowHeight();
}

void TFileListBox::mousePressEvent(QMouseEvent* event) {
    QListWidget::mousePressEvent(event);
    framework::Guarded([this] { Click(); });
}

void TFileListBox::mouseMoveEvent(QMouseEvent* event) {
    QListWidget::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton) framework::Guarded([this] { Click(); });
}

// A Ctrl-click takes a row's selection off only when the button comes up.
void TFileListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    framework::Guarded([this] { Click(); });
}

void TFileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    framework::Guarded([this] {
        if (OnDblClick) OnDblClick(this);
    });
}

void TFileListBox::keyPressEvent(QKeyEvent* event) {
    QListWidget::keyPressEvent(event);
    framework::Guarded([this] { Click(); });
}
