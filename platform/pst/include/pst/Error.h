// Typed errors of the PST layer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pst {

// What kind of failure; callers branch on this, people read the message.
enum class ErrorKind {
    Io, // a read, write, sync or rename of the file failed
    DiskFull, // the disk or a quota ran out of space
    AlreadyExists, // a file (or a sibling folder) with that name is already there
    NotWritable, // the folder cannot be written (permissions, read-only)
    LimitExceeded, // a format limit (ANSI 2 GB file, 65,535 table rows, ...) would be crossed
    InvalidArgument, // a caller passed something the format cannot hold
    InvalidState, // the store was closed or broke on an earlier error
    Internal, // a size or offset check inside the writer failed
};

const char* toString(ErrorKind kind);

// One failure: what failed, where (file, structure, offset), what was expected and what was found.
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, std::string what, std::string where, std::string expected = {}, std::string actual = {});

    ErrorKind kind() const noexcept { return kind_; }
    const std::string& operation() const noexcept { return what_; }
    const std::string& where() const noexcept { return where_; }
    const std::string& expected() const noexcept { return expected_; }
    const std::string& actual() const noexcept { return actual_; }

private:
    ErrorKind kind_;
    std::string what_;
    std::string where_;
    std::string expected_;
    std::string actual_;
};

} // namespace pst
