// The Outlook stand-in driven through the automation interface only; the files it writes are
// judged by the strict checker and the independent readers.
#include "PstTestSupport.h"

#include "automation/outlook.h"
#include "outlook/stand_in.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using automation::AutomationError;
using automation::CreateObjectAs;
using automation::RDOSession;

namespace {
class StandIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        automation::ClearProviders();
        outlook::RegisterOutlookStandIn(dir / "config" / "profile");
    }
    void TearDown() override
    {
        outlook::CloseAllStores();
        automation::ClearProviders();
    }

    std::shared_ptr<RDOSession> logon()
    {
        auto session = CreateObjectAs<RDOSession>("Redemption.RDOSession");
        session->Logon();
        return session;
    }

    bool hasFolder(const std::set<std::string>& folders, const std::string& path)
    {
        return std::any_of(folders.begin(), folders.end(), [&](const std::string& f) {
            return f.size() >= path.size() && f.compare(f.size() - path.size(), path.size(), path) == 0;
        });
    }

    psttest::ScratchDir dir;
};
} // namespace

TEST_F(StandIn, StoresAndFoldersOfBothFormatsReachTheFileAndTheProfile)
{
    for (std::int16_t format : { std::int16_t(2), std::int16_t(3) }) {
        const auto path = dir / ("store" + std::to_string(format) + ".pst");
        const std::string name = "Mail \\ John > (Date | Time) - 05-03-2009 | 14:07:09 #" + std::to_string(format);
        std::string storeId;
        {
            auto session = logon();
            EXPECT_EQ(session->OutlookVersion().substr(0, 2), "16");
            auto store = session->Stores()->AddPSTStore(path.string(), format, name);
            storeId = store->EntryID();
            store->IPMRootFolder()->Folders()->Add("Folders", 6);
            auto projects = store->IPMRootFolder()->Folders()->Add("Projects", 6);
            projects->Folders()->Add("2009", 6);
            EXPECT_THROW(projects->Folders()->Add("2009", 6), AutomationError); // exists already
            EXPECT_EQ(store->GetDefaultFolder(6)->Name(), "Inbox");
            EXPECT_EQ(store->GetDefaultFolder(12)->Name(), "Notes");
            EXPECT_THROW(store->GetDefaultFolder(7), AutomationError);
            session->Logoff();
        }
        // A second session finds the store again by its entry ID and by its whole name, "\" included.
        {
            auto session = logon();
            auto store = session->GetStoreFromID(storeId);
            EXPECT_EQ(store->Name(), name);
            auto nested = session->GetFolderFromPath("\\\\" + name + "\\Projects\\2009");
            EXPECT_EQ(nested->Name(), "2009");
            nested->Folders()->Add("Q1", 6);
            EXPECT_THROW(session->GetFolderFromPath("\\\\" + name + "\\Projects\\2010"), AutomationError);
            EXPECT_THROW(session->GetStoreFromID("00FF"), AutomationError);

            auto outlookApp = CreateObjectAs<automation::OutlookApplication>("Outlook.Application");
            auto top = outlookApp->GetNamespace("MAPI")->Folders(name);
            ASSERT_TRUE(top);
            EXPECT_EQ(top->Folders()->Item("Projects")->Folders()->Item("2009")->Name(), "2009");
            EXPECT_EQ(top->Folders()->Item("Nothing"), nullptr);
            session->Logoff();
        }

        const auto check = psttest::pstcheck(path);
        EXPECT_EQ(check.exitCode, 0) << check.output;
        std::string log;
        const auto folders = psttest::pffexportFolders(path, log);
        for (const char* expected : { "Inbox", "Folders", "Projects", "Projects/2009", "Projects/2009/Q1" })
            EXPECT_TRUE(hasFolder(folders, expected)) << expected << "\n" << log;
        const auto walk = psttest::pypffWalk(path);
        EXPECT_NE(walk.output.find("Projects/2009/Q1"), std::string::npos) << walk.output;
    }

    std::ifstream profile(dir / "config" / "profile");
    std::string text((std::istreambuf_iterator<char>(profile)), {});
    EXPECT_NE(text.find("store2.pst"), std::string::npos);
    EXPECT_NE(text.find("store3.pst"), std::string::npos);
}

TEST_F(StandIn, FailuresSayWhatFailed)
{
    // An existing file is never replaced.
    const auto existing = dir / "existing.pst";
    std::ofstream(existing) << "keep me";
    auto session = logon();
    try {
        session->Stores()->AddPSTStore(existing.string(), 2, "X");
        FAIL() << "an existing file was accepted";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.member(), "AddPSTStore");
    }
    std::ifstream kept(existing);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "keep me");

    EXPECT_THROW(session->Stores()->AddPSTStore((dir / "no/such/folder/x.pst").string(), 2, "X"), AutomationError);
    EXPECT_THROW(session->Stores()->AddPSTStore((dir / "f.pst").string(), 5, "X"), AutomationError);

    // No profile: its folder cannot be made.
    std::ofstream(dir / "blocker") << "a file where a folder should be";
    outlook::RegisterOutlookStandIn(dir / "blocker" / "profile");
    auto orphan = CreateObjectAs<RDOSession>("Redemption.RDOSession");
    EXPECT_THROW(orphan->Logon(), AutomationError);
    EXPECT_THROW(orphan->Stores(), AutomationError); // not logged on

    // Items refuse what their kind has not, and dates that are no dates.
    outlook::RegisterOutlookStandIn(dir / "config" / "profile");
    auto store = session->Stores()->AddPSTStore((dir / "items.pst").string(), 2, "Items");
    auto task = store->GetDefaultFolder(13)->Items()->Add(automation::OlItemType::Task);
    EXPECT_THROW(task->Set("Location", automation::Variant("here")), AutomationError);
    EXPECT_THROW(task->Set("DueDate", automation::Variant("not a date")), AutomationError);
    task->Set("DueDate", automation::Variant("")); // an empty due date means none
    EXPECT_TRUE(task->Get("DueDate").isEmpty());
    auto appointment = store->GetDefaultFolder(9)->Items()->Add(automation::OlItemType::Appointment);
    appointment->Set("Start", automation::Variant("2009-03-05T14:00:00"));
    // An appointment keeps its duration, 30 minutes for a new one.
    EXPECT_EQ(appointment->Get("End").toDate().toUnixMillis(),
        appointment->Get("Start").toDate().toUnixMillis() + 30 * 60 * 1000);
    EXPECT_THROW(appointment->Attachments()->Add((dir / "missing.txt").string()), AutomationError);
    session->Logoff();
    EXPECT_EQ(psttest::pstcheck(dir / "items.pst").exitCode, 0);
}

namespace {
// What the independent readers see of a store, as JSON (every property with --props).
std::string dump(const std::filesystem::path& pst)
{
    const auto r = psttest::run(std::string(FERRYMARK_SYSTEM_PYTHON) + " "
        + psttest::quote(psttest::sharedDir() + "/tools/pstdump.py") + " " + psttest::quote(pst.string()) + " --props");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}
bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
} // namespace

TEST_F(StandIn, EveryItemKindTheWritersMakeReachesTheReaders)
{
    using automation::OlItemType;
    using automation::Variant;
    for (std::int16_t format : { std::int16_t(2), std::int16_t(3) }) {
        const auto path = dir / ("items" + std::to_string(format) + ".pst");
        auto session = logon();
        auto store = session->Stores()->AddPSTStore(path.string(), format, "Items " + std::to_string(format));
        const std::string storeId = store->EntryID();

        // Mail, as the mail writer makes it: sent, recipients of each type, dates, an
        // attachment whose file is deleted right after adding, the sender through HrSetOneProp.
        const auto file = dir / "report.txt";
        std::ofstream(file) << "quarterly figures";
        auto mail = session->GetStoreFromID(storeId)->GetDefaultFolder(6)->Items()->Add(OlItemType::Mail);
        mail->Set("Sent", Variant(true));
        mail->Set("Subject", Variant("Quarterly figures"));
        mail->Set("Body", Variant("See the attachment."));
        mail->Set("CC", Variant("Carla Mendes <carla@acme.example>;bo@acme.example"));
        mail->Set("BCC", Variant(""));
        mail->Recipients()->Add("Ann Lee <ann@acme.example>")->Resolve();
        mail->Set("To", Variant("Ann Lee <ann@acme.example>"));
        mail->Set("SentOn", Variant("2009-11-05T08:30:12"));
        mail->Set("ReceivedTime", Variant("2009-11-05T08:30:12"));
        mail->Attachments()->Add(file.string());
        std::filesystem::remove(file);
        auto utils = CreateObjectAs<automation::MAPIUtils>("Redemption.MAPIUtils");
        for (std::uint32_t tag : { 0x0C1F001Eu, 0x0C1A001Eu, 0x0065001Eu, 0x0042001Eu })
            utils->HrSetOneProp(*mail->MAPIOBJECT(), tag, Variant("bo.yu@acme.example"), true);
        mail->Save();

        auto appointment = store->GetDefaultFolder(9)->Items()->Add(OlItemType::Appointment);
        appointment->Set("Subject", Variant("Dentist"));
        appointment->Set("Start", Variant("2009-12-01T10:00:00"));
        appointment->Set("End", appointment->Get("End"));
        appointment->Set("Location", Variant("Main Street 5"));
        appointment->Set("Categories", Variant("Health"));
        appointment->Save();

        auto task = store->GetDefaultFolder(13)->Items()->Add(OlItemType::Task);
        task->Set("Subject", Variant("Report"));
        task->Set("DueDate", Variant("2009-12-15"));
        task->Save();

        auto note = store->GetDefaultFolder(12)->Items()->Add(OlItemType::Post);
        note->Set("Subject", Variant("Day one"));
        note->Set("Body", Variant("Dear diary"));
        note->Set("Start", Variant("2009-01-01T20:00:00"));
        note->Set("Color", Variant(std::int16_t(1)));
        note->Set("Left", Variant(std::int16_t(300)));
        note->Set("Top", Variant(std::int16_t(400)));
        note->Set("MessageClass", Variant("IPM.StickyNote"));
        note->Save();

        auto contact = store->GetDefaultFolder(10)->Items()->Add(OlItemType::Contact);
        contact->Set("FirstName", Variant("Ann"));
        contact->Set("LastName", Variant("Lee"));
        contact->Set("JobTitle", Variant("Engineer"));
        contact->Set("Profession", Variant("Engineer"));
        contact->Set("Email1Address", Variant("ann@acme.example"));
        contact->Set("BusinessAddressCity", Variant("Berlin"));
        contact->Set("IMAddress", Variant("a  "));
        EXPECT_THROW(contact->Set("Birthday", Variant("someday")), AutomationError);
        contact->Set("Birthday", Variant("1970-04-01"));
        contact->Save();
        session->Logoff();

        EXPECT_EQ(psttest::pstcheck(path).exitCode, 0) << psttest::pstcheck(path).output;
        const std::string json = dump(path);
        EXPECT_TRUE(contains(json, "\"subject\": \"Quarterly figures\"")) << json;
        EXPECT_TRUE(contains(json, "carla@acme.example"));
        EXPECT_TRUE(contains(json, "ann@acme.example"));
        EXPECT_TRUE(contains(json, "\"sender_email\": \"bo.yu@acme.example\""));
        EXPECT_TRUE(contains(json, "\"name\": \"report.txt\""));
        EXPECT_TRUE(contains(json, "\"size\": 17"));
        EXPECT_TRUE(contains(json, "\"message_class\": \"IPM.Appointment\""));
        EXPECT_TRUE(contains(json, "Main Street 5"));
        EXPECT_TRUE(contains(json, "\"message_class\": \"IPM.Task\""));
        EXPECT_TRUE(contains(json, "\"message_class\": \"IPM.StickyNote\""));
        EXPECT_TRUE(contains(json, "\"message_class\": \"IPM.Contact\""));
        EXPECT_TRUE(contains(json, "Berlin"));
        EXPECT_TRUE(contains(json, "\"submit_time\": \"2009-11-05T07:30:12\"")); // Berlin is UTC+1 in November

        // Recipient types and the sender as libpff's readers list them.
        const auto items = psttest::run(std::string(FERRYMARK_SYSTEM_PYTHON) + " "
            + psttest::quote(std::string(PST_TEST_SOURCE_DIR) + "/list_items.py") + " "
            + psttest::quote(psttest::sharedDir() + "/tools/pstdump.py") + " " + psttest::quote(path.string()));
        EXPECT_TRUE(contains(items.output, "bo.yu@acme.example <bo.yu@acme.example>")) << items.output;
        EXPECT_TRUE(contains(items.output, "To:Ann Lee <ann@acme.example>")) << items.output;
        EXPECT_TRUE(contains(items.output, "CC:Carla Mendes <carla@acme.example>")) << items.output;

        // libpst writes appointments and contacts as iCalendar and vCard (it has no output for
        // tasks and sticky notes, and counts them as skipped, also for Outlook's own files).
        const auto out = dir / ("readpst" + std::to_string(format));
        std::filesystem::create_directories(out);
        const auto rp = psttest::run("readpst -r -D -cv -o " + psttest::quote(out.string()) + " "
            + psttest::quote(path.string()) + " && find " + psttest::quote(out.string()) + " -type f -exec cat {} +");
        EXPECT_EQ(rp.exitCode, 0) << rp.output;
        for (const char* expected :
            { "LOCATION:Main Street 5", "SUMMARY:Dentist", "DTSTART;VALUE=DATE-TIME:20091201T090000Z",
                "DTEND;VALUE=DATE-TIME:20091201T093000Z", "ann@acme.example", "Berlin", "Engineer", "report.txt" })
            EXPECT_TRUE(contains(rp.output, expected)) << expected << "\n" << rp.output;
    }
}
