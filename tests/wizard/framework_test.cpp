// The framework pieces on real widgets: memo, guard, error box, information box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>
#include <functional>

#include "framework/guard.h"
#include "framework/memo.h"
#include "framework/message_form.h"
#include "framework/qt_strings.h"
#include "runtime/error_text.h"
#include "runtime/exceptions.h"

namespace {

// Runs the action on the first modal widget that comes up, from inside its own event loop.
void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

int Rounded(int a, int b, int c) { return static_cast<int>((static_cast<long long>(a) * b * 2 + c) / (2LL * c)); }

}  // namespace

TEST(QtStrings, EveryByteStringComesBackUnchangedFromAWidget) {
    QLineEdit edit;
    std::string allBytes;
    for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
    const std::string cases[] = {allBytes, "\xE9", "abc\xC3", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                                 "\xED\xB2\x80", "\xF0\x9F\x98", "x\xC0\xAFy"};
    for (const std::string& bytes : cases) {
        edit.setText(framework::ToQString(bytes));
        EXPECT_EQ(framework::FromQString(edit.text()), bytes);
    }
    // Text the local encoding can carry is shown as itself.
    EXPECT_EQ(framework::ToQString("\xC3\xA9\xE2\x82\xAC"), QString::fromUtf8("\xC3\xA9\xE2\x82\xAC"));
    EXPECT_EQ(framework::FromQString(QString::fromUtf8("\xC3\xA9")), "\xC3\xA9");
}

TEST(Memo, TextIsTheExactBytesWhileEachLineEndStartsADisplayLine) {
    framework::TMemo memo;
    const std::string bytes = "one\r\ntwo\rthree\nfour\r\n";
    memo.SetText(bytes);
    EXPECT_EQ(memo.Text(), bytes);
    EXPECT_EQ(memo.toPlainText(), QString("one\ntwo\nthree\nfour\n"));
    EXPECT_EQ(memo.document()->blockCount(), 5);

    memo.SetText(memo.Text() + "\r\nfive");
    EXPECT_EQ(memo.Text(), bytes + "\r\nfive");
    memo.Clear();
    EXPECT_EQ(memo.Text(), "");
    EXPECT_EQ(memo.toPlainText(), QString());
}

TEST(Memo, TextPutInByTheControlItselfComesBackWithCrLf) {
    framework::TMemo memo;
    memo.setPlainText("Memo\nline");
    EXPECT_EQ(memo.Text(), "Memo\r\nline");
    memo.SetText("a\rb");
    EXPECT_EQ(memo.Text(), "a\rb");
}

TEST(Guard, HookReceivesTheMessageAndTheSilentExceptionIsNotShown) {
    std::vector<std::string> messages;
    framework::SetExceptionHook([&](const std::string& m) { messages.push_back(m); });
    int after = 0;
    framework::Guarded([&] {
        throw rtl::EInOutError("I/O error 32", 32);
        ++after;
    });
    framework::Guarded([] { throw rtl::EAbort("quiet"); });
    framework::Guarded([] { throw rtl::EConvertError("'x' is not a valid integer value"); });
    framework::SetExceptionHook(nullptr);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"I/O error 32", "'x' is not a valid integer value"}));
}

TEST(ErrorBox, ShowsTitleMessageWithPeriodStopIconAndOneOkButton) {
    framework::SetExceptionHook(nullptr);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = -1;
    QString buttonText;
    Qt::WindowModality modality = Qt::NonModal;
    QString name;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        name = box->objectName();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        modality = box->windowModality();
        buttons = static_cast<int>(box->buttons().size());
        if (!box->buttons().isEmpty()) buttonText = box->buttons().first()->text();
        box->button(QMessageBox::Ok)->click();
    });
    framework::Guarded([] { throw rtl::EConvertError("'abc' is not a valid integer value"); });
    EXPECT_EQ(name, QString("ErrorBox"));
    EXPECT_EQ(title, framework::ToQString(rtl::ApplicationTitle()));
    EXPECT_FALSE(title.isEmpty());
    EXPECT_EQ(text, QString("'abc' is not a valid integer value."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(buttonText.remove('&'), QString("OK"));
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST(ErrorBox, MessageEndingInParenthesisGetsNoPeriod) {
    framework::SetExceptionHook(nullptr);
    QString text;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    framework::Guarded([] { throw rtl::EInOutError("Stream read error (see log)", 0); });
    EXPECT_EQ(text, QString("Stream read error (see log)"));
}

TEST(MessageLayout, MulDivRoundsToNearestHalvesAwayFromZero) {
    EXPECT_EQ(framework::MulDiv(8, 6, 4), 12);
    EXPECT_EQ(framework::MulDiv(10, 13, 8), 16);   // 16.25
    EXPECT_EQ(framework::MulDiv(14, 13, 8), 23);   // 22.75
    EXPECT_EQ(framework::MulDiv(1, 1, 2), 1);      // 0.5
    EXPECT_EQ(framework::MulDiv(-1, 1, 2), -1);    // -0.5
    EXPECT_EQ(framework::MulDiv(10, 5, 4), 13);    // 12.5
    EXPECT_EQ(framework::MulDiv(1, 1, 0), -1);
}

TEST(MessageLayout, LineEndsOfEveryKindStartALine) {
    EXPECT_EQ(framework::MessageLines("a\r\rb\r\nc\nd"), QString("a\n\nb\nc\nd"));
}

// The figures of the layout rules, recomputed here from the message font.
TEST(MessageLayout, DialogChildrenStandWhereTheRulesPutThem) {
    const std::string text = "Kivador Setup Wizard - for version 3.2\r\rKivador Software - web content on CD";
    framework::TMessageForm form(text);
    const QFont font = framework::MessageFont();
    const QFontMetrics fm(font);
    const int cx = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52;
    const int cy = fm.height();
    const int hMargin = Rounded(8, cx, 4), vMargin = Rounded(8, cy, 8);
    const int hSpacing = Rounded(10, cx, 4), vSpacing = Rounded(10, cy, 8);
    const int buttonHeight = Rounded(14, cy, 8);
    const int buttonWidth = std::max(Rounded(50, cx, 4), fm.horizontalAdvance("OK") + 8);
    const int half = QGuiApplication::primaryScreen()->geometry().width() / 2;
    const QRect textRect = fm.boundingRect(QRect(0, 0, half, 0), Qt::TextWordWrap | Qt::TextExpandTabs,
                                           "Kivador Setup Wizard - for version 3.2\n\nKivador Software - web content on CD");
    const int iconTextWidth = textRect.width() + 32 + hSpacing;
    const int iconTextHeight = std::max(textRect.height(), 32);
    const int clientWidth = std::max(iconTextWidth, buttonWidth) + 2 * hMargin;
    const int clientHeight = iconTextHeight + buttonHeight + vSpacing + 2 * vMargin;

    EXPECT_EQ(form.windowTitle(), QString("Information"));
    EXPECT_EQ(form.size(), QSize(clientWidth, clientHeight));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    auto* image = form.findChild<QLabel*>("Image");
    auto* message = form.findChild<QLabel*>("Message");
    auto* ok = form.findChild<QPushButton*>("OK");
    ASSERT_TRUE(image && message && ok);
    // Creation order: image, message, button.
    const QObjectList children = form.children();
    EXPECT_LT(children.indexOf(image), children.indexOf(message));
    EXPECT_LT(children.indexOf(message), children.indexOf(ok));
    EXPECT_EQ(image->geometry(), QRect(hMargin, vMargin, 32, 32));
    EXPECT_FALSE(image->pixmap().isNull());
    EXPECT_EQ(message->geometry(), QRect(hMargin + 32 + hSpacing, vMargin, textRect.width(), textRect.height()));
    EXPECT_TRUE(message->wordWrap());
    EXPECT_EQ(ok->geometry(),
              QRect((clientWidth - buttonWidth) / 2, iconTextHeight + vMargin + vSpacing, buttonWidth, buttonHeight));
    EXPECT_EQ(ok->text(), QString("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(form.windowModality(), Qt::ApplicationModal);

    // Two CRs leave an empty line: three lines tall, like three lines of text.
    const QRect threeLines = fm.boundingRect(QRect(0, 0, half, 0), Qt::TextWordWrap, "K\nK\nK");
    EXPECT_EQ(form.Layout().textRect.height(), threeLines.height());
    EXPECT_GT(threeLines.height(), fm.boundingRect(QRect(0, 0, half, 0), Qt::TextWordWrap, "K\nK").height());
}

TEST(MessageLayout, BoxKeepsTheDesktopsMessageFontWhateverTheProgramsFont) {
    // The program sets its own small window font for the whole application at start.
    const QFont before = QApplication::font();
    QFont programFont = before;
    programFont.setPixelSize(23);
    QApplication::setFont(programFont);
    const QFont desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    {
        framework::TMessageForm form("Text");
        EXPECT_EQ(form.font().pixelSize(), desktop.pixelSize());
        EXPECT_EQ(form.font().pointSizeF(), desktop.pointSizeF());
        EXPECT_EQ(form.Layout().cy, QFontMetrics(desktop).height());
    }
    QApplication::setFont(before);
}

TEST(MessageLayout, LongTextWrapsInsideHalfTheScreenAndGrowsDownwards) {
    const int half = QGuiApplication::primaryScreen()->geometry().width() / 2;
    std::string text;
    for (int i = 0; i < 80; ++i) text += "word ";
    const framework::TMessageLayout wide = framework::ComputeMessageLayout(text, framework::MessageFont(), half * 2);
    const framework::TMessageLayout one = framework::ComputeMessageLayout("word", framework::MessageFont(), half * 2);
    EXPECT_LE(wide.textRect.width(), half);
    EXPECT_GT(wide.textRect.width(), half / 2);
    EXPECT_GT(wide.textRect.height(), 3 * one.textRect.height());
    EXPECT_EQ(wide.clientHeight, std::max(wide.textRect.height(), 32) + wide.buttonHeight + wide.vertSpacing +
                                     2 * wide.vertMargin);
    // A short text is still as tall as the icon.
    EXPECT_EQ(one.iconTextHeight, 32);
}

TEST(MessageLayout, AmpersandUnderlinesAndDoubleAmpersandShowsOne) {
    const QFont font = framework::MessageFont();
    const QFontMetrics fm(font);
    const framework::TMessageLayout single = framework::ComputeMessageLayout("A&B", font, 2000);
    const framework::TMessageLayout plain = framework::ComputeMessageLayout("AB", font, 2000);
    const framework::TMessageLayout twice = framework::ComputeMessageLayout("A&&B", font, 2000);
    EXPECT_EQ(single.textRect.width(), plain.textRect.width());
    EXPECT_EQ(twice.textRect.width(), fm.horizontalAdvance("A&B"));
}

TEST(MessageLayout, ButtonCaptionWidthIsMeasuredOncePerRun) {
    QFont small = framework::MessageFont();
    const int first = framework::ButtonCaptionWidth("Retry later", small);
    QFont big = small;
    big.setPixelSize(40);
    EXPECT_EQ(framework::ButtonCaptionWidth("Retry later", big), first);
    EXPECT_GT(framework::ButtonCaptionWidth("Retry later again", big), first);
}

TEST(InformationBox, EnterEscAndCloseEachDismissIt) {
    struct Case {
        const char* name;
        std::function<void(QWidget*)> dismiss;
        int result;
    };
    const std::vector<Case> cases = {
        {"Enter",
         [](QWidget* w) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
             QApplication::sendEvent(w->focusWidget() ? w->focusWidget() : w, &key);
         },
         framework::mrOk},
        {"Esc",
         [](QWidget* w) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(w->focusWidget() ? w->focusWidget() : w, &key);
         },
         framework::mrOk},
        {"close", [](QWidget* w) { w->close(); }, framework::mrCancel},
        {"click", [](QWidget* w) { w->findChild<QPushButton*>("OK")->click(); }, framework::mrOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString caption;
        QString shown;
        WhenModal([&](QWidget* modal) {
            caption = modal->windowTitle();
            shown = modal->findChild<QLabel*>("Message")->text();
            c.dismiss(modal);
        });
        const int result = framework::ShowInformationBox("Hello\r\rthere");
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(caption, QString("Information"));
        EXPECT_EQ(shown, QString("Hello\n\nthere"));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
}
