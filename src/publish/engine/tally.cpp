// Findings gathered per document, kind and construct.
#include "publish/engine/tally.h"

namespace publish::engine {

void Tally::Add(std::string_view kind, Severity severity, std::string_view what, int line) {
    Key key{std::string(kind), std::string(what)};
    auto [it, inserted] = entries_.try_emplace(key);
    Entry& entry = it->second;
    if (inserted) {
        order_.push_back(key);
        entry.severity = severity;
        entry.line = line;
    } else if (line > 0 && (entry.line == 0 || line < entry.line)) {
        entry.line = line;  // blocks of a page may be scanned out of their order in the file
    }
    ++entry.count;
}

void Tally::LimitLines(int lastLine) {
    for (auto& [key, entry] : entries_)
        if (entry.line > lastLine) entry.line = lastLine;
}

std::vector<Finding> Tally::Findings(const std::string& file) const {
    std::vector<Finding> findings;
    for (const Key& key : order_) {
        const Entry& entry = entries_.at(key);
        Finding finding;
        finding.severity = entry.severity;
        finding.kind = key.first;
        finding.file = file;
        finding.line = entry.line;
        finding.message = EngineMessage(key.first, key.second, entry.count);
        findings.push_back(std::move(finding));
    }
    return findings;
}

bool IsEngineKind(std::string_view kind) {
    return kind.rfind("windows-", 0) == 0 || kind == "script-syntax" || kind == "script-unread";
}

std::string EngineMessage(std::string_view kind, std::string_view what, int count) {
    std::string lead;
    if (kind == "windows-script")
        lead = "The Windows viewer cannot run this script, so readers on Windows get the page without it: ";
    else if (kind == "script-syntax")
        lead = "This script cannot be read by any browser: ";
    else if (kind == "script-unread")
        lead = "The check did not read this script, so it cannot say whether the Windows viewer runs it: ";
    else if (kind == "windows-api")
        lead = "The Windows viewer's scripts have no ";
    else if (kind == "windows-css")
        lead = "The Windows viewer does not know this style, so readers on Windows see the page without it: ";
    else if (kind == "windows-html")
        lead = "The Windows viewer does not know this part of the page: ";
    else if (kind == "windows-image")
        lead = "The Windows viewer cannot show this picture, so readers on Windows see a broken picture: ";
    else if (kind == "windows-font")
        lead = "The Windows viewer cannot read this font, so readers on Windows see another one: ";
    else
        lead = "The Windows viewer lacks ";
    std::string message = lead + std::string(what);
    if (count > 1) message += " (" + std::to_string(count) + " uses in this file, the first here)";
    return message + ".";
}

}  // namespace publish::engine
