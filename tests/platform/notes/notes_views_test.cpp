// Views and folders: names, aliases, and where their entries come from.
#include "notes_test_support.h"

namespace notes_test {
namespace {

    using ViewsTest = NotesTest;

    TEST_F(ViewsTest, ViewsAndFoldersInFileOrderWithNamesAndAliases)
    {
        dxl::DatabaseBuilder builder;
        builder.folder("($Inbox)").alias("Inbox");
        builder.view("People").alias("$People").alias("Contacts");
        builder.folder("Projects\\2009");
        auto db = open(builder);

        const auto views = db->Views();
        ASSERT_EQ(views.size(), 3U);
        EXPECT_EQ(views[0]->Name(), "($Inbox)");
        EXPECT_TRUE(views[0]->IsFolder());
        EXPECT_EQ(views[1]->Name(), "People");
        EXPECT_FALSE(views[1]->IsFolder());
        EXPECT_EQ(views[1]->Aliases(), (std::vector<std::string> { "$People", "Contacts" }));
        EXPECT_EQ(views[2]->Name(), "Projects\\2009");

        EXPECT_EQ(db->GetView("$People")->Name(), "People");
        EXPECT_EQ(db->GetView("Contacts")->Name(), "People");
        EXPECT_EQ(db->GetView("inbox")->Name(), "($Inbox)");
        EXPECT_EQ(db->GetView("projects\\2009")->Name(), "Projects\\2009");
        EXPECT_EQ(db->GetView("($Sent)"), nullptr);

        // A database without views has none.
        dxl::DatabaseBuilder none;
        none.document("Memo");
        EXPECT_TRUE(open(none, "none.dxl")->Views().empty());
    }

    TEST_F(ViewsTest, EntriesElementGivesOrderSkipsUnknownNotesAndWalksFromAnyDocument)
    {
        dxl::DatabaseBuilder builder;
        auto& a = builder.document("Memo");
        auto& b = builder.document("Memo");
        auto& c = builder.document("Memo");
        auto& folder = builder.folder("($Inbox)").entries({ c.noteId(), "FFFF0", a.noteId(), "zz", b.noteId() });
        // $FolderRef does not count when the folder lists its entries.
        builder.document("Memo").folderRef(folder.unid());
        auto db = open(builder);
        auto view = db->GetView("($Inbox)");
        EXPECT_EQ(view->AllEntries()->Count(), 3);
        EXPECT_EQ(walk(*view), (std::vector<std::string> { c.noteId(), a.noteId(), b.noteId() }));

        // A walk continues from a document fetched elsewhere; an entry may repeat; a document of
        // another database is refused.
        builder.folder("F").entries({ a.noteId(), b.noteId(), a.noteId() });
        db = open(builder, "repeated.dxl");
        auto f = db->GetView("F");
        EXPECT_EQ(walk(*f), (std::vector<std::string> { a.noteId(), b.noteId(), a.noteId() }));
        auto next = f->GetNextDocument(*db->GetDocumentByID(a.noteId()));
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(next->NoteID(), b.noteId());
        dxl::DatabaseBuilder otherBuilder;
        otherBuilder.document("Memo", "4444");
        auto stranger = open(otherBuilder, "other.dxl")->GetDocumentByID("4444");
        EXPECT_THROW(f->GetNextDocument(*stranger), AutomationError);
    }

    TEST_F(ViewsTest, FolderWithoutEntriesHoldsTheDocumentsThatReferToIt)
    {
        dxl::DatabaseBuilder builder;
        auto& folder = builder.folder("Projects");
        auto& other = builder.folder("Other");
        auto& a = builder.document("Memo").folderRef(folder.unid());
        builder.document("Memo").folderRef(other.unid());
        // UNIDs compare without regard to case.
        std::string lower = folder.unid();
        for (auto& ch : lower)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        auto& c = builder.document("Memo").folderRef(other.unid()).folderRef(lower);
        auto db = open(builder);
        EXPECT_EQ(walk(*db->GetView("Projects")), (std::vector<std::string> { a.noteId(), c.noteId() }));
        EXPECT_EQ(db->GetView("Projects")->AllEntries()->Count(), 2);
        EXPECT_EQ(db->GetView("Other")->AllEntries()->Count(), 2);
    }

    TEST_F(ViewsTest, ViewsWithoutEntriesHoldWhatTheirFormulaSelects)
    {
        dxl::DatabaseBuilder builder;
        builder.view("($All)").formula("SELECT\n  @All");
        builder.view("($Calendar)").formula("SELECT Form = \"Appointment\"");
        builder.view("NoFormula");
        builder.view("Listed").selectAll().entries({}); // an empty entries element wins over the formula
        builder.folder("EmptyFolder");
        auto& a = builder.document("Memo");
        auto& b = builder.document("Appointment");
        auto db = open(builder);
        EXPECT_EQ(walk(*db->GetView("($All)")), (std::vector<std::string> { a.noteId(), b.noteId() }));
        EXPECT_EQ(db->GetView("($All)")->AllEntries()->Count(), 2);
        EXPECT_EQ(walk(*db->GetView("($Calendar)")), (std::vector<std::string> { b.noteId() }));
        for (const char* name : { "NoFormula", "EmptyFolder", "Listed" }) {
            EXPECT_EQ(db->GetView(name)->AllEntries()->Count(), 0) << name;
            EXPECT_EQ(db->GetView(name)->GetFirstDocument(), nullptr) << name;
        }
    }

    TEST_F(ViewsTest, DesignNotesInRawNoteFormAreViewsToo)
    {
        dxl::DatabaseBuilder builder;
        auto& a = builder.document("Memo");
        builder.raw("<note class='view'><noteinfo noteid='20' unid='AA' sequence='1'/>"
                    "<item name='$TITLE'><text>($Trash)|Trash</text></item><item name='$Flags'><text>FY</text></item>"
                    "<fm:entries xmlns:fm='urn:ferrymark:view-entries'><fm:entry noteid='"
            + a.noteId() + "'/></fm:entries></note>");
        builder.raw(
            "<note class='document'><noteinfo noteid='24'/><item name='Subject'><text>raw</text></item></note>");
        auto db = open(builder);
        auto trash = db->GetView("Trash");
        ASSERT_NE(trash, nullptr);
        EXPECT_EQ(trash->Name(), "($Trash)");
        EXPECT_TRUE(trash->IsFolder());
        EXPECT_EQ(walk(*trash), (std::vector<std::string> { a.noteId() }));
        EXPECT_EQ(db->GetDocumentByID("24")->GetItemValue("Subject").first().toText(), "raw");
    }

} // namespace
} // namespace notes_test
