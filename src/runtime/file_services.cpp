// Existence test, deletion and the whole-file copy through a memory stream.
#include "runtime/file_services.h"

#include <new>
#include <stdexcept>

#include "platform/platform.h"
#include "runtime/exceptions.h"

namespace rtl {

namespace {

// Releases a platform handle on every way out of a stream operation.
class HandleCloser {
public:
    explicit HandleCloser(platform::FileHandle handle) : handle_(handle) {}
    ~HandleCloser() { platform::CloseHandle(handle_); }
    HandleCloser(const HandleCloser&) = delete;
    HandleCloser& operator=(const HandleCloser&) = delete;

private:
    platform::FileHandle handle_;
};

// ReadFile and WriteFile move at most this much per call.
constexpr uint64_t kMaxTransfer = 0x40000000u;

}  // namespace

bool FileExists(const std::string& name) {
    platform::FindData data;
    // A name without wildcards costs the search one look at the entry it names, not a read of
    // the whole folder.
    platform::FindHandle search = platform::FindFirstFile(name, &data);
    if (search == nullptr) return false;
    platform::FindClose(search);
    if (data.attributes & platform::kAttrDirectory) return false;
    platform::FileTime local;
    if (!platform::FileTimeToLocalFileTime(data.lastWriteTime, &local)) return false;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    return platform::FileTimeToDosDateTime(local, &dosDate, &dosTime);
}

bool DeleteFile(const std::string& name) { return platform::DeleteFile(name); }

void TMemoryStream::LoadFromFile(const std::string& name) {
    const platform::FileHandle handle =
        platform::CreateFile(name, platform::kGenericRead, platform::kShareRead, platform::kOpenExisting);
    if (handle == platform::kInvalidFileHandle) throw EFOpenError("Cannot open file " + name);
    HandleCloser closer(handle);

    const int64_t size = platform::SetFilePointer(handle, 0, platform::kFileEnd);
    if (size < 0 || platform::SetFilePointer(handle, 0, platform::kFileBegin) != 0) {
        throw EReadError("Stream read error");
    }

    std::vector<char> content;
    try {
        content.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw EStreamError("Out of memory while expanding memory stream");
    } catch (const std::length_error&) {
        throw EStreamError("Out of memory while expanding memory stream");
    }

    // One request per piece the platform can take; a short piece means the file ended early.
    uint64_t done = 0;
    const uint64_t total = static_cast<uint64_t>(size);
    while (done < total) {
        const uint64_t want = total - done < kMaxTransfer ? total - done : kMaxTransfer;
        uint32_t read = 0;
        if (!platform::ReadFile(handle, content.data() + done, static_cast<uint32_t>(want), &read) || read == 0) {
            break;
        }
        done += read;
    }
    if (done < total) throw EReadError("Stream read error");
    data_.swap(content);
}

void TMemoryStream::SaveToFile(const std::string& name) const {
    // A link of the name is replaced, not written through: it may lead out of the folder the file
    // is saved in, or to nothing, which would then be created.
    const platform::FileHandle handle =
        platform::CreateFile(name, platform::kGenericRead | platform::kGenericWrite, platform::kShareNone,
                             platform::kCreateAlways, platform::kFlagOpenReparsePoint);
    if (handle == platform::kInvalidFileHandle) throw EFCreateError("Cannot create file " + name);
    HandleCloser closer(handle);

    uint64_t done = 0;
    const uint64_t total = data_.size();
    while (done < total) {
        const uint64_t want = total - done < kMaxTransfer ? total - done : kMaxTransfer;
        uint32_t written = 0;
        if (!platform::WriteFile(handle, data_.data() + done, static_cast<uint32_t>(want), &written) ||
            written != want) {
            throw EWriteError("Stream write error");
        }
        done += written;
    }
}

void CopyWholeFile(const std::string& source, const std::string& target) {
    TMemoryStream content;
    content.LoadFromFile(source);
    content.SaveToFile(target);
    // The copy of a program must stay runnable where the host keeps that in the file's mode.
    platform::CopyFileMode(source, target);
}

}  // namespace rtl
