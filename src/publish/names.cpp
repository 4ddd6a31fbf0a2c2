// Names and figures shared by the check, the image and their front ends.
#include "publish/publish.h"

#include <cstdlib>

namespace publish {

const char* SeverityName(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        return "note";
    }
    return "error";
}

uint64_t MediumSectors(Medium medium) {
    switch (medium) {
    case Medium::CD:
        return 360000;
    case Medium::DVD:
        return 2295104;
    case Medium::DVDDualLayer:
        return 4173824;
    }
    return 360000;
}

std::optional<Medium> ParseMedium(std::string_view text) {
    if (text == "cd") return Medium::CD;
    if (text == "dvd") return Medium::DVD;
    if (text == "dvd-dl") return Medium::DVDDualLayer;
    return std::nullopt;
}

const char* MediumName(Medium medium) {
    switch (medium) {
    case Medium::CD:
        return "cd";
    case Medium::DVD:
        return "dvd";
    case Medium::DVDDualLayer:
        return "dvd-dl";
    }
    return "cd";
}

const char* MediumDescription(Medium medium) {
    switch (medium) {
    case Medium::CD:
        return "CD 700 MB";
    case Medium::DVD:
        return "DVD 4.7 GB";
    case Medium::DVDDualLayer:
        return "DVD dual layer 8.5 GB";
    }
    return "CD 700 MB";
}

namespace {

std::string Count(int n, const char* singular, const char* plural) {
    if (n == 0) return std::string("no ") + plural;
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

} // namespace

std::string SummaryLine(const CheckResult& result) {
    return Count(result.errors, "error", "errors") + ", " + Count(result.warnings, "warning", "warnings") + ", " +
           Count(result.notes, "note", "notes");
}

std::string DefaultVolumeLabel(const std::string& folder) {
    // "." or "sub/.." name a folder only through the real path.
    std::string path = folder;
    if (char* real = realpath(folder.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string label;
    for (size_t i = 0; i < name.size() && label.size() < 32; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z')
            label += char(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
            label += c;
        else {
            label += '_';
            // A character of several UTF-8 bytes becomes one "_".
            if ((static_cast<unsigned char>(c) & 0xC0) == 0xC0)
                while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80)
                    ++i;
        }
    }
    return label;
}

} // namespace publish
