// Existence test, deletion and whole-file copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rtl {

// True when a file (not a folder) matches the name, wildcards honoured, with a last-write
// time inside the years 1980 to 2107. Never raises.
bool FileExists(const std::string& name);
// True on success. Never raises.
bool DeleteFile(const std::string& name);

class TMemoryStream {
public:
    // Raises EFOpenError, EStreamError or EReadError.
    void LoadFromFile(const std::string& name);
    // A symbolic link of the name is replaced by the file. Raises EFCreateError or EWriteError.
    void SaveToFile(const std::string& name) const;
    const std::vector<char>& Data() const { return data_; }

private:
    std::vector<char> data_;
};

// Loads the whole source into memory, then writes it to the target, created or truncated.
void CopyWholeFile(const std::string& source, const std::string& target);

}  // namespace rtl
