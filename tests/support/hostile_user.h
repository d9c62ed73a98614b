// Another local user for the tests of the temporary folders: where this process may (root,
// with setpriv), shell commands run as the unprivileged user nobody; elsewhere as this user,
// which still shows that the program neither writes into what was planted nor follows it.
#pragma once

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace testing_support {

struct HostileUser {
    bool other = false; // commands run as another user
    uid_t uid = ::geteuid();

    HostileUser()
    {
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() == 0 && nobody && ::access("/usr/bin/setpriv", X_OK) == 0) {
            other = true;
            uid = nobody->pw_uid;
            gid_ = nobody->pw_gid;
        }
    }

    // Runs a shell command as that user; true when it succeeded.
    bool run(const std::string& command) const
    {
        std::string line = "/bin/sh -c '" + command + "'";
        if (other)
            line = "/usr/bin/setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(gid_)
                + " --clear-groups " + line;
        return std::system(line.c_str()) == 0;
    }

    // Opens a folder (and the folders above it, up to the root) so that the user can plant
    // things in it, as in the shared temporary folder: sticky and writable by all.
    static void shareLikeTmp(const std::string& folder)
    {
        ::chmod(folder.c_str(), 01777);
        for (std::string up = folder; up.size() > 1;) {
            up = up.substr(0, up.rfind('/'));
            if (up.empty())
                break;
            struct stat st { };
            if (::stat(up.c_str(), &st) == 0 && (st.st_mode & 0001) == 0)
                ::chmod(up.c_str(), st.st_mode | 0001);
        }
    }

private:
    gid_t gid_ = ::getegid();
};

} // namespace testing_support
