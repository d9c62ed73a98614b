#include "scan_fixture.h"

#include "common/value_text.h"
#include "fake_notes.h"

using automation::DateTime;
using automation::Variant;

namespace {
Variant date(int y, int m, int d, int hh, int mm)
{
    return Variant(DateTime { DateTime::Kind::DateAndTime, y, m, d, hh, mm, 0, 0, 0 });
}

std::shared_ptr<fake_notes::Database> mailbox()
{
    auto db = std::make_shared<fake_notes::Database>();
    db->documents = {
        { "10", 1536,
            { { "From", Variant(" Ann Lee ") }, { "Subject", Variant(" Hello ") },
                { "PostedDate", date(2009, 3, 5, 14, 7) } } },
        { "11", 2560, { { "From", Variant("Bo") }, { "Subject", Variant("Two") } } },
        { "12", 500,
            { { "SendTo", Variant(automation::VariantArray { Variant("Cy"), Variant("Di") }) },
                { "Subject", Variant("Draft") }, { "$Revisions", date(2008, 1, 2, 3, 4) },
                { "PostedDate", date(1999, 1, 1, 0, 0) } } },
        { "13", 0, { { "From", Variant("Spammer") }, { "DeliveredDate", date(2010, 6, 7, 8, 9) } } },
    };
    db->views = {
        { "($Inbox)", true, { "10", "11" } },
        { "($Drafts)", false, { "12" } },
        { "($JunkMail)", true, { "13" } },
        { "Projects", true, {} },
        { "Projects\\2009", true, { "12" } },
    };
    return db;
}
} // namespace

TEST_F(ScanFixture, ClickingAFolderListsItsMessagesWithTheItemsOfItsView)
{
    auto db = mailbox();
    fake_notes::Register(db);
    scan("fake.nsf");
    auto* tree = c().ContactsTreeView;

    tree->select("Inbox");
    window->ContactsTreeView_Click();
    EXPECT_EQ(rows(c().MailList),
        QStringList({ "Ann Lee\tHello\t2 KB\t" + common::ValueText(date(2009, 3, 5, 14, 7)), "Bo\tTwo\t2 KB\t" }));
    EXPECT_EQ(c().MailList->rowImage(1), 56);

    tree->select("Drafts"); // the recipient and the first revision date; 500 bytes show 0 KB
    window->ContactsTreeView_Click();
    EXPECT_EQ(rows(c().MailList), QStringList({ "Cy\tDraft\t0 KB\t" + common::ValueText(date(2008, 1, 2, 3, 4)) }));

    tree->select("JunkMail");
    window->ContactsTreeView_Click();
    EXPECT_EQ(rows(c().MailList), QStringList({ "Spammer\t\t0 KB\t" + common::ValueText(date(2010, 6, 7, 8, 9)) }));

    // A custom node lists the view of its full name although its key is only the leaf.
    tree->select("2009");
    window->ContactsTreeView_Click();
    EXPECT_EQ(rows(c().MailList).size(), 1);

    // The root and "Folders" list nothing; neither does a folder that cannot be opened.
    tree->select("Folders");
    window->ContactsTreeView_Click();
    EXPECT_EQ(c().MailList->rowCount(), 0);
    db->failing = { "GetView:($Inbox)" };
    tree->select("Inbox");
    window->ContactsTreeView_Click();
    EXPECT_EQ(c().MailList->rowCount(), 0);

    // A document that cannot be read ends the listing; the rows so far stay.
    db->failing = { "GetItemValue:Subject" };
    window->ContactsTreeView_Click();
    EXPECT_EQ(c().MailList->rowCount(), 0);
    EXPECT_FALSE(common::Program().NotesSession);
}

TEST_F(ScanFixture, AClickDuringAListingYieldLeavesTheListOfTheLastClick)
{
    auto db = mailbox();
    fake_notes::Register(db);
    scan("fake.nsf");
    auto* tree = c().ContactsTreeView;

    // While the Inbox listing yields after its first row, the user clicks Drafts.
    bool clicked = false;
    common::UiSeams reentrant;
    reentrant.doEvents = [&] {
        if (!clicked && c().MailList->rowCount() == 1) {
            clicked = true;
            tree->select("Drafts");
            window->ContactsTreeView_Click();
        }
    };
    common::ScopedSeams scope(reentrant);
    tree->select("Inbox");
    window->ContactsTreeView_Click();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(rows(c().MailList).size(), 1);
    EXPECT_TRUE(rows(c().MailList)[0].startsWith(QStringLiteral("Cy\tDraft")));
}
