// Private temporary folders. A folder of this process inside the temporary folder is made by
// mkdtemp (mode 0700 from the start, a name no one can guess) and held by its descriptor:
// every file in it is made relative to that descriptor with O_EXCL | O_NOFOLLOW, no link is
// followed and no path is chmod'ed. Each folder's name gives its process (id and start time),
// so that a later run can remove the folders of a run that was killed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace automation {

// Every private folder's name starts with this.
inline constexpr const char* PrivateFolderPrefix = "ferrymark-";

class PrivateFolder {
public:
    // Makes "<base>/ferrymark-<kind><pid>-<start time>-XXXXXX". Throws AutomationError naming
    // the folder and the reason when it cannot be made.
    PrivateFolder(const std::string& base, const std::string& kind);
    // Removes the folder with everything in it (when it is still this folder).
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The folder's path, without a trailing "/".
    const std::string& path() const { return path_; }
    int descriptor() const { return fd_; }
    // Whether the path still names this very folder (not removed, not replaced).
    bool intact() const;

    // Creates a new file of that name (never an existing name, never through a link), mode
    // 0600, open for writing; returns its descriptor. Throws AutomationError.
    int createFile(const std::string& name) const;
    // Makes name a hard link to the regular file open at fd. False when the file system cannot
    // link it (another file system, say); throws AutomationError for anything else.
    bool linkFile(int fd, const std::string& name) const;
    // Removes the file of that name, if there.
    void removeFile(const std::string& name) const noexcept;

private:
    std::string path_;
    std::string name_;
    int baseFd_ = -1;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// The system temporary folder: TMPDIR when set, else /tmp; without a trailing "/".
std::string TemporaryBase();

// What RemoveLeftoverFolders did.
struct LeftoverCleanUp {
    std::vector<std::string> removed; // folders removed
    std::vector<std::string> problems; // folders of dead runs that could not be removed, and why
};

// Removes the private folders in base left by processes of this program that are gone. A
// folder is removed only when it is a real directory (no link) owned by this user, readable
// by no one else, and its name has the prefix and names a process that no longer exists;
// anything else is left alone.
LeftoverCleanUp RemoveLeftoverFolders(const std::string& base);

} // namespace automation
