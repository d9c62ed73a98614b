#include "verify/Source.h"

#include "pst/Error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pst::verifier {

FileSource::FileSource(const std::filesystem::path& path)
    : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw Error(ErrorKind::Io, "open", path.string(), "a readable file", std::strerror(errno));
    struct stat st { };
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = errno;
        ::close(fd_);
        fd_ = -1;
        throw Error(
            ErrorKind::Io, "open", path.string(), "a regular file", e ? std::strerror(e) : "not a regular file");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FileSource::read(std::uint64_t offset, std::uint8_t* out, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw Error(ErrorKind::Io, "read", path_.string(), "readable bytes at " + std::to_string(offset + done),
                std::strerror(errno));
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

std::size_t MemorySource::read(std::uint64_t offset, std::uint8_t* out, std::size_t n)
{
    if (offset >= bytes_.size() || n == 0)
        return 0; // a read of nothing may come with no buffer at all
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_.size() - offset));
    std::memcpy(out, bytes_.data() + offset, k);
    return k;
}

} // namespace pst::verifier
