// The viewers' shared rules and where the Linux viewer looks for its first page.
#include "page_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;
using viewer::ParseViewerArgs;
using viewer::ViewerArgs;

using Args = std::vector<std::string>;
using viewer::SplitCommandLine;

struct SplitCase {
    std::string line;
    Args args;
};

void ExpectSplits(const std::vector<SplitCase>& cases) {
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.args) << "[" << c.line << "]";
}

TEST(SplitCommandLine, SeparatorsGroupsAndEmptyArguments) {
    ExpectSplits({
        {"", {}},
        {" \t  ", {}},
        {"a b  c", {"a", "b", "c"}},
        {"\ta\tb\t", {"a", "b"}},
        {"\"a b\" c", {"a b", "c"}},
        {"\"a\tb\"", {"a\tb"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"a\"b\"c d\"", {"abc d"}},
        {"\"unterminated group  ", {"unterminated group  "}},
        {"a\nb\rc", {"a\nb\rc"}}, // only space and tab separate
        {"\"\"", {""}},
        {"\"\" \"\"", {"", ""}},
        {"a \"\" b", {"a", "", "b"}},
        {"a\"\"b", {"ab"}},
    });
}

TEST(SplitCommandLine, BackslashesCountOnlyBeforeAQuote) {
    ExpectSplits({
        {"a\\b", {"a\\b"}},
        {"a\\\\b", {"a\\\\b"}},
        {"trailing\\\\", {"trailing\\\\"}},
        {"\\\"a", {"\"a"}},
        {"\\\\\"a b\"", {"\\a b"}},
        {"\\\\\\\"a", {"\\\"a"}},
        {"\\\\\\\\\"a\"", {"\\\\a"}},
        {"\"C:\\Tools\\kvd.exe\"", {"C:\\Tools\\kvd.exe"}},
        // A folder path ending in a backslash escapes its closing quote: the group runs on.
        {"\"C:\\Tools\\\" next", {"C:\\Tools\" next"}},
        {"\"C:\\Tools\\\\\" next", {"C:\\Tools\\", "next"}},
    });
}

TEST(SplitCommandLine, DoubledQuoteInsideAGroupIsALiteralQuote) {
    ExpectSplits({
        {"\"a\"\"b\"", {"a\"b"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"\"\"\"", {"\""}},
        // Values holding quotes, inserted unescaped, split the way the viewer will see them.
        {" \"Say \"hi\"\" \"-\"", {"Say hi", "-"}},
        {" \"Say \"hi\"\"\" \"-\"", {"Say hi\" -"}},
    });
}

TEST(SplitCommandLine, TheWizardsTokenStrings) {
    ExpectSplits({
        {" \"-\" \"index.htm\" \"Visit us on the Web!\" \"http://x\" \"-\" \"-\" \"400\" \"600\"",
         {"-", "index.htm", "Visit us on the Web!", "http://x", "-", "-", "400", "600"}},
        {" \"d\" \"a b\\page.htm\" \"-\" \"-\" \"M\"", {"d", "a b\\page.htm", "-", "-", "M"}},
        {"\"-\" \"C:\\Tools\\kvdhelp.htm\" \"-\" \"-\" \"-\" \"-\" \"600\" \"700\"",
         {"-", "C:\\Tools\\kvdhelp.htm", "-", "-", "-", "-", "600", "700"}},
        {"\"$(touch /tmp/x)\" \"; rm -rf x\" \"`id`\" \"a|b&c>d\"",
         {"$(touch /tmp/x)", "; rm -rf x", "`id`", "a|b&c>d"}},
    });
}

void ExpectArgs(const ViewerArgs& a, bool debug, const std::string& page, const std::string& text,
                const std::string& address, bool maximised, bool borderless, int height, int width) {
    EXPECT_EQ(a.debug, debug);
    EXPECT_EQ(a.firstPage, page);
    EXPECT_EQ(a.linkText, text);
    EXPECT_EQ(a.address, address);
    EXPECT_EQ(a.maximised, maximised);
    EXPECT_EQ(a.borderless, borderless);
    EXPECT_EQ(a.height, height);
    EXPECT_EQ(a.width, width);
}

TEST(ViewerArgs, FullListOfEightTokensIsReadByPosition) {
    ExpectArgs(
        ParseViewerArgs({"d", "start.htm", "Visit us on the Web!", "http://www.example.com/", "-", "N", "300", "500"}),
        true, "start.htm", "Visit us on the Web!", "http://www.example.com/", false, true, 300, 500);
    // The help string of the wizard: a full path, no link, sized 600 by 700.
    ExpectArgs(ParseViewerArgs({"-", "C:\\Tools\\kvdhelp.htm", "-", "-", "-", "-", "600", "700"}), false,
               "C:\\Tools\\kvdhelp.htm", "-", "-", false, false, 600, 700);
}

TEST(ViewerArgs, ShortenedMaximisedListsTakeTheDefaultSizes) {
    ExpectArgs(ParseViewerArgs({"-", "index.htm", "T", "U", "M"}), false, "index.htm", "T", "U", true, false, 400, 600);
    ExpectArgs(ParseViewerArgs({"-", "index.htm", "T", "U", "M", "N"}), false, "index.htm", "T", "U", true, true, 400,
               600);
}

TEST(ViewerArgs, MissingTrailingTokensTakeDefaults) {
    ExpectArgs(ParseViewerArgs({}), false, "index.htm", "-", "-", false, false, 400, 600);
    ExpectArgs(ParseViewerArgs({"d"}), true, "index.htm", "-", "-", false, false, 400, 600);
    ExpectArgs(ParseViewerArgs({"-", "a.htm", "Go"}), false, "a.htm", "Go", "-", false, false, 400, 600);
    ExpectArgs(ParseViewerArgs({"-", "a.htm", "-", "-", "-", "-", "250"}), false, "a.htm", "-", "-", false, false, 250,
               600);
    // An empty first-page token names no page; the default one is meant.
    EXPECT_EQ(ParseViewerArgs({"-", ""}).firstPage, "index.htm");
}

TEST(ViewerArgs, FlagsMatchExactlyAndCaseSensitively) {
    const ViewerArgs a = ParseViewerArgs({"D", "x.htm", "-", "-", "m", "n", "1", "1"});
    EXPECT_FALSE(a.debug);
    EXPECT_FALSE(a.maximised);
    EXPECT_FALSE(a.borderless);
    const ViewerArgs b = ParseViewerArgs({"d ", "x.htm", "-", "-", "M ", "N ", "1", "1"});
    EXPECT_FALSE(b.debug);
    EXPECT_FALSE(b.maximised);
    EXPECT_FALSE(b.borderless);
    // Text tokens are kept as they came, spaces included.
    const ViewerArgs c = ParseViewerArgs({"-", " p.htm ", "  Hello ", "say \"hi\""});
    EXPECT_EQ(c.firstPage, " p.htm ");
    EXPECT_EQ(c.linkText, "  Hello ");
    EXPECT_EQ(c.address, "say \"hi\"");
}

TEST(ViewerArgs, SizesThatAreNotPlainPositiveNumbersFallBackToDefaults) {
    for (const std::string bad : {"abc", "", "-5", "0", " 400", "400 ", "4O0", "+400", "32768", "99999999999"}) {
        const ViewerArgs a = ParseViewerArgs({"-", "x.htm", "-", "-", "-", "-", bad, bad});
        EXPECT_EQ(a.height, 400) << "height \"" << bad << "\"";
        EXPECT_EQ(a.width, 600) << "width \"" << bad << "\"";
    }
    const ViewerArgs edges = ParseViewerArgs({"-", "x.htm", "-", "-", "-", "-", "1", "32767"});
    EXPECT_EQ(edges.height, 1);
    EXPECT_EQ(edges.width, 32767);
    EXPECT_EQ(ParseViewerArgs({"-", "x.htm", "-", "-", "-", "-", "0410", "abc"}).height, 410);
}

TEST(ViewerArgs, WebLinkIsWantedUnlessItsTextIsDashOrEmpty) {
    EXPECT_TRUE(viewer::HasWebLink(ParseViewerArgs({"-", "x.htm", "Visit", "-"})));
    EXPECT_TRUE(viewer::HasWebLink(ParseViewerArgs({"-", "x.htm", " - ", "-"})));
    EXPECT_FALSE(viewer::HasWebLink(ParseViewerArgs({"-", "x.htm", "-", "http://www.example.com/"})));
    EXPECT_FALSE(viewer::HasWebLink(ParseViewerArgs({"-", "x.htm", "", "http://www.example.com/"})));
    EXPECT_FALSE(viewer::HasWebLink(ParseViewerArgs({"-", "x.htm"})));
}

TEST(SettingsFile, SevenLinesBecomeTheTokensAfterDebugOff) {
    const std::vector<std::string> tokens = viewer::SettingsFileTokens(
        "index.htm\r\nVisit us on the Web!\r\nhttp://www.example.com/\r\n-\r\nN\r\n300\r\n200\r\n");
    EXPECT_EQ(tokens, (std::vector<std::string>{"-", "index.htm", "Visit us on the Web!", "http://www.example.com/",
                                                "-", "N", "300", "200"}));
    ExpectArgs(ParseViewerArgs(tokens), false, "index.htm", "Visit us on the Web!", "http://www.example.com/", false,
               true, 300, 200);
}

TEST(SettingsFile, LineRulesOfTheSettingsFileHold) {
    // A lone line feed stays inside the line; a second record is not read; Ctrl-Z ends the text.
    EXPECT_EQ(viewer::SettingsFileTokens("a\nb.htm\rT\r\nU\r"), (std::vector<std::string>{"-", "a\nb.htm", "T", "U"}));
    EXPECT_EQ(viewer::SettingsFileTokens("1\r2\r3\r4\r5\r6\r7\r8\r9\r").size(), 8u);
    EXPECT_EQ(viewer::SettingsFileTokens("p.htm\r\nT\x1aU\r\n"), (std::vector<std::string>{"-", "p.htm", "T"}));
    EXPECT_EQ(viewer::SettingsFileTokens(""), (std::vector<std::string>{"-"}));
    EXPECT_EQ(viewer::SettingsFileTokens("last.htm"), (std::vector<std::string>{"-", "last.htm"}));
    // An empty first line leaves the default page.
    EXPECT_EQ(ParseViewerArgs(viewer::SettingsFileTokens("\r\nT\r\n")).firstPage, "index.htm");
}

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

class PagePath : public ::testing::Test {
protected:
    void TearDown() override { platform::posix::ResetDriveTable(); }
    TempDir dir_;
};

TEST_F(PagePath, RelativeNameIsLookedForInTheViewerFolder) {
    EXPECT_EQ(viewer::ResolvePagePath("index.htm", dir_.Path()), dir_ / "index.htm");
    EXPECT_EQ(viewer::ResolvePagePath("index.htm", dir_.Path() + "/"), dir_ / "index.htm");
    EXPECT_EQ(viewer::ResolvePagePath("pages\\intro.htm", dir_.Path()), dir_ / "pages/intro.htm");
    EXPECT_EQ(viewer::ResolvePagePath("-", dir_.Path()), dir_ / "-");
    // Resolved as an address resolves it; climbing out of the folder places it nowhere.
    EXPECT_EQ(viewer::ResolvePagePath("link/../index.htm", dir_.Path()), dir_ / "index.htm");
    EXPECT_EQ(viewer::ResolvePagePath("../index.htm", dir_.Path()), "");
    EXPECT_EQ(viewer::ResolvePagePath("pages\\..\\..\\index.htm", dir_.Path()), "");
}

TEST_F(PagePath, HostAbsolutePathIsTakenAsItIs) {
    EXPECT_EQ(viewer::ResolvePagePath("/srv/cd/index.htm", dir_.Path()), "/srv/cd/index.htm");
    EXPECT_EQ(viewer::ResolvePagePath("/srv/cd/link/../index.htm", dir_.Path()), "/srv/cd/index.htm");
    EXPECT_TRUE(viewer::GivenByFullPath("/srv/cd/index.htm"));
    EXPECT_TRUE(viewer::GivenByFullPath("C:\\index.htm"));
    EXPECT_FALSE(viewer::GivenByFullPath("link/../index.htm"));
}

TEST_F(PagePath, WindowsFullPathGoesThroughTheDriveTable) {
    testing_support::MakeDirs(dir_ / "tools");
    WriteBytes(dir_ / "tools/kvdhelp.htm", "<html></html>");
    platform::posix::DriveEntry drive;
    drive.letter = 'Q';
    drive.hostFolder = dir_.Path();
    platform::posix::SetDriveTable({drive});

    const std::string host = viewer::ResolvePagePath("Q:\\tools\\kvdhelp.htm", "/elsewhere");
    EXPECT_EQ(host, dir_ / "tools/kvdhelp.htm");
    EXPECT_TRUE(viewer::HostFileExists(host));
    EXPECT_EQ(viewer::ResolvePagePath("q:\\tools\\kvdhelp.htm", "/elsewhere"), dir_ / "tools/kvdhelp.htm");
}

TEST_F(PagePath, WindowsPathOnADriveThatDoesNotExistCannotBeResolved) {
    platform::posix::DriveEntry drive;
    drive.letter = 'Q';
    drive.hostFolder = dir_.Path();
    platform::posix::SetDriveTable({drive});
    EXPECT_EQ(viewer::ResolvePagePath("R:\\kvdhelp.htm", dir_.Path()), "");
    EXPECT_FALSE(viewer::HostFileExists(""));
}

TEST_F(PagePath, OnlyARegularFileCountsAsAPage) {
    testing_support::MakeDirs(dir_ / "index.htm");
    EXPECT_FALSE(viewer::HostFileExists(dir_ / "index.htm"));
    WriteBytes(dir_ / "about.htm", "");
    EXPECT_TRUE(viewer::HostFileExists(dir_ / "about.htm"));
    EXPECT_FALSE(viewer::HostFileExists(dir_ / "about.htm/x"));
}

TEST_F(PagePath, PageWhoseNameDiffersInLetterCaseIsFound) {
    WriteBytes(dir_ / "About.HTM", "x");
    EXPECT_EQ(viewer::FindPage(dir_ / "about.htm"), dir_ / "About.HTM");
    EXPECT_EQ(viewer::FindPage(dir_ / "About.HTM"), dir_ / "About.HTM");
    WriteBytes(dir_ / "about.htm", "y");
    EXPECT_EQ(viewer::FindPage(dir_ / "ABOUT.htm"), dir_ / "About.HTM");
    EXPECT_EQ(viewer::FindPage(dir_ / "about.htm"), dir_ / "about.htm");
    // A folder of the name is not taken, and nothing found leaves the path as it was.
    testing_support::MakeDirs(dir_ / "Pages.htm");
    EXPECT_EQ(viewer::FindPage(dir_ / "pages.htm"), dir_ / "pages.htm");
    EXPECT_EQ(viewer::FindPage(dir_ / "none/x.htm"), dir_ / "none/x.htm");
    // Folders on the way answer to other letters too; a file of a folder's name is passed over.
    testing_support::MakeDirs(dir_ / "Pages/Sub");
    WriteBytes(dir_ / "Pages/Sub/Next.htm", "z");
    WriteBytes(dir_ / "pages", "w");
    EXPECT_EQ(viewer::FindPage(dir_ / "pages/sub/next.HTM"), dir_ / "Pages/Sub/Next.htm");
    EXPECT_EQ(viewer::FindPage(dir_ / "PAGES//SUB/Next.htm"), dir_ / "Pages/Sub/Next.htm");
    EXPECT_EQ(viewer::FindPage(dir_ / "pages/sub/gone.htm"), dir_ / "pages/sub/gone.htm");
}

TEST_F(PagePath, HostFileIsReadWhole) {
    WriteBytes(dir_ / "kvd.cfg", std::string("a\r\n\0b\x1a", 6));
    EXPECT_EQ(viewer::ReadHostFile(dir_ / "kvd.cfg"), std::string("a\r\n\0b\x1a", 6));
    EXPECT_EQ(viewer::ReadHostFile(dir_ / "missing.cfg"), "");
}

TEST(PagePathRules, AStandInsFolderIsThatOfTheAbsoluteFileItStandsInFor) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
        {"/home/a/proj/kvd.exe", "/home/a/proj"}, {"/KVD.EXE", "/"},  {"/a b/c/kvd.exe", "/a b/c"},
        {"proj/kvd.exe", std::nullopt}, // relative to a folder no longer known
        {"/home/a/proj/", std::nullopt},          {"", std::nullopt},
    };
    for (const auto& [path, folder] : rows)
        EXPECT_EQ(viewer::StandInFolder(path), folder) << path;
}

// Each of the two judgements refuses on its own: the path as asked, and where its links lead.
TEST_F(PagePath, PermittedFoldersServeWhatLiesInsideAsAskedAndAsResolved) {
    testing_support::MakeDirs(dir_ / "cd/sub");
    testing_support::MakeDirs(dir_ / "cd2");
    WriteBytes(dir_ / "cd/a.htm", "a");
    WriteBytes(dir_ / "cd2/b.htm", "b");
    WriteBytes(dir_ / "secret.htm", "s");
    for (const auto& [target, name] : std::vector<std::pair<std::string, std::string>>{
             {"a.htm", "cd/in.htm"}, {"../secret.htm", "cd/out.htm"}, {"../cd2", "cd/outdir"}, {"cd", "disc"}}) {
        ASSERT_EQ(::symlink(target.c_str(), (dir_ / name).c_str()), 0) << name;
    }
    const std::string real = RealPath(dir_.Path());
    const viewer::PermittedFolders folders({dir_ / "disc", dir_ / "cd/sub/"});
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"disc/a.htm", real + "/cd/a.htm"},  // the folder itself reached through a link
        {"disc/in.htm", real + "/cd/a.htm"}, // a link that stays inside
        {"disc/out.htm", ""},                // a file link that leads out
        {"disc/outdir/b.htm", ""},           // a folder link that leads out
        {"cd/a.htm", ""},                    // the same file, asked outside the folders as given
        {"disc/sub/../a.htm", ""},           // inside once resolved, but asked with a way out
        {"disc2/b.htm", ""},
        {"disc/missing.htm", ""},
        {"cd/sub", ""},
    };
    for (const auto& [path, served] : rows)
        EXPECT_EQ(folders.Resolve(dir_ / path), served) << path;
    EXPECT_EQ(viewer::PermittedFolders({dir_ / "gone"}).Resolve(dir_ / "gone/a.htm"), "");

    // A folder is taken as an address names it: "cd/root/.." is "cd", wherever the link leads.
    ASSERT_EQ(::symlink("/", (dir_ / "cd/root").c_str()), 0);
    const viewer::PermittedFolders throughLink({dir_ / "cd/root/.."});
    EXPECT_EQ(throughLink.Resolve(dir_ / "cd/a.htm"), real + "/cd/a.htm");
    EXPECT_EQ(throughLink.Resolve(dir_ / "cd/root" + dir_ / "secret.htm"), "");
    // A first page's folder: as asked, and where the page itself leads.
    viewer::PermittedFolders withPage({dir_ / "cd2"});
    withPage.AddFolderOf(dir_ / "disc/missing.htm");
    EXPECT_EQ(withPage.Resolve(dir_ / "disc/a.htm"), "");
    withPage.AddFolderOf(dir_ / "disc/in.htm");
    EXPECT_EQ(withPage.Resolve(dir_ / "disc/a.htm"), real + "/cd/a.htm");
    EXPECT_EQ(withPage.Resolve(dir_ / "disc/out.htm"), "");
    EXPECT_EQ(withPage.Resolve(dir_ / "cd2/b.htm"), real + "/cd2/b.htm");
}

TEST(PageFileName, CutsAfterTheLastSeparatorOfEitherForm) {
    EXPECT_EQ(viewer::PageFileName("C:\\Tools\\kvdhelp.htm"), "kvdhelp.htm");
    EXPECT_EQ(viewer::PageFileName("Q:start.htm"), "start.htm");
    EXPECT_EQ(viewer::PageFileName("/srv/cd/index.htm"), "index.htm");
    EXPECT_EQ(viewer::PageFileName("index.htm"), "index.htm");
    EXPECT_EQ(viewer::PageFileName("pages\\"), "");
}

TEST(PagePathRules, RelativePagesJoinTheFolderWithTheSystemsSeparator) {
    EXPECT_EQ(viewer::JoinPagePath("D:\\", "pages/intro.htm", '\\'), "D:\\pages\\intro.htm");
    EXPECT_EQ(viewer::JoinPagePath("D:\\cd", "\\index.htm", '\\'), "D:\\cd\\index.htm");
    EXPECT_EQ(viewer::JoinPagePath("/srv/cd", "a\\b.htm", '/'), "/srv/cd/a/b.htm");
    EXPECT_TRUE(viewer::IsWindowsFullPath("q:start.htm"));
    EXPECT_TRUE(viewer::IsWindowsFullPath("\\\\server\\share\\x.htm"));
    EXPECT_FALSE(viewer::IsWindowsFullPath("pages\\x.htm"));
}

TEST(PagePathRules, OnlyWholePartsWithoutDotsLieInsideTheFolder) {
    struct Row {
        const char* folder;
        const char* path;
        bool caseBlind;
        bool inside;
    };
    const Row rows[] = {
        {"/srv/cd", "/srv/cd/index.htm", false, true},
        {"/srv/cd/", "/srv/cd/sub/a.htm", false, true},
        {"/srv/cd", "/srv/cd", false, false},               // the folder itself is no file in it
        {"/srv/cd", "/srv/cd2/a.htm", false, false},        // a sibling that starts alike
        {"/srv/cd", "/srv/cd/../secret.htm", false, false}, // a way out
        {"/srv/cd", "/srv/cd/./a.htm", false, false},
        {"D:\\cd", "D:\\cd\\.. \\x.htm", true, false}, // Windows trims ".. " to ".."
        {"D:\\cd", "D:\\cd\\. .\\x.htm", true, false},
        {"D:\\cd", "D:\\cd\\...\\x.htm", true, false},
        {"D:\\cd", "D:\\cd\\a..\\x. htm", true, true}, // dots inside a name are the name's
        {"/srv/cd", "/srv/CD/a.htm", false, false},
        {"D:\\", "D:\\sub\\a.htm", true, true},
        {"D:\\CD", "d:/cd/a.htm", true, true},
        {"D:\\cd", "D:\\cd2\\a.htm", true, false},
        {"D:\\cd", "D:\\cd\\..\\x.htm", true, false},
        {"/", "/etc/passwd", false, true},
        {"/srv/cd", "srv/cd/a.htm", false, false}, // rooted alike or not at all
    };
    for (const Row& row : rows) {
        EXPECT_EQ(viewer::PathInsideFolder(row.folder, row.path, row.caseBlind), row.inside)
            << row.folder << " | " << row.path;
    }
}

// One row per form an address can take: only the web and mail ever reach the reader's programs.
TEST(AddressRule, DiscPagesStayWebAndMailGoToTheReadersProgramsEverythingElseIsRefused) {
    using viewer::AddressKind;
    using viewer::Route;
    constexpr Route kHere = Route::kShowHere, kElsewhere = Route::kOpenElsewhere, kRefuse = Route::kRefuse;
    struct Row {
        const char* address;
        AddressKind kind;
        Route mainFrame;
        Route subFrame;
    };
    const Row rows[] = {
        {"kvd://disc/srv/cd/a.htm", AddressKind::kDiscPage, kHere, kHere},
        {"KVD://disc/x", AddressKind::kDiscPage, kHere, kHere},
        {"about:blank", AddressKind::kEngineOwn, kHere, kHere},
        {"data:text/html,x", AddressKind::kEngineOwn, kHere, kHere},
        {"javascript:void(0)", AddressKind::kEngineOwn, kHere, kHere},
        // The control's own error pages, and no other resource of any file.
        {"res://ieframe.dll/navcancl.htm#http://example.com/", AddressKind::kEngineOwn, kHere, kHere},
        {"RES://IEFRAME.DLL/dnserrordiagoff.htm", AddressKind::kEngineOwn, kHere, kHere},
        {"res://C:\\evil\\evil.dll/page.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"res://\\\\server\\share\\ieframe.dll/x.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"res://ieframe.dll/../../evil.dll/x.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"res://ieframe.dll/..", AddressKind::kOther, kRefuse, kRefuse},
        {"res://ieframe.dll.evil/x.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"file:///etc/passwd", AddressKind::kLocalFile, kRefuse, kRefuse},
        {"http://example.com/", AddressKind::kWeb, kElsewhere, kHere},
        {"HTTPS://example.com/", AddressKind::kWeb, kElsewhere, kHere},
        {"hTtP://example.com/", AddressKind::kWeb, kElsewhere, kHere},
        {"mailto:someone@example.com", AddressKind::kMail, kElsewhere, kRefuse},
        {"MailTo:someone@example.com", AddressKind::kMail, kElsewhere, kRefuse},
        // Any other scheme would start whatever program claims it.
        {"ftp://example.com/f", AddressKind::kOther, kRefuse, kRefuse},
        {"shell:startup", AddressKind::kOther, kRefuse, kRefuse},
        {"SHELL:Startup", AddressKind::kOther, kRefuse, kRefuse},
        {"ms-msdt:/id PCWDiagnostic /skip force", AddressKind::kOther, kRefuse, kRefuse},
        {"search-ms:query=x&crumb=location:\\\\evil\\share", AddressKind::kOther, kRefuse, kRefuse},
        {"ms-its:\\\\evil\\share\\x.chm::/a.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"mk:@MSITStore:\\\\evil\\share\\x.chm::/a.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"vbscript:msgbox(1)", AddressKind::kOther, kRefuse, kRefuse},
        {"ms-settings:display", AddressKind::kOther, kRefuse, kRefuse},
        {"hcp://system/x.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"telnet://example.com", AddressKind::kOther, kRefuse, kRefuse},
        {"made-up+scheme.1:x", AddressKind::kOther, kRefuse, kRefuse},
        // An address that does not start with its scheme is no address of a known kind.
        {" shell:startup", AddressKind::kOther, kRefuse, kRefuse},
        {"\tshell:startup", AddressKind::kOther, kRefuse, kRefuse},
        {"\x01ms-settings:display", AddressKind::kOther, kRefuse, kRefuse},
        {" http://example.com/", AddressKind::kOther, kRefuse, kRefuse},
        {"\x1fmailto:someone@example.com", AddressKind::kOther, kRefuse, kRefuse},
        {"java\tscript:alert(1)", AddressKind::kOther, kRefuse, kRefuse},
        {"C:\\index.htm", AddressKind::kOther, kRefuse, kRefuse},
        {"", AddressKind::kOther, kRefuse, kRefuse},
    };
    for (const Row& row : rows) {
        const AddressKind kind = viewer::ClassifyAddress(row.address, "kvd");
        EXPECT_EQ(kind, row.kind) << row.address;
        EXPECT_EQ(viewer::RouteNavigation(kind, true), row.mainFrame) << row.address;
        EXPECT_EQ(viewer::RouteNavigation(kind, false), row.subFrame) << row.address;
        EXPECT_EQ(viewer::GoesToReadersPrograms(row.address),
                  row.kind == AddressKind::kWeb || row.kind == AddressKind::kMail)
            << row.address;
    }
    EXPECT_EQ(viewer::AddressScheme("c:/index.htm"), "");
}

TEST(PagePathRules, DotPartsAreResolvedOnTheTextAsInAnAddress) {
    const std::vector<std::tuple<std::string, char, std::optional<std::string>>> rows = {
        {"index.htm", '/', "index.htm"},
        {"link/../index.htm", '/', "index.htm"},
        {"pages\\.\\intro.htm", '/', "pages/intro.htm"},
        {"a//b/../c.htm", '\\', "a\\c.htm"},
        {"a..b/c.", '/', "a..b/c."},
        {"", '/', ""},
        {"../secret.htm", '/', std::nullopt},
        {"sub/../../secret.htm", '\\', std::nullopt},
        {"sub/.. /x.htm", '/', std::nullopt},
        {". ./x.htm", '/', std::nullopt},
        {"...\\x.htm", '/', std::nullopt},
        {"D:\\..\\..\\x.htm", '\\', std::nullopt},
        // A rooted path stays at its root, as the path of an address does.
        {"/srv/cd/link/../index.htm", '/', "/srv/cd/index.htm"},
        {"/../etc/passwd", '/', "/etc/passwd"},
        {"/", '/', "/"},
    };
    for (const auto& [path, separator, resolved] : rows)
        EXPECT_EQ(viewer::ResolveDotParts(path, separator), resolved) << path;
}

TEST(MissingPage, ExplanationNamesWhatWasLookedForEscaped) {
    EXPECT_EQ(viewer::MissingPageSentence("a.htm", true), "The first page, a.htm, cannot be found.");
    EXPECT_EQ(viewer::MissingPageSentence("a.htm", false), "The page a.htm cannot be found.");
    const std::string html = viewer::MissingPageHtml("The page <b>.htm cannot be found.", "/cd/<b>&.htm");
    EXPECT_NE(html.find("<p>The page &lt;b&gt;.htm cannot be found.</p>"), std::string::npos);
    EXPECT_NE(html.find("<p>Looked for: <tt>/cd/&lt;b&gt;&amp;.htm</tt></p>"), std::string::npos);
    EXPECT_EQ(viewer::MissingPageHtml("x", "").find("Looked for"), std::string::npos);
}

} // namespace
