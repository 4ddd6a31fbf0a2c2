// Starting programs on POSIX hosts: a detached child without a shell, as the Windows shell would.
#include "platform/posix/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "viewer_core.h"

extern char** environ;

namespace platform {

namespace posix {

namespace {

// ShellExecute's own failure codes.
constexpr intptr_t kSeErrFileNotFound = 2;
constexpr intptr_t kSeErrPathNotFound = 3;
constexpr intptr_t kSeErrAccessDenied = 5;
constexpr intptr_t kSeErrOutOfMemory = 8;
constexpr intptr_t kSeErrBadFormat = 11;
constexpr intptr_t kSeErrShare = 26;
constexpr intptr_t kSeErrNoAssociation = 31;
constexpr intptr_t kStarted = 42;

bool IsNonDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0 &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Windows names match without regard to case; the exact spelling wins, then the first match
// in byte order, so the choice does not depend on the order of the folder's entries.
std::string FindInFolder(const std::string& folder, const std::string& name) {
    const std::string exact = JoinPath(folder, name);
    if (IsNonDirectory(exact)) return exact;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return {};
    std::string best;
    while (dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) != 0) continue;
        const std::string candidate = JoinPath(folder, entry->d_name);
        if (IsNonDirectory(candidate) && (best.empty() || candidate < best)) best = candidate;
    }
    ::closedir(dir);
    return best;
}

std::string CurrentHostFolder() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::vector<std::string> PathFolders() {
    std::vector<std::string> folders;
    const char* path = std::getenv("PATH");
    if (path == nullptr) return folders;
    const std::string text = path;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos) end = text.size();
        // An empty entry stands for the working folder, as execvp reads it.
        folders.push_back(end > start ? text.substr(start, end - start) : std::string("."));
        start = end + 1;
    }
    return folders;
}

// The first executable file of that name along PATH; empty when there is none.
std::string FindOnPath(const std::string& name) {
    for (const auto& folder : PathFolders()) {
        const std::string candidate = JoinPath(folder, name);
        if (IsExecutableFile(candidate)) return candidate;
    }
    return {};
}

// The host folder of the running program as GetModuleFileName reports it; empty when unknown.
std::string OwnHostFolder() {
    const std::string program = GetModuleFileName();
    std::string host;
    uint32_t code = 0;
    if (program.empty() || !ToHostPath(program, &host, &code)) return {};
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : host.substr(0, slash);
}

intptr_t CodeFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return kSeErrFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return kSeErrPathNotFound;
    case EACCES:
    case EPERM:
        return kSeErrAccessDenied;
    case ENOEXEC:
    case ELIBBAD:
        return kSeErrBadFormat;
    case ENOMEM:
    case E2BIG:
    case EAGAIN:
        return kSeErrOutOfMemory;
    case ETXTBSY:
        return kSeErrShare;
    default:
        return kSeErrNoAssociation;
    }
}

bool StartsWithMz(const std::string& path) {
    // Without blocking: a FIFO of the name would wait for a writer that never comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    char magic[2] = {0, 0};
    const ssize_t got = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ::read(fd, magic, sizeof magic) : 0;
    ::close(fd);
    return got == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// Our Windows viewer: a regular file named kvd.exe in any letter case that starts with the "MZ" of
// a Windows program. The wizard reserves that name for the viewer it copies into every project and
// onto every disc, and only a Windows program needs a stand-in here: a program of this host under
// that name (a script, an older build of the viewer for this system) still runs as itself, and a
// Windows program under any other name is never taken for the viewer.
bool IsOurWindowsViewer(const std::string& hostPath) {
    const size_t slash = hostPath.rfind('/');
    const std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
    return ::strcasecmp(name.c_str(), "kvd.exe") == 0 && !IsFolder(hostPath) && StartsWithMz(hostPath);
}

// The environment of the started program: ours, with the variable set to the value, or without
// it when the value is empty, so that a value inherited from whoever started us never reaches a
// program it was not meant for.
std::vector<std::string> ChildEnvironment(const std::string& variable, const std::string& value) {
    std::vector<std::string> environment;
    const std::string prefix = variable + "=";
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::string(*entry).compare(0, prefix.size(), prefix) != 0) environment.emplace_back(*entry);
    }
    if (!value.empty()) environment.push_back(prefix + value);
    return environment;
}

// What the grandchild reports back through the pipe when it cannot start the program.
struct StartFailure {
    int stage; // 0: working folder, 1: exec, 2: fork
    int error;
};

void Report(int fd, int stage, int error) {
    const StartFailure failure{stage, error};
    ssize_t ignored = ::write(fd, &failure, sizeof failure);
    (void)ignored;
}

// Runs in the grandchild, between fork and exec: only async-signal-safe calls.
void MarkDescriptorsCloseOnExec(int highest) {
#ifdef CLOSE_RANGE_CLOEXEC
    if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    for (int fd = 3; fd <= highest; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void ResetSignals() {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &action, nullptr);
}

// Starts the program detached: the intermediate child exits at once and is reaped here, so
// the program belongs to init and never lingers as our zombie. A close-on-exec pipe carries
// an exec failure back; end of file on it means the program is running.
intptr_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
               const std::vector<std::string>& environment) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const char* workFolder = folder.empty() ? nullptr : folder.c_str();
    struct rlimit limit {};
    int highest = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        highest = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536));

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return CodeFromErrno(errno);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return CodeFromErrno(error);
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            Report(pipeFds[1], 2, errno);
            ::_exit(1);
        }
        if (grandchild == 0) {
            ResetSignals();
            if (workFolder != nullptr && ::chdir(workFolder) != 0) {
                Report(pipeFds[1], 0, errno);
                ::_exit(127);
            }
            MarkDescriptorsCloseOnExec(highest);
            ::execve(program.c_str(), argv.data(), envp.data());
            Report(pipeFds[1], 1, errno);
            ::_exit(127);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    StartFailure failure{};
    ssize_t got;
    while ((got = ::read(pipeFds[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(pipeFds[0]);
    if (got == 0) return kStarted;
    if (got != static_cast<ssize_t>(sizeof failure)) return kSeErrNoAssociation;
    if (failure.stage == 0) return kSeErrPathNotFound;
    return CodeFromErrno(failure.error);
}

} // namespace

std::string FindProgram(const std::string& file, uint32_t* error) {
    *error = kErrorSuccess;
    if (file.empty()) {
        *error = kErrorFileNotFound;
        return {};
    }
    const bool hasPath = file.find_first_of("\\/:") != std::string::npos;
    if (hasPath) {
        std::string windowsPath = file;
        std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
        std::string host;
        uint32_t code = 0;
        if (!ToHostPath(windowsPath, &host, &code)) {
            *error = code == kErrorFileNotFound ? kErrorFileNotFound : kErrorPathNotFound;
            return {};
        }
        const size_t slash = host.rfind('/');
        const std::string folder = slash == 0 ? "/" : host.substr(0, slash);
        const std::string name = host.substr(slash + 1);
        if (slash == std::string::npos || !IsFolder(folder)) {
            *error = kErrorPathNotFound;
            return {};
        }
        std::string found = FindInFolder(folder, name);
        if (found.empty()) *error = kErrorFileNotFound;
        return found;
    }
    // A bare name: the working folder first, as the Windows shell looks there, then PATH.
    const std::string here = CurrentHostFolder();
    if (!here.empty()) {
        std::string found = FindInFolder(here, file);
        if (!found.empty()) return found;
    }
    std::string found = FindOnPath(file);
    if (!found.empty()) return found;
    // Last, the folder of the running program: programs shipped beside it (the viewer with
    // its help page) start even where neither the working folder nor PATH holds a copy.
    const std::string own = OwnHostFolder();
    if (!own.empty()) {
        found = FindInFolder(own, file);
        // Our Windows viewer there needs no mode bit of this system: its stand-in is what runs.
        if (!found.empty() && (IsExecutableFile(found) || IsOurWindowsViewer(found))) return found;
    }
    // A file of that name that may not be run still tells why the start fails.
    for (const auto& folder : PathFolders()) {
        const std::string candidate = JoinPath(folder, file);
        if (IsNonDirectory(candidate)) return candidate;
    }
    *error = kErrorFileNotFound;
    return {};
}

} // namespace posix

intptr_t ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                      const std::string& directory, int showCommand) {
    (void)showCommand; // windows of a started program are placed by the window manager
    auto fail = [](intptr_t code) {
        SetLastError(static_cast<uint32_t>(code));
        return code;
    };
    if (!verb.empty() && ::strcasecmp(verb.c_str(), "open") != 0) return fail(posix::kSeErrNoAssociation);

    uint32_t error = 0;
    const std::string program = posix::FindProgram(file, &error);
    if (program.empty()) return fail(error);

    std::string folder;
    if (!directory.empty()) {
        uint32_t code = 0;
        if (!posix::ToHostPath(directory, &folder, &code) || !posix::IsFolder(folder))
            return fail(posix::kSeErrPathNotFound);
    }

    std::vector<std::string> args = viewer::SplitCommandLine(parameters);
    std::string executable;
    std::string standsInFor;
    if (posix::IsOurWindowsViewer(program)) {
        // The Windows loader of this system has no browser engine to show pages with, so the viewer
        // never goes there: this system's viewer beside the running program shows the same pages
        // from the same tokens, told which kvd.exe it stands in for.
        const std::string own = posix::OwnHostFolder();
        executable = own.empty() ? std::string() : posix::JoinPath(own, kHostViewerProgram);
        if (executable.empty() || !posix::IsExecutableFile(executable)) return fail(posix::kSeErrNoAssociation);
        args.insert(args.begin(), executable);
        // Absolute, as a working folder given to the start would change what a relative path names.
        standsInFor = program[0] == '/' ? program : posix::JoinPath(posix::CurrentHostFolder(), program);
    } else if (posix::StartsWithMz(program)) {
        // Any other Windows program needs its loader; without one nothing is associated with it.
        executable = posix::FindOnPath("wine");
        if (executable.empty()) return fail(posix::kSeErrNoAssociation);
        args.insert(args.begin(), {"wine", program});
    } else {
        if (!posix::IsExecutableFile(program)) return fail(posix::kSeErrAccessDenied);
        executable = program;
        args.insert(args.begin(), program);
    }
    const intptr_t result =
        posix::Spawn(executable, args, folder, posix::ChildEnvironment(kStandsInForVariable, standsInFor));
    if (result <= 32) return fail(result);
    SetLastError(kErrorSuccess);
    return result;
}

} // namespace platform
