// Errors as values: every core operation that can fail returns a Result.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace qv {

enum class ErrorCode {
    NotFound,          // no such file, or the path names a folder
    IsDirectory,
    AccessDenied,
    InUse,             // held open (locked) by another program
    ReadOnly,
    DiskFull,
    IoError,
    NotAZip,
    BadZip,
    UnsupportedMethod,
    CrcMismatch,
    SizeMismatch,
    TooLarge,
    NotCompoundFile,
    BadCompoundFile,
    BadPropertySet,
    BadXml,
    PackageLayout,     // relationships or property parts missing
    ConversionFailed,  // a value text that can't be converted
    InvalidArgument,
    Unsupported,
    Cancelled,
    ChangedMeanwhile,  // another program changed the file while it was being changed
    NotAPlainFile,     // a link, folder or device where a file of ours was to be written
    NotAnOfficeDocument,  // neither a compound file nor a ZIP package, whatever its name
    PasswordProtected,    // an encrypted document: its properties can't be read or written
    Signed,               // a digital signature covers what a change would write
    ChangedSincePreview,  // the file is no longer what the preview of a change read
    AlreadyExists,        // a new file was to be made where one is already
    Internal,
};

struct Error {
    ErrorCode code = ErrorCode::Internal;
    std::string message;  // English, for logs, the command line and detail texts

    Error() = default;
    Error(ErrorCode c, std::string m) : code(c), message(std::move(m)) {}
};

// The name of an error code, stable for JSON and tests.
const char* errorCodeName(ErrorCode code);

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_v(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_v(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { assert(ok()); return std::get<0>(m_v); }
    const T& value() const& { assert(ok()); return std::get<0>(m_v); }
    T&& value() && { assert(ok()); return std::get<0>(std::move(m_v)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const { assert(!ok()); return std::get<1>(m_v); }

    T valueOr(T fallback) const { return ok() ? std::get<0>(m_v) : std::move(fallback); }

private:
    std::variant<T, Error> m_v;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_ok(false), m_error(std::move(error)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const Error& error() const { assert(!m_ok); return m_error; }

private:
    bool m_ok = true;
    Error m_error;
};

using Status = Result<void>;

inline Error makeError(ErrorCode code, std::string message) { return Error(code, std::move(message)); }

}  // namespace qv

// Propagates the error of an expression that yields a Result.
#define QV_TRY(expr)                                   \
    do {                                               \
        auto qv_try_result_ = (expr);                  \
        if (!qv_try_result_.ok())                      \
            return qv_try_result_.error();             \
    } while (0)
