#include "private_folder.h"

#include "automation.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace automation {

namespace {
    const char* FolderObject = "TemporaryFolder";

    std::string reason() { return std::strerror(errno); }

    // The start time of a process (field 22 of /proc/<pid>/stat, in clock ticks since boot);
    // empty when it cannot be read. With the id it names one process, even after the id is
    // reused.
    std::string startTime(pid_t pid)
    {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(in, line))
            return {};
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            return {};
        std::istringstream fields(line.substr(close + 1));
        std::string field;
        // Fields from the third on: state is field 3, the start time field 22.
        for (int i = 3; i <= 22; ++i)
            if (!(fields >> field))
                return {};
        return field;
    }

    // Removes everything inside the folder open at fd, never following a link.
    bool removeContents(int fd)
    {
        const int listFd = ::dup(fd);
        if (listFd < 0)
            return false;
        DIR* list = ::fdopendir(listFd);
        if (!list) {
            ::close(listFd);
            return false;
        }
        bool ok = true;
        while (const dirent* e = ::readdir(list)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st { };
            if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                ok = false;
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0 || !removeContents(sub))
                    ok = false;
                if (sub >= 0)
                    ::close(sub);
                if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0)
                    ok = false;
            } else if (::unlinkat(fd, name.c_str(), 0) != 0) {
                ok = false;
            }
        }
        ::closedir(list);
        return ok;
    }

    // The process a folder's name gives ("ferrymark-<kind><pid>-<start time>-XXXXXX") is gone: no
    // process has its id, or the one that has it started at another time. A name that gives
    // none is no folder of ours.
    bool ownerGone(const std::string& name)
    {
        const auto random = name.rfind('-');
        const auto startAt
            = random == std::string::npos || random == 0 ? std::string::npos : name.rfind('-', random - 1);
        const auto pidAt
            = startAt == std::string::npos || startAt == 0 ? std::string::npos : name.rfind('-', startAt - 1);
        if (pidAt == std::string::npos || name.size() - random != 7)
            return false;
        const std::string pidText = name.substr(pidAt + 1, startAt - pidAt - 1);
        const std::string start = name.substr(startAt + 1, random - startAt - 1);
        auto digits = [](const std::string& t) {
            return !t.empty() && t.size() < 19 && t.find_first_not_of("0123456789") == std::string::npos;
        };
        if (!digits(pidText) || !digits(start))
            return false;
        const long long pid = std::stoll(pidText);
        if (pid <= 0 || pid == ::getpid())
            return false;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            return true;
        const std::string now = startTime(static_cast<pid_t>(pid));
        return !now.empty() && start != "0" && now != start;
    }
} // namespace

PrivateFolder::PrivateFolder(const std::string& base, const std::string& kind)
{
    // The name says whose folder it is, made at once with the folder: a run killed at any
    // moment leaves a folder that the next run recognises.
    const std::string start = startTime(::getpid());
    std::string pattern = base + "/" + PrivateFolderPrefix + kind + std::to_string(::getpid()) + "-"
        + (start.empty() ? "0" : start) + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw AutomationError(FolderObject, "Make", pattern + ": cannot make the folder: " + reason());
    path_ = pattern;
    name_ = pattern.substr(base.size() + 1);
    struct stat st { };
    baseFd_ = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd_ >= 0)
        fd_ = ::openat(baseFd_, name_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        const std::string why = reason();
        ::rmdir(path_.c_str());
        if (baseFd_ >= 0)
            ::close(baseFd_);
        if (fd_ >= 0)
            ::close(fd_);
        throw AutomationError(FolderObject, "Make", path_ + ": cannot open the folder just made: " + why);
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
}

PrivateFolder::~PrivateFolder()
{
    if (intact()) {
        removeContents(fd_);
        ::unlinkat(baseFd_, name_.c_str(), AT_REMOVEDIR);
    }
    ::close(fd_);
    ::close(baseFd_);
}

bool PrivateFolder::intact() const
{
    struct stat st { };
    return ::fstatat(baseFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
        && st.st_dev == device_ && st.st_ino == inode_;
}

int PrivateFolder::createFile(const std::string& name) const
{
    const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw AutomationError(FolderObject, "CreateFile", path_ + "/" + name + ": cannot create the file: " + reason());
    return fd;
}

bool PrivateFolder::linkFile(int fd, const std::string& name) const
{
    // Linking an open file by descriptor needs a privilege; its /proc/self/fd entry does not.
    const std::string source = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, source.c_str(), fd_, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        throw AutomationError(FolderObject, "LinkFile", path_ + "/" + name + ": the name is taken");
    return false;
}

void PrivateFolder::removeFile(const std::string& name) const noexcept { ::unlinkat(fd_, name.c_str(), 0); }

std::string TemporaryBase()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

LeftoverCleanUp RemoveLeftoverFolders(const std::string& base)
{
    LeftoverCleanUp out;
    const int baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0)
        return out;
    const int listFd = ::dup(baseFd);
    DIR* list = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        ::close(baseFd);
        return out;
    }
    const std::string prefix = PrivateFolderPrefix;
    while (const dirent* e = ::readdir(list)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        struct stat before { };
        if (::fstatat(baseFd, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(before.st_mode)
            || before.st_uid != ::geteuid() || (before.st_mode & 077) != 0)
            continue;
        const int fd = ::openat(baseFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat now { };
        const bool same = ::fstat(fd, &now) == 0 && now.st_dev == before.st_dev && now.st_ino == before.st_ino;
        if (same && ownerGone(name)) {
            std::string path = base;
            path.append("/").append(name);
            if (removeContents(fd) && ::unlinkat(baseFd, name.c_str(), AT_REMOVEDIR) == 0)
                out.removed.push_back(path);
            else
                out.problems.push_back(path + ": cannot remove the folder of an ended run: " + reason());
        }
        ::close(fd);
    }
    ::closedir(list);
    ::close(baseFd);
    return out;
}

} // namespace automation
