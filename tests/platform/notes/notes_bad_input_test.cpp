// Files that are no good DXL database: each fails with an AutomationError that names the file
// (and line and column where known), or is skipped in a defined way.
#include "notes_test_support.h"

#include <sys/stat.h>

namespace notes_test {
namespace {

    using BadInputTest = NotesTest;

    bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

    std::string mailDatabase()
    {
        dxl::DatabaseBuilder builder("Truncate me");
        auto& a = builder.document("Memo").text("Subject", "one").attachment("a.bin", std::string(300, 'q'));
        builder.document("Memo").text("Subject", "two").richText("Body", { "x", "y" });
        builder.folder("($Inbox)").entries({ a.noteId() });
        return builder.xml();
    }

    TEST_F(BadInputTest, FilesThatCannotBeReadOrAreEmpty)
    {
        const std::string missing = path("missing.dxl").string();
        EXPECT_TRUE(contains(errorOf([&] { open(missing); }), missing));
        EXPECT_TRUE(contains(errorOf([&] { open(dir_.string()); }), "not a regular file"));
        // A named pipe without a writer must not block the reader.
        ASSERT_EQ(::mkfifo(path("pipe.dxl").c_str(), 0600), 0);
        EXPECT_TRUE(contains(errorOf([&] { open(path("pipe.dxl").string()); }), "not a regular file"));
        const std::string underFile = writeFile("plain.txt", "x") + "/db.dxl";
        EXPECT_TRUE(contains(errorOf([&] { open(underFile); }), underFile));
        const std::string empty = writeFile("empty.dxl", "");
        EXPECT_TRUE(contains(errorOf([&] { open(empty); }), "empty"));
        EXPECT_THROW(session_->GetDatabase("", ""), AutomationError);
        if (::geteuid() != 0) { // root reads any file
            const std::string locked = writeFile("locked.dxl", mailDatabase());
            ::chmod(locked.c_str(), 0);
            EXPECT_TRUE(contains(errorOf([&] { open(locked); }), "locked.dxl"));
        }
    }

    TEST_F(BadInputTest, FilesThatAreNoDxlDatabaseSayWhereAndWhy)
    {
        const std::string html = writeFile("page.dxl", "<html><body>hello</body></html>");
        EXPECT_TRUE(contains(errorOf([&] { open(html); }), "not a DXL database export"));
        // DXL kept without its namespace declaration (as some tools store single notes) is still
        // DXL; an element of another namespace is not.
        EXPECT_EQ(open(writeFile("plain.dxl", "<database title='x'/>"))->Title(), "x");
        const std::string other = writeFile("other.dxl", "<database xmlns='urn:other' title='x'/>");
        EXPECT_TRUE(contains(errorOf([&] { open(other); }), "not a DXL database export"));
        const std::string text = writeFile("text.dxl", "just some text\n");
        EXPECT_TRUE(contains(errorOf([&] { open(text); }), "text.dxl:1:"));

        // Malformed XML names its line; a native NSF file is recognised; a note ID that is no
        // hexadecimal number is refused.
        const std::string bad = writeFile("bad.dxl",
            "<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl'>\n  <document form='Memo'>\n"
            "  </documnt>\n</database>\n");
        const std::string mismatched = errorOf([&] { open(bad); });
        EXPECT_TRUE(contains(mismatched, bad + ":4:")) << mismatched;
        EXPECT_TRUE(contains(mismatched, "mismatched tag")) << mismatched;
        const std::string nsf
            = writeFile("mail.nsf", std::string("\x1A\x00\x00\x00\x04\x00", 6) + std::string(100, '\0'));
        EXPECT_TRUE(contains(errorOf([&] { open(nsf); }), "mail.nsf"));
        EXPECT_TRUE(contains(errorOf([&] { open(nsf); }), "NSF"));
        dxl::DatabaseBuilder builder;
        builder.document("Memo", "xyz");
        EXPECT_TRUE(contains(errorOf([&] { open(builder, "badid.dxl"); }), "\"xyz\""));
    }

    // Domino writes the encoding of the export's code page into the declaration; iconv reads
    // those expat does not know, single-byte and multi-byte.
    TEST_F(BadInputTest, DeclaredEncodingsAreRead)
    {
        const struct {
            const char* encoding;
            std::string subject; // in that encoding
            std::string expected; // UTF-8
        } cases[] = {
            { "windows-1252",
                "Gr\xFC\xDF"
                "e \x80 5",
                "Gr\xC3\xBC\xC3\x9F"
                "e \xE2\x82\xAC 5" },
            { "SHIFT_JIS", "\x93\xFA\x96\x7B \xB1", "\xE6\x97\xA5\xE6\x9C\xAC \xEF\xBD\xB1" },
            { "EUC-JP", "\xC6\xFC\xCB\xDC", "\xE6\x97\xA5\xE6\x9C\xAC" },
            { "ISO-8859-15", "\xA4", "\xE2\x82\xAC" },
        };
        for (const auto& c : cases) {
            const std::string file = writeFile(std::string(c.encoding) + ".dxl",
                std::string("<?xml version='1.0' encoding='") + c.encoding
                    + "'?>\n<database xmlns='http://www.lotus.com/dxl' title='" + c.subject
                    + "'>\n<document form='Memo'><noteinfo noteid='8fa' unid='AAAAAAAA11111111BBBBBBBB22222222'/>"
                      "<item name='Subject'><text>"
                    + c.subject + "</text></item></document>\n</database>\n");
            notes::ClearDatabaseCache();
            auto db = open(file);
            EXPECT_EQ(db->Title(), c.expected) << c.encoding;
            EXPECT_EQ(db->GetDocumentByID("8fa")->GetItemValue("Subject").first().toText(), c.expected) << c.encoding;
        }
    }

    TEST_F(BadInputTest, TruncatedAnywhereFailsCleanly)
    {
        const std::string whole = mailDatabase();
        EXPECT_NO_THROW(open(writeFile("whole.dxl", whole)));
        for (std::size_t cut = 1; cut < whole.size(); cut += 7) {
            const std::string file = writeFile("cut.dxl", whole.substr(0, cut));
            notes::ClearDatabaseCache();
            const std::string message = errorOf([&] { open(file); });
            EXPECT_TRUE(contains(message, "cut.dxl")) << cut << ": " << message;
        }
    }

    TEST_F(BadInputTest, DuplicateNoteIdsKeepBothDocuments)
    {
        dxl::DatabaseBuilder builder;
        builder.document("Memo", "8fa").text("Subject", "first");
        builder.document("Memo", "8FA").text("Subject", "second");
        builder.document("Memo", "8fa").text("Subject", "third");
        builder.folder("($Inbox)").entries({ "8fa" });
        auto db = open(builder);
        const auto ids = db->AllDocumentIDs();
        ASSERT_EQ(ids.size(), 3U);
        std::vector<std::string> subjects;
        for (const auto& id : ids)
            subjects.push_back(db->GetDocumentByID(id)->GetItemValue("Subject").first().toText());
        EXPECT_EQ(subjects, (std::vector<std::string> { "first", "second", "third" }));
        EXPECT_NE(ids[1], ids[2]);
        // The folder reaches the first; the others are named in the findings by their new IDs.
        EXPECT_EQ(db->GetView("($Inbox)")->GetFirstDocument()->NoteID(), "8fa");
        const auto findings = db->ReaderFindings();
        ASSERT_EQ(findings.size(), 2U);
        EXPECT_TRUE(contains(findings[0], "note ID 8FA is written twice")) << findings[0];
        EXPECT_TRUE(contains(findings[0], "read as note ID " + ids[1])) << findings[0];
        EXPECT_TRUE(contains(findings[1], "read as note ID " + ids[2])) << findings[1];
    }

    TEST_F(BadInputTest, EntityExpansionAndExternalEntitiesAreRefused)
    {
        const std::string laughs = writeFile("laughs.dxl",
            "<?xml version='1.0'?>\n<!DOCTYPE database [\n<!ENTITY a 'aaaaaaaaaa'>\n<!ENTITY b "
            "'&a;&a;&a;&a;&a;&a;'>\n]>\n"
            "<database xmlns='http://www.lotus.com/dxl' title='&b;'/>\n");
        EXPECT_TRUE(contains(errorOf([&] { open(laughs); }), "laughs.dxl:2:")) << errorOf([&] { open(laughs); });
        const std::string external = writeFile("external.dxl",
            "<?xml version='1.0'?>\n<!DOCTYPE database [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>\n"
            "<database xmlns='http://www.lotus.com/dxl' title='&x;'/>\n");
        EXPECT_THROW(open(external), AutomationError);
        // An undeclared entity behind an external DTD is not looked up: in an item, which the
        // index passes over, it makes its document unreadable.
        const std::string undeclared = writeFile("undeclared.dxl",
            "<?xml version='1.0'?>\n<!DOCTYPE database SYSTEM 'http://example.invalid/x.dtd'>\n"
            "<database xmlns='http://www.lotus.com/dxl'><document><noteinfo noteid='4'/><item name='S'><text>&x;"
            "</text></item><updatedby><name>&x;</name></updatedby></document></database>\n");
        EXPECT_TRUE(contains(errorOf([&] { open(undeclared); }), "undeclared entity"));
        const std::string inItem = writeFile("in-item.dxl",
            "<?xml version='1.0'?>\n<!DOCTYPE database SYSTEM 'http://example.invalid/x.dtd'>\n"
            "<database xmlns='http://www.lotus.com/dxl'><document><noteinfo noteid='4'/><item name='S'><text>&x;"
            "</text></item></document></database>\n");
        auto db = open(inItem);
        EXPECT_TRUE(contains(errorOf([&] { db->GetDocumentByID("4")->GetItemValue("S"); }), "undefined entity"));
        // Domino's own document type line, naming its DTD, is fine.
        const std::string domino = writeFile("domino.dxl",
            "<?xml version='1.0' encoding='utf-8'?>\n<!DOCTYPE database SYSTEM 'xmlschemas/domino_9_0_1.dtd'>\n"
            "<database xmlns='http://www.lotus.com/dxl' title='Fine'/>\n");
        EXPECT_EQ(open(domino)->Title(), "Fine");
    }

    TEST_F(BadInputTest, BadValuesFailWhenTheDocumentIsRead)
    {
        dxl::DatabaseBuilder builder;
        auto& number = builder.document("Memo").rawItem("<item name='N'><number>12abc</number></item>");
        auto& date = builder.document("Memo").rawItem("<item name='D'><datetime>20101345T000000,00</datetime></item>");
        auto& infinite
            = builder.document("Memo").rawItem("<item name='N'><numberlist><number>1</number><number>inf</number>"
                                               "</numberlist></item>");
        auto db = open(builder);
        EXPECT_TRUE(contains(errorOf([&] { db->GetDocumentByID(infinite.noteId()); }), "\"inf\" is not a number"));
        const std::string n = errorOf([&] { db->GetDocumentByID(number.noteId()); });
        EXPECT_TRUE(contains(n, "\"12abc\" is not a number")) << n;
        EXPECT_TRUE(contains(n, "db.dxl:")) << n;
        EXPECT_TRUE(contains(errorOf([&] { db->GetDocumentByID(date.noteId()); }), "20101345T000000,00"));
        // An empty <datetime/> is an empty value, not a bad one (Domino writes it for a date
        // item that holds none).
        dxl::DatabaseBuilder empty;
        auto& memo = empty.document("Memo").rawItem("<item name='D'><datetime/></item>").text("Subject", "kept");
        auto read = open(empty, "empty.dxl")->GetDocumentByID(memo.noteId());
        EXPECT_EQ(read->GetItemValue("Subject").first().toText(), "kept");
        EXPECT_TRUE(read->HasItem("D"));
    }

    TEST_F(BadInputTest, BadDocumentReachedByAViewWalkFailsWhenItsItemsAreRead)
    {
        dxl::DatabaseBuilder builder;
        auto& good = builder.document("Memo").text("Subject", "fine");
        auto& bad = builder.document("Memo").rawItem("<item name='N'><number>many</number></item>");
        builder.view("($All)").selectAll();
        auto view = open(builder)->GetView("($All)");
        EXPECT_EQ(walk(*view), (std::vector<std::string> { good.noteId(), bad.noteId() }));
        auto second = view->GetNextDocument(*view->GetFirstDocument());
        EXPECT_TRUE(contains(errorOf([&] { second->GetItemValue("N"); }), "\"many\" is not a number"));
    }

    TEST_F(BadInputTest, AttachmentDataThatDoesNotDecode)
    {
        dxl::DatabaseBuilder builder;
        auto& bad = builder.document("Memo").rawAttachment("bad.bin", "QUJD\nQU*D\n", 6);
        auto& shortData = builder.document("Memo").rawAttachment("short.bin", "QUJD\n", 6);
        auto& cut = builder.document("Memo").rawAttachment("cut.bin", "QUJDQ\n", 4);
        auto& longData = builder.document("Memo").rawAttachment("long.bin", "QUJDQUJDQUJD\n", 3);
        // Only base64 characters, but padding in the middle.
        auto& padded = builder.document("Memo").rawAttachment("padded.bin", "QUJD\nQQ==QUJD\n", 7);
        auto db = open(builder);

        const auto target = path("out.bin");
        auto badObject = db->GetDocumentByID(bad.noteId())->GetAttachment("bad.bin");
        ASSERT_NE(badObject, nullptr);
        const std::string message = errorOf([&] { badObject->ExtractFile(target.string()); });
        EXPECT_TRUE(contains(message, "not base64")) << message;
        EXPECT_TRUE(contains(message, "bad.bin")) << message;
        EXPECT_TRUE(contains(message, "db.dxl:")) << message;
        EXPECT_FALSE(fs::exists(target)) << "a partly written file stays behind";

        auto paddedObject = db->GetDocumentByID(padded.noteId())->GetAttachment("padded.bin");
        ASSERT_NE(paddedObject, nullptr);
        const std::string paddedMessage = errorOf([&] { paddedObject->ExtractFile(target.string()); });
        EXPECT_TRUE(contains(paddedMessage, "not base64 (character 0x51)")) << paddedMessage;
        EXPECT_FALSE(fs::exists(target));

        for (const auto& [id, name] : { std::pair { shortData.noteId(), "short.bin" },
                 std::pair { cut.noteId(), "cut.bin" }, std::pair { longData.noteId(), "long.bin" } }) {
            EXPECT_TRUE(contains(
                errorOf([&] { db->GetDocumentByID(id)->GetAttachment(name)->ExtractFile(target.string()); }), name));
            EXPECT_FALSE(fs::exists(target));
        }
    }

    TEST_F(BadInputTest, HugeDeclaredAttachmentIsSizedButNotTrusted)
    {
        dxl::DatabaseBuilder builder;
        const std::uint64_t huge = 1ULL << 40;
        auto& doc = builder.document("Memo").rawAttachment("huge.iso", "QUJD\n", huge);
        auto d = open(builder)->GetDocumentByID(doc.noteId());
        auto object = d->GetAttachment("huge.iso");
        EXPECT_EQ(object->FileSize(), static_cast<std::int64_t>(huge));
        EXPECT_EQ(d->Size(), INT32_MAX);
        const std::string message = errorOf([&] { object->ExtractFile(path("huge.iso").string()); });
        EXPECT_TRUE(contains(message, "decodes to 3 bytes")) << message;
        EXPECT_FALSE(fs::exists(path("huge.iso")));
    }

    TEST_F(BadInputTest, CompressedOrDatalessAttachmentsCannotBeExtracted)
    {
        dxl::DatabaseBuilder builder;
        auto& doc
            = builder.document("Memo")
                  .rawItem("<item name='$FILE'><object><file name='z.doc' compression='lz1' size='10'><created>"
                           "<datetime>20090101</datetime></created><modified><datetime>20090101</datetime></modified>"
                           "<filedata>AAAA</filedata></file></object></item>")
                  .rawItem("<item name='$FILE'><object><file name='gone.doc' size='10'><created>"
                           "<datetime>20090101</datetime></created><modified><datetime>20090101</datetime></modified>"
                           "</file></object></item>");
        auto d = open(builder)->GetDocumentByID(doc.noteId());
        EXPECT_TRUE(contains(errorOf([&] { d->GetAttachment("z.doc")->ExtractFile(path("z").string()); }), "lz1"));
        EXPECT_TRUE(
            contains(errorOf([&] { d->GetAttachment("gone.doc")->ExtractFile(path("g").string()); }), "no file data"));
        EXPECT_EQ(d->GetAttachment("gone.doc")->FileSize(), 10);
    }

    TEST_F(BadInputTest, FileChangedBehindAnOpenDatabase)
    {
        dxl::DatabaseBuilder builder;
        auto& doc = builder.document("Memo").text("Subject", "hello");
        auto db = open(builder, "moving.dxl");
        writeFile("moving.dxl", "<x/>");
        EXPECT_THROW(db->GetDocumentByID(doc.noteId()), AutomationError);
    }

} // namespace
} // namespace notes_test
