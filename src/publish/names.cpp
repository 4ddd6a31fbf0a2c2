// Names and figures shared by the check, the image and their front ends.
#include "publish/publish.h"

#include <cstdio>

namespace publish {

const char* SeverityName(Severity severity)
{
    switch (severity) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Note: return "note";
    }
    return "error";
}

uint64_t MediumSectors(Medium medium)
{
    switch (medium) {
    case Medium::CD: return 360000;
    case Medium::DVD: return 2295104;
    case Medium::DVDDualLayer: return 4173824;
    }
    return 360000;
}

std::optional<Medium> ParseMedium(std::string_view text)
{
    if (text == "cd") return Medium::CD;
    if (text == "dvd") return Medium::DVD;
    if (text == "dvd-dl") return Medium::DVDDualLayer;
    return std::nullopt;
}

const char* MediumName(Medium medium)
{
    switch (medium) {
    case Medium::CD: return "cd";
    case Medium::DVD: return "dvd";
    case Medium::DVDDualLayer: return "dvd-dl";
    }
    return "cd";
}

const char* MediumDescription(Medium medium)
{
    switch (medium) {
    case Medium::CD: return "CD 700 MB";
    case Medium::DVD: return "DVD 4.7 GB";
    case Medium::DVDDualLayer: return "DVD dual layer 8.5 GB";
    }
    return "CD 700 MB";
}

namespace {

std::string Count(int n, const char* singular, const char* plural)
{
    if (n == 0) return std::string("no ") + plural;
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

}  // namespace

std::string SummaryLine(const CheckResult& result)
{
    return Count(result.errors, "error", "errors") + ", " + Count(result.warnings, "warning", "warnings") + ", " +
           Count(result.notes, "note", "notes");
}

std::string DefaultVolumeLabel(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string label;
    for (char c : name) {
        if (label.size() == 32) break;
        if (c >= 'a' && c <= 'z') label += char(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_') label += c;
        else label += '_';
    }
    return label;
}

}  // namespace publish
