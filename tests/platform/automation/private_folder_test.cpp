// Private temporary folders: made anew and private, files only made (never reused, never
// through a link), removed whole; and the clean-up of what killed runs left, which removes
// only this user's folders of processes that are gone.
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
class Scratch {
public:
    Scratch()
    {
        std::string pattern = fs::temp_directory_path() / "private-folder-test-XXXXXX";
        path = ::mkdtemp(pattern.data());
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    fs::path path;
};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p);
    return { std::istreambuf_iterator<char>(in), {} };
}

// A folder made by a process that then ends without removing it, as a killed run leaves it.
fs::path folderOfAnEndedProcess(const fs::path& base, const std::string& kind)
{
    int report[2];
    if (::pipe(report) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        auto* folder = new PrivateFolder(base, kind); // never destroyed: the process just ends
        const std::string path = folder->path();
        ::close(folder->createFile("attachment-0"));
        [[maybe_unused]] auto n = ::write(report[1], path.data(), path.size());
        ::_exit(0);
    }
    ::close(report[1]);
    char buffer[4096] = {};
    const auto n = ::read(report[0], buffer, sizeof buffer - 1);
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    return n > 0 ? fs::path(std::string(buffer, static_cast<std::size_t>(n))) : fs::path();
}
} // namespace

TEST(PrivateFolder, IsNewPrivateAndMarkedAndGoesWithEverythingInIt)
{
    Scratch scratch;
    std::string made;
    {
        PrivateFolder a(scratch.path, "k-");
        PrivateFolder b(scratch.path, "k-");
        made = a.path();
        EXPECT_NE(a.path(), b.path());
        EXPECT_EQ(fs::path(a.path()).parent_path(), scratch.path);
        // The name gives the process: "ferrymark-k-<pid>-<start time>-XXXXXX".
        EXPECT_EQ(
            fs::path(a.path()).filename().string().rfind("ferrymark-k-" + std::to_string(::getpid()) + "-", 0), 0u);
        struct stat st { };
        ASSERT_EQ(::lstat(a.path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_TRUE(a.intact());

        const int f = a.createFile("1");
        ASSERT_GE(f, 0);
        EXPECT_EQ(::write(f, "x", 1), 1);
        ASSERT_EQ(::fstat(f, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ::close(f);
        fs::create_directories(fs::path(a.path()) / "sub" / "deeper");
        std::ofstream(fs::path(a.path()) / "sub" / "deeper" / "file") << "y";
    }
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::is_empty(scratch.path));
}

TEST(PrivateFolder, NeverReusesANameNorWritesThroughALink)
{
    Scratch scratch;
    const fs::path victim = scratch.path / "victim.txt";
    std::ofstream(victim) << "keep";
    fs::create_directory(scratch.path / "victim-folder");
    std::ofstream(scratch.path / "victim-folder" / "inside") << "keep";
    {
        PrivateFolder folder(scratch.path, "");
        ::close(folder.createFile("taken"));
        EXPECT_THROW(folder.createFile("taken"), AutomationError);
        fs::create_symlink(victim, fs::path(folder.path()) / "link");
        try {
            folder.createFile("link");
            FAIL() << "a file was made through a link";
        } catch (const AutomationError& e) {
            EXPECT_NE(std::string(e.what()).find(folder.path() + "/link"), std::string::npos) << e.what();
        }
        fs::create_directory_symlink(scratch.path / "victim-folder", fs::path(folder.path()) / "linked-folder");
    }
    // Removing the folder removed the links, never what they point to.
    EXPECT_EQ(readAll(victim), "keep");
    EXPECT_EQ(readAll(scratch.path / "victim-folder" / "inside"), "keep");

    // A folder whose name was taken over (moved away, a link to another folder in its place)
    // is no longer intact, and its removal touches neither.
    fs::path moved;
    {
        PrivateFolder folder(scratch.path, "");
        moved = scratch.path / "moved";
        fs::rename(folder.path(), moved);
        fs::create_directory_symlink(scratch.path / "victim-folder", folder.path());
        EXPECT_FALSE(folder.intact());
    }
    EXPECT_TRUE(fs::is_directory(moved));
    EXPECT_EQ(readAll(scratch.path / "victim-folder" / "inside"), "keep");

    try {
        PrivateFolder none(scratch.path / "no such folder", "");
        FAIL() << "a folder was made in a folder that does not exist";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("no such folder"), std::string::npos) << e.what();
    }
}

TEST(LeftoverFolders, OnlyThisUsersFoldersOfEndedProcessesAreRemoved)
{
    Scratch scratch;
    const testing_support::HostileUser other;
    testing_support::HostileUser::shareLikeTmp(scratch.path);
    const fs::path base = scratch.path;

    const fs::path ended = folderOfAnEndedProcess(base, "attachments-");
    const fs::path endedRun = folderOfAnEndedProcess(base, "");
    ASSERT_TRUE(fs::exists(ended / "attachment-0"));
    PrivateFolder mine(base, ""); // this process's own: alive

    // A folder of a process still running.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t running = ::fork();
    if (running == 0) {
        new PrivateFolder(base, "running-");
        [[maybe_unused]] auto n = ::write(ready[1], "r", 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    // Look-alikes: a name that gives no process; a reused process id (pid 1, another start
    // time); a folder others may read; a link to an ended run's folder; another prefix.
    auto plant = [&](const std::string& name, fs::perms mode = fs::perms::owner_all) {
        fs::create_directory(base / name);
        std::ofstream(base / name / "file") << "data";
        fs::permissions(base / name, mode);
    };
    plant("ferrymark-nomarker");
    plant("ferrymark-1-999999999999-reused");
    plant("ferrymark-999999999-1-opened", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    plant("other-999999999-1-prefix");
    const fs::path elsewhere = folderOfAnEndedProcess(base / "other-999999999-1-prefix", "");
    fs::create_directory_symlink(elsewhere, base / "ferrymark-link");
    // Another user's folder of an ended process.
    const bool foreign = other.other
        && other.run("mkdir -m 700 " + (base / "ferrymark-999999999-1-foreig").string() + " && echo data > "
            + (base / "ferrymark-999999999-1-foreig/file").string());

    const auto result = automation::RemoveLeftoverFolders(base);
    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);

    EXPECT_TRUE(result.problems.empty());
    EXPECT_EQ(result.removed.size(), 3u);
    EXPECT_FALSE(fs::exists(ended));
    EXPECT_FALSE(fs::exists(endedRun));
    EXPECT_FALSE(fs::exists(base / "ferrymark-1-999999999999-reused"));
    EXPECT_TRUE(fs::is_directory(mine.path()));
    for (const char* kept : { "ferrymark-nomarker", "ferrymark-999999999-1-opened", "other-999999999-1-prefix" })
        EXPECT_TRUE(fs::exists(base / kept / "file")) << kept;
    EXPECT_TRUE(fs::is_symlink(base / "ferrymark-link"));
    EXPECT_TRUE(fs::exists(elsewhere / "attachment-0"));
    if (foreign) {
        EXPECT_TRUE(fs::exists(base / "ferrymark-999999999-1-foreig" / "file"));
    }
    int runningKept = 0;
    for (const auto& e : fs::directory_iterator(base))
        runningKept += e.path().filename().string().rfind("ferrymark-running-", 0) == 0;
    EXPECT_EQ(runningKept, 1);
}
