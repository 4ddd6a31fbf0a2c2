// The information box: a small dialog with an icon, the message and one OK button.
#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <string>

class QLabel;
class QPushButton;

namespace framework {

// Modal results of the box's button and of closing it from the title bar.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// The numbers the layout rules produce, kept so that a test can recompute and compare them.
struct TMessageLayout {
    int cx = 0;
    int cy = 0;
    int horzMargin = 0;
    int vertMargin = 0;
    int horzSpacing = 0;
    int vertSpacing = 0;
    int buttonHeight = 0;
    int buttonSpacing = 0;
    int buttonWidth = 0;
    QRect textRect;  // measured text block, at 0,0
    int iconTextWidth = 0;
    int iconTextHeight = 0;
    int buttonGroupWidth = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    QRect imageRect;
    QRect messageRect;
    QRect buttonRect;
};

// Windows' MulDiv: a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c);

// CR LF, lone CR and lone LF each become one line break.
QString MessageLines(const std::string& text);

// Width of a button caption on one line; each caption is measured once per run.
int ButtonCaptionWidth(const QString& caption, const QFont& font);

// The layout of a box with one button for the text in the font, within half the screen width.
TMessageLayout ComputeMessageLayout(const std::string& text, const QFont& font, int screenWidth);

// The desktop's message font.
QFont MessageFont();

class TMessageForm : public QDialog {
    Q_OBJECT
public:
    TMessageForm(const std::string& text, QWidget* parent = nullptr);
    ~TMessageForm() override;

    const TMessageLayout& Layout() const { return layout_; }
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TMessageLayout layout_;
    QLabel* image_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Builds the box for the text, shows it modal for the whole application and returns the
// modal result once it is dismissed.
int ShowInformationBox(const std::string& text);

}  // namespace framework
