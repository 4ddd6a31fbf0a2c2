// The rules for pages: elements, attributes and input types asked of the support table; scripts passed on.
#include "publish/engine/pages.h"

#include "publish/ascii.h"
#include "publish/engine/compat_table.h"
#include "publish/engine/scripts.h"

namespace publish::engine {

namespace {

bool IsHandler(std::string_view name) { return name.size() > 2 && name.compare(0, 2, "on") == 0; }

} // namespace

bool IsClassicScript(std::string_view type) {
    std::string t = ascii::TrimmedLower(type);
    if (t.empty()) return true;
    size_t semicolon = t.find(';'); // "text/javascript; charset=utf-8"
    if (semicolon != std::string::npos) t = ascii::TrimmedLower(std::string_view(t).substr(0, semicolon));
    for (std::string_view known : {"text/javascript", "application/javascript", "application/x-javascript",
                                   "text/ecmascript", "application/ecmascript", "text/jscript", "javascript"})
        if (t == known) return true;
    return false;
}

PageScanner::PageScanner(Tally& tally, ScriptScanner* scripts) : tally_(tally), scripts_(scripts) {}

void PageScanner::StartElement(std::string_view tag, const Attributes& attributes, const LineOf& lineOf) {
    const std::string_view element = tag;
    bool elementLacking = false;
    path_.assign("html.elements.").append(element);
    if (tag == "picture") {
        // Without an <img> inside, the engine shows nothing; with one it shows that <img>.
        pictures_.emplace_back(lineOf({}), false);
    } else if (tag == "img" && !pictures_.empty()) {
        pictures_.back().second = true;
    } else if (tag == "source" && !pictures_.empty()) {
        // Skipped by the engine together with its <picture>: the <img> is what it shows.
    } else if (EngineLacks(path_)) {
        // The attributes of an element the engine lacks go with it.
        std::string what = "<";
        what.append(element).append("> element");
        tally_.Add("windows-html", Severity::Warning, what, lineOf({}));
        elementLacking = true;
    }
    for (const auto& [name, value] : attributes) {
        if (IsHandler(name)) {
            if (scripts_) scripts_->ScanHandler(value, lineOf(name), tally_);
            continue;
        }
        if (tag == "input" && name == "type") {
            std::string type = ascii::TrimmedLower(value);
            if (!type.empty() && EngineLacks("html.elements.input.type_" + type))
                tally_.Add("windows-html", Severity::Warning,
                           "input type \"" + type + "\", shown as a plain text field", lineOf(name));
            continue;
        }
        if (tag == "script" && name == "type") {
            if (ascii::TrimmedLower(value) == "module")
                tally_.Add("windows-script", Severity::Note, "module script (<script type=\"module\">)", lineOf(name));
            continue;
        }
        // srcset and sizes beside a src: the engine shows the src, which the check judges as a picture.
        if (elementLacking || ((name == "srcset" || name == "sizes") && tag == "img")) continue;
        path_.assign("html.elements.").append(element).append(".").append(name);
        if (EngineLacks(path_)) {
            std::string what = "\"";
            what.append(name).append("\" attribute of <").append(element).append(">");
            tally_.Add("windows-html", Severity::Warning, what, lineOf(name));
        }
    }
}

void PageScanner::EndElement(std::string_view tag) {
    if (tag != "picture" || pictures_.empty()) return;
    auto [line, hasImg] = pictures_.back();
    pictures_.pop_back();
    if (!hasImg) tally_.Add("windows-html", Severity::Warning, "<picture> element without an <img>", line);
}

void PageScanner::Script(std::string_view text, int firstLine) {
    if (scripts_) scripts_->Scan(text, firstLine, tally_);
}

}  // namespace publish::engine
