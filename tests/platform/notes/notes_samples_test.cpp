// The bundled sample databases hold what the program reads, and match their generator.
#include "notes_test_support.h"

#include <cstdlib>

namespace notes_test {
namespace {

    const std::string Samples = std::string(FERRYMARK_SOURCE_DIR) + "/samples/";

    // The generator's deterministic attachment contents.
    std::string sampleBytes(unsigned seed, std::size_t size)
    {
        std::string out;
        unsigned long x = seed;
        while (out.size() < size) {
            x = (x * 1103515245UL + 12345UL) & 0x7FFFFFFFUL;
            out += static_cast<char>((x >> 16) & 0xFF);
        }
        return out;
    }

    std::vector<std::string> forms(const automation::NotesView& view)
    {
        std::vector<std::string> out;
        for (auto doc = view.GetFirstDocument(); doc; doc = view.GetNextDocument(*doc))
            out.push_back(doc->GetItemValue("Form").first().toText());
        return out;
    }

    using SamplesTest = NotesTest;

    TEST_F(SamplesTest, MailDatabaseHasTheStandardFoldersAndViews)
    {
        auto db = open(Samples + "mailfile.dxl");
        EXPECT_EQ(db->Title(), "Ann Lee");
        EXPECT_EQ(db->Type(), 2);
        const std::pair<const char*, int> counts[] = { { "($Inbox)", 4 }, { "($Sent)", 2 }, { "($Drafts)", 1 },
            { "($Trash)", 1 }, { "($JunkMail)", 1 }, { "($Follow-Up)", 1 }, { "($Calendar)", 4 }, { "($ToDo)", 3 },
            { "People", 4 }, { "$People", 4 }, { "Projects", 2 }, { "Projects\\2009", 1 }, { "Archive\\Old", 1 },
            { "Receipts", 0 }, { "Archive", 1 } }; // Archive by its formula: the one memo posted before 2008
        for (const auto& [name, count] : counts) {
            auto view = db->GetView(name);
            ASSERT_NE(view, nullptr) << name;
            EXPECT_EQ(view->AllEntries()->Count(), count) << name;
            EXPECT_EQ(static_cast<int>(walk(*view).size()), count) << name;
        }
        EXPECT_FALSE(db->GetView("Archive")->IsFolder());
        EXPECT_TRUE(db->GetView("Archive\\Old")->IsFolder());
        EXPECT_TRUE(db->GetView("Projects\\2009")->IsFolder());
        EXPECT_EQ(db->GetView("($All)")->AllEntries()->Count(), 25);
    }

    TEST_F(SamplesTest, MailCarriesNotesAndInternetAddressesAndAttachments)
    {
        auto db = open(Samples + "mailfile.dxl");
        auto view = db->GetView("($Inbox)");
        auto first = db->GetDocumentByID(view->GetFirstDocument()->NoteID());
        EXPECT_EQ(first->GetItemValue("Subject").first().toText(), "Quarterly figures");
        EXPECT_EQ(first->GetItemValue("SendTo").array().size(), 2U);
        EXPECT_EQ(first->GetItemValue("InetSendTo").first().toText(), ".");
        EXPECT_EQ(first->GetItemValue("InetCopyTo").array().at(1).toText(), ".");
        EXPECT_EQ(first->GetItemValue("BlindCopyTo").first().toText(), "CN=Dieter Müller/OU=Berlin/O=Acme");
        EXPECT_EQ(first->GetItemValue("PostedDate").first().toDate().toIso(), "2009-11-05T09:30:12.450+01:00");
        EXPECT_EQ(first->GetItemValue("Body").first().toText().rfind("Hello Ann,\n\nthe figures", 0), 0U);
        ASSERT_TRUE(first->HasEmbedded());
        int files = 0;
        for (const auto& item : first->Items())
            files += item->Type() == automation::NotesItemAttachment ? 1 : 0;
        EXPECT_EQ(files, 2);
        auto sheet = first->GetAttachment("Übersicht März 2009.xlsx");
        ASSERT_NE(sheet, nullptr);
        sheet->ExtractFile(path("sheet.xlsx").string());
        EXPECT_EQ(readFile(path("sheet.xlsx")), sampleBytes(2, 1500));

        auto notesOnly = view->GetNextDocument(*view->GetFirstDocument());
        EXPECT_FALSE(notesOnly->HasItem("INetFrom"));
        EXPECT_EQ(db->GetView("($Drafts)")->GetFirstDocument()->GetItemValue("PostedDate").first().toText(), "");
    }

    TEST_F(SamplesTest, CalendarToDoAndPeopleHoldTheFormsTheProgramTellsApart)
    {
        auto db = open(Samples + "mailfile.dxl");
        EXPECT_EQ(forms(*db->GetView("($Calendar)")),
            (std::vector<std::string> { "Appointment", "Appointment", "Appointment", "Notice" }));
        EXPECT_EQ(forms(*db->GetView("($ToDo)")), (std::vector<std::string> { "Task", "Task", "TaskNotice" }));
        EXPECT_EQ(forms(*db->GetView("People")), (std::vector<std::string> { "Person", "Person", "Person", "Group" }));

        auto meeting = db->GetView("($Calendar)")->GetFirstDocument();
        EXPECT_EQ(meeting->GetItemValue("StartDateTime").first().toDate().toIso(), "2009-11-16T10:00:00+01:00");
        EXPECT_TRUE(meeting->HasEmbedded());
        auto task = db->GetView("($ToDo)")->GetFirstDocument();
        EXPECT_EQ(task->GetItemValue("DueDate").first().toDate().kind, DateTime::Kind::DateOnly);

        auto people = db->GetView("People");
        auto bo = people->GetFirstDocument();
        EXPECT_EQ(bo->GetItemValue("FullName").array().size(), 3U);
        EXPECT_EQ(bo->GetItemValue("FullName").array().at(2).toText(), "bo.yu@acme.example");
        auto erik = people->GetNextDocument(*bo);
        EXPECT_EQ(erik->GetItemValue("FullName").array().size(), 1U);
        EXPECT_EQ(erik->GetItemValue("MailAddress").first().toText(), "erik@partner.example");
    }

    TEST_F(SamplesTest, PersonalJournalHoldsDiaryEntries)
    {
        auto db = open(Samples + "personaljournal.dxl");
        EXPECT_EQ(db->Type(), 11);
        EXPECT_EQ(db->Title(), "Ann Lee's Journal");
        auto all = db->GetView("($All)");
        EXPECT_EQ(forms(*all),
            (std::vector<std::string> { "JournalEntry", "JournalEntry", "JournalEntry", "JournalProfile" }));
        auto entry = all->GetFirstDocument();
        EXPECT_EQ(entry->GetItemValue("DiaryDate").first().toDate().toIso(), "2009-11-02");
        EXPECT_EQ(entry->GetItemValue("TimeCreated").first().toDate().toIso(), "2009-11-02T21:30:00+01:00");
        EXPECT_EQ(entry->GetItemValue("Subject").first().toText(), "A new start");
    }

    TEST_F(SamplesTest, GeneratorWritesTheBundledFiles)
    {
        const std::string python = FERRYMARK_PYTHON;
        if (!fs::exists(python))
            GTEST_SKIP() << python << " is missing";
        const std::string command = python + " '" + Samples + "generate.py' '" + dir_.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (const char* name : { "mailfile.dxl", "personaljournal.dxl" })
            EXPECT_TRUE(readFile(dir_ / name) == readFile(Samples + name))
                << name << " differs from what samples/generate.py writes; run it again";
    }

} // namespace
} // namespace notes_test
