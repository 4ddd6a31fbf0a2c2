// Text to integer and back, by the rules of the size fields.
#include "runtime/conversion.h"

#include "runtime/exceptions.h"

namespace rtl {

namespace {

[[noreturn]] void Fail(const std::string& text) { throw EConvertError("'" + text + "' is not a valid integer value"); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int32_t StrToInt(const std::string& text) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n && text[i] == ' ') ++i;
    if (i == n) Fail(text);

    size_t digits = 0;
    bool hex = false;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
        hex = true;
        digits = i + 1;
    } else if (text[i] == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        digits = i + 2;
    }
    if (hex) {
        if (digits == n) Fail(text);
        uint32_t value = 0;
        for (size_t k = digits; k < n; ++k) {
            const int d = HexDigit(text[k]);
            if (d < 0) Fail(text);
            // Leading zeros are not significant: only a ninth digit of value overflows.
            if (value > 0x0FFFFFFFu) Fail(text);
            value = (value << 4) | static_cast<uint32_t>(d);
        }
        return static_cast<int32_t>(value);
    }

    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n) Fail(text);
    int64_t value = 0;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') Fail(text);
        value = value * 10 + (c - '0');
        if (value > limit) Fail(text);
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::string IntToStr(int32_t value) { return std::to_string(value); }

}  // namespace rtl
