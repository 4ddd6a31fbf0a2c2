// Path rules of the picker controls.
#include "picker/path_rules.h"

#include <QFontMetrics>
#include <QString>

#include "framework/qt_strings.h"
#include "platform/platform.h"
#include "runtime/file_services.h"
#include "runtime/text_file.h"

namespace picker {

std::string DrivePart(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // The backslash after the server ends the server; the next one ends the share.
        const size_t server = path.find('\\', 2);
        if (server == std::string::npos) return path;
        const size_t share = path.find('\\', server + 1);
        if (share == std::string::npos) return path;
        return path.substr(0, share);
    }
    return {};
}

std::string NamePart(const std::string& path) {
    const size_t last = path.find_last_of("\\:");
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') return folder + name;
    return folder + "\\" + name;
}

bool FolderExists(const std::string& path) {
    const uint32_t attributes = platform::GetFileAttributes(path);
    return attributes != platform::kInvalidFileAttributes && (attributes & platform::kAttrDirectory) != 0;
}

void ChangeDirectory(const std::string& path) {
    if (!platform::SetCurrentDirectory(path)) rtl::RaiseInOutError(static_cast<int32_t>(platform::GetLastError()));
}

std::string CurrentDirectory() { return platform::GetCurrentDirectory(); }

int CountBackslashes(const std::string& text) {
    int count = 0;
    for (char c : text)
        if (c == '\\') ++count;
    return count;
}

namespace {

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

SplitPath SplitInside(const std::string& saved, std::string root, std::string folder, char drive) {
    SplitPath result;
    result.drive = drive;
    if (FolderExists(root)) ChangeDirectory(root);
    std::string name = NamePart(folder);
    if (folder.size() == name.size() + 1) {
        folder = "\\";
    } else if (folder.size() > name.size()) {
        folder.erase(folder.size() - name.size() - 1);
    } else {
        folder = CurrentDirectory();
        folder.erase(0, DrivePart(folder).size());
        if (folder.empty()) folder = "\\";
    }
    if (!folder.empty()) ChangeDirectory(folder);
    if (!name.empty() && !HasWildcard(name) && !rtl::FileExists(name)) {
        ChangeDirectory(name);
        // Only the root's folder part ends in a backslash already; a relative q joined with r
        // is q, a backslash and r.
        folder = folder == "\\" ? "\\" + name : folder + "\\" + name;
        name.clear();
    }
    if (drive == 0) folder = root + folder;
    (void)saved;
    result.folder = folder;
    result.name = name;
    return result;
}

}  // namespace

SplitPath SplitRequestedPath(const std::string& requested) {
    const std::string saved = CurrentDirectory();
    char drive = saved.empty() ? 0 : saved[0];
    std::string folder = requested;
    std::string root;
    if (folder.size() >= 2 && folder.front() == '[' && folder.back() == ']') {
        folder = folder.substr(1, folder.size() - 2);
    } else {
        root = DrivePart(folder);
        if (!root.empty())
            folder.erase(0, root.size());
        else
            root = DrivePart(saved);
        drive = root.size() >= 2 && root[1] == ':' ? root[0] : 0;
    }
    SplitPath result;
    try {
        result = SplitInside(saved, root, folder, drive);
    } catch (...) {
        // The original failure is the one reported; a failing restore cannot replace it.
        try {
            if (FolderExists(saved)) ChangeDirectory(saved);
        } catch (...) {
        }
        throw;
    }
    if (FolderExists(saved)) ChangeDirectory(saved);
    return result;
}

namespace {

std::string CutFirstFolder(std::string folder) {
    if (folder == "\\") return {};
    const bool leading = !folder.empty() && folder[0] == '\\';
    if (leading) folder.erase(0, 1);
    if (!folder.empty() && folder[0] == '.') folder.erase(0, std::min<size_t>(4, folder.size()));
    const size_t slash = folder.find('\\');
    if (slash != std::string::npos)
        folder = "...\\" + folder.substr(slash + 1);
    else
        folder.clear();
    if (leading) folder = "\\" + folder;
    return folder;
}

}  // namespace

std::string ShortenPath(const std::string& path, int width, const QFontMetrics& metrics) {
    std::string result = path;
    const size_t last = path.find_last_of("\\:");
    std::string folder = last == std::string::npos ? std::string() : path.substr(0, last + 1);
    const std::string name = last == std::string::npos ? path : path.substr(last + 1);
    std::string drive;
    if (folder.size() >= 2 && folder[1] == ':') {
        drive = folder.substr(0, 2);
        folder.erase(0, 2);
    }
    auto wider = [&] { return metrics.horizontalAdvance(framework::ToQString(result)) > width; };
    while ((!folder.empty() || !drive.empty()) && wider()) {
        if (folder == "\\...\\") {
            drive.clear();
            folder = "...\\";
        } else if (folder.empty()) {
            drive.clear();
        } else {
            folder = CutFirstFolder(folder);
        }
        result = drive + folder + name;
    }
    return result;
}

char UpperDriveChar(char c) {
    const std::string upper = platform::CharUpper(std::string(1, c));
    return upper.empty() ? c : upper[0];
}

}  // namespace picker
