// Many messages in one folder (Unicode), and the ANSI limits: 65,535 rows in a contents table and
// the file size limit refuse the next message with a typed error, and the file stays valid with
// every message written before. The 100,000-message folder is in bench/pst (libpff's readers take
// minutes on it).
#include "PstTestSupport.h"

#include "pst/Store.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using namespace psttest;

namespace {

pst::MessageData smallMessage(int i)
{
    pst::MessageData m;
    m.properties = { { 0x0037, std::nullopt, 0x001F, "Nachricht " + std::to_string(i) },
        { 0x1000, std::nullopt, 0x001F, "Text " + std::to_string(i) } };
    m.recipients = { { "Anna", "anna@example.com", "SMTP", 1 } };
    m.read = i % 2 == 0;
    return m;
}

// Items readpst writes for folder, or -1 when it does not report the folder.
int readpstItems(const std::filesystem::path& pst, const std::string& folder, std::string& log)
{
    const auto target = pst.parent_path() / "readpst";
    std::filesystem::create_directories(target);
    auto r = run("readpst -o " + quote(target.string()) + " -r " + quote(pst.string()));
    log = r.output;
    std::filesystem::remove_all(target);
    const std::regex done("\"" + folder + "\" - ([0-9]+) items done, ([0-9]+) items skipped");
    std::smatch m;
    if (!std::regex_search(log, m, done) || m[2] != "0")
        return -1;
    return std::stoi(m[1]);
}

TEST(PstMessageScale, TwentyThousandMessagesInOneUnicodeFolder)
{
    ScratchDir dir;
    const auto path = dir / "many.pst";
    const int count = 20000;
    {
        auto store = pst::Store::create(path, pst::Format::Unicode, "Many");
        auto folder = store.ipmSubtree().createSubfolder("Viele");
        for (int i = 0; i < count; ++i) {
            folder.addMessage(smallMessage(i));
            if (i == count / 2)
                store.flush(); // the contents table is rewritten with the later rows
        }
        EXPECT_EQ(folder.contentCount(), static_cast<std::uint32_t>(count));
        EXPECT_EQ(folder.unreadCount(), static_cast<std::uint32_t>(count / 2));
        EXPECT_EQ(folder.messages().size(), static_cast<std::size_t>(count));
        store.close();
    }
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;
    auto info = run("pffinfo " + quote(path.string()));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    auto counted = script("count_messages.py", quote(path.string()));
    EXPECT_EQ(counted.output, "Viele | 20000 | Nachricht 0 | Nachricht 19999\n");
    std::string log;
    EXPECT_EQ(readpstItems(path, "Viele", log), count) << log;
}

TEST(PstMessageScale, AnsiContentsTableStopsAt65535Rows)
{
    ScratchDir dir;
    const auto path = dir / "rows.pst";
    {
        auto store = pst::Store::create(path, pst::Format::Ansi, "Rows");
        auto folder = store.ipmSubtree().createSubfolder("Voll");
        for (int i = 0; i < 65535; ++i)
            folder.addMessage(smallMessage(i));
        try {
            folder.addMessage(smallMessage(65535));
            ADD_FAILURE() << "the 65,536th message was accepted";
        } catch (const pst::Error& e) {
            EXPECT_EQ(e.kind(), pst::ErrorKind::LimitExceeded) << e.what();
        }
        // The store stays usable: other folders take messages, and it flushes.
        store.defaultFolder(pst::DefaultFolder::Inbox).addMessage(smallMessage(1));
        EXPECT_EQ(folder.contentCount(), 65535u);
        store.close();
    }
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;
    std::string log;
    EXPECT_EQ(readpstItems(path, "Voll", log), 65535) << log;
    EXPECT_EQ(readpstItems(path, "Inbox", log), 1) << log;
}

TEST(PstMessageScale, AnsiFileSizeLimitRefusesTheNextMessage)
{
    ScratchDir dir;
    const auto path = dir / "size.pst";
    const auto data = dir / "one-megabyte.bin";
    {
        std::ofstream out(data, std::ios::binary);
        for (int i = 0; i < 1024 * 1024; ++i)
            out.put(static_cast<char>(i * 7));
    }
    pst::CreateOptions options;
    options.maxFileSize = 12 * 1024 * 1024; // stands in for 2 GB
    int written = 0;
    {
        auto store = pst::Store::create(path, pst::Format::Ansi, "Size", options);
        auto inbox = store.defaultFolder(pst::DefaultFolder::Inbox);
        bool refused = false;
        for (int i = 0; i < 40 && !refused; ++i) {
            pst::MessageData m = smallMessage(i);
            m.attachments = { { "daten.bin", data } };
            try {
                inbox.addMessage(m);
                ++written;
            } catch (const pst::Error& e) {
                EXPECT_EQ(e.kind(), pst::ErrorKind::LimitExceeded) << e.what();
                refused = true;
            }
        }
        EXPECT_TRUE(refused);
        EXPECT_GT(written, 3);
        EXPECT_EQ(inbox.contentCount(), static_cast<std::uint32_t>(written));
        store.close();
    }
    EXPECT_LE(std::filesystem::file_size(path), options.maxFileSize);
    auto check = verify(path);
    EXPECT_TRUE(check.ok) << check.output;
    std::string log;
    EXPECT_EQ(readpstItems(path, "Inbox", log), written) << log;
}

} // namespace
