// The script scanner on snippets: the exact findings for each construct, and none for what the engine runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

#include "publish/engine/scripts.h"
#include "publish/engine/tally.h"

namespace {

using publish::Finding;
using publish::Severity;
using publish::engine::EngineMessage;
using publish::engine::ScriptScanner;
using publish::engine::Tally;

struct Expected {
    const char* kind;
    const char* what;
    int line;
    int count;
};

std::vector<std::string> Describe(const std::vector<Finding>& findings) {
    std::vector<std::string> lines;
    for (const Finding& f : findings)
        lines.push_back(f.kind + " " + publish::SeverityName(f.severity) + " " + f.file + ":" + std::to_string(f.line) +
                        " " + f.message);
    return lines;
}

std::vector<std::string> Describe(const std::vector<Expected>& expected) {
    std::vector<std::string> lines;
    for (const Expected& e : expected)
        lines.push_back(std::string(e.kind) + " warning page.js:" + std::to_string(e.line) + " " +
                        EngineMessage(e.kind, e.what, e.count));
    return lines;
}

struct Row {
    const char* source;
    std::vector<Expected> expected;
};

void ExpectFindings(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        ScriptScanner scanner;
        Tally tally;
        scanner.Scan(row.source, 1, tally);
        EXPECT_EQ(Describe(tally.Findings("page.js")), Describe(row.expected)) << row.source;
    }
}

constexpr const char* S = "windows-script";
constexpr const char* A = "windows-api";

TEST(ScriptScanner, NamesEachConstructAfterEs5) {
    ExpectFindings({
        {"var f = x => x;", {{S, "arrow function", 1, 1}}},
        {"var a = 1;\r\nvar f = () => 1,\r  g = async () => 2;",
         {{S, "arrow function", 2, 2}, {S, "async function", 3, 1}}},
        {"class A extends B {}", {{S, "class", 1, 1}}},
        {"var C = class {};", {{S, "class", 1, 1}}},
        {"var s = `a ${b}`;", {{S, "template literal", 1, 1}}},
        {"var {a, b: [c]} = o;", {{S, "destructuring", 1, 1}}},
        {"[a, b] = [b, a];", {{S, "destructuring", 1, 1}}},
        {"function f(a, b = 1) {}", {{S, "default parameter", 1, 1}}},
        {"function f(a, ...rest) {}", {{S, "rest parameter", 1, 1}}},
        {"f(...args); var a = [...b];", {{S, "spread syntax", 1, 2}}},
        {"for (var x of list) {}", {{S, "for...of loop", 1, 1}}},
        {"function* g() { yield 1; }", {{S, "generator function", 1, 1}}},
        {"async function f() {\n  await g();\n}", {{S, "async function", 1, 1}, {S, "await", 2, 1}}},
        {"var o = {a};", {{S, "shorthand property", 1, 1}}},
        {"var o = {[k]: 1};", {{S, "computed property name", 1, 1}}},
        {"var o = {m() {}, get() {}};", {{S, "method shorthand", 1, 2}}},
        {"var x = 2 ** 3;", {{S, "exponent operator **", 1, 1}}},
        {"var x = a ?? b;", {{S, "nullish coalescing operator ??", 1, 1}}},
        {"var x = a?.b;", {{S, "optional chaining (?.)", 1, 1}}},
        {"f(a,\n  b,\n);", {{S, "trailing comma in a call", 1, 1}}},
        {"import x from './y.js';\nexport var z = 1;",
         {{S, "import declaration", 1, 1}, {S, "export declaration", 2, 1}}},
        {"var r = /a/u, s = /a/y, t = /a/gs;",
         {{S, "regular expression flag u", 1, 1},
          {S, "regular expression flag y", 1, 1},
          {S, "regular expression flag s", 1, 1}}},
        {"var n = 0b101;", {{S, "binary number literal", 1, 1}}},
        {"var s = '\\u{1F600}';", {{S, "Unicode code point escape \\u{...}", 1, 1}}},
        {"try { f(); } catch { }", {{S, "catch without a binding", 1, 1}}},
    });
}

TEST(ScriptScanner, LeavesWhatTheEngineReads) {
    ExpectFindings({
        {"let a = 1;\nconst b = 2;\nfor (let i = 0; i < 3; i++) {}", {}},
        {"var o = { get x() { return 1; }, set x(v) {}, 'y': [1, 2,], };", {}},
        {"var r = /a[b]+/gim; var n = 0x1F + 017 + 1e3;", {}},
        {"function f(a, b) { return a < b ? a : b; } label: for (var k in o) { continue label; }", {}},
        {"<!-- an old hiding comment\nvar a = 1;\n-->", {}},
    });
}

TEST(ScriptScanner, ScriptNoEngineReadsIsOneFindingAtItsFirstError) {
    ExpectFindings({
        {"var a = 1;\nvar b = ;\nvar c = () => 1;\nvar d = ;",
         {{"script-syntax", "the first error is on this line", 2, 1}}},
        {"var a = 1;\nvar e = <div>{a}</div>;",
         {{"script-syntax", "JSX markup, which only a build step turns into a script", 2, 1}}},
        {"function f( {", {{"script-syntax", "the first error is on this line", 1, 1}}},
    });
}

TEST(ScriptScanner, NamesInterfacesTheEngineLacks) {
    ExpectFindings({
        {"fetch('a.json');\nwindow.fetch('b.json');", {{A, "fetch", 1, 2}}},
        {"self.requestIdleCallback(f);", {{A, "requestIdleCallback", 1, 1}}},
        {"var p = new Promise(function (r) { r(); });", {{A, "Promise", 1, 1}}},
        {"var o = new IntersectionObserver(cb);", {{A, "IntersectionObserver", 1, 1}}},
        {"var q = new URLSearchParams(location.search);", {{A, "URLSearchParams", 1, 1}}},
        {"Object.assign(a, b);\nObject.entries(a);\nArray.from(a);",
         {{A, "Object.assign", 1, 1}, {A, "Object.entries", 2, 1}, {A, "Array.from", 3, 1}}},
        {"if ('abc'.includes(x)) {}", {{A, "String.prototype.includes", 1, 1}}},
        {"var ok = name.toLowerCase().startsWith('a') || s.endsWith('b');",
         {{A, "String.prototype.startsWith", 1, 1}, {A, "String.prototype.endsWith", 1, 1}}},
        {"[1, 2].find(f);", {{A, "Array.prototype.find", 1, 1}}},
        {"list.includes(x);", {{A, "Array.prototype.includes or String.prototype.includes", 1, 1}}},
        {"navigator.clipboard.writeText(t);\nwindow.navigator.clipboard.writeText(t);",
         {{A, "navigator.clipboard", 1, 2}}},
        {"document.querySelectorAll('a').forEach(f);", {{A, "NodeList.prototype.forEach", 1, 1}}},
        {"el.dispatchEvent(new CustomEvent('open'));\nvar u = new URL(href);",
         {{A, "CustomEvent constructor", 1, 1}, {A, "URL constructor", 2, 1}}},
    });
}

TEST(ScriptScanner, LeavesGuardedAndLocalUses) {
    ExpectFindings({
        {"if (typeof fetch !== 'undefined') { fetch('a'); }", {}},
        {"if ('fetch' in window) fetch('a'); else legacy();", {}},
        {"if (window.fetch) { window.fetch('a'); }", {}},
        {"window.fetch && window.fetch('a');", {}},
        {"var p = window.Promise ? new Promise(f) : null;", {}},
        {"function g() {\n  if (!window.IntersectionObserver) return;\n  new IntersectionObserver(cb);\n}", {}},
        {"if (navigator.clipboard) navigator.clipboard.writeText(t);", {}},
        {"function fetch(u) { return u; }\nfetch('a');", {}},
        {"var Promise = Lib.Promise; new Promise(f);", {}},
        {"if (!Object.assign) { Object.assign = function () {}; }\nObject.assign(a, b);", {}},
        {"$('div').find('pre'); list.forEach(f); Object.keys(o).forEach(f); s.indexOf('a');", {}},
        {"function View() { var self = this; self.requestIdleCallback(); }", {}},
        {"var e = document.querySelector('p'); e.addEventListener('click', f); new Map(); JSON.parse(t);", {}},
        {"try { e = new CustomEvent('open'); } catch (x) { e = document.createEvent('CustomEvent'); }", {}},
        {"try { fetch('a'); } catch (x) {}\nvar r = new XMLHttpRequest();", {}},
    });
}

TEST(ScriptScanner, HandlersAndRepeatedBlocksCountAtTheirLines) {
    ScriptScanner scanner;
    Tally tally;
    const char* block = "var f = () => 1;\nfetch('a');";
    scanner.Scan(block, 20, tally);
    scanner.Scan("let a = 1;", 3, tally);
    scanner.Scan(block, 5, tally); // the same text again, read from the cache
    scanner.ScanHandler("return fetch(this.href), false", 9, tally);
    EXPECT_EQ(Describe(tally.Findings("page.js")), Describe(std::vector<Expected>{
                                                       {S, "arrow function", 5, 2},
                                                       {A, "fetch", 6, 3},
                                                   }));
}

// Scripts the check does not read are a note: one too big, and one whose parse would need more stack
// entries than the parser's nodes can count (which, read to the end, frees memory it never allocated).
TEST(ScriptScanner, ReadsNoScriptBeyondItsBounds) {
    std::string comments;
    for (int i = 0; i < 70000; ++i)
        comments += "/**/";
    struct Row {
        std::string source;
        const char* what;
    } rows[] = {
        {std::string(4u << 20, ' ') + "var f = () => 1;", "it is over 4 MB"},
        {"var x = " + std::string(70000, '('), "it nests deeper than the check reads"},
        {"var x = 1 +" + comments + " 2;", "it nests deeper than the check reads"},
    };
    for (const Row& row : rows) {
        ScriptScanner scanner;
        Tally tally;
        scanner.Scan(row.source, 4, tally);
        std::vector<Finding> findings = tally.Findings("page.html");
        ASSERT_EQ(findings.size(), 1u) << row.what;
        EXPECT_EQ(findings[0].severity, Severity::Note);
        EXPECT_EQ(findings[0].line, 4);
        EXPECT_EQ(findings[0].kind, "script-unread");
        EXPECT_EQ(findings[0].message, EngineMessage("script-unread", row.what, 1));
    }
    // Below the bound a deep script is read: 20,000 brackets, closed.
    ScriptScanner scanner;
    Tally tally;
    scanner.Scan("var x = " + std::string(20000, '(') + "a => 1" + std::string(20000, ')') + ";", 1, tally);
    EXPECT_EQ(Describe(tally.Findings("page.js")), Describe(std::vector<Expected>{{S, "arrow function", 1, 1}}));
}

// Data handed whole to a function or a variable (a search index) is JSON, which the engine reads: only the
// code around it is judged, however many members the data has, and a script that is more than that is
// read in full.
TEST(ScriptScanner, DataScriptsAreJudgedByTheCodeAroundTheirData) {
    std::string data = "{\"terms\": {\"\": [-2.5e3, true, null, {}, [], \"a => `b`\\u0041\\n\"]";
    for (int i = 0; i < 80000; ++i)  // more members than the parser gives one node
        data += ",\n\"t" + std::to_string(i) + "\": " + std::to_string(i);
    data += "}}";
    std::string oneLine = data;
    oneLine.erase(std::remove(oneLine.begin(), oneLine.end(), '\n'), oneLine.end());
    struct Row {
        std::string source;
        std::vector<Expected> expected;
    } rows[] = {
        {"Search.setIndex(" + data + ")", {}},
        {"var index = " + data + ";\n", {}},
        {"\n\nPromise.resolve(" + data + ");", {{A, "Promise.resolve", 3, 1}, {A, "Promise", 3, 1}}},
        // Not data alone: what follows it is code and is judged at its own line.
        {"var index = " + data + ";\nvar f = () => index;", {{S, "arrow function", 80002, 1}}},
        // Not data alone: the data is the object of a member, which 0 could not stand for.
        {"var terms = " + oneLine + ".terms;", {}},
        // Not JSON: a method among the members, and a shorthand property inside the object.
        {"var index = {\"m\"() { return 1; },\n" + data.substr(1) + ";", {{S, "method shorthand", 1, 1}}},
        {"var index = " + data.substr(0, data.size() - 2) + ", x}};", {{S, "shorthand property", 80001, 1}}},
    };
    for (const Row& row : rows) {
        ScriptScanner scanner;
        Tally tally;
        scanner.Scan(row.source, 1, tally);
        EXPECT_EQ(Describe(tally.Findings("page.js")), Describe(row.expected)) << row.source.substr(0, 40);
    }
}

// The script files of a manual's folder and the distinct inline blocks of its pages.
void ManualScripts(const std::string& scriptFolder, const std::string& pageFolder, std::vector<std::string>& names,
                   std::vector<std::string>& texts) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(fs::is_directory(scriptFolder)) << scriptFolder << " is missing: scripts/setup.sh installs it";
    std::set<fs::path> files;
    for (const auto& entry : fs::directory_iterator(scriptFolder))
        if (entry.path().extension() == ".js") files.insert(entry.path());
    for (const fs::path& file : files) {
        names.push_back(file.string());
        texts.push_back(testing_support::ReadBytes(file.string()));
    }
    std::map<std::string, std::string> blocks; // text, the first page holding it
    for (const auto& entry : fs::recursive_directory_iterator(pageFolder)) {
        if (entry.path().extension() != ".html") continue;
        std::string page = testing_support::ReadBytes(entry.path().string());
        for (size_t at = page.find("<script"); at != std::string::npos; at = page.find("<script", at + 1)) {
            size_t tagEnd = page.find('>', at);
            size_t close = page.find("</script>", tagEnd);
            if (tagEnd == std::string::npos || close == std::string::npos) break;
            if (page.substr(at, tagEnd - at).find("src=") != std::string::npos) continue;
            blocks.try_emplace(page.substr(tagEnd + 1, close - tagEnd - 1), entry.path().string());
        }
    }
    for (const auto& [text, page] : blocks) {
        names.push_back(page + ", a block of " + std::to_string(text.size()) + " bytes");
        texts.push_back(text);
    }
}

// The manuals' scripts: what the scanner flags as unreadable by the engine is exactly what acorn, an
// independent parser, cannot read as ES5 with let and const (tests/publish/es5_check.js says how).
TEST(ScriptScanner, AgreesWithAcornOnTheManualsScripts) {
    std::vector<std::string> names, texts;
    ManualScripts("/usr/share/doc/nodejs/api/assets", "/usr/share/doc/nodejs/api", names, texts);
    ManualScripts("/usr/share/doc/python3.11/html/_static", "/usr/share/doc/python3.11/html", names, texts);
    ASSERT_EQ(names.size(), texts.size());

    testing_support::TempDir dir;
    std::string command = "NODE_PATH=/usr/share/nodejs node " KVD_ES5_CHECK_JS;
    for (size_t i = 0; i < texts.size(); ++i) {
        testing_support::WriteBytes(dir / (std::to_string(i) + ".js"), texts[i]);
        command += " " + dir / (std::to_string(i) + ".js");
    }
    command += " >" + dir / "acorn.txt";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::istringstream acorn(testing_support::ReadBytes(dir / "acorn.txt"));

    std::vector<std::string> ours, theirs;
    int refused = 0;
    std::string line;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(std::getline(acorn, line)) << "acorn said nothing of " << names[i];
        bool acornRefuses = line.find("\trefuses") != std::string::npos;
        refused += acornRefuses;
        theirs.push_back(names[i] + (acornRefuses ? ": refused" : ": read"));

        ScriptScanner scanner;
        Tally tally;
        scanner.Scan(texts[i], 1, tally);
        bool flagged = false;
        for (const Finding& f : tally.Findings("x"))
            flagged |= (f.kind == "windows-script" || f.kind == "script-syntax") && f.severity == Severity::Warning;
        ours.push_back(names[i] + (flagged ? ": refused" : ": read"));
    }
    EXPECT_EQ(ours, theirs);
    // Both verdicts occur: the manuals' api.js and doctools.js are refused, their library files read.
    EXPECT_GE(refused, 5);
    EXPECT_LT(refused, static_cast<int>(texts.size()) - 5);
}

} // namespace
