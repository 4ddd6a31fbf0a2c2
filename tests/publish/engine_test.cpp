// The engine's rules: a planted project with each construct the Windows viewer's engine lacks beside the
// counterpart it handles, the style rules one snippet at a time, and pictures by their first bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "publish/engine/pictures.h"
#include "publish/engine/styles.h"
#include "publish/engine/tally.h"
#include "publish/check/references.h"
#include "publish/publish.h"
#include "publish_test_support.h"

namespace {

using namespace publish_test;
using testing_support::TempDir;

constexpr auto E = publish::Severity::Error;
constexpr auto W = publish::Severity::Warning;
constexpr auto N = publish::Severity::Note;

const std::string kWebp = std::string("RIFF\x24\0\0\0WEBPVP8 ", 16) + std::string(24, '\0');
const std::string kAvif = std::string("\0\0\0\x1C" "ftypavif\0\0\0\0avifmif1miaf", 28) + std::string(8, '\0');
const std::string kPng = "\x89PNG\r\n\x1a\n" + std::string(24, '\0');
const std::string kJpeg = "\xFF\xD8\xFF\xE0" + std::string(28, '\0');

void PlantProject(const TempDir& d) {
    WriteGoodProject(d);
    WriteBytes(d / "index.htm",
               "<!DOCTYPE html>\n"                                                                      // 1
               "<html><head><meta charset=\"utf-8\">\n"                                                 // 2
               "<link rel=\"stylesheet\" href=\"site.css\">\n"                                          // 3
               "<style>\n"                                                                              // 4
               ".a { display: flex; gap: 1em; }\n"                                                      // 5
               "@supports (position: sticky) { .b { position: sticky; } }\n"                            // 6
               ".c { color: red; color: var(--accent); }\n"                                             // 7
               "</style>\n"                                                                             // 8
               "</head><body>\n"                                                                        // 9
               "<p style=\"text-decoration: none; border-radius: 3px; box-shadow: 0 0 1px #000; opacity: .5\">o</p>\n"
               "<div style=\"position: sticky\">s</div>\n"                                              // 11
               "<details open><summary>More</summary>text</details>\n"                                       // 12
               "<input type=\"date\"> <input type=\"text\">\n"                                          // 13
               "<img src=\"photo.jpg\" alt=\"\">\n"                                                     // 14
               "<picture><source srcset=\"modern.webp\" type=\"image/webp\"><img src=\"old.png\" alt=\"\"></picture>\n"
               "<video poster=\"still.jpg\"></video>\n"                                                 // 16
               "<a href=\"sub/b.htm\">b</a>\n"                                                          // 17
               "<script src=\"app.js\"></script>\n"                                                     // 18
               "<script>let ok = 1; const fine = 2;</script>\n"                                          // 19
               "<script type=\"text/javascript\">\n"                                                     // 20
               "var later = 1;\n"                                                                        // 21
               "class Widget {}\n"                                                                       // 22
               "</script>\n"                                                                             // 23
               "<button onclick=\"run(() => 1)\" onmouseover=\"run(function () { return 1; })\">go</button>\n"
               "<script type=\"module\" src=\"m.js\"></script>\n"                                        // 25
               "<script src=\"broken.js\"></script><script type=\"text/x-template\">${not} => js</script>\n"
               // A second WebP picture, in a srcset with nothing else to show; an AVIF poster; a srcset beside a
               // src the engine shows instead.
               "<img srcset=\"small.webp 1x, old.png 2x\" alt=\"\"><video poster=\"clip.avif\"></video>"
               "<img srcset=\"modern.webp\" src=\"old.png\" alt=\"\">\n"                                    // 27
               "</body></html>\n");
    WriteBytes(d / "small.webp", kWebp);
    WriteBytes(d / "clip.avif", kAvif);
    WriteBytes(d / "app.js", "let a = 1;\nconst b = 2;\nif (window.fetch) { fetch('x'); }\nvar f = (x) => x;\nfetch('y');\n");
    WriteBytes(d / "m.js", "export const m = () => 1;\n");
    WriteBytes(d / "broken.js", "var = ;\n");
    WriteBytes(d / "site.css",
               ":root { --accent: #c00; }\n"                                                            // 1
               ".nav { position: sticky; top: 0; }\n"                                                   // 2
               ".nav:has(a) { color: blue; }\n"                                                         // 3
               ".card { .title { font-weight: bold; } }\n"                                              // 4
               ".w { width: min(10em, 50%); }\n"                                                        // 5
               ".logo { background: url(logo.png); }\n"                                                 // 6
               "@font-face { font-family: A; src: url(a.woff2) format(\"woff2\"); }\n"                  // 7
               "@font-face { font-family: B; src: url(b.woff2) format(\"woff2\"), url(b.woff) format(\"woff\"); }\n"
               ".f { display: -ms-grid; display: grid; }\n"                                             // 9
               ".g { display: grid; }\n");                                                              // 10
    WriteBytes(d / "photo.jpg", kWebp); // a WebP picture, whatever its name says
    WriteBytes(d / "modern.webp", kWebp);
    WriteBytes(d / "old.png", kPng);
    WriteBytes(d / "still.jpg", kJpeg);
    WriteBytes(d / "logo.png", kAvif);
    for (const char* font : {"a.woff2", "b.woff2", "b.woff"})
        WriteBytes(d / font, "wOF2");
}

TEST(EngineRules, PlantedProjectFindsWhatTheEngineLacksAndNothingItHandles) {
    TempDir dir;
    PlantProject(dir);
    publish::CheckResult result = publish::CheckProject(dir.Path());
    const std::vector<Expected> expected = {
        {W, "windows-script", "app.js", 4, {}},  // the arrow function; let and const go through
        {W, "windows-api", "app.js", 5, {}},     // fetch, the guarded use left alone
        {W, "script-syntax", "broken.js", 1, {}},
        {W, "windows-css", "index.htm", 5, {}},   // flex gap
        {W, "windows-css", "index.htm", 11, {}},  // position: sticky in a style attribute
        {W, "windows-html", "index.htm", 12, {}}, // <details>
        {W, "windows-html", "index.htm", 12, {}}, // <summary>
        {W, "windows-html", "index.htm", 13, {}}, // input type="date"
        {E, "windows-image", "index.htm", 14, {}},
        {W, "windows-script", "index.htm", 22, {}}, // the class of an inline block
        {W, "windows-script", "index.htm", 24, {}}, // the arrow function of a handler
        {N, "windows-script", "index.htm", 25, {}}, // a module script, as before
        {E, "windows-image", "index.htm", 27, {}},  // the AVIF poster
        {W, "windows-css", "site.css", 1, {}},  // custom property
        {W, "windows-css", "site.css", 2, {}},  // position: sticky
        {W, "windows-css", "site.css", 3, {}},  // :has()
        {W, "windows-css", "site.css", 4, {}},  // nested rule
        {W, "windows-css", "site.css", 5, {}},  // min()
        {E, "windows-image", "site.css", 6, {}}, // AVIF named .png
        {W, "windows-font", "site.css", 7, {}},
        {W, "windows-css", "site.css", 10, {}}, // display: grid without its -ms- fallback
    };
    EXPECT_EQ(Brief(result), expected);
    std::vector<std::string> messages;
    for (const publish::Finding& f : result.findings)
        messages.push_back(f.message);
    const std::string css = "The Windows viewer does not know this style, so readers on Windows see the page without it: ";
    const std::string html = "The Windows viewer does not know this part of the page: ";
    const std::string image = "The Windows viewer cannot show this picture, so readers on Windows see a broken picture: ";
    const std::string script = "The Windows viewer cannot run this script, so readers on Windows get the page without it: ";
    const std::vector<std::string> expectedMessages = {
        script + "arrow function.",
        "The Windows viewer's scripts have no fetch.",
        "This script cannot be read by any browser: the first error is on this line.",
        css + "flex gap.",
        css + "position: sticky.",
        html + "<details> element.",
        html + "<summary> element.",
        html + "input type \"date\", shown as a plain text field.",
        image + "WebP picture (2 uses in this file, the first here).",
        script + "class.",
        script + "arrow function.",
        script + "module script (<script type=\"module\">).",
        image + "AVIF picture.",
        css + "CSS custom property.",
        css + "position: sticky.",
        css + ":has() selector.",
        css + "nested rule.",
        css + "min() function.",
        image + "AVIF picture.",
        "The Windows viewer cannot read this font, so readers on Windows see another one: web font offered only as "
        "WOFF2.",
        css + "display: grid.",
    };
    EXPECT_EQ(messages, expectedMessages);
    EXPECT_EQ(result.errors, 3);
    EXPECT_EQ(result.warnings, 17);
    EXPECT_EQ(result.notes, 1);
}

TEST(EngineRules, OffLeavesTheLinkCheckAlone) {
    TempDir dir;
    PlantProject(dir);
    publish::CheckOptions options;
    options.engineRules = false;
    EXPECT_EQ(Brief(publish::CheckProject(dir.Path(), options)), std::vector<Expected>{});
}

// Each snippet of a style sheet file, with the findings of its rules: kind:line:what, and uses beyond one.
struct StyleCase {
    const char* css;
    std::vector<std::string> findings;
};

std::vector<std::string> Styles(const std::string& css, bool declarationsOnly) {
    publish::engine::Tally tally;
    publish::engine::StyleScanner styles(tally, declarationsOnly);
    std::vector<publish::detail::RawReference> references;
    publish::detail::ScanCss(css, 1, references, &styles);
    std::vector<std::string> out;
    for (const publish::Finding& f : tally.Findings("s.css")) {
        std::string text = f.kind + ":" + std::to_string(f.line) + ":";
        size_t colon = f.message.find(": ");
        text += f.message.substr(colon + 2, f.message.size() - colon - 3);
        out.push_back(text);
    }
    return out;
}

TEST(EngineRules, StyleSheetsOneConstructAtATime) {
    const StyleCase cases[] = {
        // what the engine handles
        {"a { text-decoration: none; border-radius: 3px; box-shadow: 0 1px red; opacity: .5; display: flex }", {}},
        {"a:hover::before, b:first-child, c:not(.x) { content: 'x'; width: calc(100% - 2px) }", {}},
        {"@media print { a { color: black } } @import 'b.css'; @charset \"utf-8\";", {}},
        {"a { font-family: system-ui, -apple-system, 'Segoe UI', sans-serif }", {}},
        {"a { -webkit-appearance: none; display: -webkit-box } ::-webkit-scrollbar { width: 0 }", {}},
        {"@supports (display: grid) { a { display: grid; gap: 1px; color: var(--x) } }", {}},
        {"a { position: relative; position: sticky }", {}},
        {"@font-face { src: url(x.eot); src: url(x.woff2) format('woff2'), url(x.ttf) format('truetype') }", {}},
        // what it lacks
        {"a { --x: 1px;\n margin: var(--x) var( --x) }",
         {"windows-css:1:CSS custom property (3 uses in this file, the first here)"}},
        {"a { margin-inline-start: 1em }", {"windows-css:1:CSS property \"margin-inline-start\""}},
        {"a { filter: invert(1) }", {"windows-css:1:CSS property \"filter\""}}, // its values go with it
        {"a { color: red }\n\na:focus-visible { outline: 0 }\nb::backdrop {}",
         {"windows-css:3::focus-visible selector", "windows-css:4:::backdrop pseudo-element"}},
        {"a { width: clamp(1px, 2vw, 3px); height: max(1px, 2px) }",
         {"windows-css:1:clamp() function", "windows-css:1:max() function"}},
        {"@layer base { a { position: sticky } }\n@media screen { a { b { c: d } } }",
         {"windows-css:1:@layer rule", "windows-css:2:nested rule"}},
        {"a { color: red; &:hover { color: blue } }", {"windows-css:1:nested rule"}},
        {"a { color: red;\n{ b: c } }", {"windows-css:2:nested rule"}}, // a block with nothing before it
        {"a { position: sticky }\nb { position: sticky }",
         {"windows-css:1:position: sticky (2 uses in this file, the first here)"}},
        {"@font-face {\n src: url(x.woff2?v=1) }", {"windows-font:1:web font offered only as WOFF2"}},
    };
    for (const StyleCase& c : cases)
        EXPECT_EQ(Styles(c.css, false), c.findings) << c.css;
    // A style attribute holds declarations alone.
    EXPECT_EQ(Styles("color: var(--c); gap: 2px", true),
              (std::vector<std::string>{"windows-css:1:CSS custom property", "windows-css:1:flex gap"}));
}

TEST(EngineRules, PicturesByTheirFirstBytes) {
    using publish::engine::UndecodablePicture;
    const std::pair<std::string, std::string_view> rows[] = {
        {kWebp, "WebP picture"},
        {kAvif, "AVIF picture"},
        {std::string("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24), "HEIF picture"},
        {std::string("\0\0\0\x0CJXL \r\n\x87\n", 12), "JPEG XL picture"},
        {"\xFF\x0A\x00\x00", "JPEG XL picture"},
        {kPng, ""},
        {kJpeg, ""},
        {"GIF89a", ""},
        {"RIFF\x24\0\0\0WAVE", ""},
        {std::string("\0\0\0\x18" "ftypisom\0\0\0\0mp41", 20), ""},
        {"", ""},
    };
    for (const auto& [head, what] : rows)
        EXPECT_EQ(UndecodablePicture(head), what) << head;
}

} // namespace
