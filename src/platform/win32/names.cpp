// Casing, comparison and character sets of names through the Win32 calls of the process's code
// page: the manifest asks for UTF-8, so the bytes mean what they mean to the other backend.
#include "platform/win32/win32_api.h"

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

int Compare(DWORD flags, const std::string& a, const std::string& b) {
    const int result = ::CompareStringA(LOCALE_USER_DEFAULT, flags, a.data(), static_cast<int>(a.size()), b.data(),
                                        static_cast<int>(b.size()));
    return result == 0 ? 0 : result - CSTR_EQUAL;
}

}  // namespace

std::string CharLower(const std::string& text) {
    std::string out = text;
    if (!out.empty()) ::CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string CharUpper(const std::string& text) {
    std::string out = text;
    if (!out.empty()) ::CharUpperBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
}

int CompareStringNoCase(const std::string& a, const std::string& b) { return Compare(NORM_IGNORECASE, a, b); }

int CompareStringCase(const std::string& a, const std::string& b) { return Compare(0, a, b); }

std::string SortKeyNoCase(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int needed = ::LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(), size,
                                      nullptr, 0);
    if (needed <= 0) return std::string();
    std::string key(static_cast<size_t>(needed), '\0');
    const int written = ::LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(), size,
                                       reinterpret_cast<LPSTR>(key.data()), needed);
    key.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return key;
}

std::string OemToChar(const std::string& text) {
    std::string out(text.size(), '\0');
    if (!text.empty()) ::OemToCharBuffA(text.data(), out.data(), static_cast<DWORD>(text.size()));
    return out;
}

}  // namespace platform
