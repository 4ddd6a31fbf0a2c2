// The disc check on prepared project folders: one group of cases per kind of finding, with the exact findings.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "publish/publish.h"
#include "publish/disc/disc_reader.h"
#include "publish/disc/tree.h"
#include "publish_test_support.h"

namespace {

using namespace publish_test;
using publish::CheckOptions;
using publish::CheckProject;
using publish::CheckResult;
using testing_support::TempDir;

constexpr auto E = publish::Severity::Error;
constexpr auto W = publish::Severity::Warning;
constexpr auto N = publish::Severity::Note;

void Remove(const TempDir& dir, const std::string& name) { ASSERT_EQ(::unlink((dir / name).c_str()), 0) << name; }

void Link(const TempDir& dir, const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), (dir / name).c_str()), 0) << name;
}

constexpr off_t kCdBytes = 360000LL * 2048;

// A file of that size whose bytes take no room on disk.
void Sparse(const std::string& path, off_t size) {
    WriteBytes(path, "");
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

// A sparse file sized so that the image of the folder takes exactly the given number of bytes, plus extra.
void FillImageTo(const TempDir& dir, uint64_t imageBytes, off_t extra) {
    const std::string path = dir / "big.bin";
    Sparse(path, 2048);
    const uint64_t withOneSector = publish::ImageSize(dir.Path());
    ASSERT_LT(withOneSector, imageBytes);
    Sparse(path, static_cast<off_t>(2048 + imageBytes - withOneSector) + extra);
    ASSERT_EQ(publish::ImageSize(dir.Path()), imageBytes + (extra > 0 ? 2048 : 0));
}

// The seven settings lines with the given first page.
std::string Settings(const std::string& firstPage) { return firstPage + "\r\n-\r\n-\r\n-\r\n-\r\n400\r\n600\r\n"; }

// The tests run as root, and root opens a file of mode 000 all the same. While this lives, the thread lacks
// the two capabilities that let it, so the modes count as for anyone else; they stay permitted and come
// back at the end. For a user who is not root it changes nothing.
class WithoutFileOverride {
public:
    WithoutFileOverride() {
        EXPECT_EQ(syscall(SYS_capget, &header_, saved_), 0);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        EXPECT_EQ(syscall(SYS_capset, &header_, reduced), 0);
    }
    ~WithoutFileOverride() { EXPECT_EQ(syscall(SYS_capset, &header_, saved_), 0); }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

void Unreadable(const TempDir& dir, const std::string& name) { ASSERT_EQ(::chmod((dir / name).c_str(), 0), 0); }

const std::string kEmoji = "\xF0\x9F\x98\x80"; // two UTF-16 units
// Three folders of 64 characters: 194 with the separators.
const std::string kDeep = std::string(64, 'a') + "/" + std::string(64, 'b') + "/" + std::string(64, 'c');
// The name of a file whose path below kDeep has the given length.
std::string DeepFile(size_t pathLength) { return std::string(pathLength - kDeep.size() - 5, 'x') + ".txt"; }

struct CheckCase {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    std::vector<Expected> expected;
    std::string firstPage = "";
    publish::Medium medium = publish::Medium::CD;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckFinds : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckFinds, ExactlyTheseFindingsInOrder) {
    TempDir dir;
    WriteGoodProject(dir);
    GetParam().prepare(dir);
    CheckOptions options;
    options.firstPage = GetParam().firstPage;
    options.medium = GetParam().medium;
    CheckResult result;
    {
        WithoutFileOverride modesCount;
        result = CheckProject(dir.Path(), options);
    }
    EXPECT_EQ(Brief(result), GetParam().expected);
    int errors = 0, warnings = 0, notes = 0;
    for (const publish::Finding& f : result.findings) {
        (f.severity == E ? errors : f.severity == W ? warnings : notes)++;
        EXPECT_GT(f.message.size(), 20u) << f.kind;
        EXPECT_EQ(f.message.back(), '.') << f.message;
    }
    EXPECT_EQ(result.errors, errors);
    EXPECT_EQ(result.warnings, warnings);
    EXPECT_EQ(result.notes, notes);
}

const std::string kAttributesPage =
    "<!DOCTYPE html>\n"                                                     // 1
    "<html><head>\n"                                                        // 2
    "<link rel=\"stylesheet\" href=\"no-link.css\">\n"                      // 3
    "<script src=\"no-script.js\"></script>\n"                              // 4
    "<style>\n"                                                             // 5
    "  @import \"no-import.css\";\n"                                        // 6
    "  h1 { background: url( 'no-style-url.png' ) }\n"                      // 7
    "</style>\n"                                                            // 8
    "</head><body background=\"no-body.png\">\n"                            // 9
    "<a href=\"no-a.htm\">a</a> <map><area href=\"no-area.htm\"></map>\n"   // 10
    "<img src=\"no-img.png\"\n"                                             // 11
    "     srcset=\"no-1x.png 1x, no-2x.png 2x\">\n"                         // 12
    "<iframe src=\"no-iframe.htm\"></iframe><embed src=\"no-embed.swf\">\n" // 13
    "<video src=\"no-video.mp4\"><source src=\"no-source.webm\" srcset=\"no-set.webm\">"
    "<track src=\"no-track.vtt\"></video>\n"                                            // 14
    "<audio src=\"no-audio.ogg\"></audio><input type=\"image\" src=\"no-input.png\">\n" // 15
    "<object data=\"no-object.swf\"></object>\n"                                        // 16
    "<table background=\"no-table.png\"><tr><th background=\"no-th.png\">h</th>"
    "<td background=\"no-td.png\">d</td></tr></table>\n"                                          // 17
    "<p style=\"color: red;\n background: url(no-attr-style.png)\">x</p>\n"                       // 18, 19
    "<div src=\"not-loaded.png\" href=\"not-followed.htm\"></div><img href=\"not-either.htm\">\n" // 20
    "<a href=\"sub/\">folder</a> <a href=\"my%20page.htm?x=1#top\">spaced</a>\n"                  // 21
    "<video poster=\"no-poster.png\"></video><svg><image href=\"no-svg-image.png\"/>\n"           // 22
    "<image xlink:href=\"no-xlink-image.png\"/><use href=\"no-use.svg#i\"/>"
    "<use xlink:href=\"no-xlink-use.svg#i\"/><a xlink:href=\"no-svg-a.htm\">a</a></svg>\n" // 23
    "</body></html>\n";

const std::string kFramesPage = "<html><frameset cols=\"50%,50%\">\n"
                                "<frame src=\"no-frame.htm\">\n"
                                "<frame src=\"sub/b.htm\">\n"
                                "</frameset></html>\n";

const std::vector<CheckCase> kCases = {
    {"CleanProject", [](const TempDir&) {}, {}},

    // ---- the first page ----
    {"NoSettingsFile", [](const TempDir& d) { Remove(d, "kvd.cfg"); }, {{E, "missing-first-page", "", 0, {}}}},
    {"SettingsNameAMissingPage",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", Settings("gone.htm")); },
     {{E, "missing-first-page", "kvd.cfg", 1, "gone.htm"}}},
    {"EmptyFirstLine",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", Settings("")); },
     {{E, "missing-first-page", "kvd.cfg", 1, {}}}},
    {"EmptySettingsFileNamesNothing",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", ""); },
     {{E, "missing-first-page", "kvd.cfg", 0, {}}}},
    {"LastRecordWins",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", Settings("index.htm") + Settings("gone.htm")); },
     {{E, "missing-first-page", "kvd.cfg", 8, "gone.htm"}}},
    {"LoneLineFeedStaysInsideTheLine",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", "index.htm\n-\n-\n"); },
     {{E, "missing-first-page", "kvd.cfg", 1, "index.htm\n-\n-\n"}}},
    {"CtrlZEndsTheFile", [](const TempDir& d) { WriteBytes(d / "kvd.cfg", "index.htm\x1agone.htm\r\n"); }, {}},
    {"LoneCarriageReturnEndsALine",
     [](const TempDir& d) { WriteBytes(d / "kvd.cfg", "sub\\b.htm\r-\r-\r-\r-\r400\r600\r"); },
     {}},
    {"CallerNamesThePage", [](const TempDir& d) { Remove(d, "kvd.cfg"); }, {}, "sub\\b.htm"},
    {"CallerNamesAMissingPage", [](const TempDir&) {}, {{E, "missing-first-page", "", 0, "nope.htm"}}, "nope.htm"},
    {"CallerNamesAPageAboveTheFolder",
     [](const TempDir&) {},
     {{E, "missing-first-page", "", 0, "..\\index.htm"}},
     "..\\index.htm"},
    {"CallerNamesAFolder", [](const TempDir&) {}, {{E, "missing-first-page", "", 0, "sub"}}, "sub"},
    {"FirstPageInAnotherCase", [](const TempDir&) {}, {{W, "case-mismatch", "", 0, "SUB/B.HTM"}}, "SUB/B.HTM"},

    // ---- the disc's start ----
    {"NoAutorun", [](const TempDir& d) { Remove(d, "autorun.inf"); }, {{E, "missing-autorun", "", 0, {}}}},
    {"AutorunInCapitals",
     [](const TempDir& d) { ASSERT_EQ(::rename((d / "autorun.inf").c_str(), (d / "AUTORUN.INF").c_str()), 0); },
     {}},
    {"NoViewer", [](const TempDir& d) { Remove(d, "kvd.exe"); }, {{E, "missing-viewer", "", 0, {}}}},
    {"ViewerIsNoWindowsProgram",
     [](const TempDir& d) {
         WriteBytes(d / "kvd.exe", "\x7f"
                                   "ELF\x02\x01");
     },
     {{W, "viewer-not-windows", "kvd.exe", 0, {}}}},
    {"ViewerOfOneByte",
     [](const TempDir& d) { WriteBytes(d / "kvd.exe", "M"); },
     {{W, "viewer-not-windows", "kvd.exe", 0, {}}}},

    // ---- what pages refer to: every loading attribute, style sheets, and what does not count ----
    {"EveryLoadingAttribute",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", kAttributesPage);
         WriteBytes(d / "my page.htm", "<a href=\"index.htm\">home</a>");
     },
     {{E, "missing-target", "index.htm", 3, "no-link.css"},
      {E, "missing-target", "index.htm", 4, "no-script.js"},
      {E, "missing-target", "index.htm", 6, "no-import.css"},
      {E, "missing-target", "index.htm", 7, "no-style-url.png"},
      {E, "missing-target", "index.htm", 9, "no-body.png"},
      {E, "missing-target", "index.htm", 10, "no-a.htm"},
      {E, "missing-target", "index.htm", 10, "no-area.htm"},
      {E, "missing-target", "index.htm", 11, "no-img.png"},
      {E, "missing-target", "index.htm", 12, "no-1x.png"},
      {E, "missing-target", "index.htm", 12, "no-2x.png"},
      {E, "missing-target", "index.htm", 13, "no-iframe.htm"},
      {E, "missing-target", "index.htm", 13, "no-embed.swf"},
      {E, "missing-target", "index.htm", 14, "no-video.mp4"},
      {E, "missing-target", "index.htm", 14, "no-source.webm"},
      {E, "missing-target", "index.htm", 14, "no-set.webm"},
      {E, "missing-target", "index.htm", 14, "no-track.vtt"},
      {E, "missing-target", "index.htm", 15, "no-audio.ogg"},
      {E, "missing-target", "index.htm", 15, "no-input.png"},
      {E, "missing-target", "index.htm", 16, "no-object.swf"},
      {E, "missing-target", "index.htm", 17, "no-table.png"},
      {E, "missing-target", "index.htm", 17, "no-th.png"},
      {E, "missing-target", "index.htm", 17, "no-td.png"},
      {E, "missing-target", "index.htm", 19, "no-attr-style.png"},
      {E, "missing-target", "index.htm", 21, "sub/"},
      {E, "missing-target", "index.htm", 22, "no-poster.png"},
      {E, "missing-target", "index.htm", 22, "no-svg-image.png"},
      {E, "missing-target", "index.htm", 23, "no-xlink-image.png"},
      {E, "missing-target", "index.htm", 23, "no-use.svg#i"},
      {E, "missing-target", "index.htm", 23, "no-xlink-use.svg#i"},
      {E, "missing-target", "index.htm", 23, "no-svg-a.htm"},
      {N, "not-linked", "sub/b.htm", 0, {}}}},
    {"FileAddressedAsAFolder",
     [](const TempDir& d) { WriteBytes(d / "index.htm", "<a href=\"sub/b.htm\">b</a>\n<a href=\"sub/b.htm/\">b</a>"); },
     {{E, "missing-target", "index.htm", 2, "sub/b.htm/"}}},
    {"FirstPageAddressedAsAFolder", [](const TempDir&) {}, {{E, "missing-first-page", "", 0, "sub\\b.htm\\"}}, "sub\\b.htm\\"},
    {"RefreshIsFollowed",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<meta http-equiv=\"Refresh\" content=\"0; URL='sub/b.htm'\">\n"
                                     "<meta http-equiv=refresh\n content=\"5;url=gone.htm\"><meta content=\"x.htm\">");
     },
     {{E, "missing-target", "index.htm", 3, "gone.htm"}}},
    {"FramesAreFollowed",
     [](const TempDir& d) { WriteBytes(d / "index.htm", kFramesPage); },
     {{E, "missing-target", "index.htm", 2, "no-frame.htm"}}},
    {"LinkedAndImportedStyleSheets",
     [](const TempDir& d) {
         WriteBytes(d / "sub/b.htm", "<link rel=stylesheet href=\"../css/main.css\"><a href=\"../index.htm\">i</a>");
         MakeDirs(d / "css");
         WriteBytes(d / "css/main.css", "@import url(more.css);\r\n/* url(commented.png) */\r\n"
                                        "body { background: url(\"../img/none.png\") }\n");
         WriteBytes(d / "css/more.css", "p {}\nh1 { background-image: url(gone\\.gif) }\n"
                                        "h2 { content: \"url(not-a-url.png)\" }\n");
     },
     {{E, "missing-target", "css/main.css", 3, "../img/none.png"},
      {E, "missing-target", "css/more.css", 2, "gone.gif"}}},
    {"TargetInAnotherCase",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<a href=\"sub/b.htm\">b</a>\n<img src=\"SUB/Pic.PNG\">");
         WriteBytes(d / "sub/pic.png", "png");
     },
     {{W, "case-mismatch", "index.htm", 2, "SUB/Pic.PNG"}}},
    {"ReferencesLeavingTheFolder",
     [](const TempDir& d) {
         WriteBytes(d / "sub/b.htm", "<a href=\"../index.htm\">i</a>\n<a href=\"../../x.htm\">up</a>\n"
                                     "<a href=\"/etc/passwd\">abs</a>\n<img src=\"C:\\pics\\x.png\">\n"
                                     "<a href=\"file:///tmp/x.htm\">file</a>\n<a href=\"..\\..\\y.htm\">back</a>\n");
     },
     {{E, "outside-folder", "sub/b.htm", 2, "../../x.htm"},
      {E, "outside-folder", "sub/b.htm", 3, "/etc/passwd"},
      {E, "outside-folder", "sub/b.htm", 4, "C:\\pics\\x.png"},
      {E, "outside-folder", "sub/b.htm", 5, "file:///tmp/x.htm"},
      {E, "outside-folder", "sub/b.htm", 6, "..\\..\\y.htm"}}},
    {"Anchors",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<a href=\"sub/b.htm#here\">1</a><a href=\"sub/b.htm#there\">2</a>\n"
                                     "<a href=\"sub/b.htm#gone\">3</a>\n<a href=\"sub/b.htm#HERE\">4</a>\n"
                                     "<a href=\"#top\">5</a><a href=\"#\">6</a><a href=\"#self\" id=\"self\">7</a>\n"
                                     "<a href=\"#div\">8</a><div name=\"div\"></div>\n<img src=\"sub/p.png#x\">"
                                     "<a href=\"sub/b.htm#h%C3%A9\">9</a>\n");
         WriteBytes(d / "sub/p.png", "png");
         WriteBytes(d / "sub/b.htm", "<meta charset=utf-8><a href=../index.htm><b id=\"h\xC3\xA9\"></b></a>"
                                     "<p id=here><a name=there>");
     },
     {{W, "missing-anchor", "index.htm", 2, "sub/b.htm#gone"},
      {W, "missing-anchor", "index.htm", 3, "sub/b.htm#HERE"},
      {W, "missing-anchor", "index.htm", 5, "#div"}}},
    {"ExternalLinks",
     [](const TempDir& d) {
         WriteBytes(d / "sub/b.htm",
                    "<a href=\"../index.htm\">i</a>\n<a href=\"http://example.org/\">1</a>\n"
                    "<a href=\"HTTPS://example.org/x\">2</a><a href=\"mailto:a@example.org\">3</a>\n"
                    "<a href=\"ftp://example.org/f\">4</a><a href=\"javascript:void(0)\">5</a>\n"
                    "<script src=\"//cdn.example.org/x.js\"></script><img src=\"data:image/png;base64,AAAA\">\n");
     },
     {{N, "external-link", "sub/b.htm", 2, "http://example.org/"},
      {N, "external-link", "sub/b.htm", 3, "HTTPS://example.org/x"},
      {N, "external-link", "sub/b.htm", 3, "mailto:a@example.org"},
      {N, "external-link", "sub/b.htm", 4, "ftp://example.org/f"},
      {N, "external-link", "sub/b.htm", 4, "javascript:void(0)"},
      {N, "external-link", "sub/b.htm", 5, "//cdn.example.org/x.js"}}},
    {"BaseHref",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<head><base href=\"sub/\"></head>\n<a href=\"b.htm\">b</a>\n"
                                     "<a href=\"index.htm\">not here</a>\n");
     },
     {{E, "missing-target", "index.htm", 3, "index.htm"}}},
    {"BaseHrefOnTheWeb",
     [](const TempDir& d) {
         WriteBytes(d / "sub/b.htm", "<base href=\"http://example.org/docs/\">\n<a href=\"../index.htm\">i</a>\n");
     },
     {{N, "external-link", "sub/b.htm", 2, "../index.htm"}}},
    {"PagesNoPageLinks",
     [](const TempDir& d) {
         WriteBytes(d / "orphan.HTML", "<p>alone</p>");
         MakeDirs(d / "old");
         WriteBytes(d / "old/page.xhtml", "<p>alone</p>");
         WriteBytes(d / "old/notes.txt", "not a page");
         WriteBytes(d / "old/style.css", "p { background: url(gone.png) }");
     },
     {{N, "not-linked", "old/page.xhtml", 0, {}}, {N, "not-linked", "orphan.HTML", 0, {}}}},

    // ---- names for the disc ----
    {"NamesDifferingOnlyInCase",
     [](const TempDir& d) {
         WriteBytes(d / "pic.png", "1");
         WriteBytes(d / "Pic.png", "2");
         WriteBytes(d / "PIC.PNG", "3");
         WriteBytes(d / "Sub", "a file beside the folder sub");
         WriteBytes(d / "sub/\xC3\xA9t\xC3\xA9.txt", "lower");
         WriteBytes(d / "sub/\xC3\x89T\xC3\x89.txt", "upper");
         Link(d, "nothing", "sub/B.htm"); // off the disc: no collision with b.htm
         Link(d, "nothing", "dead?");     // reported as a link, not as a name
     },
     {{E, "name-collision", "Pic.png", 0, {}},
      {E, "link-broken", "dead?", 0, "nothing"},
      {E, "name-collision", "pic.png", 0, {}},
      {E, "name-collision", "sub", 0, {}},
      {E, "link-broken", "sub/B.htm", 0, "nothing"},
      {E, "name-collision", "sub/\xC3\xA9t\xC3\xA9.txt", 0, {}}}},
    {"NamesJolietCannotCarry",
     [](const TempDir& d) {
         WriteBytes(d / (std::string(60, 'a') + ".txt"), "64 characters");
         WriteBytes(d / (std::string(61, 'b') + ".txt"), "65 characters");
         std::string e64;
         for (int i = 0; i < 60; ++i)
             e64 += "\xC3\xA9";
         WriteBytes(d / (e64 + ".txt"), "64 characters of 124 bytes");
         WriteBytes(d / "c*.txt", "");
         WriteBytes(d / "c:.txt", "");
         WriteBytes(d / "c;.txt", "");
         WriteBytes(d / "c?.txt", "");
         WriteBytes(d / "c\\.txt", "");
         WriteBytes(d / "tab\tx.txt", "");
         MakeDirs(d / "nl\nx");
         WriteBytes(d / "nl\nx/inside.txt", "reported with its folder");
         WriteBytes(d / "bad\xFF.txt", "");
         WriteBytes(d / (std::string(62, 'e') + kEmoji), "64 units");
         WriteBytes(d / (std::string(63, 'g') + kEmoji), "65 units");
         WriteBytes(d / "del\x7F.txt", "carried");
     },
     {{E, "name-not-joliet", "bad\xFF.txt", 0, {}},
      {E, "name-not-joliet", std::string(61, 'b') + ".txt", 0, {}},
      {E, "name-not-joliet", "c*.txt", 0, {}},
      {E, "name-not-joliet", "c:.txt", 0, {}},
      {E, "name-not-joliet", "c;.txt", 0, {}},
      {E, "name-not-joliet", "c?.txt", 0, {}},
      {E, "name-not-joliet", "c\\.txt", 0, {}},
      {E, "name-not-joliet", std::string(63, 'g') + kEmoji, 0, {}},
      {E, "name-not-joliet", "nl\nx", 0, {}},
      {E, "name-not-joliet", "tab\tx.txt", 0, {}}}},
    {"NamesWindowsCannotOpen",
     [](const TempDir& d) {
         for (const char* name : {"a<b.txt", "dot.", "CON", "NUL.tar.gz", "aux .txt", "COM0.txt", "CONSOLE.txt",
                                  "xcon.txt", "LPT10.txt", "a.b.c"})
             WriteBytes(d / name, "");
         MakeDirs(d / "Prn");
     },
     {{E, "name-not-windows", "CON", 0, {}},
      {E, "name-not-windows", "NUL.tar.gz", 0, {}},
      {E, "name-not-windows", "Prn", 0, {}},
      {E, "name-not-windows", "a<b.txt", 0, {}},
      {E, "name-not-windows", "aux .txt", 0, {}},
      {E, "name-not-windows", "dot.", 0, {}}}},
    // Below a folder path of 194 characters: files of whole paths of 240, 241, 256 and 257 characters, and a
    // folder over the Joliet limit whose file is reported for the Windows limit alone.
    {"PathLengths",
     [](const TempDir& d) {
         MakeDirs(d / kDeep + "/" + std::string(50, 'e'));
         for (size_t length : {240, 241, 256, 257})
             WriteBytes(d / kDeep + "/" + DeepFile(length), "");
         WriteBytes(d / kDeep + "/" + std::string(50, 'e') + "/" + std::string(16, 'i') + ".txt", "");
     },
     {{E, "path-not-joliet", kDeep + "/" + std::string(50, 'e'), 0, {}},
      {W, "path-long-for-windows", kDeep + "/" + std::string(50, 'e') + "/" + std::string(16, 'i') + ".txt", 0, {}},
      {E, "path-not-joliet", kDeep + "/" + DeepFile(241), 0, {}},
      {E, "path-not-joliet", kDeep + "/" + DeepFile(256), 0, {}},
      {W, "path-long-for-windows", kDeep + "/" + DeepFile(257), 0, {}},
      {E, "path-not-joliet", kDeep + "/" + DeepFile(257), 0, {}}}},
    {"SymbolicLinks",
     [](const TempDir& d) {
         Link(d, "sub/b.htm", "same.txt");
         Link(d, "sub", "alias");
         Link(d, "/tmp", "out");
         Link(d, "../" + d.Path().substr(d.Path().rfind('/') + 1) + "/index.htm", "roundabout.txt");
         Link(d, ".", "here");
         Link(d, "..", "sub/up");
         Link(d, "nothing", "dead");
         Link(d, "ring2", "ring1");
         Link(d, "ring1", "ring2");
     },
     {{N, "not-linked", "alias/b.htm", 0, {}},
      {E, "link-loop", "alias/up", 0, ".."},
      {E, "link-broken", "dead", 0, "nothing"},
      {E, "link-loop", "here", 0, "."},
      {E, "link-outside-folder", "out", 0, "/tmp"},
      {E, "link-loop", "ring1", 0, "ring2"},
      {E, "link-loop", "ring2", 0, "ring1"},
      {E, "link-loop", "sub/up", 0, ".."}}},
    {"SpecialFile",
     [](const TempDir& d) { ASSERT_EQ(::mkfifo((d / "pipe").c_str(), 0644), 0); },
     {{W, "special-file", "pipe", 0, {}}}},

    // ---- character sets: each file read as the viewers read it ----
    {"UndeclaredPageIsWindows1252",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<a href=\"sub/b.htm\">b</a>\n<a href=\"caf\xC3\xA9.htm\">caf\xC3\xA9</a>\n"
                                     "<a href=\"caf\xE9.htm\">x</a>");
         WriteBytes(d / "caf\xC3\xA9.htm", "<a href=\"index.htm\">i</a>");
     },
     {{W, "no-charset", "index.htm", 0, {}}, {E, "missing-target", "index.htm", 2, "caf\xC3\x83\xC2\xA9.htm"}}},
    {"DeclaredCharsetsAndByteOrderMarks",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<meta charset=\"UTF-8\"><a href=\"sub/b.htm\">b</a>\n"
                                     "<a href=\"caf\xC3\xA9.htm\">x</a><a href=\"latin.htm\">l</a><a href=\"bom.htm\">b</a>");
         WriteBytes(d / "caf\xC3\xA9.htm", "<a href=\"index.htm\">i</a>");
         WriteBytes(d / "latin.htm", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">\n"
                                     "<a href=\"caf\xE9.htm\">x</a>\n<a href=\"\x80.htm\">euro</a>");
         // The mark wins over the declaration after it.
         WriteBytes(d / "bom.htm", "\xEF\xBB\xBF<meta charset=windows-1252><a href=\"caf\xC3\xA9.htm\">x</a>");
     },
     {{E, "missing-target", "latin.htm", 3, "\xE2\x82\xAC.htm"}}},
    {"StyleSheetsInTheirOwnOrTheirPagesCharset",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm", "<meta charset=utf-8><link rel=stylesheet href=a.css><a href=\"sub/b.htm\">b</a>");
         WriteBytes(d / "sub/b.htm", "<link rel=stylesheet href=../b.css><link rel=stylesheet href=../c.css>");
         WriteBytes(d / "a.css", "p { background: url(caf\xC3\xA9.png) }");
         WriteBytes(d / "b.css", "p {\n background: url(caf\xC3\xA9.png) }");
         WriteBytes(d / "c.css", "@charset \"utf-8\";\np { background: url(caf\xC3\xA9.png) }");
         WriteBytes(d / "caf\xC3\xA9.png", "png");
     },
     {{W, "no-charset", "b.css", 0, {}}, {E, "missing-target", "b.css", 2, "caf\xC3\x83\xC2\xA9.png"}}},

    // ---- what the Windows browser control cannot show ----
    {"WindowsEngine",
     [](const TempDir& d) {
         WriteBytes(d / "index.htm",
                    "<a href=\"sub/b.htm\">b</a><link rel=stylesheet href=\"s.css\">\n"
                    "<style>:root { --c: red }\n p { color: VAR( --c) } q { color: var(--c, blue) }</style>\n"
                    "<p style=\"color: var(--c)\">x</p>\n<script type=\" Module \" src=\"m.js\"></script>\n"
                    "<script type=\"text/javascript\">var x = 'var(--not-css)';</script>");
         WriteBytes(d / "m.js", "export {}");
         WriteBytes(d / "s.css", "a { color: variable(--x); b: var(-x) }\n\nh1 { color: var(\n--h) }");
     },
     // The declaration of the custom property comes first; a module script stays a note.
     {{W, "windows-css", "index.htm", 2, {}},
      {N, "windows-script", "index.htm", 5, {}},
      {W, "windows-css", "s.css", 1, {}}}},

    // ---- files that cannot be read: each one found, and the check goes on ----
    {"UnreadableFiles",
     [](const TempDir& d) {
         WriteBytes(d / "notes.txt", "linked by nothing");
         Unreadable(d, "notes.txt");
         Unreadable(d, "sub/b.htm");
         WriteBytes(d / "index.htm", "<a href=\"sub/b.htm\">b</a>\n<a href=\"gone.htm\">g</a>");
     },
     {{E, "missing-target", "index.htm", 2, "gone.htm"},
      {E, "unreadable", "notes.txt", 0, {}},
      {E, "unreadable", "sub/b.htm", 0, {}}}},
    {"UnreadableStartFiles",
     [](const TempDir& d) {
         Unreadable(d, "kvd.exe");
         Unreadable(d, "kvd.cfg");
     },
     {{E, "unreadable", "kvd.cfg", 0, {}}, {E, "unreadable", "kvd.exe", 0, {}}}},
    {"UnreadableFolder",
     [](const TempDir& d) {
         MakeDirs(d / "locked");
         WriteBytes(d / "locked/a.png", "png");
         Unreadable(d, "locked");
     },
     {{E, "unreadable", "locked", 0, {}}}},

    // ---- size ----
    {"TooLargeForACD", [](const TempDir& d) { Sparse(d / "big.bin", kCdBytes); }, {{E, "too-large", "", 0, {}}}},
    {"ExactlyTheSizeOfACD", [](const TempDir& d) { FillImageTo(d, kCdBytes, 0); }, {}},
    {"OneByteMoreThanACD", [](const TempDir& d) { FillImageTo(d, kCdBytes, 1); }, {{E, "too-large", "", 0, {}}}},
    {"FitsOnADVD", [](const TempDir& d) { Sparse(d / "big.bin", kCdBytes); }, {}, "", publish::Medium::DVD},
};

INSTANTIATE_TEST_SUITE_P(Kinds, CheckFinds, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

// Every finding, message and all, so that two checks can be compared whole.
std::vector<std::string> Whole(const CheckResult& result) {
    std::vector<std::string> out;
    for (const publish::Finding& f : result.findings)
        out.push_back(std::string(publish::SeverityName(f.severity)) + " " + f.kind + " " + f.file + ":" +
                      std::to_string(f.line) + " [" + f.reference.value_or("-") + "] " + f.message);
    return out;
}

// Pages are read on several threads, but what they find and in what order must not depend on how many: a
// project of 300 pages in 6 folders where each page has findings of its own (missing targets and anchors,
// inline scripts shared by many pages and scripts of its own, a page without a character set, style sheets
// and scripts reached from many pages, whose character set is that of the page reaching them first), checked
// in its folder and as a disc image.
TEST(CheckThreads, FindingsAndProgressDoNotDependOnTheThreads) {
    TempDir dir;
    WriteGoodProject(dir);
    constexpr int kFolders = 6, kPages = 50;
    std::string index = "<html><head><link rel=\"stylesheet\" href=\"all.css\"></head><body>\n";
    WriteBytes(dir / "all.css", "@import url(gone.css);\nbody { gap: 1px; background: url(sub/b.htm) }\n");
    WriteBytes(dir / "shared.js", "var f = () => 1;\nfetch('x');\n");
    for (int f = 0; f < kFolders; ++f) {
        const std::string folder = "part" + std::to_string(f);
        MakeDirs(dir / folder);
        WriteBytes(dir / (folder + "/own.css"), "/* caf\xE9 */ p { position: sticky; color: var(--c) }\n");
        for (int p = 0; p < kPages; ++p) {
            const std::string name = folder + "/p" + std::to_string(p) + ".htm";
            index += "<a href=\"" + name + "\">" + name + "</a>\n";
            std::string html = p % 5 == 0 ? "<html><body>caf\xE9\n" : "<html><head><meta charset=\"utf-8\"></head>\n";
            html += "<link rel=\"stylesheet\" href=\"own.css\"><script src=\"../shared.js\"></script>\n";
            for (int k = 0; k < p % 4; ++k)
                html += "<p>filler</p>\n";
            html += "<script>var g = `shared`;</script>\n";
            html += "<script>let own" + std::to_string(p) + " = x" + std::string(p % 3, '?') + "." +
                    std::string(p % 2, '?') + "y;</script>\n";
            html += "<h2 id=\"s" + std::to_string(p % 5) + "\">s</h2>\n";
            const int to = (p * 7 + f) % kPages;
            html += "<a href=\"p" + std::to_string(to) + ".htm#s" + std::to_string(p % 6) + "\">next</a>\n";
            html += "<a href=\"../part" + std::to_string((f + 1) % kFolders) + "/P" + std::to_string(p) +
                    ".htm\">case</a>\n";
            if (p % 9 == 0) html += "<img src=\"missing" + std::to_string(p) + ".png\">\n";
            html += "<button onclick=\"go(...args)\">go</button></body></html>\n";
            WriteBytes(dir / name, html);
        }
    }
    WriteBytes(dir / "index.htm", index + "<a href=\"sub/b.htm\">b</a>\n</body></html>\n");

    struct Run {
        std::vector<std::string> findings;
        std::vector<std::pair<uint64_t, uint64_t>> progress;
    };
    auto check = [&](unsigned threads, const std::string* image) {
        Run run;
        CheckOptions options;
        options.threads = threads;
        options.progress = [&](uint64_t done, uint64_t total) {
            run.progress.emplace_back(done, total);
            return true;
        };
        run.findings = Whole(image ? publish::CheckImage(*image, options) : CheckProject(dir.Path(), options));
        return run;
    };
    // The pages a check reads, as its progress counts them: every page, index.htm, sub/b.htm, the style
    // sheets and the shared script.
    const uint64_t documents = kFolders * kPages + 2 + 1 + kFolders + 1;
    const Run one = check(1, nullptr);
    ASSERT_GT(one.findings.size(), 1000u);
    for (const std::string kind : {"missing-target", "missing-anchor", "case-mismatch", "no-charset",
                                   "windows-script", "windows-api", "windows-css", "script-syntax"})
        EXPECT_TRUE(std::any_of(one.findings.begin(), one.findings.end(),
                                [&](const std::string& f) { return f.find(" " + kind + " ") != std::string::npos; }))
            << kind;
    auto progressHolds = [&](const Run& run, const char* what) {
        ASSERT_FALSE(run.progress.empty()) << what;
        EXPECT_EQ(run.progress.back(), std::make_pair(documents, documents)) << what;
        for (size_t i = 1; i < run.progress.size(); ++i) {
            EXPECT_LE(run.progress[i - 1].first, run.progress[i].first) << what << " call " << i;
            EXPECT_LE(run.progress[i].first, run.progress[i].second) << what << " call " << i;
        }
    };
    progressHolds(one, "one thread");
    for (unsigned threads : {2u, 3u, 8u})
        for (int round = 0; round < 2; ++round) {
            const Run many = check(threads, nullptr);
            EXPECT_EQ(many.findings, one.findings) << threads << " threads";
            progressHolds(many, "several threads");
        }

    TempDir out;
    const std::string image = out / "pages.iso";
    publish::WriteImage(dir.Path(), image);
    const Run disc = check(1, &image);
    ASSERT_GT(disc.findings.size(), 1000u);
    EXPECT_EQ(check(4, &image).findings, disc.findings);

    // A tree's own reader, as a disc's is, is asked by one thread at a time, and for every document.
    publish::detail::Tree tree = publish::detail::WalkTree(dir.Path(), true);
    std::atomic<int> reading{0}, most{0}, reads{0};
    tree.readFile = [&](const publish::detail::Folder& folder, const publish::detail::Entry& entry, size_t limit) {
        const int now = ++reading;
        most = std::max(most.load(), now);
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // long enough for another thread to come in
        std::string bytes = testing_support::ReadBytes(folder.host + entry.name).substr(0, limit);
        --reading;
        return bytes;
    };
    CheckOptions fourThreads;
    fourThreads.threads = 4;
    EXPECT_EQ(Whole(publish::detail::CheckTree(tree, dir.Path(), fourThreads)), one.findings);
    EXPECT_EQ(most, 1);
    EXPECT_GE(reads, static_cast<int>(documents));

    // A cancel from the progress stops the threads, and the check throws it.
    int calls = 0;
    CheckOptions cancelling;
    cancelling.threads = 4;
    cancelling.progress = [&](uint64_t, uint64_t) { return ++calls < 20; };
    EXPECT_THROW(CheckProject(dir.Path(), cancelling), publish::Cancelled);
    EXPECT_EQ(calls, 20);
}

// The reason each rule gives, word for word; Joliet's rules come first where both apply.
TEST(NameRules, ReasonsForJolietAndWindows) {
    using publish::detail::NotJolietReason;
    using publish::detail::NotWindowsReason;
    const std::string joliet = "Joliet (the names readers on Windows see)";
    const std::string windows = "so readers on Windows cannot open it.";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain.htm", ""},
        {"caf\xC3\xA9 \x7F" + kEmoji + ".htm", ""},
        {"a\nb", "name-not-joliet: The name contains the control character U+000A, which " + joliet + " cannot carry."},
        {"\x1F", "name-not-joliet: The name contains the control character U+001F, which " + joliet + " cannot carry."},
        {"x\xC3",
         "name-not-joliet: The name contains the byte 0xC3, which is not UTF-8, so " + joliet + " cannot carry it."},
        {"\xED\xA0\x80",
         "name-not-joliet: The name contains the byte 0xED, which is not UTF-8, so " + joliet + " cannot carry it."},
        {"a?b<c", "name-not-joliet: The name contains \"?\", which " + joliet + " cannot carry."},
        {std::string(64, 'n'), ""},
        {std::string(63, 'n') + kEmoji,
         "name-not-joliet: The name has 65 characters; " + joliet + " carries at most 64."},
        {"a|b", "name-not-windows: The name contains \"|\", which Windows does not allow in names, " + windows},
        {"x.", "name-not-windows: The name ends in a period, which Windows drops, " + windows},
        {"x ", "name-not-windows: The name ends in a space, which Windows drops, " + windows},
        {"lPt3.a.b", "name-not-windows: \"lPt3\" names a device on Windows, with or without an extension, " + windows},
        {"LPT\xC2\xB3", "name-not-windows: \"LPT\xC2\xB3\" names a device on Windows, with or without an "
                        "extension, " +
                            windows},
        {"COM\xC2\xB4", ""},
        {"COM", ""},
        {"nul-device.txt", ""},
    };
    for (const auto& [name, want] : cases) {
        std::string got;
        if (auto why = NotJolietReason(name))
            got = "name-not-joliet: " + *why;
        else if (auto why = NotWindowsReason(name))
            got = "name-not-windows: " + *why;
        EXPECT_EQ(got, want) << name;
    }
}

} // namespace
