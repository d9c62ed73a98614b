#include "pst/Error.h"

namespace pst {

const char* toString(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::Io:
        return "I/O error";
    case ErrorKind::DiskFull:
        return "disk full";
    case ErrorKind::AlreadyExists:
        return "already exists";
    case ErrorKind::NotWritable:
        return "not writable";
    case ErrorKind::LimitExceeded:
        return "format limit exceeded";
    case ErrorKind::InvalidArgument:
        return "invalid argument";
    case ErrorKind::InvalidState:
        return "invalid state";
    case ErrorKind::Internal:
        return "internal check failed";
    }
    return "unknown";
}

namespace {
    std::string compose(ErrorKind kind, const std::string& what, const std::string& where, const std::string& expected,
        const std::string& actual)
    {
        std::string s = std::string("PST ") + toString(kind) + ": " + what;
        if (!where.empty())
            s += " [" + where + "]";
        if (!expected.empty())
            s += "; expected " + expected;
        if (!actual.empty())
            s += "; actual " + actual;
        return s;
    }
} // namespace

Error::Error(ErrorKind kind, std::string what, std::string where, std::string expected, std::string actual)
    : std::runtime_error(compose(kind, what, where, expected, actual))
    , kind_(kind)
    , what_(std::move(what))
    , where_(std::move(where))
    , expected_(std::move(expected))
    , actual_(std::move(actual))
{
}

} // namespace pst
