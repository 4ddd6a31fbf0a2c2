// kvd_cd drives and kvd_cd burn as a script meets them, burning to stdio: pseudo-drives. The cases that need a
// small or a read-only file system mount one in a mount namespace of their own, which only root may make.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kvd_cd_process.h"
#include "support/iso_head.h"
#include "support/temp_dir.h"

namespace {

using testing_support::AsIsoImage;
using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

using kvd_cd_test::Outcome;
using kvd_cd_test::RunProgram;

Outcome RunKvdCd(const QStringList& arguments) { return RunProgram(KVD_CD_PATH, arguments); }

// kvd_cd with a fresh tmpfs mounted on folder with the options given, seen by it alone and gone with it. The
// names the folder holds afterwards follow kvd_cd's standard output, one a line.
Outcome RunOnTmpfs(const std::string& folder, const QString& options, const QStringList& arguments) {
    QStringList command = {"--mount",
                           "--propagation",
                           "private",
                           "sh",
                           "-c",
                           "mount -t tmpfs -o \"$1\" tmpfs \"$2\" && folder=\"$2\" && shift 2 && \"$@\"; status=$?; "
                           "ls -A \"$folder\"; exit $status",
                           "sh",
                           options,
                           QString::fromStdString(folder),
                           KVD_CD_PATH};
    return RunProgram("unshare", command + arguments);
}

bool CanMountTmpfs() {
    TempDir dir;
    return RunOnTmpfs(dir.Path(), "size=1m", {"--version"}).status == 0;
}

// An ISO 9660 image as far as a burn looks.
std::string Image(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 2048);
    return AsIsoImage(bytes);
}

TEST(KvdCdBurn, BurnsToAFileReportsThePhasesAndExitsZero) {
    TempDir dir;
    const std::string image = Image(3000000);
    WriteBytes(dir / "show.iso", image);
    const QString iso = QString::fromStdString(dir / "show.iso");
    struct Case {
        QStringList options;
        std::string out;
        // The last line of each on standard error, off a terminal; a write over before the first look at it
        // has no speed to show.
        std::vector<std::string> phases;
    };
    const std::string drive = "stdio:" + dir / "disc.bin";
    const std::vector<Case> cases = {
        {{"--drive", QString::fromStdString(drive)},
         "Wrote 3,000,000 bytes (2.9 MB) to the drive " + drive + " and verified every sector.\n",
         {"writing: 100% (2.9 MB of 2.9 MB", "verifying: 100% (2.9 MB of 2.9 MB"}},
        {{"--drive", QString::fromStdString(drive), "--no-verify", "--speed", "4", "--eject"},
         "Wrote 3,000,000 bytes (2.9 MB) to the drive " + drive + "; not verified.\n",
         {"writing: 100% (2.9 MB of 2.9 MB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        std::filesystem::remove(dir / "disc.bin");
        const Outcome run = RunKvdCd(QStringList{"burn"} + c.options + QStringList{iso});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
        for (const std::string& phase : c.phases)
            EXPECT_NE(("\n" + run.err).find("\n" + phase), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("verifying") != std::string::npos, c.phases.size() == 2) << run.err;
        const std::string disc = ReadBytes(dir / "disc.bin");
        EXPECT_EQ(disc.substr(0, image.size()), image);
        EXPECT_EQ(disc.size(), 1465u * 2048);
    }
}

TEST(KvdCdBurn, DrivesDescribesAPseudoDriveInTextAndJson) {
    TempDir dir;
    const std::string drive = "stdio:" + dir / "disc.bin";
    const Outcome text = RunKvdCd({"drives", QString::fromStdString(drive)});
    EXPECT_EQ(text.status, 0) << text.err;
    const std::string start = drive + ": stdio file, blank, rewritable, ";
    EXPECT_EQ(text.out.rfind(start, 0), 0u) << text.out;
    EXPECT_EQ(text.out.substr(text.out.size() - 12), " bytes free\n") << text.out;

    const Outcome json = RunKvdCd({"drives", "--json", QString::fromStdString(drive)});
    EXPECT_EQ(json.status, 0) << json.err;
    const QJsonArray drives = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["drives"].toArray();
    ASSERT_EQ(drives.size(), 1);
    const QJsonObject item = drives[0].toObject();
    EXPECT_EQ(item["address"].toString().toStdString(), drive);
    EXPECT_EQ(item["vendor"].toString(), "");
    const QJsonObject disc = item["disc"].toObject();
    EXPECT_EQ(disc["type"].toString(), "stdio file");
    EXPECT_EQ(disc["state"].toString(), "blank");
    EXPECT_EQ(disc["rewritable"].toBool(), true);
    EXPECT_GT(disc["capacity"].toDouble(), 1e6);
    EXPECT_EQ(disc["speeds"].toArray().size(), 0);
    EXPECT_FALSE(HostExists(dir / "disc.bin")) << "looking writes nothing";
}

TEST(KvdCdBurn, CouldNotBurnExitsTwoWithTheReasonOnStandardError) {
    TempDir dir;
    WriteBytes(dir / "show.iso", Image(3000000));
    const QString iso = QString::fromStdString(dir / "show.iso");
    const QString drive = QString::fromStdString("stdio:" + dir / "disc.bin");
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"burn"}, "kvd_cd: burn takes one IMAGE, not 0 arguments.\nTry 'kvd_cd --help'.\n"},
        {{"burn", "--speed", "0", iso},
         "kvd_cd: the speed \"0\" is not a whole number above 0.\nTry 'kvd_cd --help'.\n"},
        {{"burn", "--speed", "fast", iso},
         "kvd_cd: the speed \"fast\" is not a whole number above 0.\nTry 'kvd_cd --help'.\n"},
        {{"burn", "--drive", drive, iso + ".gone"},
         "kvd_cd: The image " + dir / "show.iso.gone" + " cannot be read: No such file or directory.\n"},
        {{"burn", "--drive", QString::fromStdString("stdio:" + dir / "gone/disc.bin"), iso},
         "kvd_cd: There is no drive stdio:" + dir / "gone/disc.bin" + ": the folder " + dir / "gone" +
             " does not exist.\n"},
        {{"drives", QString::fromStdString("stdio:" + dir / "gone/disc.bin")},
         "kvd_cd: There is no drive stdio:" + dir / "gone/disc.bin" + ": the folder " + dir / "gone" +
             " does not exist.\n"},
    };
    for (const auto& [arguments, message] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome run = RunKvdCd(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, message);
    }
    EXPECT_FALSE(HostExists(dir / "disc.bin"));

    // A drive that fails halfway, as a file that may not grow past 512 KB; the drive's own words end it.
    const Outcome failed = RunProgram(
        "sh", {"-c", "trap '' XFSZ; ulimit -f 1024; exec \"$0\" \"$@\"", KVD_CD_PATH, "burn", "--drive", drive, iso});
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "kvd_cd: Writing to the drive " + drive.toStdString() +
                              " failed after 0.5 MB of 2.9 MB: Cannot write desired amount of 32768 bytes. write(2) "
                              "returned -1. (File too large).\n");
}

TEST(KvdCdBurn, ADiscTooSmallAndOneThatCannotBeWrittenAreRefused) {
    if (!CanMountTmpfs()) GTEST_SKIP() << "mounting a tmpfs in a mount namespace needs root";
    TempDir dir;
    WriteBytes(dir / "show.iso", Image(3000000));
    MakeDirs(dir / "disc");
    const QString iso = QString::fromStdString(dir / "show.iso");
    const std::string drive = "stdio:" + dir / "disc/disc.bin";
    struct Case {
        QString mount;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"size=1m", "kvd_cd: The image " + dir / "show.iso" +
                        " is 3,000,000 bytes (2.9 MB), more than the 1,048,576 bytes (1.0 MB) free on the disc in "
                        "the drive " +
                        drive + ".\n"},
        {"size=10m,ro", "kvd_cd: The drive " + drive + " cannot be written: Read-only file system.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mount.toStdString());
        const Outcome run = RunOnTmpfs(dir / "disc", c.mount, {"burn", "--drive", QString::fromStdString(drive), iso});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "") << "the file made for the burn goes again";
        EXPECT_EQ(run.err, c.err);
    }
}

// Ctrl-C and kill alike stop the write between two pieces and say how far it got.
TEST(KvdCdBurn, CtrlCOrSigtermDuringTheWriteStopsItAndSaysHowFarItGot) {
    TempDir dir;
    constexpr uint64_t kSize = 1ull << 30;
    WriteBytes(dir / "show.iso", "");
    std::filesystem::resize_file(dir / "show.iso", kSize);
    {
        QFile file(QString::fromStdString(dir / "show.iso"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(testing_support::kIsoDescriptorOffset));
        ASSERT_EQ(file.write(QByteArray::fromStdString(testing_support::PrimaryVolumeDescriptor(kSize))), 2048);
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove(dir / "disc.bin");
        QProcess process;
        process.start(KVD_CD_PATH, {"burn", "--drive", QString::fromStdString("stdio:" + dir / "disc.bin"),
                                    QString::fromStdString(dir / "show.iso")});
        ASSERT_TRUE(process.waitForStarted());
        process.setReadChannel(QProcess::StandardError);
        QByteArray err;
        while (!err.contains("writing: ") && process.waitForReadyRead(60000))
            err += process.readAllStandardError();
        ASSERT_TRUE(err.contains("writing: ")) << err.toStdString();
        ASSERT_EQ(kill(static_cast<pid_t>(process.processId()), signal), 0);
        ASSERT_TRUE(process.waitForFinished(60000));
        err += process.readAllStandardError();
        EXPECT_EQ(process.exitCode(), 128 + SIGINT);
        EXPECT_EQ(process.readAllStandardOutput(), "");
        const std::string text = err.toStdString();
        const std::string said = "\nkvd_cd: interrupted. Cancelled after ";
        const size_t at = text.find(said);
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.substr(text.find(" of ", at)), " of 1024.0 MB were written to the drive stdio:" +
                                                          dir / "disc.bin" + "; the disc holds an incomplete image.\n");
    }
}

// A stdio: drive is judged by the file its path leads to, before anything is opened for writing: a file that
// holds data is a disc holding data, a disk or a special file is no drive, and no file is written unasked.
TEST(KvdCdBurn, StdioDrivesAreJudgedByWhatTheyLeadToAndNothingIsWrittenUnasked) {
    TempDir dir;
    const std::string image = Image(3000000);
    WriteBytes(dir / "show.iso", image);
    // Longer than the image, so that what blanking leaves of it would show after the image.
    std::string data(4000000, '\0');
    uint32_t state = 7;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    WriteBytes(dir / "data.bin", data);
    std::filesystem::create_symlink(dir / "data.bin", dir / "link.bin");
    std::filesystem::create_symlink(dir / "nothing.bin", dir / "dangling.bin");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    // A block device of no driver: opening it fails, should the refusal ever fail too.
    const bool disk = mknod((dir / "disk").c_str(), S_IFBLK | 0600, makedev(240, 0)) == 0;

    const QString iso = QString::fromStdString(dir / "show.iso");
    const auto stdio = [&dir](const std::string& name) {
        return QString::fromStdString("stdio:" + (name[0] == '/' ? name : dir / name));
    };
    const std::string no = ", not a file; a stdio: drive writes only into a regular file.\n";
    struct Case {
        QStringList arguments;
        int status;
        std::string out;
        std::string err;
    };
    std::vector<Case> cases = {
        {{"burn", "--drive", stdio("data.bin"), iso}, 2, "",
         "kvd_cd: The rewritable disc in the drive stdio:" + dir / "data.bin" +
             " (stdio file) holds data; it must be blanked first, which erases everything on it. (--blank allows "
             "it)\n"},
        {{"burn", "--drive", stdio("link.bin"), iso}, 2, "",
         "kvd_cd: The rewritable disc in the drive stdio:" + dir / "link.bin" +
             " (stdio file) holds data; it must be blanked first, which erases everything on it. (--blank allows "
             "it)\n"},
        {{"burn", "--blank", "--drive", stdio("fifo"), iso}, 2, "",
         "kvd_cd: The drive stdio:" + dir / "fifo" + " is a pipe (FIFO)" + no},
        {{"burn", "--blank", "--drive", stdio("/dev/null"), iso}, 2, "",
         "kvd_cd: The drive stdio:/dev/null is a character device" + no},
        {{"burn", "--blank", "--drive", stdio("dangling.bin"), iso}, 2, "",
         "kvd_cd: The drive stdio:" + dir / "dangling.bin" +
             " is a link that leads to nothing; name the file itself.\n"},
        {{"burn", "--blank", "--drive", stdio("new.bin"), QString::fromStdString(dir / "data.bin")}, 2, "",
         "kvd_cd: The file " + dir / "data.bin" + " is not an ISO 9660 disc image.\n"},
        {{"burn", "--blank", "--drive", stdio("new.bin"), QString::fromStdString(dir / "fifo")}, 2, "",
         "kvd_cd: The image " + dir / "fifo" + " is not a file.\n"},
        {{"burn", "--blank", "--drive", stdio("show.iso"), iso}, 2, "",
         "kvd_cd: The drive stdio:" + dir / "show.iso" + " is the image " + dir / "show.iso" +
             " itself; it cannot be burned onto itself.\n"},
        {{"drives", stdio("link.bin")}, 0, "stdio:" + dir / "link.bin" + ": stdio file, closed, rewritable\n", ""},
        {{"drives", stdio("fifo")}, 2, "", "kvd_cd: The drive stdio:" + dir / "fifo" + " is a pipe (FIFO)" + no},
    };
    if (disk) {
        cases.push_back({{"burn", "--blank", "--drive", stdio("disk"), iso}, 2, "",
                         "kvd_cd: The drive stdio:" + dir / "disk" +
                             " names a disk (a block device), not a disc drive; name the disc drive itself without "
                             "stdio:, such as /dev/sr0.\n"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        // A pipe nobody reads or writes would hold an open for ever.
        const Outcome run = kvd_cd_test::RunProgram(KVD_CD_PATH, c.arguments, 20000);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_EQ(ReadBytes(dir / "data.bin"), data);
    EXPECT_EQ(ReadBytes(dir / "show.iso"), image);
    EXPECT_FALSE(HostExists(dir / "new.bin"));
    EXPECT_FALSE(HostExists(dir / "nothing.bin"));
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(dir / "fifo")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bin"));

    // Agreed, the file the link leads to is blanked and then holds the image alone; the link stays a link.
    const Outcome blanked = RunKvdCd({"burn", "--blank", "--drive", stdio("link.bin"), iso});
    EXPECT_EQ(blanked.status, 0) << blanked.err;
    EXPECT_EQ(blanked.out, "Wrote 3,000,000 bytes (2.9 MB) to the drive stdio:" + dir / "link.bin" +
                               " and verified every sector.\n");
    EXPECT_EQ(blanked.err.rfind("blanking: 0%\nblanking: 100%\nwriting: ", 0), 0u) << blanked.err;
    EXPECT_EQ(ReadBytes(dir / "data.bin"), image + std::string(1465 * 2048 - image.size(), '\0'));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bin"));
}

} // namespace
