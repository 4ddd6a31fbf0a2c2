// Program start of the POSIX backend: the Windows command-line split and the search for a program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::posix {

// Splits a parameter string into arguments as a Windows program's runtime does:
// - spaces and tabs separate arguments outside a quoted group;
// - 2n backslashes before a double quote give n backslashes, and the quote opens or closes a
//   group; 2n+1 give n backslashes and a literal quote;
// - backslashes not before a double quote are literal;
// - inside a group, a doubled quote gives a literal quote and the group goes on;
// - an empty group ("") is an empty argument.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Where a program named on the command line lives on the host. A bare name is looked for in
// the working folder first, then along PATH, then in the running program's own folder; a name
// with a drive or a backslash is a Windows path. Returns a host path, or empty with a Win32
// code in *error.
std::string FindProgram(const std::string& file, uint32_t* error);

}  // namespace platform::posix
