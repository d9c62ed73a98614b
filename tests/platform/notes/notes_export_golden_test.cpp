// The DXL the Notes-side exporter (tools/notes-export) writes, as its tests keep it in the golden
// file, reads with every view and folder listing its documents in view order.
#include "notes_test_support.h"

#include "notes/dxl_database.h"

namespace notes_test {
namespace {

    const std::string Golden = std::string(FERRYMARK_TEST_DATA_DIR) + "/dxl/notes-export-golden.dxl";

    struct ExpectedView {
        std::string name;
        bool folder;
        std::vector<std::string> noteIds;
    };

    // As the exporter's fakes list them: by date, newest first, so not in file order; the
    // categorized view without its category rows and with a document shown twice listed once.
    const std::vector<ExpectedView> Expected {
        { "($Inbox)", true, { "93e", "93a", "936" } },
        { "($Sent)", false, { "94a", "946" } },
        { "($Drafts)", false, { "94e" } },
        { "($Trash)", true, {} },
        { "Projects", true, { "936", "93e" } },
        { "By Category", false, { "936", "93e", "946", "94a" } },
    };

    using NotesExportGoldenTest = NotesTest;

    TEST_F(NotesExportGoldenTest, IndexListsEveryViewsEntriesInViewOrder)
    {
        const auto index = notes::detail::DatabaseIndex::open(Golden);
        EXPECT_EQ(index->title(), "Ann Lee");
        EXPECT_EQ(index->type(), 2);
        EXPECT_EQ(index->documents().size(), 6U);
        ASSERT_EQ(index->views().size(), Expected.size());
        for (std::size_t i = 0; i < Expected.size(); ++i) {
            const auto& view = index->views()[i];
            const auto& want = Expected[i];
            EXPECT_EQ(view.name, want.name);
            EXPECT_EQ(view.isFolder, want.folder) << want.name;
            std::vector<std::string> ids;
            for (std::size_t p = 0; p < index->viewSize(view); ++p)
                ids.push_back(index->noteIdText(index->viewDocument(view, p)));
            EXPECT_EQ(ids, want.noteIds) << want.name;
        }
    }

    TEST_F(NotesExportGoldenTest, SessionWalksTheViewsToTheirDocuments)
    {
        auto db = open(Golden);
        for (const auto& want : Expected) {
            auto view = db->GetView(want.name);
            ASSERT_NE(view, nullptr) << want.name;
            EXPECT_EQ(walk(*view), want.noteIds) << want.name;
        }
        // Documents written by the exporter's later calls are read like the first ones.
        auto newest = db->GetView("($Inbox)")->GetFirstDocument();
        ASSERT_NE(newest, nullptr);
        EXPECT_EQ(newest->GetItemValue("Subject").first().toText(), "Re: Offsite agenda");
        auto draft = db->GetView("($Drafts)")->GetFirstDocument();
        ASSERT_NE(draft, nullptr);
        EXPECT_EQ(draft->GetItemValue("Subject").first().toText(), "Notes for the review");
    }

} // namespace
} // namespace notes_test
