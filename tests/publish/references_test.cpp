// Where references lead: one row per form of reference, with the expected target.
#include "publish/check/references.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using publish::detail::Resolved;
using publish::detail::ResolveReference;
using publish::detail::Target;

struct ResolveCase {
    const char* reference;
    const char* docFolder;
    Target target;
    const char* path;               // Local: the path; External: the scheme
    const char* fragment = nullptr; // nullptr: none
    bool folderSyntax = false;
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << "'" << c.reference << "' in '" << c.docFolder << "'"; }

class Resolve : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(Resolve, LeadsWhereABrowserOnTheDiscWouldGo) {
    const ResolveCase& c = GetParam();
    Resolved r = ResolveReference(c.reference, c.docFolder);
    EXPECT_EQ(r.target, c.target);
    if (c.target == Target::Local) {
        EXPECT_EQ(r.path, c.path);
    }
    if (c.target == Target::External) {
        EXPECT_EQ(r.scheme, c.path);
    }
    EXPECT_EQ(r.hasFragment, c.fragment != nullptr);
    if (c.fragment) {
        EXPECT_EQ(r.fragment, c.fragment);
    }
    EXPECT_EQ(r.folderSyntax, c.folderSyntax);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Resolve,
    ::testing::Values(
        ResolveCase{"a.htm", "", Target::Local, "a.htm"},
        ResolveCase{"a.htm", "sub/deep", Target::Local, "sub/deep/a.htm"},
        ResolveCase{"./x/../a.htm", "sub", Target::Local, "sub/a.htm"},
        ResolveCase{"../a.htm", "sub", Target::Local, "a.htm"}, ResolveCase{"../a.htm", "", Target::Outside, ""},
        ResolveCase{"x/../../../a.htm", "sub", Target::Outside, ""},
        ResolveCase{"  a.htm\t", "", Target::Local, "a.htm"}, ResolveCase{"a\n.htm", "", Target::Local, "a.htm"},
        ResolveCase{"sub\\a.htm", "", Target::Local, "sub/a.htm"},
        ResolveCase{"my%20page.htm", "", Target::Local, "my page.htm"},
        ResolveCase{"caf%C3%A9.htm", "", Target::Local, "caf\xC3\xA9.htm"},
        ResolveCase{"100%.htm", "", Target::Local, "100%.htm"}, ResolveCase{"a%2fb.htm", "", Target::Local, "a/b.htm"},
        ResolveCase{"a.htm?q=1#x", "", Target::Local, "a.htm", "x"},
        ResolveCase{"a.htm#sec%202?not-a-query", "", Target::Local, "a.htm", "sec 2?not-a-query"},
        ResolveCase{"a.htm#", "", Target::Local, "a.htm", ""}, ResolveCase{"#x", "sub", Target::Self, "", "x"},
        ResolveCase{"?q", "sub", Target::Self, ""}, ResolveCase{"", "sub", Target::Self, ""},
        ResolveCase{"sub/", "", Target::Local, "sub", nullptr, true},
        ResolveCase{".", "sub", Target::Local, "sub", nullptr, true},
        ResolveCase{"..", "sub", Target::Local, "", nullptr, true}, ResolveCase{"/a.htm", "", Target::Outside, ""},
        ResolveCase{"\\a.htm", "", Target::Outside, ""}, ResolveCase{"C:\\a.htm", "", Target::Outside, ""},
        ResolveCase{"c:/a.htm", "", Target::Outside, ""}, ResolveCase{"file:///d:/a.htm", "", Target::Outside, ""},
        ResolveCase{"FILE:a.htm", "", Target::Outside, ""},
        ResolveCase{"http://example.org/a.htm", "", Target::External, "http"},
        ResolveCase{"HTTPS://example.org", "", Target::External, "https"},
        ResolveCase{"mailto:a@example.org", "", Target::External, "mailto"},
        ResolveCase{"javascript:go()", "", Target::External, "javascript"},
        ResolveCase{"x-app+1.0:thing", "", Target::External, "x-app+1.0"},
        ResolveCase{"//cdn.example.org/a.js", "", Target::External, ""},
        ResolveCase{"data:text/plain,hi", "", Target::Inline, ""}, ResolveCase{"a:b.htm", "", Target::Outside, ""},
        ResolveCase{"./a:b.htm", "", Target::Local, "a:b.htm"},
        ResolveCase{"1a:b.htm", "", Target::Local, "1a:b.htm"}));

TEST(Resolve, BaseDecidesTheFolder) {
    Resolved folderBase = ResolveReference("docs/", "sub");
    EXPECT_EQ(ResolveReference("a.htm", "sub", &folderBase).path, "sub/docs/a.htm");
    Resolved pageBase = ResolveReference("docs/index.htm", "");
    EXPECT_EQ(ResolveReference("../a.htm", "", &pageBase).path, "a.htm");
    Resolved webBase = ResolveReference("https://example.org/x/", "");
    EXPECT_EQ(ResolveReference("a.htm", "", &webBase).target, Target::External);
    EXPECT_EQ(ResolveReference("a.htm", "", &webBase).scheme, "https");
    Resolved outsideBase = ResolveReference("file:///c:/", "");
    EXPECT_EQ(ResolveReference("a.htm", "", &outsideBase).target, Target::Outside);
    // A reference with a scheme of its own ignores the base.
    EXPECT_EQ(ResolveReference("mailto:a@example.org", "", &folderBase).scheme, "mailto");
}

struct CssCase {
    const char* text;
    std::vector<std::pair<std::string, int>> references;
};

void PrintTo(const CssCase& c, std::ostream* os) { *os << c.text; }

class Css : public ::testing::TestWithParam<CssCase> {};

TEST_P(Css, FindsUrlsAndImportsWithTheirLines) {
    std::vector<publish::detail::RawReference> out;
    publish::detail::ScanCss(GetParam().text, 10, out);
    std::vector<std::pair<std::string, int>> got;
    for (const auto& r : out)
        got.emplace_back(r.text, r.line);
    EXPECT_EQ(got, GetParam().references);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Css,
    ::testing::Values(
        CssCase{"a { background: url(x.png) }", {{"x.png", 10}}},
        CssCase{"a{background:URL( \"y.png\" )}\nb{background:url('z.png')}", {{"y.png", 10}, {"z.png", 11}}},
        CssCase{"@import 'a.css';\r\n@import url(b.css) screen;\r@IMPORT \"c.css\";",
                {{"a.css", 10}, {"b.css", 11}, {"c.css", 12}}},
        CssCase{"/* url(no.png)\n */ p { content: \"url(no.png)\"; }\n@import\n  'd.css';", {{"d.css", 13}}},
        CssCase{"p { background: url(sp\\ ace.png) } q { background: url('\\41 b.png') }",
                {{"sp ace.png", 10}, {"Ab.png", 10}}},
        CssCase{"p { background: url(  x.png  ) } q { x: my-url(y.png) } r { x: u\\rl(z.png) }",
                {{"x.png", 10}, {"z.png", 10}}},
        CssCase{"p { x: 'unclosed\n} q { background: url(after.png) }", {{"after.png", 11}}},
        CssCase{"@font-face { src: url(f.woff2) format('woff2'), url(f.woff) }", {{"f.woff2", 10}, {"f.woff", 10}}},
        CssCase{"p { color: red }", {}}));

TEST(Srcset, CandidatesInOrder) {
    using V = std::vector<std::string>;
    EXPECT_EQ(publish::detail::SrcsetUrls("a.png"), V({"a.png"}));
    EXPECT_EQ(publish::detail::SrcsetUrls(" a.png 1x,\n b.png  2x , c.png 300w"), V({"a.png", "b.png", "c.png"}));
    EXPECT_EQ(publish::detail::SrcsetUrls("a.png,b.png"), V({"a.png,b.png"})); // no space: one URL
    EXPECT_EQ(publish::detail::SrcsetUrls("a.png, b.png"), V({"a.png", "b.png"}));
    EXPECT_EQ(publish::detail::SrcsetUrls("a,b.png 1x, c.png"), V({"a,b.png", "c.png"}));
    EXPECT_EQ(publish::detail::SrcsetUrls("a.png (x, y) 1x, d.png"), V({"a.png", "d.png"}));
    EXPECT_EQ(publish::detail::SrcsetUrls(" , "), V());
}

TEST(ScanHtml, AnchorsBaseAndCharacterReferences) {
    publish::detail::PageScan scan =
        publish::detail::ScanHtml("<html><head><base href=\"sub/\"><base href=\"other/\"></head>\r\n"
                                  "<body><h1 id=\"top-1\">T</h1><a name=\"n1\" href=\"a.htm?x=1&amp;y=2\">a</a>\r"
                                  "<p name=\"not-an-anchor\" id=\"p&#233;\">\n"
                                  "<img\n alt=\"x\"\n src=\"caf&eacute;.png\"></body></html>");
    EXPECT_TRUE(scan.hasBase);
    EXPECT_EQ(scan.base.text, "sub/");
    EXPECT_EQ(scan.base.line, 1);
    std::unordered_set<std::string> anchors = {"top-1", "n1", "p\xC3\xA9"};
    EXPECT_EQ(scan.anchors, anchors);
    ASSERT_EQ(scan.references.size(), 2u);
    EXPECT_EQ(scan.references[0].text, "a.htm?x=1&y=2");
    EXPECT_EQ(scan.references[0].line, 2);
    EXPECT_EQ(scan.references[1].text, "caf\xC3\xA9.png");
    EXPECT_EQ(scan.references[1].line, 6);
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string text; // UTF-8
    std::string charset;
    bool declared;
    bool nonAscii;
    bool xml = false;
    const char* sheetOfPage = nullptr; // a style sheet loaded by a page in this character set ("": undeclared)
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, AsTheViewersRead) {
    const DecodeCase& c = GetParam();
    using namespace publish::detail;
    Decoded d =
        c.sheetOfPage ? DecodeStyleSheet(c.bytes, c.sheetOfPage, *c.sheetOfPage != '\0') : DecodePage(c.bytes, c.xml);
    EXPECT_EQ(d.text, c.text);
    EXPECT_EQ(d.charset, c.charset);
    EXPECT_EQ(d.declared, c.declared);
    EXPECT_EQ(d.nonAscii, c.nonAscii);
}

const std::string kPad(1100, ' ');

INSTANTIATE_TEST_SUITE_P(
    Forms, Decode,
    ::testing::Values(
        DecodeCase{"UndeclaredUtf8IsWindows1252", "caf\xC3\xA9", "caf\xC3\x83\xC2\xA9", "windows-1252", false, true},
        DecodeCase{"Windows1252BeyondLatin1", "\x80\x81\x9F\xFF", "\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF",
                   "windows-1252", false, true},
        DecodeCase{"AsciiOnly", "<p>x</p>", "<p>x</p>", "windows-1252", false, false},
        DecodeCase{"MetaCharset", "<META CHARSET=UTF-8><p>\xC3\xA9", "<META CHARSET=UTF-8><p>\xC3\xA9", "utf-8", true,
                   true},
        DecodeCase{"ContentTypeLatin1IsWindows1252",
                   "<meta content='text/html; charset=\"latin1\"' http-equiv=Content-Type>\x80",
                   "<meta content='text/html; charset=\"latin1\"' http-equiv=Content-Type>\xE2\x82\xAC", "windows-1252",
                   true, true},
        DecodeCase{"BadUtf8BytesAreReplaced", "<meta charset=utf-8>\xE9.", "<meta charset=utf-8>\xEF\xBF\xBD.", "utf-8",
                   true, true},
        DecodeCase{"ByteOrderMarkWins", "\xEF\xBB\xBF<meta charset=koi8-r>\xC3\xA9", "<meta charset=koi8-r>\xC3\xA9",
                   "utf-8", true, true},
        DecodeCase{"Utf16LittleEndian", std::string("\xFF\xFE<\0p\0>\0\xE9\0\n\0", 12), "<p>\xC3\xA9\n", "utf-16le",
                   true, true},
        DecodeCase{"Utf16BigEndianPair", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6), "\xF0\x9F\x98\x80", "utf-16be",
                   true, true},
        DecodeCase{"OtherCharsetByTheConverter", "<meta charset=koi8-r>\xC1", "<meta charset=koi8-r>\xD0\xB0", "koi8-r",
                   true, true},
        DecodeCase{"Utf16LabelInTheFileIsUtf8", "<meta charset=utf-16>\xC3\xA9", "<meta charset=utf-16>\xC3\xA9",
                   "utf-8", true, true},
        DecodeCase{"UnknownLabelIsNoDeclaration", "<meta charset=x-none>\xE9", "<meta charset=x-none>\xC3\xA9",
                   "windows-1252", false, true},
        DecodeCase{"MetaBeyond1024Bytes", kPad + "<meta charset=utf-8>\xC3\xA9",
                   kPad + "<meta charset=utf-8>\xC3\x83\xC2\xA9", "windows-1252", false, true},
        DecodeCase{"MetaInAComment", "<!-- <meta charset=utf-8> -->\xE9", "<!-- <meta charset=utf-8> -->\xC3\xA9",
                   "windows-1252", false, true},
        DecodeCase{"MetaInAnAttribute", "<p title='<meta charset=utf-8>'>\xE9",
                   "<p title='<meta charset=utf-8>'>\xC3\xA9", "windows-1252", false, true},
        DecodeCase{"XmlIsUtf8", "<p>\xC3\xA9", "<p>\xC3\xA9", "utf-8", true, true, true},
        DecodeCase{"XmlDeclaration", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\xE9",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\xC3\xA9", "windows-1252", true, true, true},
        DecodeCase{"SheetInItsPagesCharset", "a{b:url(\xC3\xA9)}", "a{b:url(\xC3\xA9)}", "utf-8", true, true, false,
                   "utf-8"},
        DecodeCase{"SheetOfAnUndeclaredPage", "a{b:url(\xC3\xA9)}", "a{b:url(\xC3\x83\xC2\xA9)}", "windows-1252", false,
                   true, false, ""},
        DecodeCase{"SheetCharsetRule", "@charset \"utf-8\";\xC3\xA9", "@charset \"utf-8\";\xC3\xA9", "utf-8", true,
                   true, false, ""},
        DecodeCase{"SheetCharsetRuleOnlyInItsExactForm", "@charset 'utf-8';\xE9", "@charset 'utf-8';\xC3\xA9",
                   "windows-1252", false, true, false, ""}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(ScanHtml, NamesComeOutInUtf8FromTheDeclaredCharset) {
    auto latin1 = publish::detail::ScanHtml(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"></head>\n"
        "<body><p>\xFC</p>\n<a href=\"caf\xE9.htm\">x</a></body></html>");
    ASSERT_EQ(latin1.references.size(), 1u);
    EXPECT_EQ(latin1.references[0].text, "caf\xC3\xA9.htm");
    EXPECT_EQ(latin1.references[0].line, 3);
    EXPECT_EQ(latin1.charset, "windows-1252");
    EXPECT_TRUE(latin1.charsetDeclared);
}

TEST(ScanHtml, LinesAreThePagesOwn) {
    // A form feed ends a line of a style sheet file; inside a page only the page's own line ends count.
    auto scan = publish::detail::ScanHtml("<p>\n<div style=\"\f\fbackground:url(a.png)\"></div>\n"
                                          "<style>\f\f@import \"b.css\";</style>\n");
    std::vector<std::pair<std::string, int>> got;
    for (const auto& r : scan.references)
        got.emplace_back(r.text, r.line);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"a.png", 2}, {"b.css", 3}}));
    std::vector<publish::detail::RawReference> sheet;
    publish::detail::ScanCss("\f\f@import \"b.css\";", 1, sheet);
    ASSERT_EQ(sheet.size(), 1u);
    EXPECT_EQ(sheet[0].line, 3);

    // A '<' inside a quoted value does not start the tag: the line is where the attribute is.
    auto quoted = publish::detail::ScanHtml("<p>\n<img alt=\"a\n<b\"\n src=\"c.png\"\n title='<x'>");
    ASSERT_EQ(quoted.references.size(), 1u);
    EXPECT_EQ(quoted.references[0].line, 4);
}

} // namespace
