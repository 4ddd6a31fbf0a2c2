// Text at the edge of the Windows calls: the core works in UTF-8, Windows in UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace viewer {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

} // namespace viewer
