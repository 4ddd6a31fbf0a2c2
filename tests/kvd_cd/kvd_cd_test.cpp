// kvd_cd as a script meets it: a separate process, its exit status, its standard output and error.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kvd_cd_process.h"
#include "publish/raw_image.h"
#include "support/temp_dir.h"

namespace {

using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

using kvd_cd_test::Outcome;

Outcome RunKvdCd(const QStringList& arguments, bool modesCount = false) {
    if (modesCount && geteuid() == 0) {
        // Root reads a file of mode 000 all the same; without these two capabilities it reads as anyone does.
        const QString dropped = "-dac_override,-dac_read_search";
        return kvd_cd_test::RunProgram(
            "setpriv", QStringList{"--bounding-set=" + dropped, "--inh-caps=" + dropped, KVD_CD_PATH} + arguments);
    }
    return kvd_cd_test::RunProgram(KVD_CD_PATH, arguments);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "output does not end with a line feed";
    return lines;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A project a preview has completed: settings, auto-start file, a Windows viewer and two pages.
void MakeCleanProject(const std::string& folder) {
    MakeDirs(folder + "/sub");
    WriteBytes(folder + "/kvd.cfg", "index.htm\r\nVisit us\r\nhttp://example.com/\r\n-\r\n-\r\n400\r\n600\r\n");
    WriteBytes(folder + "/autorun.inf", "[autorun]\r\nopen=KVD.exe \"-\" \"index.htm\"");
    WriteBytes(folder + "/kvd.exe", std::string("MZ\x90\0\x03", 5) + std::string(2000, 'x'));
    WriteBytes(folder + "/index.htm", "<html><body>\n<a href=\"sub/a.htm\">A</a>\n</body></html>\n");
    WriteBytes(folder + "/sub/a.htm", "<html><body><a href=\"../index.htm\">back</a></body></html>\n");
}

// The clean project with three faults in sub/a.htm: a missing page (line 3), a picture named in another
// letter case (line 4) and a web link (line 5).
void MakeProjectWithFaults(const std::string& folder) {
    MakeCleanProject(folder);
    WriteBytes(folder + "/sub/Logo.gif", "GIF89a");
    WriteBytes(folder + "/sub/a.htm", "<html><body>\n"
                                      "<a href=\"../index.htm\">back</a>\n"
                                      "<a href=\"gone.htm\">gone</a>\n"
                                      "<img src=\"logo.gif\">\n"
                                      "<a href=\"http://example.com/\">web</a>\n"
                                      "</body></html>\n");
}

struct Expected {
    std::string severity;
    std::string kind;
    std::string file;
    int line;
    std::string reference;
};

const std::vector<Expected> kFaults = {
    {"error", "missing-target", "sub/a.htm", 3, "gone.htm"},
    {"warning", "case-mismatch", "sub/a.htm", 4, "logo.gif"},
    {"note", "external-link", "sub/a.htm", 5, "http://example.com/"},
};

TEST(KvdCdCheck, CleanProjectExitsZeroWithTheSummaryAlone) {
    TempDir dir;
    MakeCleanProject(dir.Path());
    const Outcome run = RunKvdCd({"check", QString::fromStdString(dir.Path())});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    EXPECT_EQ(lines[0].rfind("no errors, no warnings, no notes; image ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("% of CD 700 MB"), std::string::npos) << lines[0];
    EXPECT_EQ(run.err, "");
}

TEST(KvdCdCheck, OneLinePerFindingThenTheSummaryAndExitOne) {
    TempDir dir;
    MakeProjectWithFaults(dir.Path());
    const Outcome run = RunKvdCd({"check", QString::fromStdString(dir.Path())});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), kFaults.size() + 1) << run.out;
    for (size_t i = 0; i < kFaults.size(); ++i) {
        const Expected& f = kFaults[i];
        const std::string prefix = f.severity + ": " + f.file + ":" + std::to_string(f.line) + ": ";
        EXPECT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
        EXPECT_NE(lines[i].find("\"" + f.reference + "\""), std::string::npos) << lines[i];
        EXPECT_EQ(lines[i].substr(lines[i].size() - f.kind.size() - 3), " [" + f.kind + "]") << lines[i];
    }
    EXPECT_EQ(lines.back().rfind("1 error, 1 warning, 1 note; image ", 0), 0u) << lines.back();
}

TEST(KvdCdCheck, JsonCarriesEveryFieldAndNullsWhereThereIsNone) {
    TempDir dir;
    MakeProjectWithFaults(dir.Path());
    std::filesystem::remove(dir / "autorun.inf");
    const Outcome run = RunKvdCd({"check", "--json", QString::fromStdString(dir.Path())});
    EXPECT_EQ(run.status, 1) << run.err;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    const QJsonObject root = document.object();
    EXPECT_EQ(root.keys(), (QStringList{"errors", "findings", "notes", "warnings"}));
    EXPECT_EQ(root["errors"], QJsonValue(2));
    EXPECT_EQ(root["warnings"], QJsonValue(1));
    EXPECT_EQ(root["notes"], QJsonValue(1));
    const QJsonArray findings = root["findings"].toArray();
    ASSERT_EQ(findings.size(), 4);

    // The folder-wide finding sorts first: no file, no line, no reference.
    const QJsonObject autorun = findings[0].toObject();
    EXPECT_EQ(autorun.keys(), (QStringList{"file", "kind", "line", "message", "reference", "severity"}));
    EXPECT_EQ(autorun["severity"], QJsonValue("error"));
    EXPECT_EQ(autorun["kind"], QJsonValue("missing-autorun"));
    EXPECT_EQ(autorun["file"], QJsonValue(""));
    EXPECT_TRUE(autorun["line"].isNull());
    EXPECT_TRUE(autorun["reference"].isNull());
    EXPECT_TRUE(autorun["message"].toString().contains("autorun.inf"));

    for (size_t i = 0; i < kFaults.size(); ++i) {
        const QJsonObject finding = findings[static_cast<qsizetype>(i + 1)].toObject();
        const Expected& f = kFaults[i];
        SCOPED_TRACE(f.kind);
        EXPECT_EQ(finding.keys(), (QStringList{"file", "kind", "line", "message", "reference", "severity"}));
        EXPECT_EQ(finding["severity"], QJsonValue(QString::fromStdString(f.severity)));
        EXPECT_EQ(finding["kind"], QJsonValue(QString::fromStdString(f.kind)));
        EXPECT_EQ(finding["file"], QJsonValue(QString::fromStdString(f.file)));
        EXPECT_EQ(finding["line"], QJsonValue(f.line));
        EXPECT_EQ(finding["reference"], QJsonValue(QString::fromStdString(f.reference)));
        EXPECT_FALSE(finding["message"].toString().isEmpty());
    }
}

// File names may hold anything but a slash and a null byte: none may forge a line of the text output, and
// a name that is not UTF-8 comes back from the JSON as the bytes it is.
TEST(KvdCdCheck, NamesStayOnTheirLineAndTheirBytesSurviveJson) {
    TempDir dir;
    MakeCleanProject(dir.Path());
    WriteBytes(dir / "a\nerror: forged.htm", "<p>x</p>");
    WriteBytes(dir / "b\x1b[2J\\.htm", "<p>x</p>");
    WriteBytes(dir / "caf\xE9.htm", "<p>x</p>");
    const QString folder = QString::fromStdString(dir.Path());

    // Other findings about these names may come and go; every line must still be one whole finding.
    const Outcome text = RunKvdCd({"check", folder});
    const std::vector<std::string> lines = Lines(text.out);
    ASSERT_GE(lines.size(), 4u) << text.out;
    std::set<std::string> found;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        EXPECT_TRUE(line.rfind("error: ", 0) == 0 || line.rfind("warning: ", 0) == 0 || line.rfind("note: ", 0) == 0)
            << line;
        EXPECT_EQ(line.back(), ']') << line;
        for (char c : line)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
        found.insert(line);
    }
    const std::string notLinked = ": No page reached from the first page links to this page. [not-linked]";
    EXPECT_EQ(found.count("note: a\\nerror: forged.htm" + notLinked), 1u) << text.out;
    EXPECT_EQ(found.count("note: b\\x1B[2J\\\\.htm" + notLinked), 1u) << text.out;
    EXPECT_EQ(found.count("note: caf\\xE9.htm" + notLinked), 1u) << text.out;

    const Outcome json = RunKvdCd({"check", "--json", folder});
    const QJsonArray findings = QJsonDocument::fromJson(QByteArray::fromStdString(json.out))["findings"].toArray();
    std::map<QString, QJsonObject> byFile;
    for (const QJsonValue& finding : findings)
        if (finding["kind"] == QJsonValue("not-linked")) byFile[finding["file"].toString()] = finding.toObject();
    ASSERT_EQ(byFile.size(), 3u) << json.out;
    const QJsonObject forged = byFile[QString("a\nerror: forged.htm")];
    EXPECT_FALSE(forged.isEmpty()) << json.out;
    EXPECT_FALSE(forged.contains("file_base64"));
    const QJsonObject latin1 = byFile[QString::fromUtf8("caf\xEF\xBF\xBD.htm")];
    EXPECT_EQ(latin1["file_base64"], QJsonValue("Y2Fm6S5odG0="));
    EXPECT_EQ(QByteArray::fromBase64(latin1["file_base64"].toString().toLatin1()).toStdString(), "caf\xE9.htm");
    EXPECT_FALSE(latin1.contains("reference_base64"));
}

TEST(KvdCdCheck, EveryUnreadableFileIsAFindingAndTheCheckGoesOn) {
    TempDir dir;
    MakeProjectWithFaults(dir.Path());
    WriteBytes(dir / "notes.txt", "linked by nothing");
    ASSERT_EQ(::chmod((dir / "notes.txt").c_str(), 0), 0);
    ASSERT_EQ(::chmod((dir / "sub/a.htm").c_str(), 0), 0);
    const Outcome run = RunKvdCd({"check", QString::fromStdString(dir.Path())}, true);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    const std::string rest = " cannot be read (Permission denied), so no image can be made of the folder until it "
                             "can. [unreadable]";
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "error: notes.txt: The file" + rest);
    EXPECT_EQ(lines[1], "error: sub/a.htm: The file" + rest);
    EXPECT_EQ(lines[2].rfind("2 errors, no warnings, no notes; image ", 0), 0u) << lines[2];
}

TEST(KvdCdCheck, CouldNotRunExitsTwoWithAMessageOnStandardError) {
    TempDir dir;
    MakeCleanProject(dir.Path());
    const QString folder = QString::fromStdString(dir.Path());
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{}, "Usage: kvd_cd"},
        {{"check"}, "check takes one FOLDER, not 0 arguments"},
        {{"check", folder, folder}, "check takes one FOLDER, not 2 arguments"},
        {{"check", QString::fromStdString(dir / "nowhere")}, "no such folder: " + dir / "nowhere"},
        {{"check", QString::fromStdString(dir / "index.htm")},
         "The file " + dir / "index.htm" + " is not an ISO 9660 disc image."},
        {{"image", QString::fromStdString(dir / "index.htm"), folder + ".iso"}, "no such folder"},
        {{"check", "--medium", "floppy", folder}, "unknown medium \"floppy\""},
        {{"check", "--label", "X", folder}, "Unknown option 'label'"},
        {{"check", "--json"}, "check takes one FOLDER"},
        {{"image", folder}, "image takes a FOLDER and an OUTPUT, not 1 arguments"},
        {{"image", "--json", folder, folder + ".iso"}, "Unknown option 'json'"},
        {{"frob", folder}, "unknown command \"frob\""},
        {{"--frob"}, "unknown option \"--frob\""},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome run = RunKvdCd(arguments);
        SCOPED_TRACE(arguments.join(' ').toStdString());
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"autorun.inf", "index.htm", "kvd.cfg", "kvd.exe", "sub"}));
}

TEST(KvdCdCheck, HelpAndVersionGoToStandardOutput) {
    const Outcome version = RunKvdCd({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kvd_cd 3.2\n");
    const Outcome help = RunKvdCd({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("check [--first-page NAME] [--medium cd|dvd|dvd-dl] [--json] FOLDER"), std::string::npos);
    EXPECT_NE(help.out.find("image [--label LABEL] [--medium M] [--first-page NAME] [--force] FOLDER OUTPUT"),
              std::string::npos);
    const Outcome imageHelp = RunKvdCd({"image", "--help"});
    EXPECT_EQ(imageHelp.status, 0);
    EXPECT_EQ(imageHelp.out.rfind("Usage: kvd_cd image [options] FOLDER OUTPUT\n", 0), 0u) << imageHelp.out;
    EXPECT_NE(imageHelp.out.find("--force"), std::string::npos);
    EXPECT_EQ(imageHelp.err, "");
}

// Ctrl-C while an image of 200,000 entries is read, before anything is checked: the reading stops there, at once
// rather than after the seconds the rest of it takes.
TEST(KvdCdCheck, InterruptStopsTheReadingOfAnImage) {
    TempDir dir;
    raw_image::Image image;
    const uint32_t empty = image.Take(raw_image::kSector);
    std::vector<std::string> entries;
    for (int i = 0; i < 200000; ++i) {
        const std::string name = "p" + std::to_string(1000000 + i) + ".jpg";
        entries.push_back(
            raw_image::Record(raw_image::Joliet(std::u16string(name.begin(), name.end())), empty, 0, false));
    }
    image.SetJolietRoot(image.AddFolder(entries));
    const std::string path = dir / "wide.iso";
    image.Write(path);

    QProcess process;
    process.start(KVD_CD_PATH, {"check", QString::fromStdString(path)});
    ASSERT_TRUE(process.waitForStarted());
    const auto pid = static_cast<pid_t>(process.processId());
    // The program opens the image only once its handler of the signal is in place.
    auto reading = [&] {
        std::error_code error;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            std::error_code ignored;
            if (std::filesystem::read_symlink(fd.path(), ignored) == path) return true;
        }
        return false;
    };
    while (!reading() && !process.waitForFinished(1)) {
    }
    ASSERT_EQ(process.state(), QProcess::Running) << "the check ended before it could be interrupted";
    ::kill(pid, SIGINT);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), "");
    EXPECT_EQ(process.readAllStandardError().toStdString(), "kvd_cd: interrupted; nothing was written.\n");
}

TEST(KvdCdImage, ErrorsRefuseTheImageAndForceWritesIt) {
    TempDir project;
    TempDir out;
    MakeProjectWithFaults(project.Path());
    const std::string image = out / "disc.iso";
    WriteBytes(image, "an older image");
    const QString folder = QString::fromStdString(project.Path());

    const Outcome refused = RunKvdCd({"image", folder, QString::fromStdString(image)});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("error: sub/a.htm:3: "), std::string::npos) << refused.out;
    EXPECT_NE(refused.err.find("no image written: the check found 1 error"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(image), "an older image");
    EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"disc.iso"});

    const Outcome forced =
        RunKvdCd({"image", "--force", "--label", "SPRING_2026", folder, QString::fromStdString(image)});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"disc.iso"});
    const std::string bytes = ReadBytes(image);
    ASSERT_GT(bytes.size(), 0x8000u + 40);
    EXPECT_EQ(bytes.substr(0x8001, 5), "CD001");
    EXPECT_EQ(bytes.substr(0x8028, 32), "SPRING_2026" + std::string(21, ' '));
    const std::vector<std::string> lines = Lines(forced.out);
    ASSERT_FALSE(lines.empty());
    std::string grouped = std::to_string(bytes.size());
    for (int i = static_cast<int>(grouped.size()) - 3; i > 0; i -= 3)
        grouped.insert(static_cast<size_t>(i), ",");
    EXPECT_EQ(lines.back(), "wrote " + image + ": " + grouped + " bytes (" +
                                QString::number(bytes.size() / 1048576.0, 'f', 1).toStdString() + " MB)");
    // Not a terminal: plain progress lines, the last at the whole.
    EXPECT_NE(forced.err.find("writing: 100% ("), std::string::npos) << forced.err;
}

TEST(KvdCdImage, FailureAndInterruptLeaveNothingBehind) {
    TempDir project;
    TempDir out;
    MakeCleanProject(project.Path());
    const QString folder = QString::fromStdString(project.Path());

    const Outcome noFolder = RunKvdCd({"image", folder, QString::fromStdString(out / "missing/disc.iso")});
    EXPECT_EQ(noFolder.status, 2);
    EXPECT_NE(noFolder.err.find(out / "missing"), std::string::npos) << noFolder.err;
    const Outcome inside = RunKvdCd({"image", folder, QString::fromStdString(project / "disc.iso")});
    EXPECT_EQ(inside.status, 2);
    EXPECT_FALSE(HostExists(project / "disc.iso"));

    // A pipe named as the output is refused before the check: no findings, no summary, the pipe as it was.
    const std::string pipe = out / "pipe.iso";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    const Outcome fifo = RunKvdCd({"image", folder, QString::fromStdString(pipe)});
    EXPECT_EQ(fifo.status, 2);
    EXPECT_EQ(fifo.out, "");
    EXPECT_EQ(fifo.err, "kvd_cd: The image file " + pipe + " is a pipe (FIFO), not a file; choose another name.\n");
    struct stat info {};
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(::unlink(pipe.c_str()), 0);

    // Two gigabytes of holes take no room in the project but long enough to write for a signal to land: Ctrl-C,
    // a closed terminal and kill all stop the run the same way.
    for (const char* name : {"big1.bin", "big2.bin"}) {
        std::filesystem::resize_file((WriteBytes(project / name, ""), project / name), 1ull << 30);
    }
    for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
        SCOPED_TRACE(signal);
        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(KVD_CD_PATH, {"image", "--medium", "dvd", folder, QString::fromStdString(out / "disc.iso")});
        std::string err;
        while (err.find("writing: ") == std::string::npos && process.waitForReadyRead(60000)) {
            err += process.readAllStandardError().toStdString();
        }
        ASSERT_NE(err.find("writing: "), std::string::npos) << err;
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60000));
        err += process.readAllStandardError().toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 130) << err;
        EXPECT_NE(err.find("interrupted; nothing was written"), std::string::npos) << err;
        EXPECT_EQ(Names(out.Path()), std::vector<std::string>{});
    }
}

} // namespace
