// Databases, documents and item values read through the automation interface.
#include "notes_test_support.h"

#include "automation/automation.h"

namespace notes_test {
namespace {

    DateTime dateTime(int y, int mo, int d, int h, int mi, int s, int ms, std::optional<int> offset)
    {
        DateTime dt;
        dt.year = y;
        dt.month = mo;
        dt.day = d;
        dt.hour = h;
        dt.minute = mi;
        dt.second = s;
        dt.millisecond = ms;
        dt.offsetMinutes = offset;
        return dt;
    }

    using ReaderTest = NotesTest;

    TEST_F(ReaderTest, RealExportedNoteKeepsDateOnlyTimeOnlyAndOffsetValues)
    {
        auto db = open(std::string(FERRYMARK_TEST_DATA_DIR) + "/dxl/CET-document.xml");
        auto doc = db->GetDocumentByID("912");
        EXPECT_EQ(doc->NoteID(), "912");
        EXPECT_EQ(doc->GetItemValue("Form"), Variant(VariantArray { "DateTime Doc" }));

        const DateTime date = doc->GetItemValue("Date").first().toDate();
        EXPECT_EQ(date.kind, DateTime::Kind::DateOnly);
        EXPECT_EQ(date.toIso(), "2022-01-25");
        EXPECT_FALSE(date.offsetMinutes);

        const DateTime time = doc->GetItemValue("Time").first().toDate();
        EXPECT_EQ(time.kind, DateTime::Kind::TimeOnly);
        EXPECT_EQ(time.toIso(), "20:26:00");

        const DateTime both = doc->GetItemValue("DateTime").first().toDate();
        EXPECT_EQ(both.kind, DateTime::Kind::DateAndTime);
        EXPECT_EQ(both.toIso(), "2022-01-25T20:26:00+01:00");
        EXPECT_EQ(both.toUnixMillis(), 1643138760000); // 19:26 UTC
        EXPECT_EQ(doc->GetItemValue("DXL"), Variant(VariantArray { "" }));
    }

    TEST_F(ReaderTest, DatabaseTitleAndTypeNumbers)
    {
        const std::pair<const char*, int> types[]
            = { { "mailfile", 2 }, { "personaljournal", 11 }, { "addressbook", 10 }, { "standard", 13 } };
        for (const auto& [type, number] : types) {
            dxl::DatabaseBuilder builder(std::string("Title & <") + type + ">", type);
            auto db = open(builder, std::string(type) + ".dxl");
            EXPECT_EQ(db->Title(), std::string("Title & <") + type + ">");
            EXPECT_EQ(db->Type(), number) << type;
        }
    }

    TEST_F(ReaderTest, EveryValueKindReadsAsTypedArrayAndRichTextAsItsText)
    {
        dxl::DatabaseBuilder builder;
        auto& doc = builder.document("Memo")
                        .text("Subject", "Grüße & <more>")
                        .textList("Categories", { "Red", "", "Blue" })
                        .names("SendTo", { "CN=Bo Yu/O=Acme", "carla@example.com" })
                        .number("Importance", 2.5)
                        .numberList("Counts", { 1, -2, 3e10 })
                        .dateTime("PostedDate", "20100105T113000,25-0530")
                        .dateTime("DueDate", "20100107")
                        .dateTimeList("Reminders", { "20100105T080000,00Z", "T101500,00" })
                        .richText("Body", { "First line", "", "Third & last" })
                        .rawItem("<item name='Readers' readers='true'><text>[Admin]</text></item>")
                        .rawItem("<item name='Notes'><text>one<break/>two</text></item>")
                        .rawItem("<item name='Empty'><textlist/></item>")
                        .rawItem("<item name='$Sel'><formula>SELECT Form = \"Memo\"</formula></item>")
                        .rawItem("<item name='$Raw'><rawitemdata type='4'>AQCI</rawitemdata></item>");
        auto db = open(builder);
        auto d = db->GetDocumentByID(doc.noteId());

        EXPECT_EQ(d->GetItemValue("Subject"), Variant(VariantArray { "Grüße & <more>" }));
        EXPECT_EQ(d->GetItemValue("Categories"), Variant(VariantArray { "Red", "", "Blue" }));
        EXPECT_EQ(d->GetItemValue("SendTo"), Variant(VariantArray { "CN=Bo Yu/O=Acme", "carla@example.com" }));
        EXPECT_EQ(d->GetItemValue("Importance"), Variant(VariantArray { 2.5 }));
        EXPECT_EQ(d->GetItemValue("Counts"), Variant(VariantArray { 1.0, -2.0, 3e10 }));
        EXPECT_EQ(d->GetItemValue("PostedDate").first().toDate(), dateTime(2010, 1, 5, 11, 30, 0, 250, -330));
        EXPECT_EQ(d->GetItemValue("DueDate").first().toDate().toIso(), "2010-01-07");
        const auto reminders = d->GetItemValue("Reminders").array();
        ASSERT_EQ(reminders.size(), 2U);
        EXPECT_EQ(reminders[0].toDate().toIso(), "2010-01-05T08:00:00+00:00");
        EXPECT_EQ(reminders[1].toDate().kind, DateTime::Kind::TimeOnly);
        EXPECT_EQ(d->GetItemValue("Body"), Variant(VariantArray { "First line\n\nThird & last" }));
        EXPECT_EQ(d->GetItemValue("Notes"), Variant(VariantArray { "one\ntwo" }));
        EXPECT_EQ(d->GetItemValue("Empty"), Variant(VariantArray { "" }));
        EXPECT_EQ(d->GetItemValue("$Sel"), Variant(VariantArray { "SELECT Form = \"Memo\"" }));

        // Item names are not case-sensitive; a missing item is one empty text.
        EXPECT_EQ(d->GetItemValue("subject"), d->GetItemValue("Subject"));
        EXPECT_TRUE(d->HasItem("POSTEDDATE"));
        EXPECT_FALSE(d->HasItem("Location"));
        EXPECT_EQ(d->GetItemValue("Location"), Variant(VariantArray { "" }));
        EXPECT_EQ(d->GetItemValue("Location").first().toText(), "");

        std::map<std::string, int> types;
        for (const auto& item : d->Items())
            types[item->Name()] = item->Type();
        EXPECT_EQ(types["Form"], 1280);
        EXPECT_EQ(types["Subject"], 1280);
        EXPECT_EQ(types["SendTo"], 1074);
        EXPECT_EQ(types["Readers"], 1075);
        EXPECT_EQ(types["Importance"], 768);
        EXPECT_EQ(types["Reminders"], 1024);
        EXPECT_EQ(types["Body"], 1);
        EXPECT_EQ(types["$Sel"], 1536);
        EXPECT_EQ(types["$Raw"], 4);
        EXPECT_FALSE(d->HasEmbedded());

        // Rich text reads as its paragraphs' text, without formatting or pictures.
        dxl::DatabaseBuilder richDb;
        auto& rich = richDb.document("Memo").rawItem(
            "<item name='Body'><richtext>\n<pardef id='1' leftmargin='1in'><code "
            "event='hidewhen'><formula>1</formula></code></pardef>\n"
            "<par def='1'><run><font style='bold'/>Bold</run> text<break/>next line</par>\n"
            "<par def='1'><attachmentref name='a.txt' displayname='a.txt'><picture height='34px' "
            "width='61px'><gif>R0lG</gif>"
            "<caption>a.txt</caption></picture></attachmentref></par>\n"
            "<table><tablerow><tablecell><par>cell</par></tablecell></tablerow></table>\n</richtext></item>");
        auto r = open(richDb, "rich.dxl")->GetDocumentByID(rich.noteId());
        EXPECT_EQ(r->GetItemValue("Body").first().toText(), "Bold text\nnext line\n\ncell");
    }

    TEST_F(ReaderTest, DocumentsByNoteIdInAnyCaseAndTheirSizes)
    {
        dxl::DatabaseBuilder builder;
        builder.document("Memo", "8fa").text("Subject", "lower");
        builder.document("Memo", "9AB").text("Subject", "upper");
        builder.document("Memo", "00c").text("Subject", "leading zero");
        auto db = open(builder);
        EXPECT_EQ(db->GetDocumentByID("8FA")->NoteID(), "8fa");
        EXPECT_EQ(db->GetDocumentByID("9ab")->NoteID(), "9AB");
        EXPECT_EQ(db->GetDocumentByID("C")->NoteID(), "00c");
        EXPECT_EQ(db->GetDocumentByID("8fa")->GetItemValue("Subject").first().toText(), "lower");
        const std::string unknown = errorOf([&] { db->GetDocumentByID("123"); });
        EXPECT_NE(unknown.find("123"), std::string::npos);
        EXPECT_NE(unknown.find("db.dxl"), std::string::npos);
        EXPECT_THROW(db->GetDocumentByID("not hex"), AutomationError);

        // A document's size counts its item values, attachments included.
        dxl::DatabaseBuilder sizes("Sizes");
        auto& small = sizes.document("");
        small.text("Subject", "abcd").numberList("N", { 1, 2 }).dateTime("D", "20100101");
        auto& withFile = sizes.document("");
        withFile.text("Subject", "abcd").attachment("f.bin", std::string(1000, 'x'));
        auto sized = open(sizes, "sizes.dxl");
        EXPECT_EQ(sized->GetDocumentByID(small.noteId())->Size(), 4 + 2 * 8 + 8);
        EXPECT_EQ(sized->GetDocumentByID(withFile.noteId())->Size(), 4 + 1000);
    }

    TEST_F(ReaderTest, TheRegisteredSessionReadsADatabaseAgainOnlyWhenTheFileChanges)
    {
        dxl::DatabaseBuilder first("First");
        auto db1 = open(first, "c.dxl");
        auto db2 = session_->GetDatabase("", path("c.dxl").string());
        EXPECT_EQ(db2->Title(), "First");

        dxl::DatabaseBuilder second("Second, a longer title");
        second.document("Memo", "8fa").text("Subject", "new");
        second.write(path("c.dxl"));
        auto db3 = session_->GetDatabase("", path("c.dxl").string());
        EXPECT_EQ(db3->Title(), "Second, a longer title");
        EXPECT_EQ(db3->GetDocumentByID("8fa")->GetItemValue("Subject").first().toText(), "new");
        // A database opened before the change keeps the index it was opened with.
        EXPECT_EQ(db1->Title(), "First");

        // The session registered for its program identifier opens local databases only.
        automation::ClearProviders();
        notes::RegisterNotesSession();
        auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
        dxl::DatabaseBuilder registered("Registered");
        EXPECT_EQ(session->GetDatabase("", registered.write(path("r.dxl")))->Title(), "Registered");
        EXPECT_THROW(session->GetDatabase("Mail01/Acme", path("r.dxl").string()), AutomationError);
        automation::ClearProviders();
    }

    TEST_F(ReaderTest, DocumentsReadAheadAreTheDocumentsAndErrorsReadWhenFetched)
    {
        // The documents a list says come next are read on another thread; what is fetched is
        // the same, a bad one fails at its own fetch, and fetches out of the list's order, past
        // it or after the notice is taken back are read as they always are.
        dxl::DatabaseBuilder builder;
        std::vector<std::string> ids;
        for (int i = 0; i < 12; ++i) {
            auto& doc = builder.document("Memo").text("Subject", "message " + std::to_string(i));
            if (i == 3)
                doc.rawItem("<item name='N'><number>12abc</number></item>");
            ids.push_back(doc.noteId());
        }
        auto db = open(builder);
        const std::string bad = errorOf([&] { db->GetDocumentByID(ids[3]); });
        const auto subject
            = [&](std::size_t i) { return db->GetDocumentByID(ids[i])->GetItemValue("Subject").first().toText(); };
        db->ReadAhead(ids);
        EXPECT_EQ(subject(0), "message 0");
        EXPECT_EQ(subject(1), "message 1");
        EXPECT_EQ(subject(0), "message 0"); // behind the list
        EXPECT_EQ(subject(2), "message 2");
        EXPECT_EQ(errorOf([&] { db->GetDocumentByID(ids[3]); }), bad);
        EXPECT_EQ(subject(7), "message 7"); // past some
        EXPECT_EQ(subject(5), "message 5");
        EXPECT_EQ(subject(8), "message 8");
        EXPECT_EQ(db->GetDocumentByUNID(db->GetDocumentByID(ids[9])->UniversalID())->NoteID(), ids[9]);
        db->ReadAhead({});
        EXPECT_EQ(subject(10), "message 10");
        // Taken back, or the database's files let go of, while documents are being read.
        db->ReadAhead(ids);
        db->ReadAhead({});
        db->ReadAhead(ids);
        EXPECT_EQ(subject(0), "message 0");
        notes::ClearDatabaseCache();
        EXPECT_EQ(subject(11), "message 11");
    }

} // namespace
} // namespace notes_test
