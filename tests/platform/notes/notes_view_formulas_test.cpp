// Views listed by their selection formula: which documents they hold, in file order, and why a
// view whose formula cannot be evaluated holds none.
#include "notes_test_support.h"

#include <cstdint>

namespace notes_test {
namespace {

    // A document written by hand, for what the builder does not offer (times, response links).
    std::string rawDocument(const std::string& noteId, const std::string& unid, const std::string& form,
        const std::string& created, const std::string& extraAttributes = "", const std::string& items = "")
    {
        return "<document form='" + form + "'" + extraAttributes + ">\n<noteinfo noteid='" + noteId + "' unid='" + unid
            + "' sequence='1'><created><datetime>" + created + "</datetime></created><modified><datetime>" + created
            + "</datetime></modified></noteinfo>\n<item name='Form'><text>" + form + "</text></item>\n" + items
            + "</document>\n";
    }

    // $REF as Domino exports it: raw item data of a note reference list (count, then the UNID
    // as two little-endian TIMEDATEs, each written low word first).
    std::string refItem(const std::string& unid)
    {
        std::string bytes = { 1, 0 };
        auto word = [&](std::size_t at) {
            const auto v = static_cast<std::uint32_t>(std::stoul(unid.substr(at, 8), nullptr, 16));
            for (int i = 0; i < 4; ++i)
                bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        word(8);
        word(0);
        word(24);
        word(16);
        return "<item name='$REF'><rawitemdata type='4'>" + dxl::base64(bytes) + "</rawitemdata></item>\n";
    }

    class ViewFormulasTest : public NotesTest {
    protected:
        static std::vector<std::string> walkView(const automation::NotesDatabase& db, const std::string& name)
        {
            auto view = db.GetView(name);
            EXPECT_NE(view, nullptr) << name;
            if (!view)
                return {};
            auto ids = walk(*view);
            EXPECT_EQ(static_cast<std::size_t>(view->AllEntries()->Count()), ids.size()) << name;
            EXPECT_EQ(notes::UnevaluatedReason(*view), "") << name;
            return ids;
        }
    };

    TEST_F(ViewFormulasTest, ViewsListExactlyTheDocumentsTheirFormulasSelect)
    {
        dxl::DatabaseBuilder builder;
        auto& budget = builder.document("Memo").text("Subject", "Budget 2009").textList("Categories", { "Work" });
        auto& lunch = builder.document("Memo").text("Subject", "Lunch").textList("Categories", { "Personal", "Work" });
        auto& meeting = builder.document("Appointment").text("Subject", "Budget review").number("Priority", 2);
        auto& task = builder.document("Task").text("Subject", "File taxes").number("Priority", 1);
        // A document whose content cannot be read is left out; the others still are listed.
        auto& broken = builder.document("Memo").rawItem("<item name='Subject'><number>many</number></item>");
        builder.view("Budget").formula(R"(SELECT @Contains(Subject; "Budget"))");
        builder.view("Work memos").formula(R"(SELECT Form = "Memo" & Categories = "Work")");
        builder.view("Urgent").formula(R"(limit := 2; SELECT @IsAvailable(Priority) & Priority < limit)");
        builder.view("Not memos").formula(R"(SELECT form != "memo")");
        builder.view("Calendar").formula(R"(SELECT @IsMember(Form; "Appointment":"Notice"))");
        // The entries element comes before the formula.
        builder.view("Listed").formula("SELECT @False").entries({ task.noteId() });
        auto db = open(builder);

        using Ids = std::vector<std::string>;
        EXPECT_EQ(walkView(*db, "Budget"), (Ids { budget.noteId(), meeting.noteId() }));
        EXPECT_EQ(walkView(*db, "Work memos"), (Ids { budget.noteId(), lunch.noteId() }));
        EXPECT_EQ(walkView(*db, "Urgent"), (Ids { task.noteId() }));
        EXPECT_EQ(walkView(*db, "Not memos"), (Ids { meeting.noteId(), task.noteId() }));
        EXPECT_EQ(walkView(*db, "Calendar"), (Ids { meeting.noteId() }));
        EXPECT_EQ(walkView(*db, "Listed"), (Ids { task.noteId() }));
        // Walking again, and walking from a document fetched elsewhere, give the same entries.
        EXPECT_EQ(walkView(*db, "Budget"), (Ids { budget.noteId(), meeting.noteId() }));
        auto next = db->GetView("Work memos")->GetNextDocument(*db->GetDocumentByID(budget.noteId()));
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(next->NoteID(), lunch.noteId());
        (void)broken;
    }

    // Views before the documents are evaluated while the file is indexed, views after them by a
    // scan when first walked: both give the same documents. A document with a bad value selects
    // nothing either way and does not stop the file from opening.
    TEST_F(ViewFormulasTest, CreationTimesAndResponseHierarchyWithViewsBeforeOrAfterTheDocuments)
    {
        const std::string topicUnid = "AAAAAAAA11111111BBBBBBBB22222222";
        const std::string replyUnid = "AAAAAAAA11111111BBBBBBBB33333333";
        const std::pair<const char*, const char*> views[] = {
            { "Threads", R"(SELECT Form = "Topic" & @Created < [01/01/2009] | @AllDescendants)" },
            { "First level", R"(SELECT Form = "Topic" & @Created < [01/01/2009] | @AllChildren)" },
            { "Responses", "SELECT @IsResponseDoc" },
            { "New year", "SELECT @Created >= [01/02/2009] & @Created < @Date(2009; 1; 4) & N != 1" },
        };
        for (const bool viewsFirst : { true, false }) {
            SCOPED_TRACE(viewsFirst ? "views first" : "views last");
            dxl::DatabaseBuilder builder;
            if (viewsFirst)
                for (const auto& [name, formula] : views)
                    builder.view(name).formula(formula);
            builder.raw(rawDocument("1002", topicUnid, "Topic", "20081231T235900,00+01"));
            // A response named by the parent attribute, and one to it named by $REF only.
            builder.raw(rawDocument(
                "1006", replyUnid, "Reply", "20090102T080000,00+01", " parent='" + topicUnid + "' response='true'"));
            builder.raw(rawDocument(
                "100A", "AAAAAAAA11111111BBBBBBBB44444444", "Reply", "20090103T080000,00+01", "", refItem(replyUnid)));
            builder.raw(rawDocument("100E", "AAAAAAAA11111111BBBBBBBB55555555", "Reply", "20090104T080000,00+01", "",
                refItem("AAAAAAAA11111111BBBBBBBB99999999")));
            builder.raw(rawDocument("1012", "AAAAAAAA11111111BBBBBBBB66666666", "Topic", "20090105T080000,00+01"));
            // $REF written as text names the parent too.
            builder.raw(rawDocument("1016", "AAAAAAAA11111111BBBBBBBB77777777", "Reply", "20090105T080000,00+01", "",
                "<item name='$Ref'><text>" + replyUnid + "</text></item>"));
            builder.raw(rawDocument("101A", "AAAAAAAA11111111BBBBBBBB88888888", "Reply", "20090103T080000,00+01", "",
                "<item name='N'><number>not a number</number></item>"));
            if (!viewsFirst)
                for (const auto& [name, formula] : views)
                    builder.raw(std::string("<view name='") + name + "'><code event='selection'><formula>"
                        + dxl::escape(formula) + "</formula></code></view>");
            auto db = open(builder, viewsFirst ? "first.dxl" : "last.dxl");

            using Ids = std::vector<std::string>;
            EXPECT_EQ(walkView(*db, "Threads"), (Ids { "1002", "1006", "100A", "1016" }));
            EXPECT_EQ(walkView(*db, "First level"), (Ids { "1002", "1006" }));
            EXPECT_EQ(walkView(*db, "Responses"), (Ids { "1006", "100A", "100E", "1016" }));
            EXPECT_EQ(walkView(*db, "New year"), (Ids { "1006", "100A" }));
        }
    }

    TEST_F(ViewFormulasTest, ViewNotesTakeTheirFormulaItemAndUnevaluatedViewsListNothingAndSayWhy)
    {
        dxl::DatabaseBuilder builder;
        builder.document("Memo").text("Subject", "x");
        builder.view("Lookup").formula(R"(SELECT Form = "Memo" | @DbLookup(""; ""; "People"; "x"; 1) = "y")");
        builder.view("Broken").formula(R"(SELECT (Form = "Memo")");
        builder.view("NoFormula");
        builder.view("All").selectAll();
        auto db = open(builder);
        struct Case {
            const char* view;
            const char* reason;
        };
        for (const Case& c : { Case { "Lookup", "@DbLookup" }, Case { "Broken", "at character 22" },
                 Case { "NoFormula", "no selection formula" } }) {
            auto view = db->GetView(c.view);
            EXPECT_EQ(view->AllEntries()->Count(), 0) << c.view;
            EXPECT_EQ(view->GetFirstDocument(), nullptr) << c.view;
            EXPECT_NE(notes::UnevaluatedReason(*view).find(c.reason), std::string::npos)
                << c.view << ": " << notes::UnevaluatedReason(*view);
        }
        EXPECT_EQ(notes::UnevaluatedReason(*db->GetView("All")), "");

        // A view note takes its formula item, unless the formula is compiled.
        dxl::DatabaseBuilder notesDb;
        auto& memo = notesDb.document("Memo");
        notesDb.document("Task");
        notesDb.raw("<note class='view'><noteinfo noteid='20' unid='EEEEEEEE11111111EEEEEEEE22222222'/>"
                    "<item name='$TITLE'><text>Memos</text></item>"
                    "<item name='$Formula'><formula>SELECT Form = \"Memo\"</formula></item></note>\n");
        auto memos = open(notesDb, "memos.dxl");
        EXPECT_EQ(walkView(*memos, "Memos"), std::vector<std::string> { memo.noteId() });

        auto calendar = open(std::string(FERRYMARK_TEST_DATA_DIR) + "/dxl/view-calendar.xml")->GetView("Calendar View");
        ASSERT_NE(calendar, nullptr);
        EXPECT_NE(notes::UnevaluatedReason(*calendar).find("compiled"), std::string::npos);
    }

    TEST_F(ViewFormulasTest, RealViewsEvaluateOrNameTheirUnsupportedFunction)
    {
        // The real export holds design notes only; documents are added before its end.
        std::string text = readFile(fs::path(FERRYMARK_TEST_DATA_DIR) / "dxl/real/testDQL-DQLView.xml");
        const auto end = text.rfind("</database>");
        ASSERT_NE(end, std::string::npos);
        text.insert(end,
            rawDocument("2002", "CCCCCCCC11111111DDDDDDDD22222222", "Virtual Server", "20200101T100000,00+00")
                + rawDocument("2006", "CCCCCCCC11111111DDDDDDDD33333333", "DirMap", "20200101T100000,00+00")
                + rawDocument(
                    "200A", "CCCCCCCC11111111DDDDDDDD44444444", "Mapping a Login Form", "20200101T100000,00+00"));
        auto db = open(writeFile("dql.dxl", text));
        using Ids = std::vector<std::string>;
        std::size_t evaluated = 0;
        for (const auto& view : db->Views()) {
            const std::string reason = notes::UnevaluatedReason(*view);
            if (reason.empty())
                ++evaluated;
            else
                EXPECT_NE(reason.find('@'), std::string::npos) << view->Name() << ": " << reason;
        }
        EXPECT_EQ(evaluated, db->Views().size());
        EXPECT_EQ(walkView(*db, "All Documents"), (Ids { "2002", "2006", "200A" }));
        EXPECT_EQ(walkView(*db, "($Virtual Servers)"), (Ids { "2002" }));
        EXPECT_EQ(walkView(*db, "($Mapping)"), (Ids { "2006" }));
        EXPECT_EQ(walkView(*db, "($LoginForms)"), (Ids { "200A" }));
        EXPECT_EQ(walkView(*db, "($PasswordForms)"), Ids {});

        // Every selection formula of the bundled samples is evaluated.
        for (const char* sample : { "mailfile.dxl", "personaljournal.dxl" })
            for (const auto& view : open(std::string(FERRYMARK_SOURCE_DIR) + "/samples/" + sample)->Views())
                EXPECT_EQ(notes::UnevaluatedReason(*view), "") << sample << ": " << view->Name();
    }

} // namespace
} // namespace notes_test
