// Directory search with Windows wildcard rules, and the file-time conversions.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/wildcard.h"

namespace platform {

struct FindState {
    std::vector<FindData> entries;
    size_t next = 0;
};

namespace {

constexpr uint64_t kTicksPerSecond = 10000000u;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Looks at the entry through the open folder: no walk down the folder's path for every name.
FindData EntryData(int dirFd, const std::string& name) {
    FindData data;
    data.name = name;
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, 0) != 0 && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone between listing and looking: still the name the folder listed.
        data.attributes = kAttrArchive;
        return data;
    }
    data.attributes = posix::AttributesFromStatAt(st, name, dirFd);
    data.lastWriteTime.ticks = posix::TicksFromTimespec(st.st_mtim);
    data.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    return data;
}

// The folder a pattern or name searches, or false with the search's error set.
bool SearchFolder(const std::string& folderPart, posix::ResolvedPath* folder) {
    uint32_t error = 0;
    if (!posix::ResolvePath(folderPart.empty() ? std::string(".") : folderPart, folder, &error)) {
        SetLastError(error == kErrorFileNotFound ? static_cast<uint32_t>(kErrorPathNotFound) : error);
        return false;
    }
    struct stat st;
    if (::stat(folder->host.c_str(), &st) != 0) {
        const int saved = errno;
        SetLastError(saved == ENOENT || saved == ENOTDIR ? static_cast<uint32_t>(kErrorPathNotFound)
                                                         : posix::CodeFromErrno(saved, folder->host));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    return true;
}

// Days since 1970-01-01 to a civil date, proleptic Gregorian.
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

FindHandle FindFirstFile(const std::string& pattern, FindData* data) { return FindFirstFileEx(pattern, data, false); }

FindHandle FindFirstFileEx(const std::string& pattern, FindData* data, bool limitToDirectories) {
    const size_t cut = pattern.find_last_of("\\/:");
    const std::string folderPart = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
    const std::string namePart = cut == std::string::npos ? pattern : pattern.substr(cut + 1);

    posix::ResolvedPath folder;
    if (!SearchFolder(folderPart, &folder)) return nullptr;
    if (namePart.empty()) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    // A plain name is a path component, whose trailing periods and spaces Windows drops; a
    // pattern keeps them, as "*." means names without an extension.
    const bool plainName =
        namePart.find_first_of("*?") == std::string::npos && namePart != "." && namePart != "..";
    if (plainName) {
        // One entry: the one a path with this name reaches, the exact name before one that
        // differs only in case, so that on a case-sensitive volume "docs" and "Docs" are each
        // found as themselves, by the existence test as by every other call. No folder listing.
        posix::ResolvedPath target;
        uint32_t error = 0;
        const std::string name = posix::TrimComponent(namePart);
        struct stat entry;
        if (name.empty() || !posix::ResolvePath(folderPart + name, &target, &error)) {
            SetLastError(kErrorFileNotFound);
            return nullptr;
        }
        if (target.device) {
            // A device is found in any folder, under its name without an extension.
            auto state = std::make_unique<FindState>();
            FindData device;
            device.name = posix::DeviceBaseName(target.lastName);
            device.attributes = kAttrArchive;
            state->entries.push_back(device);
            if (data) *data = device;
            state->next = 1;
            return state.release();
        }
        if (::lstat(target.host.c_str(), &entry) != 0) {
            SetLastError(kErrorFileNotFound);
            return nullptr;
        }
        const std::string onDisk = target.host.substr(target.host.rfind('/') + 1);
        if (!posix::IsWindowsName(onDisk)) {
            SetLastError(kErrorFileNotFound);
            return nullptr;
        }
        const int dirFd = ::open(folder.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) {
            SetLastError(posix::CodeFromErrno(errno, folder.host));
            return nullptr;
        }
        auto state = std::make_unique<FindState>();
        state->entries.push_back(EntryData(dirFd, onDisk));
        ::close(dirFd);
        if (data) *data = state->entries[0];
        state->next = 1;
        return state.release();
    }
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.host.c_str()));
    if (!dir) {
        SetLastError(posix::CodeFromErrno(errno, folder.host));
        return nullptr;
    }
    const int dirFd = ::dirfd(dir.get());
    const posix::WildcardPattern matcher(namePart);
    // Each entry with its sort key: the key, a zero byte (which no key holds, so a shorter key
    // sorts first) and the name, so one byte comparison orders two entries by key
    // and, for names that differ only in case (a case-sensitive host), by their bytes. The host
    // is asked about each entry in the folder's own order, which is the quick one to look up.
    struct Match {
        std::string sortText;
        FindData data;
    };
    auto state = std::make_unique<FindState>();
    std::vector<Match> matches;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        if (limitToDirectories && entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const std::string name = entry->d_name;
        // Such a name could never be asked for again through a Windows path.
        if (!posix::IsWindowsName(name)) continue;
        if (!matcher.Matches(name)) continue;
        if (name == "." || name == "..") {
            // A drive's or a share's root has neither, as there.
            if (!folder.lastName.empty()) state->entries.push_back(EntryData(dirFd, name));
            continue;
        }
        Match match;
        match.sortText = posix::NtfsOrderKey(name);
        match.sortText += '\0';
        match.sortText += name;
        match.data = EntryData(dirFd, name);
        matches.push_back(std::move(match));
    }
    // The order NTFS keeps, whatever order the host's folder has: "." and ".." first.
    std::sort(state->entries.begin(), state->entries.end(),
              [](const FindData& a, const FindData& b) { return a.name < b.name; });
    std::vector<uint32_t> order(matches.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return matches[a].sortText < matches[b].sortText; });
    state->entries.reserve(state->entries.size() + matches.size());
    for (const uint32_t at : order) state->entries.push_back(std::move(matches[at].data));
    if (state->entries.empty()) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    if (data) *data = state->entries[0];
    state->next = 1;
    return state.release();
}

bool FindNextFile(FindHandle handle, FindData* data) {
    if (handle == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (handle->next >= handle->entries.size()) {
        SetLastError(kErrorNoMoreFiles);
        return false;
    }
    // Each entry is handed out once.
    if (data) *data = std::move(handle->entries[handle->next]);
    ++handle->next;
    return true;
}

bool FindClose(FindHandle handle) {
    if (handle == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    delete handle;
    return true;
}

bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
    const int64_t seconds = static_cast<int64_t>(utc.ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
    const time_t instant = static_cast<time_t>(seconds);
    ::tzset();
    std::tm parts{};
    if (::localtime_r(&instant, &parts) == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const int64_t offset = static_cast<int64_t>(parts.tm_gmtoff) * static_cast<int64_t>(kTicksPerSecond);
    const uint64_t magnitude = static_cast<uint64_t>(offset < 0 ? -offset : offset);
    // Neither end of the tick range wraps round.
    if ((offset < 0 && magnitude > utc.ticks) || (offset > 0 && magnitude > UINT64_MAX - utc.ticks)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    if (local) local->ticks = offset < 0 ? utc.ticks - magnitude : utc.ticks + magnitude;
    return true;
}

bool FileTimeToDosDateTime(FileTime time, uint16_t* dosDate, uint16_t* dosTime) {
    const uint64_t seconds = time.ticks / kTicksPerSecond;
    const int64_t days = static_cast<int64_t>(seconds / 86400) - kSecondsFrom1601To1970 / 86400;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    int64_t year;
    unsigned month;
    unsigned day;
    CivilFromDays(days, &year, &month, &day);
    if (year < 1980 || year > 2107) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const unsigned hour = secondOfDay / 3600;
    const unsigned minute = secondOfDay / 60 % 60;
    const unsigned second = secondOfDay % 60;
    if (dosDate) *dosDate = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    if (dosTime) *dosTime = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return true;
}

}  // namespace platform
