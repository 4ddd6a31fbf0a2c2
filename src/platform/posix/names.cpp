// File-name casing and comparison: ASCII always, other letters where the bytes are UTF-8.
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/wildcard.h"

namespace platform {

namespace {

// Decodes the UTF-8 sequence at text[pos]; false when the bytes there do not form one
// (overlong forms, surrogates and values above U+10FFFF included).
bool DecodeAt(const std::string& text, size_t pos, char32_t* codePoint, size_t* length) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    size_t count;
    char32_t value;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        *codePoint = lead;
        *length = 1;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return false;
    }
    if (pos + count >= text.size()) return false;
    for (size_t i = 1; i <= count; ++i) {
        const unsigned char next = byte(pos + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
        value = (value << 6) | (next & 0x3F);
    }
    *codePoint = value;
    *length = count + 1;
    return true;
}

void Encode(char32_t cp, std::string* out) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The Latin letters up to U+017F are mapped here, so that they case-map the same whether
// or not the process has chosen a locale. Returns false outside that block.
bool LatinCase(char32_t cp, bool upper, char32_t* mapped) {
    *mapped = cp;
    if (cp < 0x80 || cp > 0x17F) return false;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) {
        if (!upper) *mapped = cp + 0x20;
        return true;
    }
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) {
        if (upper) *mapped = cp - 0x20;
        return true;
    }
    if (cp == 0xFF) {
        if (upper) *mapped = 0x178;
        return true;
    }
    if (cp < 0x100) return true;  // signs and symbols of Latin-1 have no case
    const bool evenUpper = (cp <= 0x12F) || (cp >= 0x132 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177);
    const bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
    if (evenUpper || oddUpper) {
        const bool isUpper = evenUpper ? (cp % 2 == 0) : (cp % 2 == 1);
        if (upper && !isUpper) *mapped = cp - 1;
        if (!upper && isUpper) *mapped = cp + 1;
        return true;
    }
    switch (cp) {
    case 0x130: if (!upper) *mapped = U'i'; break;
    case 0x131: if (upper) *mapped = U'I'; break;
    case 0x178: if (!upper) *mapped = 0xFF; break;
    case 0x17F: if (upper) *mapped = U'S'; break;
    default: break;
    }
    return true;
}

// A UTF-8 character-type locale of its own, so that the mapping does not depend on whether
// the program ever called setlocale.
locale_t Utf8Locale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t found = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0))) return found;
        }
        return static_cast<locale_t>(0);
    }();
    return locale;
}

char32_t MapCase(char32_t cp, bool upper) {
    if (cp < 0x80) {
        if (upper && cp >= 'a' && cp <= 'z') return cp - 0x20;
        if (!upper && cp >= 'A' && cp <= 'Z') return cp + 0x20;
        return cp;
    }
    char32_t mapped;
    if (LatinCase(cp, upper, &mapped)) return mapped;
    const locale_t locale = Utf8Locale();
    if (locale == static_cast<locale_t>(0)) return cp;
    const wint_t result = upper ? ::towupper_l(static_cast<wint_t>(cp), locale)
                                : ::towlower_l(static_cast<wint_t>(cp), locale);
    // Never into the surrogates or out of range, whatever the tables say.
    if (result > 0x10FFFF || (result >= 0xD800 && result <= 0xDFFF)) return cp;
    return static_cast<char32_t>(result);
}

std::string ChangeCase(const std::string& text, bool upper) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp;
        size_t length;
        if (DecodeAt(text, pos, &cp, &length)) {
            Encode(MapCase(cp, upper), &out);
            pos += length;
        } else {
            out += text[pos];
            ++pos;
        }
    }
    return out;
}

int Sign(int value) { return (value > 0) - (value < 0); }

int CollateThenBytes(const std::string& a, const std::string& b) {
    const int collated = Sign(std::strcoll(a.c_str(), b.c_str()));
    if (collated != 0) return collated;
    return Sign(a.compare(b));
}

}  // namespace

namespace posix {

std::vector<std::string> Utf8Characters(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp;
        size_t length = 1;
        if (!DecodeAt(text, pos, &cp, &length)) length = 1;
        out.push_back(text.substr(pos, length));
        pos += length;
    }
    return out;
}

bool IsWindowsName(const std::string& name) {
    if (name.empty()) return false;
    if (name == "." || name == "..") return true;
    if (HoldsReservedCharacter(name) || name.find_first_of("\\/:") != std::string::npos) return false;
    return name.back() != '.' && name.back() != ' ';
}

bool HoldsReservedCharacter(std::string_view text) {
    return text.find_first_of("*?\"<>|") != std::string_view::npos ||
           std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

std::string DeviceBaseName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return base;
}

std::string TrimComponent(std::string name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

std::string NtfsOrderKey(const std::string& name) {
    std::string key;
    key.reserve(name.size());
    // Each UTF-16 code unit as one to three bytes in the UTF-8 pattern, surrogates included:
    // bytes in that form compare as the code units do.
    const auto unit = [&key](uint32_t value) {
        if (value < 0x80) {
            key += static_cast<char>(value);
        } else if (value < 0x800) {
            key += static_cast<char>(0xC0 | (value >> 6));
            key += static_cast<char>(0x80 | (value & 0x3F));
        } else {
            key += static_cast<char>(0xE0 | (value >> 12));
            key += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            key += static_cast<char>(0x80 | (value & 0x3F));
        }
    };
    // Most names are ASCII: upper-cased byte by byte, with no detour through the general casing.
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (const char c : name) key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
        return key;
    }
    const std::string upper = ChangeCase(name, true);
    size_t pos = 0;
    while (pos < upper.size()) {
        char32_t cp;
        size_t length = 1;
        if (!DecodeAt(upper, pos, &cp, &length)) {
            cp = static_cast<unsigned char>(upper[pos]);
            length = 1;
        }
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
        pos += length;
    }
    return key;
}

}  // namespace posix

std::string CharLower(const std::string& text) { return ChangeCase(text, false); }

std::string CharUpper(const std::string& text) { return ChangeCase(text, true); }

int CompareStringNoCase(const std::string& a, const std::string& b) {
    return CollateThenBytes(CharLower(a), CharLower(b));
}

int CompareStringCase(const std::string& a, const std::string& b) { return CollateThenBytes(a, b); }

// The collation key of the lower-cased text, then a zero byte (no collation key holds one), then
// the lower-cased bytes: the same two steps as the comparison.
std::string SortKeyNoCase(const std::string& text) {
    const std::string lower = CharLower(text);
    std::string key(lower.size() * 2 + 16, '\0');
    size_t length = std::strxfrm(key.data(), lower.c_str(), key.size());
    if (length >= key.size()) {
        key.assign(length + 1, '\0');
        length = std::strxfrm(key.data(), lower.c_str(), key.size());
    }
    key.resize(length);
    key += '\0';
    key += lower;
    return key;
}

std::string OemToChar(const std::string& text) { return text; }

}  // namespace platform
