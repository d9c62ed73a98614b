// Private temporary folders: new, private, files only made (never an existing name, never
// through a link), removed whole without following links; and the clean-up of what killed
// runs left, which removes only this user's private folders of processes that are gone.
#include "automation/automation.h"
#include "automation/private_folder.h"

#include "../../support/hostile_user.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using automation::AutomationError;
using automation::PrivateFolder;

namespace {
struct Scratch {
    Scratch()
    {
        std::string pattern = fs::temp_directory_path() / "private-folder-test-XXXXXX";
        path = ::mkdtemp(pattern.data());
    }
    ~Scratch() { fs::remove_all(path); }
    fs::path path;
};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p);
    return { std::istreambuf_iterator<char>(in), {} };
}
} // namespace

TEST(PrivateFolder, IsNewAndPrivateNeverWritesThroughALinkAndGoesWhole)
{
    Scratch scratch;
    std::ofstream(scratch.path / "victim") << "keep";
    std::string made;
    {
        PrivateFolder a(scratch.path, "k-");
        PrivateFolder b(scratch.path, "k-");
        made = a.path();
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(fs::path(made).filename().string().rfind("ferrymark-k-" + std::to_string(::getpid()) + "-", 0), 0u);
        struct stat st { };
        ASSERT_EQ(::lstat(made.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);

        ::close(a.createFile("taken"));
        EXPECT_THROW(a.createFile("taken"), AutomationError);
        fs::create_symlink(scratch.path / "victim", fs::path(made) / "link");
        EXPECT_THROW(a.createFile("link"), AutomationError);
        fs::create_directory_symlink(scratch.path, fs::path(made) / "linked-folder");
        fs::create_directories(fs::path(made) / "sub" / "deeper");
        std::ofstream(fs::path(made) / "sub" / "deeper" / "file") << "y";

        // A folder whose name was taken over (moved away, a link in its place) is no longer
        // intact, and its removal touches neither.
        fs::rename(b.path(), scratch.path / "moved");
        fs::create_directory_symlink(scratch.path, b.path());
        EXPECT_FALSE(b.intact());
        EXPECT_TRUE(a.intact());
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(readAll(scratch.path / "victim"), "keep");
    EXPECT_TRUE(fs::is_directory(scratch.path / "moved"));
    try {
        PrivateFolder none(scratch.path / "no such folder", "");
        FAIL() << "a folder was made in a folder that does not exist";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("no such folder"), std::string::npos) << e.what();
    }
}

TEST(LeftoverFolders, OnlyThisUsersPrivateFoldersOfEndedProcessesAreRemoved)
{
    Scratch scratch;
    const fs::path base = scratch.path;
    // A folder of a process that ended without removing it, as a killed run leaves it.
    const pid_t child = ::fork();
    if (child == 0) {
        ::close((new PrivateFolder(base, "attachments-"))->createFile("0"));
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const PrivateFolder mine(base, ""); // this process is alive
    // Look-alikes: a name that gives no process, a reused process id (pid 1 with another start
    // time), a folder others may read, a link to an ended process's folder, another prefix,
    // another user's folder.
    for (const char* name : { "ferrymark-nomarker", "ferrymark-1-999999999999-reused", "ferrymark-999999999-1-opened",
             "other-999999999-1-prefix", "elsewhere/ferrymark-999999999-1-linked" }) {
        fs::create_directories(base / name);
        std::ofstream(base / name / "file") << "data";
        fs::permissions(base / name, fs::perms::owner_all);
    }
    fs::permissions(base / "ferrymark-999999999-1-opened", fs::perms::others_read, fs::perm_options::add);
    fs::create_directory_symlink(
        base / "elsewhere/ferrymark-999999999-1-linked", base / "ferrymark-999999999-1-link00");
    const testing_support::HostileUser other;
    testing_support::HostileUser::shareLikeTmp(base.string());
    const bool foreign = other.other && other.run("mkdir -m 700 " + (base / "ferrymark-999999999-1-foreig").string());

    const auto result = automation::RemoveLeftoverFolders(base);
    EXPECT_TRUE(result.problems.empty());
    ASSERT_EQ(result.removed.size(), 2u);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(base))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected { fs::path(mine.path()).filename().string(), "elsewhere",
        "ferrymark-999999999-1-link00", "ferrymark-999999999-1-opened", "ferrymark-nomarker",
        "other-999999999-1-prefix" };
    if (foreign)
        expected.push_back("ferrymark-999999999-1-foreig");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(fs::exists(base / "elsewhere/ferrymark-999999999-1-linked/file"));
}
