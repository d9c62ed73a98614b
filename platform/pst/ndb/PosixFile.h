// FileSink over a POSIX file descriptor, plus the file-system steps of creating a store
// (exclusive temp file, no-replace rename, directory sync).
#pragma once

#include "pst/FileSink.h"

#include <filesystem>

namespace pst::ndb {

class PosixFileSink : public FileSink {
public:
    // Creates path exclusively (O_EXCL); throws Error(AlreadyExists / NotWritable / Io).
    static std::unique_ptr<PosixFileSink> createExclusive(const std::filesystem::path& path);
    ~PosixFileSink() override;

    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    void resize(std::uint64_t size) override;
    void reserve(std::uint64_t size) override;
    void sync() override;
    std::string describe() const override { return path_.string(); }

private:
    PosixFileSink(int fd, std::filesystem::path path)
        : fd_(fd)
        , path_(std::move(path))
    {
    }
    int fd_;
    std::filesystem::path path_;
};

// Renames from to to, failing with Error(AlreadyExists) if to exists; then syncs the folder.
void renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// A unique hidden name next to path for the file while it is being built.
std::filesystem::path temporaryPathFor(const std::filesystem::path& path);
// Throws Error(kind by errno) for a failed system call.
[[noreturn]] void throwErrno(int err, const std::string& what, const std::string& where);

} // namespace pst::ndb
