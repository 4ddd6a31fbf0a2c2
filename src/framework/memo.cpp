// The multi-line text control of the wizard.
#include "framework/memo.h"

#include "framework/qt_strings.h"

namespace framework {

namespace {
// CR LF, a lone CR and a lone LF each start a display line.
QString DisplayText(const std::string& bytes) {
    std::string lines;
    lines.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            lines += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            lines += bytes[i];
        }
    }
    return ToQString(lines);
}
}  // namespace

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::textChanged, this, [this] { TakeTypedText(); });
}

TMemo::~TMemo() = default;

std::string TMemo::Text() const { return text_; }

void TMemo::SetText(const std::string& text) {
    text_ = text;
    setting_ = true;
    setPlainText(DisplayText(text));
    setting_ = false;
}

void TMemo::Clear() { SetText(std::string()); }

// Text that arrives other than through SetText (typing, or a layout file) becomes the bytes,
// with the control's own line breaks as CR LF.
void TMemo::TakeTypedText() {
    if (setting_) return;
    const std::string shown = FromQString(toPlainText());
    std::string bytes;
    bytes.reserve(shown.size());
    for (char c : shown) {
        if (c == '\n') {
            bytes += "\r\n";
        } else {
            bytes += c;
        }
    }
    text_ = bytes;
}

}  // namespace framework
