// The DXL the Notes-side exporter (tools/notes-export) writes, as its tests keep it in the golden
// file, reads with every view and folder listing its documents in view order.
#include "notes_test_support.h"

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

    TEST_F(NotesExportGoldenTest, EveryViewWalksToItsDocumentsInViewOrder)
    {
        auto db = open(Golden);
        EXPECT_EQ(db->Title(), "Ann Lee");
        ASSERT_EQ(db->Views().size(), Expected.size());
        for (const auto& want : Expected) {
            auto view = db->GetView(want.name);
            ASSERT_NE(view, nullptr) << want.name;
            EXPECT_EQ(view->IsFolder(), want.folder) << want.name;
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
