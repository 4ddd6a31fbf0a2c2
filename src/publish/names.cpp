// Names and figures shared by the check, the image and their front ends.
#include "publish/publish.h"

#include <cstdio>
#include <cstdlib>

#include "publish/disc/tree.h"

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

namespace detail {

namespace {

const char kJolietNames[] = "Joliet (the names readers on Windows see)";

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string CodePoint(int32_t cp) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
    return text;
}

// Windows opens these as devices in every folder, whatever follows the first period; spaces before that period
// are dropped first. The superscript digits count as digits there too.
bool IsDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    std::string upper;
    for (char c : base)
        upper += (c >= 'a' && c <= 'z') ? char(c - 32) : c;
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    if (upper.size() < 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) return false;
    std::string_view number = std::string_view(upper).substr(3);
    if (number.size() == 1) return number[0] >= '1' && number[0] <= '9';
    return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

} // namespace

std::optional<std::string> NotJolietReason(std::string_view name) {
    // The image library writes "_" for each of these; "/" cannot occur in a name read from a folder.
    static constexpr std::string_view kReplaced = "*/:;?\\";
    size_t i = 0;
    while (i < name.size()) {
        size_t start = i;
        int32_t cp = DecodeUtf8(name, i);
        if (cp < 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(name[start]));
            return "The name contains the byte " + std::string(byte) + ", which is not UTF-8, so " + kJolietNames +
                   " cannot carry it.";
        }
        if (cp < 0x20)
            return "The name contains the control character " + CodePoint(cp) + ", which " + kJolietNames +
                   " cannot carry.";
        if (cp < 0x80 && kReplaced.find(static_cast<char>(cp)) != std::string_view::npos)
            return "The name contains " + Quoted(name.substr(start, 1)) + ", which " + kJolietNames + " cannot carry.";
    }
    size_t length = JolietLength(name);
    if (length > 64)
        return "The name has " + std::to_string(length) + " characters; " + kJolietNames + " carries at most 64.";
    return std::nullopt;
}

std::optional<std::string> NotWindowsReason(std::string_view name) {
    size_t bad = name.find_first_of("<>\"|");
    if (bad != std::string_view::npos)
        return "The name contains " + Quoted(name.substr(bad, 1)) +
               ", which Windows does not allow in names, so readers on Windows cannot open it.";
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        return std::string("The name ends in a ") + (name.back() == '.' ? "period" : "space") +
               ", which Windows drops, so readers on Windows cannot open it.";
    if (IsDeviceName(name))
        return Quoted(name.substr(0, name.find('.'))) +
               " names a device on Windows, with or without an extension, so readers on Windows cannot open it.";
    return std::nullopt;
}

} // namespace detail

} // namespace publish
