// The proxy style and font of the wizard.
#include "framework/app_style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

namespace framework {

namespace {

class TWizardStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) return kToolTipWakeUpDelay;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

void InstallWizardStyle() {
    if (dynamic_cast<TWizardStyle*>(QApplication::style())) return;
    // The proxy takes its own copy of the base style: the application deletes the old one
    // when the new style is set.
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    QApplication::setStyle(new TWizardStyle(base));
}

QFont WizardFont() {
    const QString classic = QStringLiteral("MS Sans Serif");
    if (QFontDatabase::families().contains(classic)) {
        QFont font(classic);
        font.setPointSize(8);
        return font;
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

void SetToolTipDurations(QWidget* root) {
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->toolTip().isEmpty()) widget->setToolTipDuration(kToolTipDuration);
    }
}

}  // namespace framework
