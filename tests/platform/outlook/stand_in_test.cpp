// The Outlook stand-in driven through the automation interface only; the files it writes are
// judged by the strict checker and the independent readers.
#include "PstTestSupport.h"

#include "automation/outlook.h"
#include "outlook/profile.h"
#include "outlook/stand_in.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

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

        const auto check = psttest::verify(path);
        EXPECT_TRUE(check.ok) << check.output;
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
    const auto items = psttest::verify(dir / "items.pst");
    EXPECT_TRUE(items.ok) << items.output;
}

// Without HOME the profile goes to the user's own home folder, never below the shared /tmp
// where another user could have made ".config" first.
TEST(Profile, WithoutHomeTheProfileStaysInTheUsersOwnFolder)
{
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : { "FERRYMARK_PROFILE", "XDG_CONFIG_HOME", "HOME" })
        if (const char* value = std::getenv(name)) {
            saved.emplace_back(name, value);
            ::unsetenv(name);
        }
    const auto location = outlook::Profile::defaultLocation();
    for (const auto& [name, value] : saved)
        ::setenv(name.c_str(), value.c_str(), 1);
    EXPECT_EQ(location, std::filesystem::path(::getpwuid(::getuid())->pw_dir) / ".config" / "ferrymark" / "profile");
    EXPECT_THROW(outlook::Profile::open({}), AutomationError);
}
