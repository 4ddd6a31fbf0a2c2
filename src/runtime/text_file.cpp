// Buffered text files over the platform's file calls, with the per-thread I/O result.
#include "runtime/text_file.h"

#include <cstring>

#include "runtime/exceptions.h"

namespace rtl {

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr char kCr = 0x0D;
constexpr char kLf = 0x0A;
constexpr size_t kLineChunk = 255;

thread_local int32_t g_ioResult = 0;

void StoreLastError() { SetIOResult(static_cast<int32_t>(platform::GetLastError())); }

}  // namespace

int32_t IOResult() { return g_ioResult; }

void SetIOResult(int32_t code) { g_ioResult = code; }

void InOutCheck() {
    const int32_t code = g_ioResult;
    if (code == 0) return;
    g_ioResult = 0;
    RaiseInOutError(code);
}

std::string InOutErrorMessage(int32_t code) {
    switch (code) {
        case 2:
            return "File not found";
        case 3:
            return "Invalid filename";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        case kIoReadBeyondEof:
            return "Read beyond end of file";
        case kIoDiskFull:
            return "Disk full";
        case kIoInvalidInput:
            return "Invalid numeric input";
        default:
            return "I/O error " + std::to_string(code);
    }
}

void RaiseInOutError(int32_t code) { throw EInOutError(InOutErrorMessage(code), code); }

TTextFile::~TTextFile() { Abandon(); }

void TTextFile::Abandon() {
    if (mode_ == Mode::Closed) return;
    // An abandoned file still gets its waiting bytes and its handle released; what goes wrong
    // here must not surface at some later, unrelated I/O check, so the result is left as it was.
    const int32_t saved = g_ioResult;
    const uint32_t savedError = platform::GetLastError();
    if (mode_ == Mode::Writing) WriteOut();
    platform::CloseHandle(handle_);
    handle_ = platform::kInvalidFileHandle;
    mode_ = Mode::Closed;
    g_ioResult = saved;
    platform::SetLastError(savedError);
}

void TTextFile::Assign(const std::string& name) {
    // The name is handed to the platform whole, also beyond kMaxFileNameLength: the host
    // decides whether it can open it, and reports its own code when it cannot.
    Abandon();  // binding over an open file must not leak its handle
    name_ = name;
    assigned_ = true;
    mode_ = Mode::Closed;
    handle_ = platform::kInvalidFileHandle;
    charDevice_ = false;
    pos_ = 0;
    end_ = 0;
}

bool TTextFile::OpenPrepared() {
    if (!assigned_) {
        SetIOResult(kIoFileNotAssigned);
        return false;
    }
    if (mode_ != Mode::Closed) {
        Close();
        // A file whose last buffer could not be written stays open with its code recorded;
        // opening another handle over it would leak the first one.
        if (mode_ != Mode::Closed) return false;
    }
    return true;
}

void TTextFile::Rewrite() {
    if (!OpenPrepared()) return;
    const platform::FileHandle handle =
        platform::CreateFile(name_, platform::kGenericWrite, platform::kShareRead, platform::kCreateAlways);
    if (handle == platform::kInvalidFileHandle) {
        StoreLastError();
        return;
    }
    handle_ = handle;
    mode_ = Mode::Writing;
    charDevice_ = platform::GetFileType(handle) == platform::kFileTypeChar;
    pos_ = 0;
    end_ = 0;
}

void TTextFile::Reset() {
    if (!OpenPrepared()) return;
    const platform::FileHandle handle =
        platform::CreateFile(name_, platform::kGenericRead, platform::kShareRead, platform::kOpenExisting);
    if (handle == platform::kInvalidFileHandle) {
        StoreLastError();
        return;
    }
    handle_ = handle;
    mode_ = Mode::Reading;
    charDevice_ = false;
    pos_ = 0;
    end_ = 0;
}

bool TTextFile::Refill() {
    pos_ = 0;
    end_ = 0;
    uint32_t read = 0;
    if (!platform::ReadFile(handle_, buffer_, kTextBufferSize, &read)) {
        const uint32_t error = platform::GetLastError();
        // A pipe whose writer has gone is simply the end of the data.
        if (error != platform::kErrorBrokenPipe) {
            SetIOResult(static_cast<int32_t>(error));
            return false;
        }
        read = 0;
    }
    if (read == 0) {
        // The physical end reads as a Ctrl-Z that is never consumed.
        buffer_[0] = kCtrlZ;
        end_ = 1;
    } else {
        end_ = static_cast<int>(read);
    }
    return true;
}

int TTextFile::PeekByte() {
    if (mode_ != Mode::Reading) {
        SetIOResult(kIoNotOpenForInput);
        return kCtrlZ;
    }
    if (pos_ >= end_ && !Refill()) return kCtrlZ;
    return static_cast<unsigned char>(buffer_[pos_]);
}

void TTextFile::Advance() {
    // Ctrl-Z is never consumed, so every later read sees it again.
    if (mode_ == Mode::Reading && pos_ < end_ && buffer_[pos_] != kCtrlZ) ++pos_;
}

bool TTextFile::Eof() { return PeekByte() == kCtrlZ; }

std::string TTextFile::ReadLn() {
    std::string line;
    char chunk[kLineChunk];
    size_t chunkLength = 0;
    for (;;) {
        const int c = PeekByte();
        if (c == kCr || c == kCtrlZ) break;
        // Take the run of plain bytes standing in the buffer in one go; the line grows by
        // appending whole chunks, so its cost stays linear in its length.
        int runEnd = pos_;
        while (runEnd < end_ && buffer_[runEnd] != kCr && buffer_[runEnd] != kCtrlZ &&
               static_cast<size_t>(runEnd - pos_) < kLineChunk - chunkLength) {
            ++runEnd;
        }
        const size_t count = static_cast<size_t>(runEnd - pos_);
        std::memcpy(chunk + chunkLength, buffer_ + pos_, count);
        chunkLength += count;
        pos_ = runEnd;
        if (chunkLength == kLineChunk) {
            line.append(chunk, chunkLength);
            chunkLength = 0;
        }
    }
    line.append(chunk, chunkLength);

    // Step over the line end: a CR, and an LF straight after it.
    if (PeekByte() == kCr) {
        Advance();
        if (PeekByte() == kLf) Advance();
    }
    return line;
}

bool TTextFile::WriteOut() {
    if (pos_ == 0) return true;
    uint32_t written = 0;
    const bool ok = platform::WriteFile(handle_, buffer_, static_cast<uint32_t>(pos_), &written);
    // The bytes are gone from the buffer either way: a failed block is lost, never retried.
    pos_ = 0;
    if (!ok) StoreLastError();
    return ok;
}

bool TTextFile::Put(const char* data, size_t count) {
    if (mode_ != Mode::Writing) {
        SetIOResult(kIoNotOpenForOutput);
        return false;
    }
    while (count > 0) {
        const size_t room = static_cast<size_t>(kTextBufferSize - pos_);
        const size_t n = count < room ? count : room;
        std::memcpy(buffer_ + pos_, data, n);
        pos_ += static_cast<int>(n);
        data += n;
        count -= n;
        if (pos_ == kTextBufferSize && !WriteOut()) return false;
    }
    return true;
}

void TTextFile::FlushStep() {
    switch (mode_) {
        case Mode::Closed:
            SetIOResult(kIoFileNotOpen);
            break;
        case Mode::Writing:
            if (charDevice_) WriteOut();
            break;
        case Mode::Reading:
            break;
    }
}

// The line end belongs to the statement: after a lost block it is lost as well, so it can
// never reach the disk at close without the text before it.
void TTextFile::WriteLn(const std::string& text) {
    if (Put(text.data(), text.size())) Put("\r\n", 2);
    FlushStep();
}

void TTextFile::WriteLn(char c) {
    if (Put(&c, 1)) Put("\r\n", 2);
    FlushStep();
}

void TTextFile::Write(const std::string& text) {
    Put(text.data(), text.size());
    FlushStep();
}

void TTextFile::Close() {
    if (mode_ == Mode::Closed) {
        SetIOResult(kIoFileNotOpen);
        return;
    }
    if (mode_ == Mode::Writing && !WriteOut()) return;  // stays marked open
    mode_ = Mode::Closed;
    const platform::FileHandle handle = handle_;
    handle_ = platform::kInvalidFileHandle;
    pos_ = 0;
    end_ = 0;
    if (!platform::CloseHandle(handle)) StoreLastError();
}

}  // namespace rtl
