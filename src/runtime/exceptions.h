// Exception classes of the wizard and its runtime; handlers throw them, the dispatch guard shows them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace rtl {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A failed I/O check, or a failed change of directory; carries the Win32 or runtime code.
class EInOutError : public Exception {
public:
    EInOutError(std::string message, int32_t code) : Exception(std::move(message)), ErrorCode(code) {}
    int32_t ErrorCode;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The silent exception: the guard never shows it.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

class EWriteError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

}  // namespace rtl
