// Casing, comparison and character sets of names through the Win32 calls, in the process's code
// page: the manifest asks for UTF-8, so the bytes mean what they mean to the other backend.
#include "platform/win32/win32_api.h"

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// CompareStringA and LCMapStringA read their bytes in the code page of the locale they are given,
// never in the process's own, so UTF-8 names would be compared as Latin-1 text. The bytes are
// read in the process's code page, as every other ANSI call here reads them, and handed to the
// wide forms of the same calls.
std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

int Compare(DWORD flags, const std::string& a, const std::string& b) {
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    const int result = ::CompareStringW(LOCALE_USER_DEFAULT, flags, wideA.data(), static_cast<int>(wideA.size()),
                                        wideB.data(), static_cast<int>(wideB.size()));
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
    const std::wstring wide = Wide(text);
    const int size = static_cast<int>(wide.size());
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int needed = ::LCMapStringW(LOCALE_USER_DEFAULT, flags, wide.data(), size, nullptr, 0);
    if (needed <= 0) return std::string();
    // A sort key is bytes, whatever the call's pointer type says.
    std::string key(static_cast<size_t>(needed), '\0');
    const int written =
        ::LCMapStringW(LOCALE_USER_DEFAULT, flags, wide.data(), size, reinterpret_cast<LPWSTR>(key.data()), needed);
    key.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return key;
}

std::string OemToChar(const std::string& text) {
    std::string out(text.size(), '\0');
    if (!text.empty()) ::OemToCharBuffA(text.data(), out.data(), static_cast<DWORD>(text.size()));
    return out;
}

}  // namespace platform
