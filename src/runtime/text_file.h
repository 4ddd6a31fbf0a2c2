// Line-oriented text files with a 128-byte buffer, a per-thread I/O result and the I/O check.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace rtl {

// Runtime codes of the facility itself, beside the platform's Win32 codes.
enum : int32_t {
    kIoReadBeyondEof = 100,
    kIoDiskFull = 101,
    kIoFileNotAssigned = 102,
    kIoFileNotOpen = 103,
    kIoNotOpenForInput = 104,
    kIoNotOpenForOutput = 105,
    kIoInvalidInput = 106,
};

inline constexpr int kTextBufferSize = 128;
inline constexpr int kMaxFileNameLength = 259;

class TTextFile {
public:
    TTextFile() = default;
    TTextFile(const TTextFile&) = delete;
    TTextFile& operator=(const TTextFile&) = delete;
    ~TTextFile();

    // Binds a name and puts the file in the closed mode; touches nothing on disk.
    void Assign(const std::string& name);
    // Create for writing: creates the file or truncates an existing one.
    void Rewrite();
    // Open for reading at the start of an existing file.
    void Reset();
    bool Eof();
    // The rest of the current line; afterwards the file stands at the start of the next one.
    std::string ReadLn();
    void WriteLn(const std::string& text);
    void WriteLn(char c);
    void Write(const std::string& text);
    void Close();

    enum class Mode { Closed, Reading, Writing };
    Mode CurrentMode() const { return mode_; }

private:
    // Checks the binding and closes an open file first; false when the open must not go on.
    bool OpenPrepared();
    // Writes out and releases an open file without touching the I/O result.
    void Abandon();
    int PeekByte();  // -1 never: Ctrl-Z stands for the end
    void Advance();
    bool Refill();
    // False when a block could not be written: the rest of the statement is then lost.
    bool Put(const char* data, size_t count);
    void FlushStep();
    bool WriteOut();

    std::string name_;
    bool assigned_ = false;
    Mode mode_ = Mode::Closed;
    platform::FileHandle handle_ = platform::kInvalidFileHandle;
    bool charDevice_ = false;
    char buffer_[kTextBufferSize] = {};
    int pos_ = 0;
    int end_ = 0;
};

// The per-thread I/O result: the code of the last failure since the last check, or 0.
int32_t IOResult();
void SetIOResult(int32_t code);
// Raises EInOutError when the I/O result is non-zero, and resets it to 0.
void InOutCheck();
// The message of the I/O check for a code: "File not found", ..., "I/O error %d".
std::string InOutErrorMessage(int32_t code);
// An EInOutError for a code, with its message.
[[noreturn]] void RaiseInOutError(int32_t code);

}  // namespace rtl
