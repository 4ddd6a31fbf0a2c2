// The program: the application, its one window and the message loop.
#include <QApplication>
#include <QIcon>

#include "framework/app_style.h"
#include "framework/error_box.h"
#include "framework/qt_strings.h"
#include "kvd_gen1.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setFont(framework::WizardFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kvd_gen.png")));
    // Ties the window to the installed desktop entry (and its icon) on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kivador.SetupWizard"));
    framework::InstallWizardStyle();
    // The wizard finds and makes its own files through its folder's Windows path. A folder that
    // has no exact one would send them to another folder, so the wizard does not start at all.
    if (platform::GetModuleFileName().empty()) {
        framework::ShowErrorBox(framework::FromQString(
            QStringLiteral("The wizard cannot start in %1: a folder name on that path cannot be written as a Windows "
                           "path (it holds \\ : * ? \" < > | or a control character, or ends in a period or a "
                           "space). Move the wizard to another folder")
                .arg(QCoreApplication::applicationDirPath())));
        return 1;
    }
    TForm1 form1;
    form1.show();
    return application.exec();
}
