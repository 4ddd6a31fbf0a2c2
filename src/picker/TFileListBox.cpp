// The file list.
#include "picker/TFileListBox.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <numeric>
#include <string_view>
#include <vector>

#include "framework/guard.h"
#include "framework/qt_strings.h"
#include "picker/TDirectoryListBox.h"
#include "picker/path_rules.h"
#include "picker/row_delegate.h"
#include "platform/platform.h"
#include "runtime/exceptions.h"
#include "runtime/file_services.h"

namespace {

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

// Counts, for entries added one by one, how many of those added so far sort before each: the
// position inserting it after its equals would have given it.
class PositionCounter {
public:
    explicit PositionCounter(size_t size) : tree_(size + 1, 0) {}
    int Add(size_t rank) {
        int before = 0;
        for (size_t i = rank; i > 0; i -= i & (~i + 1)) before += tree_[i];
        for (size_t i = rank + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
        return before;
    }

private:
    std::vector<int> tree_;
};

}  // namespace

// The entries: their texts back to back in one buffer, and per entry where its text lies and
// its glyph. A folder of 300,000 files costs a few megabytes, not a Qt item per file.
class TFileListModel : public QAbstractListModel {
public:
    struct Entry {
        uint32_t offset;
        uint16_t length;
        uint8_t glyph;
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(entries_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        // The text serves keyboard search and screen readers; the delegate draws the row.
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return framework::ToQString(Text(index.row()));
        return {};
    }
    std::string Text(int row) const {
        const Entry& entry = entries_[static_cast<size_t>(row)];
        return texts_.substr(entry.offset, entry.length);
    }
    std::string_view View(int row) const {
        const Entry& entry = entries_[static_cast<size_t>(row)];
        return std::string_view(texts_).substr(entry.offset, entry.length);
    }
    TGlyph Glyph(int row) const { return static_cast<TGlyph>(entries_[static_cast<size_t>(row)].glyph); }
    void Replace(std::string texts, std::vector<Entry> entries) {
        beginResetModel();
        texts_ = std::move(texts);
        entries_ = std::move(entries);
        texts_.shrink_to_fit();
        entries_.shrink_to_fit();
        endResetModel();
    }

private:
    std::string texts_;
    std::vector<Entry> entries_;
};

TFileListBox::TFileListBox(QWidget* parent) : QListView(parent), model_(new TFileListModel(this)) {
    resize(145, height());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setModel(model_);
    setItemDelegate(new OwnerDrawnRowDelegate<TFileListBox>(this));
    exe_ = LoadGlyph(TGlyph::Executable);
    closed_ = LoadGlyph(TGlyph::ClosedFolder);
    unknown_ = LoadGlyph(TGlyph::UnknownFile);
    listedFolder_ = platform::GetCurrentDirectory();
    ReadCaseFlags();
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

int TFileListBox::EntryCount() const { return model_->rowCount(); }

std::string TFileListBox::EntryText(int index) const {
    if (index < 0 || index >= EntryCount()) return {};
    return model_->Text(index);
}

TGlyph TFileListBox::EntryGlyph(int index) const {
    if (index < 0 || index >= EntryCount()) return TGlyph::None;
    return model_->Glyph(index);
}

int TFileListBox::ItemIndex() const {
    // The focus frame can stand on a row that is not selected (after Tab, or a Ctrl-click); that
    // row is no selection.
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TFileListBox::SetItemIndex(int index) {
    if (index >= 0 && index < EntryCount()) {
        selectionModel()->setCurrentIndex(model_->index(index), QItemSelectionModel::ClearAndSelect);
    } else {
        clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::ClearAndSelect);
    }
}

std::string TFileListBox::SelectedEntry() const {
    const int index = ItemIndex();
    if (index < 0 || EntryCount() == 0 || index >= EntryCount()) return {};
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

void TFileListBox::Refresh() {
    if (!created_) return;
    uint32_t attributes = 0;
    for (TFileAttr attr : fileType_) attributes += AttributeValue(attr);
    picker::ChangeDirectory(listedFolder_);
    model_->Replace({}, {});
    {
        WaitCursorScope cursor;
        // The entries in the order the searches return them, texts back to back.
        std::string texts;
        std::vector<TFileListModel::Entry> added;
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
                TGlyph glyph;
                const size_t offset = texts.size();
                if (data.attributes & platform::kAttrDirectory) {
                    texts += "[" + data.name + "]";
                    glyph = showGlyphs_ ? TGlyph::ClosedFolder : TGlyph::None;
                } else {
                    texts += data.name;
                    glyph = IsProgramName(data.name) ? TGlyph::Executable : TGlyph::UnknownFile;
                }
                added.push_back({static_cast<uint32_t>(offset), static_cast<uint16_t>(texts.size() - offset),
                                 static_cast<uint8_t>(glyph)});
            } while (platform::FindNextFile(search, &data));
        }

        // Sorted once: the list's case-insensitive order, equal texts in the order they came,
        // which is where inserting each entry after its equals puts it.
        const auto text = [&](const TFileListModel::Entry& entry) {
            return std::string(texts, entry.offset, entry.length);
        };
        std::string keys;
        std::vector<std::pair<uint32_t, uint32_t>> keyAt(added.size());
        for (size_t i = 0; i < added.size(); ++i) {
            const std::string key = platform::SortKeyNoCase(text(added[i]));
            keyAt[i] = {static_cast<uint32_t>(keys.size()), static_cast<uint32_t>(key.size())};
            keys += key;
        }
        const auto key = [&](uint32_t i) { return std::string_view(keys).substr(keyAt[i].first, keyAt[i].second); };
        std::vector<uint32_t> order(added.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
        std::vector<uint32_t> rank(added.size());
        for (size_t r = 0; r < order.size(); ++r) rank[order[r]] = static_cast<uint32_t>(r);

        PositionCounter positions(added.size());
        for (size_t i = 0; i < added.size(); ++i) {
            const int position = positions.Add(rank[i]);
            if (position == kHourglassPosition) cursor.Show();
            if (EntryAddedObserver()) EntryAddedObserver()(this, position);
        }

        std::string sortedTexts;
        sortedTexts.reserve(texts.size());
        std::vector<TFileListModel::Entry> sorted;
        sorted.reserve(added.size());
        for (uint32_t i : order) {
            sorted.push_back({static_cast<uint32_t>(sortedTexts.size()), added[i].length, added[i].glyph});
            sortedTexts.append(texts, added[i].offset, added[i].length);
        }
        model_->Replace(std::move(sortedTexts), std::move(sorted));
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

void TFileListBox::ReadCaseFlags() {
    uint32_t flags = 0;
    caseSensitive_ = platform::GetVolumeInformation(picker::DrivePart(listedFolder_) + "\\", nullptr, &flags) &&
                     (flags & platform::kFsCaseSensitiveSearch) != 0;
}

void TFileListBox::SetFolder(const std::string& folder) {
    // On a case-sensitive volume another spelling names another folder when one of that spelling
    // exists beside the listed one; otherwise it reaches the listed folder itself.
    if (platform::CompareStringNoCase(folder, listedFolder_) == 0 &&
        (!caseSensitive_ || folder == listedFolder_ || !picker::FolderExists(folder) ||
         platform::SameFileObject(folder, listedFolder_)))
        return;
    if (picker::FolderExists(listedFolder_)) picker::ChangeDirectory(listedFolder_);
    picker::ChangeDirectory(folder);
    listedFolder_ = picker::CurrentDirectory();
    ReadCaseFlags();
    Refresh();
}

void TFileListBox::SetListedFolder(const std::string& path) { ApplyPathText(path); }
void TFileListBox::SetSelectedFilePath(const std::string& path) { ApplyPathText(path); }

void TFileListBox::ApplyPathText(const std::string& text) {
    if (text.empty() || SamePath(SelectedFilePath(), text)) return;
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

// Names that differ only in letter case are the same name, except on a case-sensitive volume
// when the list holds an entry spelled exactly as asked: then that entry is meant.
bool TFileListBox::SameName(const std::string& listed, const std::string& asked) const {
    if (platform::CompareStringNoCase(listed, asked) != 0) return false;
    return !caseSensitive_ || listed == asked || FindEntry(asked, true) < 0;
}

bool TFileListBox::SamePath(const std::string& selectedPath, const std::string& asked) const {
    if (platform::CompareStringNoCase(selectedPath, asked) != 0) return false;
    return !caseSensitive_ || SameName(SelectedEntry(), picker::NamePart(asked));
}

int TFileListBox::FindEntry(const std::string& name, bool exact) const {
    for (int index = 0; index < EntryCount(); ++index) {
        if (exact ? model_->View(index) == name : platform::CompareStringNoCase(EntryText(index), name) == 0)
            return index;
    }
    return -1;
}

void TFileListBox::SelectByName(const std::string& name) {
    if (SameName(SelectedEntry(), name)) return;
    int found = caseSensitive_ ? FindEntry(name, true) : -1;
    if (found < 0) found = FindEntry(name, false);
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
    QListView::showEvent(event);
    if (!created_) framework::Guarded([this] { CreateWnd(); });
}

void TFileListBox::changeEvent(QEvent* event) {
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange) UpdateRowHeight();
}

void TFileListBox::mousePressEvent(QMouseEvent* event) {
    QListView::mousePressEvent(event);
    framework::Guarded([this] { Click(); });
}

void TFileListBox::mouseMoveEvent(QMouseEvent* event) {
    QListView::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton) framework::Guarded([this] { Click(); });
}

// A Ctrl-click takes a row's selection off only when the button comes up.
void TFileListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    framework::Guarded([this] { Click(); });
}

void TFileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    framework::Guarded([this] {
        if (OnDblClick) OnDblClick(this);
    });
}

void TFileListBox::keyPressEvent(QKeyEvent* event) {
    QListView::keyPressEvent(event);
    framework::Guarded([this] { Click(); });
    // Enter picks the entry as a double-click does, for those who work from the keyboard.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        framework::Guarded([this] {
            if (OnDblClick) OnDblClick(this);
        });
    }
}
