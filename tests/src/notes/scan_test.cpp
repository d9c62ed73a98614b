#include "scan_fixture.h"

#include "fake_notes.h"
#include "notes/notes_reader.h"

#include <fstream>

using common::MsgIcon;
using common::Program;

namespace {
// A mail database with the standard views, nested and odd folders, calendar, to-do and people.
dxl::DatabaseBuilder mailDatabase()
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& m1 = db.document("Memo").text("Subject", "One").names("From", { "CN=Bo Yu/O=Acme" });
    auto& m2 = db.document("Memo").text("Subject", "Two");
    auto& m3 = db.document("Memo").text("Subject", "Three");
    db.folder("($Inbox)").entries({ m1.noteId(), m2.noteId() });
    db.folder("($Trash)").entries({});
    db.view("($Drafts)").entries({ m3.noteId() });
    db.folder("Projects").entries({ m1.noteId() });
    db.folder("Projects\\2009").entries({ m2.noteId(), m3.noteId() });
    db.folder("Projects").entries({}); // a duplicate folder name
    db.folder("zeta").entries({});
    db.folder("Alpha").entries({});
    db.view("Archive").entries({}); // a view, not a folder
    db.folder("Archive\\Old").entries({ m1.noteId() }); // its parent is no folder
    db.folder("Misc\\2009").entries({}); // same leaf key as Projects\2009
    db.folder("Misc").entries({});

    auto& a1
        = db.document("Appointment").text("Subject", "Dentist").dateTime("CalendarDateTime", "20091201T100000,00+00");
    auto& a2 = db.document("Notice").text("Subject", "Invitation");
    db.view("($Calendar)").entries({ a1.noteId(), a2.noteId() });
    auto& t1 = db.document("Task").text("Subject", "Report").dateTime("DueDate", "20091215");
    auto& t2 = db.document("TaskNotice").text("Subject", "Assigned");
    db.view("($ToDo)").entries({ t1.noteId(), t2.noteId() });
    auto& p1 = db.document("Person")
                   .textList("FullName", { "CN=ann LEE/O=Acme", "ann LEE", "Ann.Lee@Acme.COM" })
                   .text("CompanyName", " NORTH wind ")
                   .text("OfficePhoneNumber", "+1 555 0100 ");
    auto& p2 = db.document("Person").text("FullName", "bo yu").text("MailAddress", "Bo@Acme.com");
    auto& g1 = db.document("Group").text("FullName", "sales team");
    db.view("People").entries({ p1.noteId(), p2.noteId(), g1.noteId() });
    return db;
}
} // namespace

TEST_F(ScanFixture, MailDatabaseBuildsTheFolderTreePreviewsAndUnlocksTheExport)
{
    scan(write(mailDatabase()));

    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Notes Database Scan Completed Successfully"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Scan Completed..."));
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Information);
    EXPECT_EQ(Program().MailboxName, QStringLiteral("Mail (Ann Lee)"));
    EXPECT_FALSE(Program().NotesSession);
    EXPECT_FALSE(Program().NotesDb);

    // Standard nodes with their counts; bold when not empty.
    EXPECT_EQ(nodeText("Lotus Notes Address Book"), QStringLiteral("Notes Email Database"));
    EXPECT_EQ(nodeText("Inbox"), QStringLiteral("Inbox (2)"));
    EXPECT_TRUE(c().ContactsTreeView->node("Inbox")->bold);
    EXPECT_EQ(nodeText("Drafts"), QStringLiteral("Drafts (1)"));
    EXPECT_EQ(nodeText("Trash"), QStringLiteral("Trash (0)"));
    EXPECT_FALSE(c().ContactsTreeView->node("Trash")->bold);
    EXPECT_EQ(nodeText("JunkMail"), QStringLiteral("Junk Mail (0)")); // the view does not exist
    EXPECT_EQ(nodeText("Follow-Up"), QStringLiteral("Follow Up (0)"));
    EXPECT_EQ(Program().InboxCount, 2);

    // Custom folders: sorted by character code, nested under their parent, tagged by full name.
    EXPECT_EQ(c().ContactsTreeView->childKeys("Folders"), QStringList({ "Alpha", "Misc", "Projects", "zeta" }));
    EXPECT_EQ(c().ContactsTreeView->childKeys("Misc"), QStringList({ "2009" })); // Misc\2009 sorts first
    EXPECT_EQ(nodeText("2009"), QStringLiteral("2009 (0)"));
    EXPECT_EQ(c().ContactsTreeView->node("2009")->tag, QStringLiteral("Misc\\2009"));
    EXPECT_TRUE(c().ContactsTreeView->childKeys("Projects").isEmpty()); // Projects\2009 lost its key
    EXPECT_EQ(nodeText("Projects"), QStringLiteral("Projects (1)"));
    EXPECT_FALSE(c().ContactsTreeView->contains("Old")); // Archive is a view

    // Previews.
    EXPECT_EQ(rows(c().CalendarList).size(), 1); // the Notice is not listed
    EXPECT_TRUE(rows(c().CalendarList)[0].startsWith(QStringLiteral("Dentist\t")));
    EXPECT_EQ(rows(c().ToDoList).size(), 1);
    EXPECT_EQ(rows(c().ContactList),
        QStringList({ " Cn=ann Lee/o=acme\tann.lee@acme.com\tNorth Wind\t+1 555 0100 ", " Bo Yu\tbo@acme.com\t\t",
            " Sales Team\t\t\t" }));
    EXPECT_EQ(Program().ContactsFound, 1);
    EXPECT_TRUE(c().SaveOptionContacts->isChecked());

    // Tabs, toolbar and export choices after the scan.
    const auto* tabs = c().NotesTab;
    EXPECT_EQ(tabs->selectedTab(), 2);
    for (std::int16_t t : { 1, 2, 3, 4, 5, 7 })
        EXPECT_TRUE(tabs->isTabOn(t)) << t;
    EXPECT_FALSE(tabs->isTabOn(6));
    EXPECT_TRUE(window->toolbarButton(4)->isEnabled());
    for (QCheckBox* box : { c().SaveOptionEmails, c().SaveOptionCalendars, c().SaveOptionToDo, c().SaveOptionContacts })
        EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(c().SaveOptionJournals->isEnabled());
    EXPECT_FALSE(c().SaveOptionEmails->isChecked());

    // A second scan rebuilds the tree from scratch.
    ui.clear();
    scan(c().txtNotesDatabaseFile->text().toStdString());
    EXPECT_EQ(c().ContactsTreeView->childKeys("Folders").size(), 4);
}

TEST_F(ScanFixture, JournalDatabaseSkipsTheMailAndSelectsTheJournal)
{
    dxl::DatabaseBuilder db("My Journal", "personaljournal");
    auto& e1 = db.document("JournalEntry").text("Subject", "Day one").dateTime("DiaryDate", "20090101");
    auto& e2 = db.document("Other").text("Subject", "not an entry");
    db.view("($All)").entries({ e1.noteId(), e2.noteId() });
    scan(write(db, "journal.dxl"));

    EXPECT_EQ(Program().IsJournalDatabase, 1);
    EXPECT_EQ(c().NotesTab->selectedTab(), 6);
    EXPECT_FALSE(c().NotesTab->isTabOn(2));
    EXPECT_TRUE(c().NotesTab->isTabOn(6));
    EXPECT_TRUE(c().SaveOptionJournals->isEnabled());
    EXPECT_TRUE(c().SaveOptionJournals->isChecked());
    ASSERT_EQ(c().JournalList->rowCount(), 1);
    EXPECT_EQ(c().JournalList->cellText(0, 1), QStringLiteral("Day one"));
    EXPECT_EQ(c().ContactsTreeView->childKeys("Folders"), QStringList()); // no folder walk
}

TEST_F(ScanFixture, FailuresBeforeTheFirstViewReportNotesAndLaterOnesAreSkipped)
{
    // No Notes client at all.
    automation::ClearProviders();
    scan("/nowhere/mail.dxl");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Lotus Notes not INSTALLED or Configured"));
    EXPECT_TRUE(c().ScanFrame->isVisibleTo(window.get()));
    EXPECT_TRUE(c().ImgReadingArrow->isVisibleTo(window.get()));

    // A database that does not open.
    ui.clear();
    notes::RegisterNotesSession();
    scan((dir.path() + "/missing.dxl").toStdString());
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Notes Not Installed/Configured"));
    EXPECT_TRUE(ui.messages()[0].text.startsWith(notes::NotesReader::NotesErrorReport() + "\n\nReason: "));
    EXPECT_TRUE(ui.messages()[0].text.contains(QStringLiteral("support@quarrow.com for further assistance.")));
    EXPECT_TRUE(common::ReasonOf(ui.messages()[0].text).contains(QStringLiteral("missing.dxl: No such file")))
        << ui.messages()[0].text.toStdString();
    EXPECT_FALSE(c().NotesTab->isTabOn(7));

    // A failing Type: the same report.
    ui.clear();
    auto fake = std::make_shared<fake_notes::Database>();
    fake->views = { { "Projects", true, {} } };
    fake->failing = { "Type" };
    fake_notes::Register(fake);
    scan("fake.nsf");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Notes Not Installed/Configured"));
    EXPECT_FALSE(common::ReasonOf(ui.messages()[0].text).isEmpty());

    // From the first view on, failures are skipped: a folder whose name cannot be read is left
    // out, a count that cannot be read shows 0, and the scan still succeeds.
    ui.clear();
    fake->failing = { "Name:Broken", "Count:Projects", "GetView:($Calendar)" };
    fake->views = { { "Broken", true, {} }, { "Projects", true, { "1" } }, { "Zed", true, {} } };
    scan("fake.nsf");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Scan Completed..."));
    EXPECT_EQ(c().ContactsTreeView->childKeys("Folders"), QStringList({ "Projects", "Zed" }));
    EXPECT_EQ(nodeText("Projects"), QStringLiteral("Projects (0)"));
    EXPECT_EQ(c().CalendarList->rowCount(), 0);

    // A database without views.
    ui.clear();
    fake->failing.clear();
    fake->views.clear();
    scan("fake.nsf");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("No Data Found in NSF file or NSF file is encrypted"));
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::None);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Ferrymark"));
    EXPECT_FALSE(c().ScanFrame->isVisibleTo(window.get()));
}

TEST_F(ScanFixture, ScanFromAnotherTabAndBrowse)
{
    scan(write(mailDatabase())); // leaves tab 2 selected
    ui.clear();
    window->CmdScan_Click();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Please select a Notes database and click Start Scan to proceed."));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Select Notes Database"));
    EXPECT_EQ(c().NotesTab->selectedTab(), 1);

    ASSERT_GT(c().CalendarList->rowCount(), 0);
    c().ContactsTreeView->select(QStringLiteral("Inbox"));
    window->ContactsTreeView_Click();
    ASSERT_GT(c().MailList->rowCount(), 0);

    // Browse offers both filters and fills the path; cancelling empties it again.
    ui.answerOpenFile(QStringLiteral("/data/mail.dxl"));
    window->CmdBrowse_Click();
    ASSERT_EQ(ui.fileDialogs().size(), 1u);
    EXPECT_TRUE(ui.fileDialogs()[0].filter.contains(QStringLiteral("Notes Database (*.nsf)")));
    EXPECT_TRUE(ui.fileDialogs()[0].filter.contains(QStringLiteral("Notes DXL Export (*.dxl)")));
    EXPECT_EQ(c().txtNotesDatabaseFile->text(), QStringLiteral("/data/mail.dxl"));
    EXPECT_TRUE(c().CmdScan->isEnabled());
    EXPECT_FALSE(c().NotesTab->isTabOn(2));
    EXPECT_TRUE(c().NotesTab->isTabOn(3));
    EXPECT_TRUE(c().NotesTab->isTabOn(4));
    EXPECT_FALSE(c().NotesTab->isTabOn(5));
    EXPECT_TRUE(c().ScanFrame->isVisibleTo(window.get()));
    EXPECT_FALSE(c().ImgReadingArrow->isVisibleTo(window.get()));
    // Nothing of the previous database stays: no preview, and no export until a scan of this one.
    EXPECT_EQ(c().ContactsTreeView->nodeCount(), 0);
    for (const widgets::PreviewList* list :
        { c().MailList, c().CalendarList, c().ContactList, c().ToDoList, c().JournalList })
        EXPECT_EQ(list->rowCount(), 0) << list->objectName().toStdString();
    EXPECT_FALSE(c().NotesTab->isTabOn(7));
    EXPECT_FALSE(window->toolbarButton(4)->isEnabled());
    ui.clear();
    window->NotesToolBar_ButtonClick(4);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Select Notes Database"));
    EXPECT_EQ(ui.modalWindowsShown(), 0);

    // A scan of the same file arms the export again; a cancelled Browse disarms it.
    scan(write(mailDatabase()));
    ASSERT_TRUE(window->toolbarButton(4)->isEnabled());
    window->CmdBrowse_Click(); // cancelled
    EXPECT_FALSE(window->toolbarButton(4)->isEnabled());
    EXPECT_FALSE(c().NotesTab->isTabOn(7));
    EXPECT_EQ(c().CalendarList->rowCount(), 0);
    EXPECT_EQ(c().txtNotesDatabaseFile->text(), QString());
    EXPECT_FALSE(c().CmdScan->isEnabled());
    EXPECT_FALSE(window->toolbarButton(2)->isEnabled());
    EXPECT_FALSE(c().ScanFrame->isVisibleTo(window.get()));
}

TEST_F(ScanFixture, BundledSamplesScan)
{
    scan(FERRYMARK_SOURCE_DIR "/samples/mailfile.dxl");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Scan Completed..."));
    EXPECT_TRUE(c().ContactsTreeView->contains("Projects"));
    EXPECT_TRUE(c().ContactsTreeView->contains("2009"));
    EXPECT_GT(c().ContactList->rowCount(), 0);
    EXPECT_GT(c().CalendarList->rowCount(), 0);

    ui.clear();
    scan(FERRYMARK_SOURCE_DIR "/samples/personaljournal.dxl");
    EXPECT_EQ(Program().IsJournalDatabase, 1);
    EXPECT_GT(c().JournalList->rowCount(), 0);
}

TEST_F(ScanFixture, CorruptOrTruncatedFilesGiveTheNotesReportAndMissingViewsListNothing)
{
    const std::string good = write(mailDatabase());
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string cut = (dir.path() + "/cut.dxl").toStdString();
    for (std::size_t length : { std::size_t(0), bytes.size() / 3, bytes.size() - 20 }) {
        std::ofstream(cut, std::ios::binary | std::ios::trunc) << bytes.substr(0, length);
        ui.clear();
        scan(cut);
        ASSERT_EQ(ui.messages().size(), 1u) << length;
        EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Notes Not Installed/Configured")) << length;
    }

    // A database without calendar, to-do and people views: the previews stay empty and their
    // fillers enable nothing; the scan's own step enables the export choices afterwards.
    dxl::DatabaseBuilder bare("Bare", "mailfile");
    bare.folder("($Inbox)").entries({});
    ui.clear();
    scan(write(bare, "bare.dxl"));
    EXPECT_EQ(ui.messages().back().title, QStringLiteral("Scan Completed..."));
    EXPECT_EQ(c().CalendarList->rowCount(), 0);
    EXPECT_EQ(c().ContactList->rowCount(), 0);
    EXPECT_EQ(common::Program().ContactsFound, 0);
    EXPECT_FALSE(c().SaveOptionContacts->isChecked());
}

// A file the reader refuses: the Notes report, then the reader's reason (file, line, column and
// what it found), and nothing of an earlier scan stays armed for export.
TEST_F(ScanFixture, AnUnreadableDatabaseShowsTheReportThenTheReasonAndDisarmsTheExport)
{
    const QString report = notes::NotesReader::NotesErrorReport() + QStringLiteral("\n\nReason: ");
    auto file = [&](const char* name, const std::string& bytes) {
        const std::string path = (dir.path() + '/' + name).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    struct Case {
        std::string path;
        const char* reason; // what the reason line holds after the path
    } cases[] = {
        { file("tags.dxl", "<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl'>\n  <note></database>\n"),
            "tags.dxl:3:" },
        { file("enc.dxl",
              "<?xml version='1.0' encoding='x-no-such-code'?>\n<database xmlns='http://www.lotus.com/dxl'/>\n"),
            "enc.dxl:1:" },
        { file("native.nsf", std::string("\x1a\x00\x00\x00binary", 10)),
            "native.nsf: this is a native Notes database" },
    };
    for (const Case& k : cases) {
        scan(write(mailDatabase())); // armed for its database
        ASSERT_TRUE(c().NotesTab->isTabOn(7));
        ui.clear();
        scan(k.path);
        ASSERT_EQ(ui.messages().size(), 1u) << k.path;
        const QString text = ui.messages()[0].text;
        EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Notes Not Installed/Configured"));
        EXPECT_TRUE(text.startsWith(report)) << text.toStdString();
        EXPECT_TRUE(common::ReasonOf(text).contains(QString::fromUtf8(k.reason))) << text.toStdString();
        EXPECT_FALSE(c().NotesTab->isTabOn(7)) << k.path;
        EXPECT_FALSE(window->toolbarButton(4)->isEnabled()) << k.path;
        EXPECT_EQ(Program().ScannedDatabase, QString());
    }
}
