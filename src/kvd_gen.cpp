// The program: the application, its one window and the message loop.
#include <QApplication>
#include <QIcon>

#include "framework/app_style.h"
#include "kvd_gen1.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setFont(framework::WizardFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kvd_gen.png")));
    framework::InstallWizardStyle();
    TForm1 form1;
    form1.AddDiscCommands();
    form1.show();
    return application.exec();
}
