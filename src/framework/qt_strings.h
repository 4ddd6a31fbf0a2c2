// Byte strings of the wizard's logic meet Qt's strings here, in the local 8-bit encoding.
#pragma once

#include <QString>
#include <string>

namespace framework {

namespace qt_strings_detail {

// A byte the local encoding cannot decode travels as one unpaired low surrogate, U+DC80 to
// U+DCFF, and turns back into that byte: a settings file written in another code page then
// reaches the edits and comes back to disk unchanged instead of as replacement characters.
inline constexpr char16_t kByteEscape = 0xDC00;

inline bool IsEscape(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Length of the well-formed UTF-8 sequence at i, 0 when the byte there starts none.
inline size_t Utf8Length(const std::string& bytes, size_t i) {
    const auto at = [&bytes](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const auto follows = [&](size_t k, unsigned lo, unsigned hi) {
        return k < bytes.size() && at(k) >= lo && at(k) <= hi;
    };
    const unsigned lead = at(i);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return follows(i + 1, 0x80, 0xBF) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = lead == 0xED ? 0x9F : 0xBF;  // no encoded surrogates
        return follows(i + 1, lo, hi) && follows(i + 2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(i + 1, lo, hi) && follows(i + 2, 0x80, 0xBF) && follows(i + 3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

inline QString EscapedFromUtf8(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8Length(bytes, i);
        if (length == 0) {
            text += QChar(static_cast<char16_t>(kByteEscape | static_cast<unsigned char>(bytes[i])));
            ++i;
        } else {
            text += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            i += length;
        }
    }
    return text;
}

}  // namespace qt_strings_detail

inline QString ToQString(const std::string& bytes) {
    QString text = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QByteArray back = text.toLocal8Bit();
    if (back.size() == static_cast<qsizetype>(bytes.size()) && bytes.compare(0, bytes.size(), back.constData(),
                                                                            static_cast<size_t>(back.size())) == 0) {
        return text;
    }
    return qt_strings_detail::EscapedFromUtf8(bytes);
}

inline std::string FromQString(const QString& text) {
    using qt_strings_detail::IsEscape;
    std::string bytes;
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) {
        if (end <= start) return;
        const QByteArray part = text.mid(start, end - start).toLocal8Bit();
        bytes.append(part.constData(), static_cast<size_t>(part.size()));
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;  // a pair is one character, never an escaped byte
            continue;
        }
        if (!IsEscape(unit)) continue;
        flush(i);
        bytes += static_cast<char>(unit & 0xFF);
        start = i + 1;
    }
    flush(text.size());
    return bytes;
}

}  // namespace framework
