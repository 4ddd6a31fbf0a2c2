// Casing, comparison and character sets of names through the Win32 calls, in the process's code
// page: the manifest asks for UTF-8, so the bytes mean what they mean to the other backend.
#include "platform/win32/win32_api.h"

#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

// Text in one code page, as UTF-16.
std::wstring Wide(const std::string& text, UINT codePage = CP_ACP) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

// UTF-16 as text of the process's code page.
std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int length = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

// The ANSI forms of these calls work in place or read their bytes in the code page of the locale
// they are given, never in the process's own: in UTF-8 a letter's other case may take more or fewer
// bytes than the buffer has, and CompareStringA would read UTF-8 names as Latin-1. So the text is
// read in the process's code page, as every other ANSI call here reads it, and handed to the wide
// form of the same call.
int Compare(DWORD flags, const std::string& a, const std::string& b) {
    const std::wstring wideA = Wide(a);
    const std::wstring wideB = Wide(b);
    const int result = ::CompareStringW(LOCALE_USER_DEFAULT, flags, wideA.data(), static_cast<int>(wideA.size()),
                                        wideB.data(), static_cast<int>(wideB.size()));
    return result == 0 ? 0 : result - CSTR_EQUAL;
}

}  // namespace

std::string CharLower(const std::string& text) {
    std::wstring wide = Wide(text);
    if (!wide.empty()) ::CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
}

std::string CharUpper(const std::string& text) {
    std::wstring wide = Wide(text);
    if (!wide.empty()) ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
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

// OemToCharBuffA converts in place of the same length, which UTF-8 may outgrow: the same two
// steps, with room for the result.
std::string OemToChar(const std::string& text) { return Narrow(Wide(text, CP_OEMCP)); }

}  // namespace platform
