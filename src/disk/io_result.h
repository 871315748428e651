#pragma once
// The one shape of an I/O failure in the core: the errno that caused it
// and the text a front end shows as it stands. Opening a disk, reading a
// run of sectors and a source's single request all return an IoResult:
// either what was asked for, or one IoError.
//
//     if (auto opened = reader.OpenSelectedDisk(path); !opened)
//         std::cerr << opened.error().text << "\n";
//
// (C++20 has no std::expected; this is the small part of it we need.)

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace dorvak {

struct IoError {
    // errno of the failure, or 0 when it is not the system's (data past the
    // end of a source, a container its library finds damaged).
    int code = 0;
    // What to tell the user, naming the path ("Cannot open PATH: ..."); a
    // single request's failure says only what went wrong.
    std::string text;
};

template <class T = void> class IoResult {
public:
    IoResult(T value) : v_(std::move(value)) {}
    IoResult(IoError error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const IoError& error() const { return std::get<1>(v_); }

private:
    std::variant<T, IoError> v_;
};

// A result with nothing to hand back: done, or why not. Reads of sectors
// are data whatever their result (a sector that fails reads as zeros), so
// most callers look at it only to count or to report.
template <> class IoResult<void> {
public:
    IoResult() = default;
    IoResult(IoError error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const IoError& error() const { return *error_; }

private:
    std::optional<IoError> error_;
};

} // namespace dorvak
