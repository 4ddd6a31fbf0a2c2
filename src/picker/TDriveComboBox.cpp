// The drive selector.
#include "picker/TDriveComboBox.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "framework/guard.h"
#include "framework/qt_strings.h"
#include "picker/TDirectoryListBox.h"
#include "picker/path_rules.h"
#include "picker/row_delegate.h"
#include "platform/platform.h"

namespace {

constexpr int kGlyphRole = Qt::UserRole;
constexpr int kBytesRole = Qt::UserRole + 1;
constexpr int kNameBufferSize = 261;

// A label fits the buffer the platform fills, terminator included.
std::string UpToBuffer(const std::string& text) {
    std::string result = text.substr(0, std::min<size_t>(text.size(), kNameBufferSize - 1));
    const size_t nul = result.find('\0');
    if (nul != std::string::npos) result.erase(nul);
    return result;
}

// What assistive technology is told of the selector. Qt's own combo box interface names a
// combo box by its current text on this system and ignores the accessible name, so a screen
// reader would hear only "c: [system]"; here the name is the selector's accessible name
// ("Drive") and the current row's text is its value and its (read-only) text, which is what the
// accessibility bus carries to a screen reader.
class DriveSelectorAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit DriveSelectorAccessible(TDriveComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The text: the current row, never editable, never selected, the caret at its start.
    QString text(int startOffset, int endOffset) const override {
        const QString all = CurrentText();
        startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
        endOffset = endOffset < 0 ? static_cast<int>(all.size())
                                  : std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(CurrentText().size()); }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Name: return Combo()->accessibleName();
            case QAccessible::Value:
                return CurrentText();
            default: return QAccessibleWidget::text(kind);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = Combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    // The drop-down list is the one child, as for any combo box.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    QString localizedActionDescription(const QString& name) const override {
        if (name == showMenuAction() || name == pressAction()) return QStringLiteral("Open the list of drives");
        return {};
    }
    void doAction(const QString& name) override {
        if (name != showMenuAction() && name != pressAction()) return;
        if (Combo()->view()->isVisible())
            Combo()->hidePopup();
        else
            Combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TDriveComboBox* Combo() const { return static_cast<TDriveComboBox*>(widget()); }
    QString CurrentText() const {
        const int row = Combo()->SelectedRow();
        return row < 0 ? QString() : framework::ToQString(Combo()->RowText(row));
    }
};

QAccessibleInterface* DriveSelectorAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TDriveComboBox") && object && object->isWidgetType())
        return new DriveSelectorAccessible(static_cast<TDriveComboBox*>(object));
    return nullptr;
}

}  // namespace

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(DriveSelectorAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setAccessibleName(QStringLiteral("Drive"));
    setEditable(false);
    setItemDelegate(new OwnerDrawnRowDelegate<TDriveComboBox>(this, true));
    floppy_ = LoadGlyph(TGlyph::Floppy);
    hard_ = LoadGlyph(TGlyph::Hard);
    network_ = LoadGlyph(TGlyph::Network);
    cdrom_ = LoadGlyph(TGlyph::Cdrom);
    ram_ = LoadGlyph(TGlyph::Ram);
    const std::string current = platform::GetCurrentDirectory();
    selectedDrive_ = current.empty() || current[0] == '\\' ? 0 : current[0];
    UpdateRowHeight();
    connect(this, &QComboBox::activated, this, [this](int index) {
        // Enter on a row the keys already selected only closes the list.
        const bool selectedByKeys = index == keySelectedRow_;
        keySelectedRow_ = -1;
        if (!selectedByKeys) framework::Guarded([&] { UserSelected(index); });
    });
    // Installed after the popup's own filter, so it sees the keys first.
    view()->installEventFilter(this);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowCurrentRow(); });
}

void TDriveComboBox::ShowCurrentRow() {
    // The closed list keeps the current row selected, as the open one shows it: assistive technology
    // reads the chosen drive from the list's selection.
    const int row = currentIndex();
    if (QItemSelectionModel* selection = view()->selectionModel()) {
        if (row < 0)
            selection->clear();
        else
            selection->setCurrentIndex(model()->index(row, modelColumn(), rootModelIndex()),
                                       QItemSelectionModel::ClearAndSelect);
    }
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, row < 0 ? QString() : framework::ToQString(RowText(row)));
        QAccessible::updateAccessibility(&event);
    }
}

void TDriveComboBox::showPopup() {
    keySelectedRow_ = -1;
    QComboBox::showPopup();
}

// In the open list every arrow step is a selection, as it is in the closed box.
bool TDriveComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view() || event->type() != QEvent::KeyPress) return QComboBox::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & Qt::AltModifier) return QComboBox::eventFilter(watched, event);
    switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End: break;
        default: return QComboBox::eventFilter(watched, event);
    }
    const int before = view()->currentIndex().row();
    watched->event(event);  // the list moves its highlight
    const int after = view()->currentIndex().row();
    if (after >= 0 && after != before) {
        keySelectedRow_ = after;
        {
            const QSignalBlocker blocker(this);
            setCurrentIndex(after);
        }
        try {
            UserSelected(after);
        } catch (...) {
            // The error box takes the focus, which closes the list as it would on any focus loss.
            hidePopup();
            framework::HandleException();
        }
    }
    return true;
}

TDriveComboBox::~TDriveComboBox() {
    if (dirList_) dirList_->driveCombo_ = nullptr;
}

TDirectoryListBox* TDriveComboBox::DirList() const { return dirList_.data(); }

void TDriveComboBox::SetDirList(TDirectoryListBox* list) {
    if (dirList_ == list) return;
    if (dirList_) dirList_->driveCombo_ = nullptr;
    dirList_ = list;
    if (list) {
        if (list->driveCombo_ && list->driveCombo_ != this) list->driveCombo_->dirList_ = nullptr;
        list->driveCombo_ = this;
    }
}

const QImage& TDriveComboBox::GlyphImage(TGlyph glyph) const {
    static const QImage none;
    switch (glyph) {
        case TGlyph::Floppy: return floppy_;
        case TGlyph::Hard: return hard_;
        case TGlyph::Network: return network_;
        case TGlyph::Cdrom: return cdrom_;
        case TGlyph::Ram: return ram_;
        default: return none;
    }
}

std::string TDriveComboBox::RowText(int index) const {
    if (index < 0 || index >= count()) return {};
    const QByteArray bytes = itemData(index, kBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

TGlyph TDriveComboBox::RowGlyph(int index) const {
    if (index < 0 || index >= count()) return TGlyph::None;
    return static_cast<TGlyph>(itemData(index, kGlyphRole).toInt());
}

void TDriveComboBox::UpdateRowHeight() {
    rowHeight_ = std::max(fontMetrics().height(), floppy_.isNull() ? 11 : floppy_.height());
}

void TDriveComboBox::CreateWnd() {
    created_ = true;
    BuildRows();
    SetSelectedDrive(selectedDrive_);
}

void TDriveComboBox::AddRow(const std::string& text, TGlyph glyph) {
    addItem(framework::ToQString(text));
    const int row = count() - 1;
    setItemData(row, static_cast<int>(glyph), kGlyphRole);
    setItemData(row, QByteArray(text.data(), static_cast<qsizetype>(text.size())), kBytesRole);
}

std::string TDriveComboBox::VolumeLabel(const std::string& letter) const {
    struct ErrorModeScope {
        uint32_t previous = platform::SetErrorMode(platform::kSemFailCriticalErrors);
        ~ErrorModeScope() { platform::SetErrorMode(previous); }
    } scope;
    std::string label;
    if (platform::GetVolumeInformation(letter + ":\\", &label, nullptr))
        label = UpToBuffer(label);
    else
        label.clear();
    label = textCase_ == tcUpperCase ? platform::CharUpper(label) : platform::CharLower(label);
    return "[" + label + "]";
}

std::string TDriveComboBox::NetworkName(const std::string& letter) const {
    std::string remote;
    if (platform::WNetGetConnection(platform::CharUpper(letter) + ":", &remote) == platform::kErrorSuccess) {
        remote = UpToBuffer(remote);
        return textCase_ == tcUpperCase ? platform::CharUpper(remote) : platform::CharLower(remote);
    }
    return VolumeLabel(letter);
}

void TDriveComboBox::BuildRows() {
    const QSignalBlocker blocker(this);
    clear();
    const uint32_t drives = platform::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if ((drives & (1u << bit)) == 0) continue;
        std::string letter(1, static_cast<char>('a' + bit));
        const uint32_t type = platform::GetDriveType(letter + ":\\");
        if (textCase_ == tcUpperCase) letter = platform::CharUpper(letter);
        switch (type) {
            case platform::kDriveRemovable: AddRow(letter + ":", TGlyph::Floppy); break;
            case platform::kDriveFixed: AddRow(letter + ": " + VolumeLabel(letter), TGlyph::Hard); break;
            case platform::kDriveRemote: AddRow(letter + ": " + NetworkName(letter), TGlyph::Network); break;
            case platform::kDriveCdrom: AddRow(letter + ": " + VolumeLabel(letter), TGlyph::Cdrom); break;
            case platform::kDriveRamdisk: AddRow(letter + ": " + VolumeLabel(letter), TGlyph::Ram); break;
            default: break;
        }
    }
    // Adding to an empty box selects its first row; the rows start unselected.
    setCurrentIndex(-1);
    ShowCurrentRow();
}

void TDriveComboBox::SetSelectedDrive(char drive) {
    if (currentIndex() >= 0 && picker::UpperDriveChar(drive) == picker::UpperDriveChar(selectedDrive_)) return;
    if (drive == 0) {
        selectedDrive_ = 0;
        const QSignalBlocker blocker(this);
        setCurrentIndex(-1);
    } else {
        const char upper = picker::UpperDriveChar(drive);
        selectedDrive_ = textCase_ == tcUpperCase ? upper : static_cast<char>(upper + 32);
        for (int row = 0; row < count(); ++row) {
            const std::string text = RowText(row);
            if (text.size() >= 2 && text[1] == ':' && picker::UpperDriveChar(text[0]) == picker::UpperDriveChar(selectedDrive_)) {
                const QSignalBlocker blocker(this);
                setCurrentIndex(row);
                break;
            }
        }
    }
    // The index changed with the signals blocked, so the list is told here.
    ShowCurrentRow();
    update();
    if (dirList_) dirList_->SwitchDrive(selectedDrive_);
    if (OnChange) OnChange(this);
}

void TDriveComboBox::SetTextCase(TTextCase value) {
    if (value == textCase_) return;
    textCase_ = value;
    const char drive = selectedDrive_;
    BuildRows();
    SetSelectedDrive(drive);
}

void TDriveComboBox::UserSelected(int index) {
    const std::string text = RowText(index);
    SetSelectedDrive(text.empty() ? 0 : text[0]);
    if (OnChange) OnChange(this);
}

void TDriveComboBox::DrawRow(QPainter& painter, const QRect& rect, int index, bool selected,
                             const QPalette& palette) const {
    const QColor fill = palette.color(selected ? QPalette::Highlight : QPalette::Base);
    painter.fillRect(rect, fill);
    const TGlyph glyph = RowGlyph(index);
    const QImage& image = GlyphImage(glyph);
    int glyphWidth = 16;
    if (!image.isNull()) {
        DrawGlyph(painter, image, rect.left() + 2, rect.top(), rect.top() + rect.height(), fill);
        glyphWidth = image.width();
    }
    painter.setPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter.setClipRect(rect);
    const QRect textRect(rect.left() + glyphWidth + 6, rect.top(), rect.width() - glyphWidth - 6, rect.height());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     framework::ToQString(RowText(index)));
    painter.setClipping(false);
}

void TDriveComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0) return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    painter.save();
    DrawRow(painter, field, currentIndex(), hasFocus(), palette());
    painter.restore();
}

void TDriveComboBox::showEvent(QShowEvent* event) {
    QComboBox::showEvent(event);
    if (!created_) framework::Guarded([this] { CreateWnd(); });
}

void TDriveComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateRowHeight();
        if (created_) framework::Guarded([this] { CreateWnd(); });
    }
}
