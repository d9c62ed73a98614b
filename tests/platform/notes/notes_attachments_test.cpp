// File attachments: items of type 1084, HasEmbedded, GetAttachment and byte-exact extraction.
#include "notes_test_support.h"

#include <array>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace notes_test {
namespace {

    using AttachmentsTest = NotesTest;

    std::string randomBytes(std::size_t n, unsigned seed)
    {
        std::mt19937 rng(seed);
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(rng() & 0xFF);
        return s;
    }

    TEST_F(AttachmentsTest, TwoAttachmentsAreItemsAndExtractByteExact)
    {
        const std::string report = randomBytes(70000, 1);
        const std::string notes = "plain text\r\n";
        dxl::DatabaseBuilder builder;
        auto& doc = builder.document("Memo")
                        .text("Subject", "files")
                        .attachment("Bericht Übersicht.pdf", report)
                        .attachment("notes.txt", notes);
        auto d = open(builder)->GetDocumentByID(doc.noteId());
        EXPECT_TRUE(d->HasEmbedded());
        EXPECT_TRUE(d->HasItem("$FILE"));

        std::vector<std::string> fileNames;
        for (const auto& item : d->Items()) {
            if (item->Type() == automation::NotesItemAttachment) {
                EXPECT_EQ(item->Name(), "$FILE");
                fileNames.push_back(item->Values().array().at(0).toText());
            }
        }
        EXPECT_EQ(fileNames, (std::vector<std::string> { "Bericht Übersicht.pdf", "notes.txt" }));

        for (const auto& [name, bytes] : { std::pair { fileNames[0], report }, std::pair { fileNames[1], notes } }) {
            auto object = d->GetAttachment(name);
            ASSERT_NE(object, nullptr) << name;
            EXPECT_EQ(object->Name(), name);
            EXPECT_EQ(object->FileSize(), static_cast<std::int64_t>(bytes.size()));
            const auto target = path("out-" + name);
            object->ExtractFile(target.string());
            EXPECT_EQ(readFile(target), bytes) << name;
        }
        EXPECT_EQ(d->GetAttachment("missing.doc"), nullptr);
        EXPECT_NE(d->GetAttachment("NOTES.TXT"), nullptr);
    }

    TEST_F(AttachmentsTest, EverySizeAroundGroupAndBufferBoundariesRoundTrips)
    {
        // Base64 groups end at multiples of 3; the reader's buffers at 256 KiB of text.
        const std::size_t sizes[] = { 0, 1, 2, 3, 4, 5, 57, 58, 196607, 196608, 196609, 600001 };
        dxl::DatabaseBuilder builder;
        std::vector<std::string> ids;
        for (std::size_t n : sizes)
            ids.push_back(builder.document("Memo")
                              .attachment("f.bin", randomBytes(n, static_cast<unsigned>(n)), n % 2 == 0)
                              .noteId());
        auto db = open(builder);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            auto object = db->GetDocumentByID(ids[i])->GetAttachment("f.bin");
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(object->FileSize(), static_cast<std::int64_t>(sizes[i]));
            object->ExtractFile(path("f.bin").string());
            EXPECT_EQ(readFile(path("f.bin")), randomBytes(sizes[i], static_cast<unsigned>(sizes[i]))) << sizes[i];
        }
    }

    // Exporters write lines of base64; character references, CDATA sections and comments are XML
    // all the same and decode to the same bytes; empty file data is an empty file.
    TEST_F(AttachmentsTest, FileDataWithMarkupBetweenTheCharactersDecodes)
    {
        const std::pair<std::string, std::string> cases[] = {
            { "plain.bin", "QUJD\r\nREVG\n  R0hJ\tSktM\n" },
            { "refs.bin", "QUJD&#13;&#10;REVG&#x41;&#65;==" },
            { "cdata.bin", "<![CDATA[QUJD]]>REVG<![CDATA[\nR0hJ]]>" },
            { "comment.bin", "QUJD<!-- between -->REVG" },
            { "empty.txt", "" },
        };
        const std::string expected[] = { "ABCDEFGHIJKL", std::string("ABCDEF") + '\0', "ABCDEFGHI", "ABCDEF", "" };
        dxl::DatabaseBuilder builder;
        std::vector<std::string> ids;
        for (std::size_t i = 0; i < std::size(cases); ++i)
            ids.push_back(
                builder.document("Memo").rawAttachment(cases[i].first, cases[i].second, expected[i].size()).noteId());
        auto db = open(builder);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const auto target = path(cases[i].first);
            writeFile(cases[i].first, "old content"); // replaced
            db->GetDocumentByID(ids[i])->GetAttachment(cases[i].first)->ExtractFile(target.string());
            EXPECT_EQ(readFile(target), expected[i]) << cases[i].first;
        }
    }

    TEST_F(AttachmentsTest, ExtractingTwiceAndAfterTheDatabaseIsReleased)
    {
        dxl::DatabaseBuilder builder;
        auto& doc = builder.document("Memo").attachment("a.txt", "alpha");
        std::shared_ptr<automation::NotesEmbeddedObject> object;
        {
            auto db = open(builder);
            object = db->GetDocumentByID(doc.noteId())->GetAttachment("a.txt");
        }
        notes::ClearDatabaseCache();
        object->ExtractFile(path("1.txt").string());
        object->ExtractFile(path("1.txt").string());
        EXPECT_EQ(readFile(path("1.txt")), "alpha");
        EXPECT_THROW(object->ExtractFile((dir_ / "no such folder" / "x").string()), AutomationError);
        EXPECT_THROW(object->ExtractFile(""), AutomationError);
    }

    // Extraction writes a new file of its own and puts it in place: a link at the target is
    // replaced, never written through, the file is this user's only, and a failed extraction
    // leaves nothing behind.
    TEST_F(AttachmentsTest, ExtractingReplacesALinkAtTheTargetAndLeavesNoPartialFile)
    {
        dxl::DatabaseBuilder builder;
        auto& doc = builder.document("Memo")
                        .attachment("a.txt", "alpha")
                        .rawAttachment("broken.bin", "@@@ not base64 @@@", 12);
        auto d = open(builder)->GetDocumentByID(doc.noteId());
        writeFile("victim.txt", "keep");
        std::filesystem::create_symlink(path("victim.txt"), path("link.txt"));
        d->GetAttachment("a.txt")->ExtractFile(path("link.txt").string());
        EXPECT_FALSE(std::filesystem::is_symlink(path("link.txt")));
        EXPECT_EQ(readFile(path("link.txt")), "alpha");
        EXPECT_EQ(readFile(path("victim.txt")), "keep");
        EXPECT_EQ(std::filesystem::status(path("link.txt")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

        // A device or pipe at the target (/dev/null, say) is written into, never replaced.
        ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
        const int reader = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
        d->GetAttachment("a.txt")->ExtractFile(path("pipe").string());
        std::array<char, 16> got {};
        EXPECT_EQ(::read(reader, got.data(), got.size()), 5);
        ::close(reader);
        EXPECT_TRUE(std::filesystem::is_fifo(path("pipe")));

        EXPECT_THROW(d->GetAttachment("broken.bin")->ExtractFile(path("broken.bin").string()), AutomationError);
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            EXPECT_TRUE(e.path().extension() == ".dxl" || e.path().filename() == "link.txt"
                || e.path().filename() == "victim.txt" || e.path().filename() == "pipe")
                << e.path();
    }

} // namespace
} // namespace notes_test
