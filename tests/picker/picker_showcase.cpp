// Shows the three controls over a made-up drive table, for a look at the glyphs and indents.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include "picker/TDirectoryListBox.h"
#include "picker/TDriveComboBox.h"
#include "picker/TFileListBox.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString root = temp.path();
    for (const char* folder : {"c/projects/site/images", "c/projects/site/Pages", "c/projects/site/scripts", "d", "n"})
        QDir().mkpath(root + "/" + folder);
    for (const char* file : {"index.htm", "KVD.EXE", "setup.bat", "a&b.htm", "kvd.cfg"}) {
        QFile out(root + "/c/projects/site/" + file);
        out.open(QIODevice::WriteOnly);
        out.write("x");
    }
    std::vector<platform::posix::DriveEntry> table(5);
    table[0] = {'A', (root + "/d").toStdString(), platform::kDriveRemovable, "", {}, 3, ""};
    table[1] = {'C', (root + "/c").toStdString(), platform::kDriveFixed, "SYSTEM", {}, 3, ""};
    table[2] = {'D', (root + "/d").toStdString(), platform::kDriveCdrom, "Disc&Data", {}, 3, ""};
    table[3] = {'N', (root + "/n").toStdString(), platform::kDriveRemote, "", std::string("\\\\server\\share"), 3, ""};
    table[4] = {'R', (root + "/d").toStdString(), platform::kDriveRamdisk, "", {}, 3, ""};
    platform::posix::SetDriveTable(table);
    platform::SetCurrentDirectory("C:\\projects\\site");

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* drives = new TDriveComboBox;
    auto* folders = new TDirectoryListBox;
    auto* files = new TFileListBox;
    auto* caption = new QLabel;
    for (QWidget* w : {static_cast<QWidget*>(drives), static_cast<QWidget*>(folders), static_cast<QWidget*>(files)})
        w->setFixedWidth(153);
    folders->setFixedHeight(150);
    files->setFixedHeight(130);
    files->SetShowGlyphs(true);
    drives->SetDirList(folders);
    folders->SetFileList(files);
    folders->SetDirLabel(caption);
    layout->addWidget(caption);
    layout->addWidget(drives);
    layout->addWidget(folders);
    layout->addWidget(files);
    window.move(0, 0);
    window.show();
    files->SetItemIndex(1);
    const QString shot = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (argc > 3) QTimer::singleShot(200, drives, &QComboBox::showPopup);
    QTimer::singleShot(500, [&] {
        if (!shot.isEmpty()) window.grab().save(shot);
    });
    QTimer::singleShot(argc > 2 ? atoi(argv[2]) : 4000, &app, &QApplication::quit);
    return app.exec();
}
