// The information box, laid out from the message font's measures.
#include "framework/message_form.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <map>

#include "framework/qt_strings.h"

namespace framework {

namespace {

constexpr int kIconSize = 32;
constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextExpandTabs | Qt::TextShowMnemonic;

// A QLabel shows "&" literally unless it has a buddy; this one draws with the same flags the
// text was measured with, so the size and the drawing agree.
class TMessageLabel : public QLabel {
public:
    explicit TMessageLabel(QWidget* parent) : QLabel(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), kTextFlags | Qt::AlignLeft | Qt::AlignTop, text());
    }
};

QScreen* BoxScreen() {
    if (QWidget* active = QApplication::activeWindow()) {
        if (QScreen* screen = active->screen()) return screen;
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c < 0 ? -c : c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude = (product < 0 ? -product : product);
    const long long divisor = c < 0 ? -c : c;
    const long long result = (magnitude + half) / divisor;
    return static_cast<int>(negative ? -result : result);
}

QString MessageLines(const std::string& text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lines += text[i];
        }
    }
    return ToQString(lines);
}

int ButtonCaptionWidth(const QString& caption, const QFont& font) {
    static std::map<QString, int> widths;
    auto found = widths.find(caption);
    if (found != widths.end()) return found->second;
    const int width = QFontMetrics(font).size(Qt::TextSingleLine | Qt::TextShowMnemonic, caption).width();
    widths.emplace(caption, width);
    return width;
}

TMessageLayout ComputeMessageLayout(const std::string& text, const QFont& font, int screenWidth) {
    const QFontMetrics metrics(font);
    TMessageLayout l;
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    l.cx = metrics.horizontalAdvance(letters) / 52;
    l.cy = metrics.height();
    l.horzMargin = MulDiv(8, l.cx, 4);
    l.vertMargin = MulDiv(8, l.cy, 8);
    l.horzSpacing = MulDiv(10, l.cx, 4);
    l.vertSpacing = MulDiv(10, l.cy, 8);
    l.buttonHeight = MulDiv(14, l.cy, 8);
    l.buttonSpacing = MulDiv(4, l.cx, 4);
    l.buttonWidth = std::max(MulDiv(50, l.cx, 4), ButtonCaptionWidth(QStringLiteral("OK"), font) + 8);
    const QRect bound = metrics.boundingRect(QRect(0, 0, screenWidth / 2, 0), kTextFlags, MessageLines(text));
    l.textRect = QRect(0, 0, bound.width(), bound.height());
    l.iconTextWidth = l.textRect.width() + kIconSize + l.horzSpacing;
    l.iconTextHeight = std::max(l.textRect.height(), kIconSize);
    const int buttons = 1;
    l.buttonGroupWidth = buttons * l.buttonWidth + (buttons - 1) * l.buttonSpacing;
    l.clientWidth = std::max(l.iconTextWidth, l.buttonGroupWidth) + 2 * l.horzMargin;
    l.clientHeight = l.iconTextHeight + l.buttonHeight + l.vertSpacing + 2 * l.vertMargin;
    l.imageRect = QRect(l.horzMargin, l.vertMargin, kIconSize, kIconSize);
    l.messageRect = QRect(l.horzMargin + kIconSize + l.horzSpacing, l.vertMargin, l.textRect.width(), l.textRect.height());
    l.buttonRect = QRect((l.clientWidth - l.buttonGroupWidth) / 2, l.iconTextHeight + l.vertMargin + l.vertSpacing,
                         l.buttonWidth, l.buttonHeight);
    return l;
}

// The platform's own font, not the application font: the program sets its small window font
// for the whole application, and the box must not take that over.
QFont MessageFont() { return QFontDatabase::systemFont(QFontDatabase::GeneralFont); }

TMessageForm::TMessageForm(const std::string& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("TMessageForm");
    setWindowTitle(QStringLiteral("Information"));
    const QFont font = MessageFont();
    setFont(font);
    QScreen* screen = BoxScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The wrap width is half the whole screen, task bars included.
    const int screenWidth = screen ? screen->geometry().width() : available.width();
    layout_ = ComputeMessageLayout(text, font, screenWidth);

    image_ = new QLabel(this);
    image_->setObjectName("Image");
    image_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIconSize, kIconSize));
    image_->setGeometry(layout_.imageRect);

    message_ = new TMessageLabel(this);
    message_->setObjectName("Message");
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    message_->setText(MessageLines(text));
    message_->setGeometry(layout_.messageRect);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName("OK");
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    ok_->setGeometry(layout_.buttonRect);
    connect(ok_, &QPushButton::clicked, this, [this] { done(mrOk); });

    setFixedSize(layout_.clientWidth, layout_.clientHeight);
    move(available.center() - QPoint(layout_.clientWidth / 2, layout_.clientHeight / 2));
    setWindowModality(Qt::ApplicationModal);
}

TMessageForm::~TMessageForm() = default;

// The OK button is the cancel button as well: Esc presses it rather than rejecting the box.
void TMessageForm::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        ok_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Closing from the title bar ends the box as a cancel.
void TMessageForm::reject() { done(mrCancel); }

int ShowInformationBox(const std::string& text) {
    QWidget* previous = QApplication::activeWindow();
    TMessageForm form(text, previous);
    const int result = form.exec();
    if (previous) previous->activateWindow();
    return result;
}

}  // namespace framework
