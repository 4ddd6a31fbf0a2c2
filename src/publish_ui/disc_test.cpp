// Test Disc Image: the disc reader's check behind a progress dialog, then a copy of the disc in the viewer.
#include "publish_ui/disc_test.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>

#include "framework/qt_strings.h"
#include "platform/platform.h"
#include "publish/disc/disc_reader.h"
#include "publish_ui/check_dialog.h"
#include "publish_ui/progress_run.h"
#include "viewer_core.h"

using framework::FromQString;
using framework::ToQString;

namespace publish_ui {

namespace {

// Long enough for the viewer to close its window and let go of its files.
constexpr int kViewerEndMs = 3000;

QString Shown(const std::string& hostPath) { return QDir::toNativeSeparators(ToQString(hostPath)); }

QString Title() { return QObject::tr("Test Disc Image"); }

void Tell(QWidget* parent, const char* name, const QString& text) {
    QMessageBox box(QMessageBox::Information, Title(), text, QMessageBox::Ok, parent);
    box.setObjectName(name);
    box.exec();
}

// The root's autorun.inf as a reader on Windows finds it, in any letter case; empty when there is none.
QString FindAutorun(const QString& root) {
    const QStringList names = QDir(root).entryList(QDir::Files, QDir::Name);
    if (names.contains("autorun.inf")) return root + "/autorun.inf";
    for (const QString& name : names)
        if (name.compare("autorun.inf", Qt::CaseInsensitive) == 0) return root + "/" + name;
    return {};
}

} // namespace

std::string ViewerProgram(const std::string& hostWizardFolder) {
    return hostWizardFolder + platform::kHostViewerProgram;
}

DiscPreview::DiscPreview(std::unique_ptr<QTemporaryDir> copy, QObject* parent)
    : QObject(parent), copy_(std::move(copy)), process_(new QProcess(this)) {
    setObjectName("DiscPreview");
    process_->setObjectName("DiscViewer");
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->setWorkingDirectory(Folder());
    // The viewer stands in for the disc's kvd.exe, as a preview starts it: the disc's root is then its own
    // folder, so every page of the disc is served, wherever the first page lies.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(platform::kStandsInForVariable), Folder() + QStringLiteral("/kvd.exe"));
    process_->setProcessEnvironment(environment);
    // The copy goes as soon as nobody looks at it any more.
    connect(process_, &QProcess::finished, this, &QObject::deleteLater);
}

DiscPreview::~DiscPreview() {
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(kViewerEndMs)) {
            process_->kill();
            process_->waitForFinished(kViewerEndMs);
        }
    }
    // copy_ removes the folder after this body, with the viewer gone.
}

QString DiscPreview::Folder() const { return copy_->path(); }

bool DiscPreview::Start(const std::string& program, const std::vector<std::string>& tokens, QString* error) {
    QStringList arguments;
    for (const std::string& token : tokens)
        arguments << ToQString(token);
    process_->start(ToQString(program), arguments);
    if (process_->waitForStarted()) return true;
    *error = process_->errorString();
    return false;
}

void TestDiscImage(QWidget* parent, const std::string& hostWizardFolder, const std::string& hostProjectFolder) {
    QString project = ToQString(hostProjectFolder);
    while (project.size() > 1 && project.endsWith('/'))
        project.chop(1);
    const QString start = project.isEmpty() ? QString() : QFileInfo(project).absolutePath();
    QFileDialog ask(parent, Title(), start, QObject::tr("Disc images (*.iso);;All files (*)"));
    ask.setObjectName("DiscImageFile");
    ask.setFileMode(QFileDialog::ExistingFile);
    ask.setAcceptMode(QFileDialog::AcceptOpen);
    if (ask.exec() != QDialog::Accepted || ask.selectedFiles().isEmpty()) return;
    TestDiscImageFile(parent, hostWizardFolder, FromQString(ask.selectedFiles().front()));
}

void TestDiscImageFile(QWidget* parent, const std::string& hostWizardFolder, const std::string& image) {
    ProgressText text;
    text.title = Title();
    text.label = QObject::tr("Checking the pages of %1...").arg(Shown(image));
    text.showAfterMs = 400;
    const auto result =
        ComputeBehindProgress<publish::CheckResult>(parent, text, [image](const publish::ProgressFn& progress) {
            publish::CheckOptions options;
            options.progress = progress;
            return publish::CheckImage(image, options);
        });
    if (!result) return;
    {
        CheckDialog report(*result, publish::Medium::CD, Shown(image), CheckDialog::Mode::Show, parent);
        report.setWindowTitle(Title());
        if (auto* label = report.findChild<QLabel*>("FolderLabel"))
            label->setText(QObject::tr("Disc image: %1").arg(Shown(image)));
        report.exec();
    }

    // The viewer reads ordinary files, so it gets a copy of the disc under the names Joliet gave them.
    auto copy = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/kvd-disc-XXXXXX");
    if (!copy->isValid())
        throw publish::Error("Cannot make a folder for the copy of the disc: " + FromQString(copy->errorString()) +
                             ".");
    const std::string folder = FromQString(copy->path());
    ProgressText copying;
    copying.title = Title();
    copying.label = QObject::tr("Copying the files of %1...").arg(Shown(image));
    copying.showAfterMs = 400;
    const bool copied = RunBehindProgress(parent, copying, [image, folder](const publish::ProgressFn& progress) {
        publish::ExtractImage(image, folder, progress);
    });
    if (!copied) return;

    const QString autorun = FindAutorun(copy->path());
    QFile file(autorun);
    publish::AutorunOpen open;
    if (!autorun.isEmpty() && file.open(QIODevice::ReadOnly))
        open = publish::ParseAutorunOpen(file.readAll().toStdString());
    if (!open.found) {
        Tell(parent, "DiscDoesNotStart",
             QObject::tr("The disc has no autorun.inf with an open= line, so it does not start by itself and the "
                         "viewer is not started."));
        return;
    }
    const std::string program = ViewerProgram(hostWizardFolder);
    if (!QFileInfo(ToQString(program)).isExecutable()) {
        Tell(parent, "NoViewer",
             QObject::tr("The viewer program %1 is not in the wizard folder, so the disc cannot be shown.")
                 .arg(Shown(program)));
        return;
    }
    // The viewer finds a relative first page beside its own program; the disc's copy is elsewhere, so it gets
    // the page's full path in the copy and looks it up there without regard to case, as on the disc. Started
    // without tokens it reads kvd.cfg beside the program it stands in for, the copy's, as the disc's viewer does.
    std::vector<std::string> tokens = open.tokens;
    if (!tokens.empty()) {
        const std::string first = viewer::ParseViewerArgs(tokens).firstPage;
        if (tokens.size() < 2) tokens.push_back(first);
        if (!viewer::IsWindowsFullPath(first)) tokens[1] = viewer::JoinPagePath(folder, first, '/');
    }

    auto* preview = new DiscPreview(std::move(copy), parent);
    QString error;
    if (!preview->Start(program, tokens, &error)) {
        delete preview;
        throw publish::Error("Cannot start the viewer " + program + ": " + FromQString(error) + ".");
    }
}

} // namespace publish_ui
