// Pages and style sheets decoded the way the viewers decode them, so that the names the check looks up are
// the names the viewers ask for.
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>

#include "publish/ascii.h"
#include "publish/check/references.h"
#include "publish/disc/tree.h"

namespace publish::detail {

namespace {

using ascii::IsSpace;
using ascii::Lower;

bool StartsNoCase(std::string_view text, size_t pos, std::string_view prefix) {
    if (pos > text.size() || text.size() - pos < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[pos + i]) != prefix[i]) return false;
    return true;
}

// The bytes 0x80 to 0x9F of windows-1252; the five it leaves unassigned stay the control characters.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::string FromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out += c;
        else
            AppendUtf8(b < 0xA0 ? kWindows1252High[b - 0x80] : b, out);
    }
    return out;
}

// Well-formed sequences as they are; each byte of anything else becomes U+FFFD, as a browser shows it.
std::string FromUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto c = static_cast<unsigned char>(bytes[i]);
        int extra = c < 0x80                 ? 0
                    : c >= 0xC2 && c <= 0xDF ? 1
                    : c >= 0xE0 && c <= 0xEF ? 2
                    : c >= 0xF0 && c <= 0xF4 ? 3
                                             : -1;
        bool good = extra >= 0 && i + static_cast<size_t>(extra) < bytes.size();
        uint32_t cp = extra > 0 ? c & (0x3Fu >> extra) : c;
        for (int k = 1; good && k <= extra; ++k) {
            auto d = static_cast<unsigned char>(bytes[i + static_cast<size_t>(k)]);
            good = (d & 0xC0) == 0x80;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (good && extra > 0) good = cp >= kMin[extra] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (!good) {
            AppendUtf8(0xFFFD, out);
            ++i;
            continue;
        }
        out.append(bytes.substr(i, static_cast<size_t>(extra) + 1));
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) {
        auto a = static_cast<unsigned char>(bytes[i]);
        auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? uint32_t(a << 8 | b) : uint32_t(b << 8 | a);
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        if (u == 0)
            out += '\0';
        else
            AppendUtf8(u, out); // a lone surrogate becomes U+FFFD there
    }
    if (i < bytes.size()) AppendUtf8(0xFFFD, out);
    return out;
}

// Any other character set the system's converter knows; a byte it cannot convert becomes U+FFFD.
std::string FromIconv(std::string_view bytes, const std::string& charset) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return FromWindows1252(bytes);
    std::string out;
    std::string input(bytes);
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[16384];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            AppendUtf8(0xFFFD, out); // an invalid or cut sequence
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

// The decoding a label stands for, as browsers read labels: Latin-1 and ASCII are read as windows-1252, a
// UTF-16 label inside the file as UTF-8 (the file could not have been read to find it otherwise). Empty when
// the label names nothing known, which a browser then ignores.
std::string CharsetOfLabel(std::string_view label) {
    std::string name = ascii::TrimmedLower(label);
    if (name.empty()) return {};
    for (const char* l : {"utf-8", "utf8", "unicode-1-1-utf-8", "utf-16", "utf-16le", "utf-16be", "unicode"})
        if (name == l) return "utf-8";
    for (const char* l :
         {"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1", "iso_8859-1", "iso88591", "latin1", "l1",
          "ascii", "us-ascii", "ansi_x3.4-1968", "cp819", "ibm819", "iso-ir-100", "csisolatin1", "iso_8859-1:1987"})
        if (name == l) return "windows-1252";
    for (char c : name)
        if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9') && c != '-' && c != '_' && c != ':' && c != '.')
            return {};
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    iconv_close(cd);
    return name;
}

// The value of "charset=" inside a content-type text.
std::string CharsetInContent(std::string_view content) {
    size_t pos = 0;
    while (true) {
        size_t found = std::string_view::npos;
        for (size_t i = pos; i + 7 <= content.size(); ++i)
            if (StartsNoCase(content, i, "charset")) {
                found = i;
                break;
            }
        if (found == std::string_view::npos) return {};
        size_t i = found + 7;
        while (i < content.size() && IsSpace(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=') {
            pos = found + 7;
            continue;
        }
        ++i;
        while (i < content.size() && IsSpace(content[i]))
            ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            size_t close = content.find(content[i], i + 1);
            if (close == std::string_view::npos) return {};
            return std::string(content.substr(i + 1, close - i - 1));
        }
        size_t end = i;
        while (end < content.size() && !IsSpace(content[end]) && content[end] != ';')
            ++end;
        return std::string(content.substr(i, end - i));
    }
}

// One attribute of a tag at pos (which moves past it); false at the tag's end.
bool NextAttribute(std::string_view text, size_t& pos, std::string& name, std::string& value) {
    while (pos < text.size() && (IsSpace(text[pos]) || text[pos] == '/'))
        ++pos;
    if (pos >= text.size() || text[pos] == '>') return false;
    name.clear();
    value.clear();
    while (pos < text.size() && !IsSpace(text[pos]) && text[pos] != '/' && text[pos] != '>' &&
           (text[pos] != '=' || name.empty()))
        name += Lower(text[pos++]);
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] != '=') return true;
    ++pos;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        char quote = text[pos++];
        size_t close = text.find(quote, pos);
        if (close == std::string_view::npos) close = text.size();
        value = text.substr(pos, close - pos);
        pos = close + 1;
        return true;
    }
    while (pos < text.size() && !IsSpace(text[pos]) && text[pos] != '>')
        value += text[pos++];
    return true;
}

// The character set a page declares in a <meta> within its first 1024 bytes, where browsers look for one
// before they read the page.
std::string PrescanMeta(std::string_view bytes) {
    std::string_view text = bytes.substr(0, std::min<size_t>(bytes.size(), 1024));
    size_t pos = 0;
    std::string name;
    std::string value;
    while (pos < text.size()) {
        if (text.compare(pos, 4, "<!--") == 0) {
            size_t end = text.find("-->", pos + 2);
            if (end == std::string_view::npos) return {};
            pos = end + 3;
        } else if (StartsNoCase(text, pos, "<meta") && pos + 5 < text.size() &&
                   (IsSpace(text[pos + 5]) || text[pos + 5] == '/')) {
            pos += 5;
            bool contentType = false;
            std::string content;
            std::string charset;
            while (NextAttribute(text, pos, name, value)) {
                if (name == "http-equiv")
                    contentType = ascii::TrimmedLower(value) == "content-type";
                else if (name == "content" && content.empty())
                    content = value;
                else if (name == "charset" && charset.empty())
                    charset = CharsetOfLabel(value);
            }
            if (charset.empty() && contentType) charset = CharsetOfLabel(CharsetInContent(content));
            if (!charset.empty()) return charset;
        } else if (text[pos] == '<' && pos + 1 < text.size() &&
                   (std::isalpha(static_cast<unsigned char>(text[pos + 1])) ||
                    (text[pos + 1] == '/' && pos + 2 < text.size() &&
                     std::isalpha(static_cast<unsigned char>(text[pos + 2]))))) {
            // Another tag: its attributes are stepped over, so a value that reads like a meta does not count.
            pos += 2;
            while (pos < text.size() && !IsSpace(text[pos]) && text[pos] != '>')
                ++pos;
            while (NextAttribute(text, pos, name, value)) {
            }
        } else if (text[pos] == '<' && pos + 1 < text.size() &&
                   (text[pos + 1] == '!' || text[pos + 1] == '/' || text[pos + 1] == '?')) {
            size_t end = text.find('>', pos);
            if (end == std::string_view::npos) return {};
            pos = end + 1;
        } else {
            ++pos;
        }
    }
    return {};
}

// The encoding an XML declaration names: <?xml version="1.0" encoding="..."?>
std::string XmlDeclaration(std::string_view bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0) return {};
    size_t end = bytes.find("?>");
    if (end == std::string_view::npos) return {};
    size_t pos = 5;
    std::string name;
    std::string value;
    std::string_view text = bytes.substr(0, end);
    while (NextAttribute(text, pos, name, value))
        if (name == "encoding") return CharsetOfLabel(value);
    return {};
}

bool HasNonAscii(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// A byte order mark names its encoding and is dropped; nothing when there is none.
std::string ByteOrderMark(std::string_view& bytes) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.remove_prefix(3);
        return "utf-8";
    }
    if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
        bytes.remove_prefix(2);
        return "utf-16le";
    }
    if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
        bytes.remove_prefix(2);
        return "utf-16be";
    }
    return {};
}

Decoded DecodeAs(std::string_view bytes, const std::string& charset, bool declared, bool nonAscii) {
    Decoded d;
    d.charset = charset;
    d.declared = declared;
    d.nonAscii = nonAscii;
    // Both read ASCII as it is, and most pages are ASCII: no byte needs looking at twice.
    if (!nonAscii && (charset == "utf-8" || charset == "windows-1252"))
        d.text.assign(bytes.data(), bytes.size());
    else if (charset == "utf-8")
        d.text = FromUtf8(bytes);
    else if (charset == "utf-16le" || charset == "utf-16be")
        d.text = FromUtf16(bytes, charset == "utf-16be");
    else if (charset == "windows-1252")
        d.text = FromWindows1252(bytes);
    else
        d.text = FromIconv(bytes, charset);
    return d;
}

} // namespace

Decoded DecodePage(std::string_view bytes, bool xml) {
    std::string charset = ByteOrderMark(bytes);
    if (!charset.empty()) return DecodeAs(bytes, charset, true, HasNonAscii(bytes));
    bool nonAscii = HasNonAscii(bytes);
    // A page read as XML is UTF-8 unless its declaration says otherwise: nothing is left to guess.
    if (xml) {
        charset = XmlDeclaration(bytes);
        return DecodeAs(bytes, charset.empty() ? "utf-8" : charset, true, nonAscii);
    }
    charset = PrescanMeta(bytes);
    if (!charset.empty()) return DecodeAs(bytes, charset, true, nonAscii);
    return DecodeAs(bytes, kUndeclaredCharset, false, nonAscii);
}

Decoded DecodeStyleSheet(std::string_view bytes, const std::string& pageCharset, bool pageDeclared) {
    std::string charset = ByteOrderMark(bytes);
    if (!charset.empty()) return DecodeAs(bytes, charset, true, HasNonAscii(bytes));
    bool nonAscii = HasNonAscii(bytes);
    // Only this exact form counts, at the very start of the sheet.
    if (bytes.compare(0, 10, "@charset \"") == 0) {
        size_t close = bytes.find("\";", 10);
        if (close != std::string_view::npos) {
            charset = CharsetOfLabel(bytes.substr(10, close - 10));
            if (!charset.empty()) return DecodeAs(bytes, charset, true, nonAscii);
        }
    }
    return DecodeAs(bytes, pageCharset.empty() ? kUndeclaredCharset : pageCharset, pageDeclared, nonAscii);
}

} // namespace publish::detail
