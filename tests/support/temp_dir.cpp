#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
#ifndef _WIN32
    std::string pattern = (fs::temp_directory_path() / "kvdtest.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = fs::canonical(pattern).string();
#else
    // A random name made only when nobody has it yet, as mkdtemp does, on either system.
    std::random_device seed;
    std::mt19937 random(seed());
    const fs::path parent = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "kvdtest.";
        for (int i = 0; i < 6; ++i) name += "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        std::error_code error;
        if (fs::create_directory(parent / name, error)) {
            path_ = fs::canonical(parent / name).string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Folders a test made read-only must be writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

void WriteBytes(const std::string& hostPath, const std::string& bytes) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + hostPath);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + hostPath);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HostExists(const std::string& hostPath) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(hostPath, ignored));
}

void MakeDirs(const std::string& hostPath) { fs::create_directories(hostPath); }

std::vector<std::string> SplitRecordedArguments(const std::string& bytes) {
    std::vector<std::string> arguments;
    std::string current;
    for (char c : bytes) {
        if (c == '\0') {
            arguments.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return arguments;
}

}  // namespace testing_support
