#include "profile.h"

#include "automation/automation.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace outlook {

namespace {
    // One store a line: fields separated by tabs; tabs, line breaks and backslashes escaped.
    std::string escape(const std::string& s)
    {
        std::string out;
        for (char c : s) {
            switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    std::vector<std::string> splitFields(const std::string& line)
    {
        std::vector<std::string> fields(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '\t') {
                fields.emplace_back();
            } else if (c == '\\' && i + 1 < line.size()) {
                const char n = line[++i];
                fields.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
            } else {
                fields.back() += c;
            }
        }
        return fields;
    }

    [[noreturn]] void fail(const std::filesystem::path& file, const std::string& what)
    {
        throw automation::AutomationError("Profile", "Logon", what + ": " + file.string());
    }
} // namespace

std::filesystem::path Profile::defaultLocation()
{
    if (const char* explicitFile = std::getenv("FERRYMARK_PROFILE"); explicitFile && *explicitFile)
        return explicitFile;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::filesystem::path(config) / "ferrymark" / "profile";
    // Without HOME, the user's home folder from the password database; never a shared
    // folder such as /tmp, where another user could have made the folder first.
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir && *user->pw_dir ? user->pw_dir : nullptr;
    }
    if (!home)
        return {};
    return std::filesystem::path(home) / ".config" / "ferrymark" / "profile";
}

Profile Profile::open(const std::filesystem::path& file)
{
    if (file.empty())
        throw automation::AutomationError("Profile", "Logon",
            "no place for the profile: this user has no home folder; set FERRYMARK_PROFILE or XDG_CONFIG_HOME");
    Profile p;
    p.file_ = file;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec)
            fail(file, "the profile folder cannot be created (" + ec.message() + ")");
        p.save();
        return p;
    }
    std::ifstream in(file);
    if (!in)
        fail(file, "the profile cannot be read");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto f = splitFields(line);
        if (f.size() != 4)
            fail(file, "the profile holds a line that is not a store");
        ProfileStore s;
        s.entryId = f[0];
        s.format = std::atoi(f[1].c_str());
        s.path = f[2];
        s.displayName = f[3];
        p.stores_.push_back(s);
    }
    if (in.bad())
        fail(file, "the profile cannot be read");
    return p;
}

void Profile::add(const ProfileStore& store)
{
    stores_.push_back(store);
    save();
}

void Profile::save() const
{
    std::ostringstream text;
    text << "# Ferrymark profile: entry ID, format, file, display name\n";
    for (const auto& s : stores_)
        text << escape(s.entryId) << '\t' << s.format << '\t' << escape(s.path) << '\t' << escape(s.displayName)
             << '\n';
    const auto temp = file_.string() + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out)
            fail(file_, "the profile cannot be written");
    }
    std::error_code ec;
    std::filesystem::rename(temp, file_, ec);
    if (ec)
        fail(file_, "the profile cannot be written (" + ec.message() + ")");
}

} // namespace outlook
