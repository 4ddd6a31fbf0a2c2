// Program start of the POSIX backend: the search for a program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::posix {

// Where a program named on the command line lives on the host. A bare name is looked for in
// the working folder first, then along PATH, then in the running program's own folder; a name
// with a drive or a backslash is a Windows path. Returns a host path, or empty with a Win32
// code in *error.
std::string FindProgram(const std::string& file, uint32_t* error);

}  // namespace platform::posix
