// Text to integer and back, against a plain reading of the rules: decimal with an optional sign,
// or "$", "x", "0x" and up to eight significant hexadecimal digits; leading spaces only.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.h"
#include "runtime/conversion.h"
#include "runtime/exceptions.h"

using fuzz_support::Require;

namespace {

std::optional<int32_t> Expected(const std::string& text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return std::nullopt;
    std::string body = text.substr(i);
    std::string hex;
    if (body[0] == '$' || body[0] == 'x' || body[0] == 'X')
        hex = body.substr(1);
    else if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X'))
        hex = body.substr(2);
    else {
        bool negative = false;
        if (body[0] == '+' || body[0] == '-') {
            negative = body[0] == '-';
            body.erase(0, 1);
        }
        if (body.empty() || body.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        const size_t nonZero = body.find_first_not_of('0');
        if (nonZero != std::string::npos && body.size() - nonZero > 10) return std::nullopt;
        const long long value = nonZero == std::string::npos ? 0 : std::stoll(body.substr(nonZero));
        const long long signedValue = negative ? -value : value;
        if (signedValue < INT32_MIN || signedValue > INT32_MAX) return std::nullopt;
        return static_cast<int32_t>(signedValue);
    }
    if (hex.empty() || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
    const size_t nonZero = hex.find_first_not_of('0');
    if (nonZero == std::string::npos) return 0;
    if (hex.size() - nonZero > 8) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(std::stoul(hex.substr(nonZero), nullptr, 16)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<int32_t> expected = Expected(text);
    try {
        const int32_t value = rtl::StrToInt(text);
        Require(expected.has_value(), "accepted text the rules refuse", text);
        Require(*expected == value, "value differs from the rules'", text);
    } catch (const rtl::EConvertError& e) {
        Require(!expected.has_value(), "refused text the rules accept", text);
        Require(e.Message() == "'" + text + "' is not a valid integer value", "error text names the input", text);
    }

    if (size >= 4) {
        int32_t value;
        __builtin_memcpy(&value, data, sizeof value);
        const std::string written = rtl::IntToStr(value);
        Require(rtl::StrToInt(written) == value, "written value reads back", written);
        Require(written == "0" || (written.front() != '0' && written.rfind("-0", 0) != 0), "no leading zero", written);
    }
    return 0;
}
