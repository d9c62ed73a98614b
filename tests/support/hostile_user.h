// Another local user for the tests of the temporary folders: where this process may (root
// with setpriv), shell commands run as nobody; elsewhere as this user, which still shows that
// the program neither writes into what was planted nor follows it.
#pragma once

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

struct HostileUser {
    HostileUser()
    {
        const passwd* nobody = ::getpwnam("nobody");
        other = nobody && ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
        if (other)
            as = "/usr/bin/setpriv --reuid=" + std::to_string(nobody->pw_uid)
                + " --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups ";
    }
    bool other = false; // commands run as another user
    std::string as;

    // Runs a shell command as that user; true when it succeeded.
    bool run(const std::string& command) const
    {
        return std::system((as + "/bin/sh -c '" + command + "'").c_str()) == 0;
    }

    // Lets the user plant things in folder, as in the shared temporary folder: sticky and
    // writable by all, the folders above it searchable.
    static void shareLikeTmp(std::string folder)
    {
        ::chmod(folder.c_str(), 01777);
        while ((folder = folder.substr(0, folder.rfind('/'))).size() > 1) {
            struct stat st { };
            if (::stat(folder.c_str(), &st) == 0)
                ::chmod(folder.c_str(), (st.st_mode & 07777) | 0001);
        }
    }
};

} // namespace testing_support
