// Real temporary folders and file bytes for the tests.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Host path, no trailing separator.
    const std::string& Path() const { return path_; }
    // Host path of a name inside the folder.
    std::string operator/(const std::string& name) const { return path_ + kSeparator + name; }

#ifdef _WIN32
    static constexpr char kSeparator = '\\';
#else
    static constexpr char kSeparator = '/';
#endif

private:
    std::string path_;
};

void WriteBytes(const std::string& hostPath, const std::string& bytes);
std::string ReadBytes(const std::string& hostPath);
bool HostExists(const std::string& hostPath);
void MakeDirs(const std::string& hostPath);
// The arguments the recorder program saved (a NUL after each).
std::vector<std::string> SplitRecordedArguments(const std::string& bytes);

}  // namespace testing_support
