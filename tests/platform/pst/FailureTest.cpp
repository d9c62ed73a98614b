// Failures: a disk that fills up after N bytes, an existing file, an unwritable folder, the
// ANSI limits, and a process killed while it writes. Never a file that looks complete but is
// not; always a typed error.
#include "PstTestSupport.h"

#include "ltp/Contexts.h"
#include "ndb/NodeDatabase.h"
#include "pst/FileSink.h"
#include "pst/Store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <random>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace psttest;

namespace {

// A sink that passes writes on until budget bytes are spent, then fails like a full disk. It
// counts what it passed on into *written when given.
class FailingSink : public pst::FileSink {
public:
    FailingSink(std::unique_ptr<pst::FileSink> inner, std::uint64_t budget, std::uint64_t* written)
        : inner_(std::move(inner))
        , budget_(budget)
        , written_(written)
    {
    }
    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override
    {
        if (size > budget_) {
            inner_->writeAt(offset, data, budget_); // a short write, as a filling disk does
            budget_ = 0;
            throw pst::Error(pst::ErrorKind::DiskFull, "write", describe(), "space left", "no space left on device");
        }
        budget_ -= size;
        if (written_)
            *written_ += size;
        inner_->writeAt(offset, data, size);
    }
    void resize(std::uint64_t size) override { inner_->resize(size); }
    void sync() override { inner_->sync(); }
    std::string describe() const override { return inner_->describe(); }

private:
    std::unique_ptr<pst::FileSink> inner_;
    std::uint64_t budget_;
    std::uint64_t* written_;
};

pst::CreateOptions failAfter(std::uint64_t budget, std::uint64_t* written = nullptr)
{
    pst::CreateOptions o;
    o.wrapSink = [budget, written](std::unique_ptr<pst::FileSink> s) {
        return std::make_unique<FailingSink>(std::move(s), budget, written);
    };
    return o;
}

// Bytes a new store takes to write (all of create(), including its first flush).
std::uint64_t bytesToCreate(pst::Format format)
{
    std::uint64_t total = 0;
    ScratchDir dir;
    auto store = pst::Store::create(dir / "count.pst", format, "Count", failAfter(UINT64_MAX, &total));
    return total;
}

std::size_t filesIn(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

class Failures : public ::testing::TestWithParam<pst::Format> { };

TEST_P(Failures, DiskFullDuringCreateLeavesNoFileAndSaysSo)
{
    // Budgets from nothing to one byte short of a whole new store (the header is written last).
    const std::uint64_t total = bytesToCreate(GetParam());
    for (std::uint64_t budget :
        { std::uint64_t(0), std::uint64_t(500), total / 4, total / 2, total - 600, total - 1 }) {
        ScratchDir dir;
        const auto path = dir / "new.pst";
        try {
            pst::Store::create(path, GetParam(), "Full", failAfter(budget));
            ADD_FAILURE() << "created a store with " << budget << " of " << total << " bytes";
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.kind(), pst::ErrorKind::DiskFull) << e.what();
            EXPECT_FALSE(std::filesystem::exists(path)) << "budget " << budget;
            EXPECT_EQ(filesIn(dir.path()), 0u) << "temporary file left behind, budget " << budget;
        }
    }
}

// A failed flush keeps the store of the flush before it, and the broken store refuses further work.
TEST_P(Failures, DiskFullInALaterFlushKeepsTheLastFlushedStore)
{
    const std::uint64_t total = bytesToCreate(GetParam());
    for (std::uint64_t budget : { total + 1000, total + 20000, total + 60000 }) {
        ScratchDir dir;
        const auto path = dir / "later.pst";
        bool failed = false;
        {
            auto store = pst::Store::create(path, GetParam(), "Later", failAfter(budget));
            auto top = store.ipmSubtree();
            try {
                top.createSubfolder("Kept");
                store.flush();
                auto big = top.createSubfolder("Big");
                for (int i = 0; i < 300; ++i)
                    big.createSubfolder("Child " + std::to_string(i));
                store.flush();
            } catch (const pst::Error& e) {
                failed = true;
                EXPECT_EQ(e.kind(), pst::ErrorKind::DiskFull) << e.what();
            }
            try {
                top.createSubfolder("After");
                ADD_FAILURE() << "no error after a failed flush, budget " << budget;
            } catch (const pst::Error& e) {
                EXPECT_EQ(e.kind(), pst::ErrorKind::InvalidState);
            }
        }
        EXPECT_TRUE(failed) << "budget " << budget << " never ran out";
        ASSERT_TRUE(std::filesystem::exists(path)) << "the store was complete after create()";
        auto check = verify(path);
        EXPECT_TRUE(check.ok) << "budget " << budget << ": " << check.output;
        auto walk = pypffWalk(path);
        EXPECT_EQ(walk.exitCode, 0) << walk.output;
        EXPECT_NE(walk.output.find("FOLDER\tTop of Personal Folders/Inbox\t"), std::string::npos) << walk.output;
    }
}

TEST_P(Failures, ExistingFileAndUnwritableFolderAreRefused)
{
    ScratchDir dir;
    const auto path = dir / "taken.pst";
    std::ofstream(path) << "not a pst";
    try {
        pst::Store::create(path, GetParam(), "X");
        ADD_FAILURE() << "overwrote an existing file";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.kind(), pst::ErrorKind::AlreadyExists);
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(std::filesystem::file_size(path), 9u);
    EXPECT_EQ(filesIn(dir.path()), 1u);

    // A folder that cannot hold files: a path through a regular file, and a missing folder.
    for (const auto& bad : { path / "inside.pst", dir / "missing" / "x.pst" }) {
        try {
            pst::Store::create(bad, GetParam(), "X");
            ADD_FAILURE() << "created " << bad;
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.kind(), pst::ErrorKind::NotWritable) << e.what();
            EXPECT_FALSE(e.actual().empty());
        }
    }
    // Duplicate folder names, case-insensitively, like Outlook.
    auto store = pst::Store::create(dir / "ok.pst", GetParam(), "X");
    store.ipmSubtree().createSubfolder("Reports");
    try {
        store.ipmSubtree().createSubfolder("REPORTS");
        ADD_FAILURE() << "duplicate folder created";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.kind(), pst::ErrorKind::AlreadyExists);
    }
    EXPECT_THROW(store.ipmSubtree().createSubfolder(""), pst::Error);
    EXPECT_THROW(store.ipmSubtree().createSubfolder("\xC3("), pst::Error); // invalid UTF-8
}

TEST_P(Failures, FileSizeLimitIsRefusedBeforeItIsCrossed)
{
    // The limit is lowered for the test; the ANSI 2 GB limit goes through the same check.
    ScratchDir dir;
    const auto path = dir / "limit.pst";
    pst::CreateOptions o;
    o.maxFileSize = 600 * 1024;
    auto store = pst::Store::create(path, GetParam(), "Limit", o);
    auto top = store.ipmSubtree();
    int made = 0;
    try {
        for (; made < 5000; ++made) {
            top.createSubfolder("Folder " + std::to_string(made));
            if (made % 100 == 99)
                store.flush();
        }
        ADD_FAILURE() << "5000 folders fitted in 600 KB";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.kind(), pst::ErrorKind::LimitExceeded) << e.what();
    }
    EXPECT_LE(std::filesystem::file_size(path), o.maxFileSize);
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;
}

INSTANTIATE_TEST_SUITE_P(Formats, Failures, ::testing::Values(pst::Format::Ansi, pst::Format::Unicode),
    [](const auto& info) { return info.param == pst::Format::Ansi ? std::string("Ansi") : std::string("Unicode"); });

TEST(AnsiLimits, TableOfMoreThan65535RowsIsRefused)
{
    // Straight at the table writer: 65,536 rows cannot be indexed with 16-bit row indexes.
    struct NullSink : pst::FileSink {
        void writeAt(std::uint64_t, const std::uint8_t*, std::size_t) override { }
        void resize(std::uint64_t) override { }
        void sync() override { }
        std::string describe() const override { return "null"; }
    };
    pst::ndb::NodeDatabase ndb(std::make_unique<NullSink>(), pst::Format::Ansi, 0);
    std::vector<pst::ltp::TableRow> rows(65536);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].rowId = static_cast<std::uint32_t>(i + 1);
    try {
        pst::ltp::writeTableContext(ndb, { 0x3001001E }, rows);
        ADD_FAILURE() << "65,536 rows written to an ANSI table";
    } catch (const pst::Error& e) {
        EXPECT_EQ(e.kind(), pst::ErrorKind::LimitExceeded);
        EXPECT_NE(e.expected().find("65535"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ndb.blockCount(), 0u); // refused before anything was written
    pst::ndb::NodeDatabase unicode(std::make_unique<NullSink>(), pst::Format::Unicode, 0);
    EXPECT_NO_THROW(pst::ltp::writeTableContext(unicode, { 0x3001001F }, rows));
}

TEST(KilledProcess, FileAlwaysHoldsAtLeastTheFlushedFolders)
{
    std::mt19937 rng(std::random_device {}());
    for (int trial = 0; trial < 10; ++trial) {
        const bool ansi = trial % 2 == 0;
        ScratchDir dir;
        const auto path = dir / "killed.pst";
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string helper = PST_KILL_HELPER, file = path.string(), fmt = ansi ? "ansi" : "unicode";
        char* argv[] = { helper.data(), file.data(), fmt.data(), nullptr };
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // Wait for the first flush, then kill at a random moment of the writing that follows.
        FILE* in = ::fdopen(out[0], "r");
        char line[64];
        int flushed = 0;
        if (std::fgets(line, sizeof line, in))
            std::sscanf(line, "flushed %d", &flushed);
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 250000)(rng)));
        ::kill(pid, SIGKILL);
        while (std::fgets(line, sizeof line, in))
            std::sscanf(line, "flushed %d", &flushed);
        std::fclose(in);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_GT(flushed, 0) << "helper never flushed";

        // A kill inside a flush leaves the maps marked for rebuilding (fAMapValid INVALID) or,
        // between growing the file and its header, a tail past ibFileEof; nothing else.
        auto check = verify(path);
        std::string unexpected;
        for (const auto& f : check.report.findings)
            if (f.code != "HEADER_AMAP_VALID" && f.code != "HEADER_EOF_LONG")
                unexpected += pst::describe(f) + "\n";
        EXPECT_EQ(unexpected, "") << "trial " << trial;
        EXPECT_TRUE(check.report.format.has_value());
        auto walk = pypffWalk(path);
        ASSERT_EQ(walk.exitCode, 0) << walk.output;
        int user = 0; // folders below the default ones
        for (const auto& l : lines(walk.output))
            if (std::regex_search(l, std::regex("^FOLDER\tTop of Personal Folders/Batch ")))
                ++user;
        EXPECT_GE(user, flushed) << "trial " << trial;
        auto info = run("pffinfo " + quote(path.string()));
        EXPECT_EQ(info.exitCode, 0) << info.output;
        auto ls = run("lspst " + quote(path.string()));
        EXPECT_EQ(ls.exitCode, 0) << ls.output;
    }
}

} // namespace
