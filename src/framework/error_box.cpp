// The error box of the wizard.
#include "framework/error_box.h"

#include <QApplication>
#include <QMessageBox>

#include "framework/qt_strings.h"
#include "runtime/error_text.h"

namespace framework {

void ShowErrorBox(const std::string& message) {
    QWidget* previous = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, ToQString(rtl::ApplicationTitle()), ToQString(rtl::ErrorBoxText(message)),
                    QMessageBox::Ok, previous);
    box.setObjectName("ErrorBox");
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    if (previous) previous->activateWindow();
}

}  // namespace framework
