#include "ndb/PosixFile.h"

#include "pst/Error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pst::ndb {

void throwErrno(int err, const std::string& what, const std::string& where)
{
    ErrorKind kind = ErrorKind::Io;
    if (err == ENOSPC || err == EDQUOT || err == EFBIG)
        kind = ErrorKind::DiskFull;
    else if (err == EEXIST)
        kind = ErrorKind::AlreadyExists;
    else if (err == EACCES || err == EPERM || err == EROFS || err == ENOENT || err == ENOTDIR)
        kind = ErrorKind::NotWritable;
    throw Error(kind, what, where, "success", std::string(std::strerror(err)) + " (errno " + std::to_string(err) + ")");
}

std::unique_ptr<PosixFileSink> PosixFileSink::createExclusive(const std::filesystem::path& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throwErrno(errno, "create file", path.string());
    return std::unique_ptr<PosixFileSink>(new PosixFileSink(fd, path));
}

PosixFileSink::~PosixFileSink() { ::close(fd_); }

void PosixFileSink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno, "write " + std::to_string(size) + " bytes",
                path_.string() + " at offset " + std::to_string(offset));
        }
        if (n == 0)
            throw Error(ErrorKind::DiskFull, "write", path_.string() + " at offset " + std::to_string(offset),
                std::to_string(size) + " bytes written", "0 bytes written");
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void PosixFileSink::resize(std::uint64_t size)
{
    // posix_fallocate reserves the blocks so a full disk shows up here, not as a later failed write.
    int rc = ::posix_fallocate(fd_, 0, static_cast<off_t>(size));
    if (rc == EOPNOTSUPP || rc == EINVAL)
        rc = ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
    if (rc != 0)
        throwErrno(rc, "grow file to " + std::to_string(size) + " bytes", path_.string());
    struct stat st { };
    if (::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > size
        && ::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throwErrno(errno, "shrink file to " + std::to_string(size) + " bytes", path_.string());
}

void PosixFileSink::reserve(std::uint64_t size)
{
    struct stat st { };
    if (::fstat(fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) >= size)
        return;
    // The blocks beyond the current end, with the length unchanged (Linux fallocate).
    const off_t from = st.st_size;
    const int rc = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, from, static_cast<off_t>(size) - from) == 0 ? 0 : errno;
    if (rc != 0 && rc != EOPNOTSUPP && rc != ENOSYS && rc != EINVAL)
        throwErrno(rc, "reserve " + std::to_string(size) + " bytes", path_.string());
}

void PosixFileSink::sync()
{
    if (::fdatasync(fd_) != 0)
        throwErrno(errno, "sync", path_.string());
}

std::filesystem::path temporaryPathFor(const std::filesystem::path& path)
{
    std::random_device rd;
    auto name
        = "." + path.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(rd() % 1000000);
    return path.parent_path() / name;
}

void renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // Never replaces an existing file: RENAME_NOREPLACE, or a hard link (fails with EEXIST) where the
    // file system lacks it, or a checked rename on file systems without hard links.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        int err = errno;
        if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
            throwErrno(err, "publish finished file", to.string());
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) != 0)
                throwErrno(errno, "remove temporary file", from.string());
        } else if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP) {
            if (::access(to.c_str(), F_OK) == 0)
                throwErrno(EEXIST, "publish finished file", to.string());
            if (::rename(from.c_str(), to.c_str()) != 0)
                throwErrno(errno, "publish finished file", to.string());
        } else {
            throwErrno(errno, "publish finished file", to.string());
        }
    }
    auto dir = to.parent_path().empty() ? std::filesystem::path(".") : to.parent_path();
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace pst::ndb
