#include "../notes/scan_fixture.h"

#include "export/frm_save.h"
#include "fake_notes.h"
#include "fake_outlook.h"

#include <QRadioButton>

using automation::Variant;
using exporting::frmSave;
using exporting::Phase;

namespace {
std::shared_ptr<fake_notes::Database> notesDatabase()
{
    auto db = std::make_shared<fake_notes::Database>();
    db->title = "Mail (John)";
    db->documents = {
        { "A1", 10, { { "Subject", Variant("first") } } },
        { "A2", 10, { { "Subject", Variant("second") } } },
        { "P1", 10, { { "Form", Variant("Person") }, { "FullName", Variant("Ann Lee") } } },
        { "P2", 10, { { "Form", Variant("Group") }, { "FullName", Variant("Team") } } },
        { "C1", 10, { { "Subject", Variant("meeting") } } },
        { "T1", 10, { { "Subject", Variant("todo") } } },
        { "J1", 10, { { "Form", Variant("JournalEntry") }, { "Subject", Variant(" day ") } } },
    };
    db->views = {
        { "($Inbox)", true, { "A1", "A2" } },
        { "($Sent)", false, { "A2" } },
        { "($Drafts)", false, {} },
        { "($Trash)", true, { "A1" } },
        { "($Calendar)", false, { "C1" } },
        { "($ToDo)", false, { "T1" } },
        { "People", false, { "P1", "P2" } },
        { "Projects", true, { "A1" } },
        { "($All)", false, { "J1", "A1", "J1" } },
    };
    return db;
}

// Writers that record which documents each phase reached.
struct Recorder {
    std::vector<std::pair<Phase, std::string>> written;
    std::function<void(frmSave&, Phase, std::int32_t)> onWrite;

    void attach(frmSave& window)
    {
        for (Phase p : { Phase::Journal, Phase::Contacts, Phase::CustomFolders, Phase::Inbox, Phase::SentItems,
                 Phase::Drafts, Phase::DeletedItems, Phase::Calendar, Phase::Tasks })
            window.setDocumentWriter(p, [this](frmSave& w, Phase phase, std::int32_t i) {
                const auto& doc = *common::Program().NotesDoc;
                if (phase == Phase::Contacts && doc.GetItemValue("Form").first().toText() != "Person")
                    return;
                written.emplace_back(phase, doc.NoteID());
                if (onWrite)
                    onWrite(w, phase, i);
            });
    }
    std::vector<Phase> phases() const
    {
        std::vector<Phase> out;
        for (const auto& [p, id] : written)
            if (out.empty() || out.back() != p)
                out.push_back(p);
        return out;
    }
};

class RunFixture : public ScanFixture {
protected:
    void SetUp() override
    {
        ScanFixture::SetUp();
        notes = notesDatabase();
        fake_notes::Register(notes);
        outlook = std::make_shared<fake_outlook::Outlook>();
        fake_outlook::Register(outlook);
        c().txtNotesDatabaseFile->setText(QStringLiteral("C:\\mail\\JSmith.NSF"));
        // As a scan of it leaves the program.
        common::Program().MailboxName = QStringLiteral("Mail (John)");
        common::Program().ScannedDatabase = c().txtNotesDatabaseFile->text();
        ui.onShowModal([this](QDialog& dialog) {
            auto& progress = dynamic_cast<frmSave&>(dialog);
            progressWindow = &progress;
            recorder.attach(progress);
            progress.CmdConversion_Click();
            foundAfterRun = progress.LblFound->text();
        });
    }

    // Ticks the export choices and the format, picks the folder and starts the conversion.
    void start(std::initializer_list<QCheckBox*> boxes, QRadioButton* format, const QString& folder = "/out")
    {
        for (QCheckBox* box : boxes)
            box->setChecked(true);
        if (format)
            format->setChecked(true);
        ui.answerFolder(folder);
        window->CmdStartConversion_Click();
    }

    std::shared_ptr<fake_notes::Database> notes;
    std::shared_ptr<fake_outlook::Outlook> outlook;
    Recorder recorder;
    frmSave* progressWindow = nullptr;
    QString foundAfterRun;
};
} // namespace

TEST_F(RunFixture, ExportTabOffersTheFormatsOfTheInstalledOutlook)
{
    window->NotesTab_Click(3);
    EXPECT_EQ(outlook->logons, 0); // other tabs do not touch Outlook

    outlook->version = "12.0.4518";
    window->NotesTab_Click(7);
    EXPECT_TRUE(c().OptOutlookFormat2K->isEnabled());
    EXPECT_TRUE(c().OptOutlookFormat2K3->isEnabled());
    EXPECT_FALSE(c().OptOutlookFormat2K->isChecked());
    EXPECT_EQ(outlook->logoffs, 1);

    outlook->version = "10.0.6626";
    window->NotesTab_Click(7);
    EXPECT_FALSE(c().OptOutlookFormat2K3->isEnabled());
    EXPECT_TRUE(ui.messages().empty());

    outlook->version = "16.0";
    outlook->failing = { "Logon" };
    window->NotesTab_Click(7);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
        QStringLiteral("Outlook NOT installed to configured properly.\nPlease set the Outlook as default email "
                       "client.\n\nReason: FakeOutlook.Logon: scripted failure"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Outlook NOT Installed"));
    EXPECT_FALSE(c().OptOutlookFormat2K3->isEnabled()); // keeps its previous state
}

TEST_F(RunFixture, NamesTheFileAndStoreAndWalksEveryOpenPhaseInOrder)
{
    common::Program().ContactsFound = 1;
    start({ c().SaveOptionEmails, c().SaveOptionContacts, c().SaveOptionCalendars, c().SaveOptionToDo },
        c().OptOutlookFormat2K3, QStringLiteral("/out/"));

    ASSERT_EQ(outlook->stores.size(), 1u);
    const auto& store = *outlook->stores[0];
    EXPECT_EQ(store.path, "/out/jsmith05-03-2009-14-7-9.pst.partial")
        << "the name says it is unfinished while the run writes it";
    EXPECT_EQ(store.displayName, "Mail John > (Date | Time) - 05-03-2009 | 14:07:09");
    EXPECT_EQ(store.format, 2);
    // "Folders" from the set-up, then the custom folder the mail phase makes beside it.
    ASSERT_EQ(store.top->folders.size(), 2u);
    EXPECT_EQ(store.top->folders[0]->name, "Folders");
    EXPECT_EQ(store.top->folders[1]->name, "Projects");
    EXPECT_EQ(common::Program().PstFullPath, QStringLiteral("/out/jsmith05-03-2009-14-7-9.pst"));

    EXPECT_EQ(recorder.phases(),
        (std::vector<Phase> { Phase::Contacts, Phase::CustomFolders, Phase::Inbox, Phase::SentItems,
            Phase::DeletedItems, Phase::Calendar, Phase::Tasks }));
    EXPECT_EQ(recorder.written.size(), 8u); // one contact (the group is not a person), 7 others
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages().back().text,
        QStringLiteral("Migration Completed Successfully !\n/out/jsmith05-03-2009-14-7-9.pst\nOutlook Mailbox Name : "
                       "Mail John > (Date | Time) - 05-03-2009 | 14:07:09"));
    EXPECT_EQ(ui.messages().back().title, QStringLiteral("Export Complete"));
    // Sessions: set-up, contacts, custom folders, Inbox..Deleted Items, calendar, tasks.
    EXPECT_EQ(outlook->logons, 6);
    EXPECT_EQ(outlook->logoffs, 6);

    // A second run without a new scan stamps the stamped name again, and Outlook 10 makes ANSI.
    ui.clear();
    outlook->version = "10.0.6626";
    ui.setNow(QDateTime(QDate(2009, 3, 6), QTime(9, 5, 1)));
    start({}, nullptr, QStringLiteral("/out"));
    ASSERT_EQ(outlook->stores.size(), 2u);
    EXPECT_EQ(outlook->stores[1]->format, 3);
    EXPECT_EQ(outlook->stores[1]->path, "/out/jsmith06-03-2009-9-5-1.pst.partial");
    EXPECT_EQ(outlook->stores[1]->displayName,
        "Mail John > Date | Time - 05-03-2009 | 14:07:09 > (Date | Time) - 06-03-2009 | 09:05:01");
}

TEST_F(RunFixture, ClosedGatesStillCreateTheStoreAndFinish)
{
    start({ c().SaveOptionJournals }, c().OptOutlookFormat2K);
    EXPECT_TRUE(recorder.written.empty());
    ASSERT_EQ(outlook->stores.size(), 1u);
    EXPECT_EQ(outlook->stores[0]->format, 3);
    EXPECT_TRUE(ui.messages().back().text.startsWith(QStringLiteral("Migration Completed Successfully !")));

    // Contacts ticked but none found in the scan: the contacts phase does not run.
    ui.clear();
    start({ c().SaveOptionContacts }, nullptr);
    EXPECT_TRUE(recorder.written.empty());

    // A missing view lists nothing.
    ui.clear();
    notes->views.erase(notes->views.begin() + 4); // no ($Calendar)
    start({ c().SaveOptionCalendars }, nullptr);
    EXPECT_EQ(foundAfterRun, QStringLiteral(" 0"));
    EXPECT_TRUE(recorder.written.empty());
    EXPECT_EQ(common::Program().DocIdCount, 0);
    EXPECT_TRUE(ui.messages().back().text.startsWith(QStringLiteral("Migration Completed Successfully !")));
}

TEST_F(RunFixture, StopEndsTheRunningLoopAndLaterPhasesWriteNothing)
{
    common::Program().ContactsFound = 1;
    recorder.onWrite = [](frmSave& w, Phase, std::int32_t) { w.CmdStop_Click(); };
    start({ c().SaveOptionEmails, c().SaveOptionContacts, c().SaveOptionCalendars, c().SaveOptionToDo },
        c().OptOutlookFormat2K);
    ASSERT_EQ(recorder.written.size(), 1u);
    EXPECT_EQ(recorder.written[0].first, Phase::Contacts);
    EXPECT_TRUE(ui.messages().back().text.startsWith(QStringLiteral("Migration Completed Successfully !")));
    EXPECT_EQ(outlook->logons, outlook->logoffs);

    // Stop in the Inbox: custom folders wrote one, the Inbox one more, then nothing; the later
    // phases list their documents (the calendar found 1) and skip their loops.
    ui.clear();
    recorder.written.clear();
    common::Program().ContactsFound = 0;
    c().SaveOptionToDo->setChecked(false);
    recorder.onWrite = [&](frmSave& w, Phase phase, std::int32_t) {
        if (phase == Phase::Inbox)
            w.CmdStop_Click();
    };
    start({}, nullptr);
    ASSERT_EQ(recorder.written.size(), 2u);
    EXPECT_EQ(recorder.written[1].first, Phase::Inbox);
    EXPECT_EQ(foundAfterRun, QStringLiteral(" 1"));
    EXPECT_TRUE(ui.messages().back().text.startsWith(QStringLiteral("Migration Completed Successfully !")));
}

TEST_F(RunFixture, FailureRulesLandWhereTheRunSays)
{
    // The Inbox list fails: its phase ends and Sent Items follow. The Deleted Items list fails:
    // the run goes on at the calendar gate without logging off. The task list fails: finish.
    notes->failing = { "GetView:($Inbox)", "GetView:($Trash)", "GetView:($ToDo)" };
    start({ c().SaveOptionEmails, c().SaveOptionCalendars, c().SaveOptionToDo }, c().OptOutlookFormat2K);
    EXPECT_EQ(recorder.phases(), (std::vector<Phase> { Phase::CustomFolders, Phase::SentItems, Phase::Calendar }));
    EXPECT_TRUE(ui.messages().back().text.startsWith(QStringLiteral("Migration Completed Successfully !")));
    // Sessions: set-up, custom folders, Sent Items (the Inbox phase ended before it made the
    // shared one), calendar; Deleted Items never logged off.
    EXPECT_EQ(outlook->logons, 4);
    EXPECT_EQ(outlook->logoffs, 3);

    // A calendar list that fails goes to the tasks gate.
    ui.clear();
    recorder.written.clear();
    notes->failing = { "GetView:($Calendar)" };
    start({}, nullptr);
    EXPECT_EQ(recorder.phases().back(), Phase::Tasks);

    // A document that cannot be opened is skipped; the phase goes on with the next.
    ui.clear();
    recorder.written.clear();
    notes->failing = { "GetDocumentByID:A1" };
    c().SaveOptionCalendars->setChecked(false);
    c().SaveOptionToDo->setChecked(false);
    start({}, nullptr);
    EXPECT_EQ(recorder.written,
        (std::vector<std::pair<Phase, std::string>> { { Phase::Inbox, "A2" }, { Phase::SentItems, "A2" } }));

    // A Sent Items list that fails goes on with the drafts.
    ui.clear();
    recorder.written.clear();
    notes->failing = { "GetView:($Sent)" };
    notes->views[2].noteIds = { "A2" }; // a draft
    start({}, nullptr);
    EXPECT_EQ(recorder.phases(),
        (std::vector<Phase> { Phase::CustomFolders, Phase::Inbox, Phase::Drafts, Phase::DeletedItems }));
}

TEST_F(RunFixture, FailureReportsEndTheRunAndLeaveTheWindowOpen)
{
    outlook->failing = { "AddPSTStore" };
    start({ c().SaveOptionEmails }, c().OptOutlookFormat2K);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
        QStringLiteral("Outlook is not INSTALLED or configured properly\n\nReason: FakeOutlook.AddPSTStore: scripted "
                       "failure"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Outlook Not Installed/Configured"));
    EXPECT_TRUE(recorder.written.empty());
    ASSERT_NE(progressWindow, nullptr);

    // The journal run fails to open its view: the Notes report, no journal message.
    ui.clear();
    outlook->failing.clear();
    common::Program().IsJournalDatabase = 1;
    notes->failing = { "GetView:($All)" };
    start({}, nullptr);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Notes Not Installed/Configured"));
    EXPECT_EQ(common::ReasonOf(ui.messages()[0].text), QStringLiteral("FakeNotes.GetView:($All): scripted failure"))
        << ui.messages()[0].text.toStdString();
}

// Export works on the database a scan has read to its end, and on no other.
TEST_F(RunFixture, ExportNeedsASuccessfulScanOfTheDatabaseInThePathBox)
{
    c().SaveOptionEmails->setChecked(true);
    c().OptOutlookFormat2K->setChecked(true);
    c().NotesTab->selectTab(7);
    for (const QString& scanned : { QString(), QStringLiteral("C:\\mail\\Other.nsf") }) {
        common::Program().ScannedDatabase = scanned;
        ui.clear();
        window->CmdStartConversion_Click();
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(
            ui.messages()[0].text, QStringLiteral("Please select a Notes database and click Start Scan to proceed."));
        EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Select Notes Database"));
        EXPECT_EQ(c().NotesTab->selectedTab(), 1);
        EXPECT_TRUE(ui.folderDialogTitles().isEmpty());
    }
    EXPECT_EQ(ui.modalWindowsShown(), 0);
    EXPECT_TRUE(outlook->stores.empty());
}

TEST_F(RunFixture, JournalRunWritesEntriesAndEndsWithItsOwnMessageOrSaysThePstWasNotWritten)
{
    common::Program().IsJournalDatabase = 1;
    start({ c().SaveOptionEmails }, c().OptOutlookFormat2K3);
    EXPECT_EQ(recorder.written,
        (std::vector<std::pair<Phase, std::string>> { { Phase::Journal, "J1" }, { Phase::Journal, "J1" } }));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
        QStringLiteral("Journals Migration Completed Successfully !\n/out/jsmith05-03-2009-14-7-9.pst\nMail John > "
                       "(Date | Time) - 05-03-2009 | 14:07:09"));
    EXPECT_EQ(foundAfterRun, QStringLiteral(" 3"));

    // The entries are read, then the PST file cannot be written: the run says so, with the
    // reason, and is no success; Notes is not blamed.
    ui.clear();
    recorder.written.clear();
    recorder.onWrite = [&](frmSave&, Phase, std::int32_t) { outlook->failing = { "Logoff" }; };
    ui.setNow(QDateTime(QDate(2009, 3, 6), QTime(9, 5, 1)));
    start({ c().SaveOptionJournals }, nullptr);
    ASSERT_EQ(recorder.written.size(), 2u);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Export Incomplete"));
    EXPECT_TRUE(ui.messages()[0].text.startsWith(
        QStringLiteral("Migration Completed with Errors !\nThe PST file could not be written; what was exported since "
                       "it was last written is missing: FakeOutlook.Logoff: scripted failure\n")))
        << ui.messages()[0].text.toStdString();
}
