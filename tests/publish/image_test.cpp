// The disc image, read back by programs of its own (xorriso and isoinfo), and its failures.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "publish/publish.h"
#include "publish_test_support.h"

namespace {

using namespace publish_test;
using testing_support::HostExists;
using testing_support::ReadBytes;
using testing_support::TempDir;
namespace fs = std::filesystem;

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Standard output of a command line; its exit status must be 0.
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command;
    return out;
}

void SetTime(const std::string& path, time_t seconds) {
    struct timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(lutimes(path.c_str(), times), 0) << path;
}

std::string Lines(const std::string& text, const std::string& prefix) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0) out += line + "\n";
        start = end + 1;
    }
    return out;
}

// Every entry below a folder: relative path -> "dir" or the file's bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string rel = it->path().lexically_relative(root).string();
        entries[rel] = it->is_symlink()        ? "link"
                       : it->is_directory()    ? "dir"
                       : it->is_regular_file() ? ReadBytes(it->path().string())
                                               : "special";
    }
    return entries;
}

// The paths whose entries differ, so a failure does not print megabytes of file bytes.
std::vector<std::string> Differences(const std::map<std::string, std::string>& got,
                                     const std::map<std::string, std::string>& want) {
    std::vector<std::string> out;
    for (const auto& [path, bytes] : want) {
        auto it = got.find(path);
        if (it == got.end())
            out.push_back("missing " + path);
        else if (it->second != bytes)
            out.push_back("differs " + path);
    }
    for (const auto& [path, bytes] : got)
        if (!want.count(path)) out.push_back("extra " + path);
    return out;
}

// isoinfo shows Joliet names in ISO 8859-1.
std::string Latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC3 && i + 1 < utf8.size())
            out += char(0xC0 + (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        else
            out += char(c);
    }
    return out;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kLongName = std::string(70, 'L') + ".txt";

// A project with what a disc must carry: folders in folders, an empty folder, an empty file, binary bytes,
// names Joliet keeps and one it shortens, a program, a followed link, and links and a pipe that stay off.
void WriteRichProject(const TempDir& dir) {
    WriteGoodProject(dir);
    ASSERT_EQ(chmod((dir / "kvd.exe").c_str(), 0755), 0);
    MakeDirs(dir / "sub/deeper/deepest");
    MakeDirs(dir / "empty");
    std::string binary;
    for (int i = 0; i < 300000; ++i)
        binary += char((i * 7919) >> 3);
    WriteBytes(dir / "sub/deeper/data.bin", binary);
    WriteBytes(dir / "sub/deeper/deepest/zero.txt", "");
    WriteBytes(dir / "Caf\xC3\xA9 Men\xC3\xBC.htm", "<p>caf\xC3\xA9</p>");
    WriteBytes(dir / ".hidden", "dot file");
    WriteBytes(dir / kLongName, "long");
    ASSERT_EQ(symlink("sub/b.htm", (dir / "copy.htm").c_str()), 0);
    ASSERT_EQ(symlink("/tmp", (dir / "outside").c_str()), 0);
    ASSERT_EQ(symlink(".", (dir / "loop").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
    SetTime(dir / "index.htm", 981173106);            // 2001-02-03
    SetTime(dir / "sub/deeper/data.bin", 1262304000); // 2010-01-01
    SetTime(dir / "sub", 1000000000);
}

TEST(Image, ReadBackByXorrisoAndIsoinfo) {
    TempDir work;
    MakeDirs(work / "My Project-2");
    TempDir dir; // the project, under its own temporary name
    WriteRichProject(dir);
    const std::string image = work / "disc.iso";
    std::vector<std::pair<uint64_t, uint64_t>> progress;
    publish::ImageOptions options;
    options.progress = [&](uint64_t done, uint64_t total) {
        progress.emplace_back(done, total);
        return true;
    };
    uint64_t size = publish::WriteImage(dir.Path(), image, options);

    EXPECT_EQ(fs::file_size(image), size);
    EXPECT_EQ(size % 2048, 0u);
    EXPECT_EQ(publish::ImageSize(dir.Path()), size);
    EXPECT_EQ(publish::CheckProject(dir.Path()).imageBytes, size);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front(), std::make_pair(uint64_t(0), size));
    EXPECT_EQ(progress.back(), std::make_pair(size, size));
    EXPECT_EQ(Names(work.Path()), (std::vector<std::string>{"My Project-2", "disc.iso"}));

    // Rock Ridge: the tree comes back byte for byte, links followed, with times and the viewer runnable.
    const std::string out = work / "out";
    Output("xorriso -osirrox on -indev " + Quoted(image) + " -extract / " + Quoted(out));
    std::map<std::string, std::string> expected = Tree(dir.Path());
    expected.erase("outside");
    expected.erase("loop");
    expected.erase("pipe");
    expected["copy.htm"] = ReadBytes(dir / "sub/b.htm");
    EXPECT_EQ(Differences(Tree(out), expected), std::vector<std::string>{});
    struct stat info {};
    ASSERT_EQ(stat((out + "/kvd.exe").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0555u);
    ASSERT_EQ(stat((out + "/index.htm").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_EQ(info.st_mtime, 981173106);
    ASSERT_EQ(stat((out + "/sub/deeper/data.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1262304000);
    ASSERT_EQ(stat((out + "/sub").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1000000000);

    // The volume: label from the folder's name, the wizard as the preparer.
    std::string label = publish::DefaultVolumeLabel(dir.Path());
    EXPECT_EQ(label.substr(0, 8), "KVDTEST_");
    std::string volume = Output("isoinfo -d -i " + Quoted(image));
    EXPECT_EQ(Lines(volume, "Volume id:"), "Volume id: " + label + "\n");
    EXPECT_EQ(Lines(volume, "Data preparer id:"), "Data preparer id: KIVADOR SETUP WIZARD 3.2\n");
    EXPECT_NE(volume.find("Joliet"), std::string::npos);
    EXPECT_NE(volume.find("Rock Ridge"), std::string::npos);

    // Joliet: the names as Windows sees them (the one over 64 characters shortened).
    std::string joliet = Output("isoinfo -f -J -j iso8859-1 -i " + Quoted(image));
    std::set<std::string> jolietNames;
    size_t start = 0;
    while (start < joliet.size()) {
        size_t end = joliet.find('\n', start);
        jolietNames.insert(joliet.substr(start, end - start));
        start = end == std::string::npos ? joliet.size() : end + 1;
    }
    std::set<std::string> expectedJoliet;
    for (const auto& [rel, bytes] : expected)
        if (rel != kLongName) expectedJoliet.insert("/" + Latin1(rel));
    std::set<std::string> shortened;
    for (const std::string& name : jolietNames)
        if (!expectedJoliet.count(name)) shortened.insert(name);
    for (const std::string& name : expectedJoliet)
        EXPECT_TRUE(jolietNames.count(name)) << name;
    ASSERT_EQ(shortened.size(), 1u);
    EXPECT_LT(shortened.begin()->size(), 1 + kLongName.size());
    EXPECT_EQ(shortened.begin()->substr(0, 41), "/" + kLongName.substr(0, 40));
    std::string listing = Output("isoinfo -l -J -i " + Quoted(image));
    EXPECT_NE(listing.find(" kvd.exe \n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Directory listing of /sub/deeper/deepest/"), std::string::npos);
    // Joliet names carry no version suffix, so a reader asking for the plain name gets the file's bytes.
    for (const char* file : {"/index.htm", "/sub/deeper/data.bin", "/sub/deeper/deepest/zero.txt"})
        EXPECT_EQ(Output("isoinfo -J -i " + Quoted(image) + " -x " + file), expected[file + 1]) << file;
}

// Names a disc meets: every rule of the check on both sides of its edge, non-ASCII, long names and deep paths, and
// names differing only in letter case. Each becomes a file, and a folder holding a file too.
std::vector<std::string> AwkwardNames() {
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::vector<std::string> names = {"emoji" + emoji + ".png", std::string(62, 'e') + emoji,
                                      std::string(63, 'f') + emoji, std::string(64, 'g'), std::string(65, 'h')};
    // Separated by "/", which no name holds.
    const std::string list =
        "caf\xC3\xA9.htm/\303\234bung \xCE\xB1\xCE\xB2\xCE\xB3.txt/\xE6\x97\xA5\xE6\x9C\xAC.htm/"
        "Case.htm/case.htm/CASE.HTM/tab\tx/nl\nx/bad\377x/bad\xC3(x/del\177x/semi;x/star*x/colon:x/"
        "back\\x/quest?x/lt<x/gt>x/quote\"x/pipe|x/dot./space / lead/..dots/CON/con.txt/Aux.htm/"
        "com1/LPT9.x/COM\xC2\xB2/COM0/CONSOLE/a.b.c/percent%20x/amp&x/#hash";
    for (size_t start = 0, end; start < list.size(); start = end + 1) {
        end = std::min(list.find('/', start), list.size());
        names.push_back(list.substr(start, end - start));
    }
    return names;
}

// The same property seen from both ends: every entry the check passes comes back from the image's Joliet tree
// with its path unchanged, and every name the check says Joliet cannot carry does not.
TEST(Image, JolietTreeHoldsExactlyWhatTheCheckPasses) {
    TempDir dir;
    TempDir work;
    WriteGoodProject(dir);
    std::set<std::string> onDisc;
    auto add = [&](const std::string& rel, bool folder) {
        if (folder)
            MakeDirs(dir / rel);
        else
            WriteBytes(dir / rel, rel);
        onDisc.insert(rel);
    };
    for (const std::string& name : AwkwardNames()) {
        add(name, false);
        add("in-" + name, true);
        add("in-" + name + "/x.txt", false);
    }
    // Folders of 64 characters down to a path of 250: the whole-path limits fall inside.
    std::string deep;
    for (char c = 'p'; deep.size() < 250; ++c) {
        deep += (deep.empty() ? "" : "/") + std::string(64, c);
        add(deep, true);
        for (size_t length : {1, 20, 40, 63})
            add(deep + "/" + std::string(length, 'z'), false);
    }

    const publish::CheckResult result = publish::CheckProject(dir.Path());
    std::map<std::string, std::string> flagged; // path -> kind, for the name and path kinds
    for (const publish::Finding& f : result.findings)
        if (f.kind.rfind("name-", 0) == 0 || f.kind.rfind("path-", 0) == 0) flagged.emplace(f.file, f.kind);
    ASSERT_FALSE(flagged.empty());

    const std::string image = work / "disc.iso";
    publish::WriteImage(dir.Path(), image);
    const std::string out = work / "joliet";
    Output("xorriso -local_charset UTF-8 -read_fs norock -joliet_map unmapped -osirrox on -indev " + Quoted(image) +
           " -extract / " + Quoted(out));
    std::set<std::string> joliet;
    for (const auto& [rel, bytes] : Tree(out))
        joliet.insert(rel);

    for (const std::string& rel : onDisc) {
        // A finding on the entry or on a folder above it covers the entry.
        std::string reported;
        for (std::string p = rel; !p.empty() && reported.empty();
             p = p.find('/') == std::string::npos ? "" : p.substr(0, p.rfind('/')))
            if (flagged.count(p)) reported = flagged[p];
        if (reported.empty()) {
            EXPECT_TRUE(joliet.count(rel)) << "passed by the check but changed in the image: " << rel;
        }
        if (flagged.count(rel) && flagged[rel] == "name-not-joliet") {
            EXPECT_FALSE(joliet.count(rel)) << "reported, yet the image carries it: " << rel;
        }
    }
}

TEST(Image, LabelsForIsoAndJoliet) {
    TempDir work;
    const std::string project = work / "a project named far beyond thirty-two characters";
    MakeDirs(project);
    WriteBytes(project + "/x.txt", "x");
    EXPECT_EQ(publish::DefaultVolumeLabel(project), "A_PROJECT_NAMED_FAR_BEYOND_THIRT");
    publish::WriteImage(project, work / "default.iso");
    EXPECT_EQ(Lines(Output("isoinfo -d -i " + Quoted(work / "default.iso")), "Volume id:"),
              "Volume id: A_PROJECT_NAMED_FAR_BEYOND_THIRT\n");
    // The Joliet volume descriptor (the second one) carries the first 16 characters in UCS-2.
    std::string bytes = ReadBytes(work / "default.iso");
    ASSERT_GT(bytes.size(), 18u * 2048);
    std::string joliet = bytes.substr(17 * 2048, 2048);
    ASSERT_EQ(joliet.substr(0, 6), std::string("\x02"
                                               "CD001"));
    std::string label;
    for (int i = 0; i < 16; ++i)
        label += joliet[40 + 2 * i + 1];
    EXPECT_EQ(label, "A_PROJECT_NAMED_");

    // A label of the caller's: ISO 9660 carries it in its own characters, Joliet as given.
    publish::ImageOptions options;
    options.label = "Disc one";
    publish::WriteImage(project, work / "named.iso", options);
    EXPECT_EQ(Lines(Output("isoinfo -d -i " + Quoted(work / "named.iso")), "Volume id:"), "Volume id: DISC_ONE\n");
    bytes = ReadBytes(work / "named.iso");
    label.clear();
    for (int i = 0; i < 8; ++i)
        label += bytes[17 * 2048 + 40 + 2 * i + 1];
    EXPECT_EQ(label, "Disc one");
}

TEST(Image, DefaultVolumeLabel) {
    EXPECT_EQ(publish::DefaultVolumeLabel("/x/my project-2"), "MY_PROJECT_2");
    EXPECT_EQ(publish::DefaultVolumeLabel("/x/abc_09/"), "ABC_09");
    EXPECT_EQ(publish::DefaultVolumeLabel("/x/\xC3\x9C"
                                          "ber caf\xC3\xA9"),
              "_BER_CAF_");
    EXPECT_EQ(publish::DefaultVolumeLabel("/x/" + std::string(40, 'q')), std::string(32, 'Q'));
    EXPECT_EQ(publish::DefaultVolumeLabel("relative"), "RELATIVE");
}

// ---- failures: nothing is left behind, and an existing file keeps its bytes ----

class ImageFailure : public ::testing::Test {
protected:
    void SetUp() override {
        WriteGoodProject(project);
        WriteBytes(target, "old image");
    }
    // The output folder holds exactly the old image again.
    void ExpectUntouched() {
        EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"disc.iso"});
        EXPECT_EQ(ReadBytes(target), "old image");
    }
    TempDir project;
    TempDir out;
    const std::string target = out / "disc.iso";
};

TEST_F(ImageFailure, OutputFolderMissing) {
    const std::string output = out / "missing/disc.iso";
    try {
        publish::WriteImage(project.Path(), output);
        FAIL() << "no error";
    } catch (const publish::Error& e) {
        EXPECT_NE(std::string(e.what()).find(output), std::string::npos) << e.what();
    }
    ExpectUntouched();
}

TEST_F(ImageFailure, OutputInsideTheProjectFolder) {
    ASSERT_EQ(symlink((project / "sub").c_str(), (out / "into-project").c_str()), 0);
    for (const std::string& output : {project / "disc.iso", project / "sub/disc.iso", out / "into-project/disc.iso"}) {
        try {
            publish::WriteImage(project.Path(), output);
            ADD_FAILURE() << "no error for " << output;
        } catch (const publish::Error& e) {
            EXPECT_NE(std::string(e.what()).find(output), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(HostExists(project / "disc.iso"));
    EXPECT_EQ(Names(project / "sub"), std::vector<std::string>{"b.htm"});
    ASSERT_EQ(unlink((out / "into-project").c_str()), 0);
    ExpectUntouched();
}

// A pipe, device or folder named as the output is refused before the project is read, and stays as it is.
TEST_F(ImageFailure, OutputThatIsNoFileIsRefusedFirst) {
    struct Case {
        const char* name;
        std::function<int(const std::string&)> make;
        const char* what;
    };
    const std::vector<Case> cases = {
        {"pipe", [](const std::string& p) { return mkfifo(p.c_str(), 0644); }, "is a pipe (FIFO), not a file"},
        {"folder", [](const std::string& p) { return mkdir(p.c_str(), 0755); }, "is a folder, not a file"},
        // Needs root; where it cannot be made, the case is skipped.
        {"device", [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)); },
         "is a device, not a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string output = out / c.name;
        if (c.make(output) != 0) {
            ASSERT_EQ(std::string(c.name), "device") << std::strerror(errno);
            continue;
        }
        struct stat before {};
        ASSERT_EQ(lstat(output.c_str(), &before), 0);
        bool worked = false;
        publish::ImageOptions options;
        options.progress = [&](uint64_t, uint64_t) { return worked = true; };
        for (int front = 0; front < 2; ++front) {
            try {
                front ? publish::CheckImageOutput(output) : (void)publish::WriteImage(project.Path(), output, options);
                ADD_FAILURE() << "no error";
            } catch (const publish::Error& e) {
                EXPECT_EQ(std::string(e.what()), "The image file " + output + " " + c.what + "; choose another name.");
            }
        }
        EXPECT_FALSE(worked);
        struct stat after {};
        ASSERT_EQ(lstat(output.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        ASSERT_EQ(std::filesystem::remove(output), true);
        ExpectUntouched();
    }
}

// A symbolic link named as the output is replaced by the image; what it leads to is never opened or changed.
TEST_F(ImageFailure, SymbolicLinkOutputIsReplacedAndWhatItLeadsToKept) {
    ASSERT_EQ(mkfifo((out / "pipe").c_str(), 0644), 0);
    for (const char* target : {"disc.iso", "pipe", "nothing"}) {
        SCOPED_TRACE(target);
        const std::string link = out / "link.iso";
        ASSERT_EQ(symlink(target, link.c_str()), 0);
        const uint64_t size = publish::WriteImage(project.Path(), link);
        struct stat info {};
        ASSERT_EQ(lstat(link.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(static_cast<uint64_t>(info.st_size), size);
        EXPECT_EQ(ReadBytes(link).substr(0x8001, 5), "CD001");
        ASSERT_EQ(lstat((out / "pipe").c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        EXPECT_FALSE(HostExists(out / "nothing"));
        ASSERT_EQ(unlink(link.c_str()), 0);
    }
    ASSERT_EQ(unlink((out / "pipe").c_str()), 0);
    ExpectUntouched();
}

// A run killed before its rename leaves ".disc.iso.NNNNNN.part"; the next run to disc.iso removes exactly those,
// and leaves names that only look alike, links, and the part of a run still writing (it holds a lock).
TEST_F(ImageFailure, StalePartsOfTheSameOutputGoAndNothingElse) {
    const std::vector<std::string> stale = {".disc.iso.123456.part", ".disc.iso.000000.part"};
    const std::vector<std::string> alike = {
        ".disc.iso.12345.part",     ".disc.iso.1234567.part", ".disc.iso.12345a.part", "disc.iso.123456.part",
        ".disc.iso.123456.part~",   ".disc.iso.123456.PART",  ".Disc.iso.123456.part", ".other.iso.123456.part",
        ".disc.iso.123456.partial", "..disc.iso.123456.part"};
    for (const std::string& name : stale)
        WriteBytes(out / name, "left by a killed run");
    for (const std::string& name : alike)
        WriteBytes(out / name, "keep");
    WriteBytes(out / "keep.txt", "keep");
    ASSERT_EQ(symlink("keep.txt", (out / ".disc.iso.654321.part").c_str()), 0);
    // A pipe under the name is nobody's part: opened for reading it would wait for a writer, and it stays.
    ASSERT_EQ(mkfifo((out / ".disc.iso.222222.part").c_str(), 0644), 0);
    WriteBytes(out / ".disc.iso.111111.part", "being written");
    const int running = open((out / ".disc.iso.111111.part").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(running, 0);
    ASSERT_EQ(flock(running, LOCK_EX | LOCK_NB), 0);

    publish::WriteImage(project.Path(), target);
    close(running);

    std::vector<std::string> expected = alike;
    expected.insert(expected.end(), {"disc.iso", "keep.txt", ".disc.iso.654321.part", ".disc.iso.111111.part",
                                     ".disc.iso.222222.part"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(out.Path()), expected);
    for (const std::string& name : alike)
        EXPECT_EQ(ReadBytes(out / name), "keep") << name;
    EXPECT_EQ(ReadBytes(out / "keep.txt"), "keep");
    struct stat pipe {};
    EXPECT_TRUE(lstat((out / ".disc.iso.222222.part").c_str(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));

    // A second run to the same output while the first writes leaves the first one's part alone.
    for (const std::string& name : Names(out.Path()))
        ASSERT_EQ(unlink((out / name).c_str()), 0);
    bool nested = false;
    publish::ImageOptions options;
    options.progress = [&](uint64_t done, uint64_t) {
        if (done > 0 && !nested) {
            nested = true;
            publish::WriteImage(project.Path(), target);
        }
        return true;
    };
    const uint64_t size = publish::WriteImage(project.Path(), target, options);
    EXPECT_TRUE(nested);
    EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"disc.iso"});
    EXPECT_EQ(std::filesystem::file_size(target), size);
}

TEST_F(ImageFailure, MissingProjectFolder) {
    try {
        publish::WriteImage(project / "gone", target);
        FAIL() << "no error";
    } catch (const publish::Error& e) {
        EXPECT_NE(std::string(e.what()).find(project / "gone"), std::string::npos) << e.what();
    }
    EXPECT_THROW(publish::CheckProject(project / "gone"), publish::Error);
    EXPECT_THROW(publish::CheckProject(project / "index.htm"), publish::Error);
    ExpectUntouched();
}

TEST_F(ImageFailure, CancelHalfway) {
    WriteBytes(project / "big.bin", std::string(6 << 20, 'b'));
    publish::ImageOptions options;
    uint64_t last = 0;
    uint64_t whole = 0;
    options.progress = [&](uint64_t done, uint64_t total) {
        last = done;
        whole = total;
        return done < total / 2;
    };
    EXPECT_THROW(publish::WriteImage(project.Path(), target, options), publish::Cancelled);
    EXPECT_GE(last, whole / 2);
    EXPECT_LT(last, whole);
    ExpectUntouched();
}

TEST_F(ImageFailure, FileVanishesDuringTheBuild) {
    // More bytes than libisofs reads ahead, so the later files are opened only after the first progress.
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        WriteBytes(project / name, "");
        ASSERT_EQ(truncate((project / name).c_str(), 24 << 20), 0);
    }
    publish::ImageOptions options;
    options.progress = [&](uint64_t, uint64_t) {
        for (const char* name : {"a.bin", "b.bin", "c.bin"})
            unlink((project / name).c_str());
        return true;
    };
    try {
        publish::WriteImage(project.Path(), target, options);
        FAIL() << "no error";
    } catch (const publish::Error& e) {
        std::string what = e.what();
        EXPECT_NE(what.find(project.Path() + "/"), std::string::npos) << what;
        EXPECT_NE(what.find(".bin"), std::string::npos) << what;
    }
    ExpectUntouched();
}

TEST(Check, ProgressCountsPagesAndCancelStops) {
    TempDir dir;
    WriteGoodProject(dir);
    WriteBytes(dir / "style.css", "p {}");
    WriteBytes(dir / "index.htm", "<link rel=stylesheet href=style.css><a href=sub/b.htm>b</a>");
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    publish::CheckOptions options;
    // One thread asks once per page; several may also ask while a batch of pages is read.
    options.threads = 1;
    options.progress = [&](uint64_t done, uint64_t total) {
        calls.emplace_back(done, total);
        return true;
    };
    publish::CheckProject(dir.Path(), options);
    using P = std::pair<uint64_t, uint64_t>;
    EXPECT_EQ(calls, (std::vector<P>{{0, 1}, {1, 3}, {2, 3}, {3, 3}}));

    calls.clear();
    options.progress = [&](uint64_t done, uint64_t total) {
        calls.emplace_back(done, total);
        return done < 1;
    };
    EXPECT_THROW(publish::CheckProject(dir.Path(), options), publish::Cancelled);
    EXPECT_EQ(calls, (std::vector<P>{{0, 1}, {1, 3}}));
}

} // namespace
