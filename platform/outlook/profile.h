// The default profile of the Outlook stand-in: the stores it holds (display name, file, format,
// entry ID), kept in a small file under the user's configuration folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace outlook {

struct ProfileStore {
    std::string entryId; // hex text
    std::string path;
    int format = 0; // 2 Unicode, 3 ANSI
    std::string displayName;
    bool operator==(const ProfileStore&) const = default;
};

class Profile {
public:
    // $FERRYMARK_PROFILE, else $XDG_CONFIG_HOME/ferrymark/profile, else ~/.config/ferrymark/profile
    // (the home folder from HOME, else from the password database); empty without any.
    static std::filesystem::path defaultLocation();

    // Reads the profile, creating an empty one when there is none. Throws AutomationError when
    // it can be neither read nor created.
    static Profile open(const std::filesystem::path& file);

    const std::vector<ProfileStore>& stores() const { return stores_; }
    // Adds a store and writes the profile (atomically, by rename).
    void add(const ProfileStore& store);

private:
    void save() const;
    std::filesystem::path file_;
    std::vector<ProfileStore> stores_;
};

} // namespace outlook
