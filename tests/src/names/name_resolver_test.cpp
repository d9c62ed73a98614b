// The name resolver against DXL files read by the Notes stand-in: its four sources in their
// order of trust, the forms a Notes name takes, and the user's bad input.
#include "names/name_resolver.h"

#include "automation/notes.h"
#include "dxl_builder.h"
#include "notes/notes_session.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
using names::Addressee;
using names::NameResolver;
using names::NamesError;

struct NameSources : ::testing::Test {
    QTemporaryDir dir;
    QString csv, directory, database;

    void SetUp() override
    {
        notes::RegisterNotesSession();
        csv = dir.filePath("names.csv");
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBF# notes name,smtp address,display name\r\n"
                "CN=Ann Lee/O=Acme,ann@csv.example,\"Lee, Ann\"\r\n\r\n");

        dxl::DatabaseBuilder book("Acme's Directory", "addressbook");
        book.document("Person")
            .names("FullName", { "CN=Ann Lee/O=Acme", "Ann Lee" })
            .text("InternetAddress", "ann@dir.example");
        book.document("Person")
            .names("FullName", { "CN=Bo Yu/OU=Sales/O=Acme", "Bo Yu" })
            .text("ShortName", "byu")
            .text("InternetAddress", "bo@dir.example");
        // Known, but without an address: the rule may make one from the names.
        book.document("Person")
            .names("FullName", { "CN=Eve Kay/O=Acme" })
            .text("FirstName", "Eve")
            .text("LastName", "Kay Lin");
        book.document("Group").text("ListName", "Sales").names("Members", { "CN=Bo Yu/OU=Sales/O=Acme" });
        directory = QString::fromStdString(book.write(dir_() / "names.dxl"));

        dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
        db.document("Person")
            .names("FullName", { "CN=Bo Yu/OU=Sales/O=Acme" })
            .text("InternetAddress", "bo@db.example");
        db.document("Person").names("FullName", { "CN=Carl Ott/O=Acme" }).text("InternetAddress", "carl@db.example");
        // Dan Fox's address is only in this memo, beside his name at the same position.
        db.document("Memo")
            .names("From", { "CN=Ann Lee/O=Acme" })
            .names("INetFrom", { "ann@memo.example" })
            .names("SendTo", { "CN=Bo Yu/OU=Sales/O=Acme", "CN=Dan Fox/O=Acme" })
            .names("InetSendTo", { ".", "dan.fox@pair.example" });
        database = QString::fromStdString(db.write(dir_() / "mail.dxl"));
    }
    std::filesystem::path dir_() const { return dir.path().toStdString(); }

    void learnAll(NameResolver& r)
    {
        r.LoadMappingFile(csv);
        r.LoadDirectory(directory);
        auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
        r.LearnDatabase(*session->GetDatabase("", database.toStdString()));
    }
};

void expect(const Addressee& a, const char* name, const char* address, const char* type)
{
    EXPECT_EQ(a.displayName.toStdString(), name);
    EXPECT_EQ(a.address.toStdString(), address);
    EXPECT_EQ(a.addressType.toStdString(), type);
    EXPECT_EQ(a.resolved, std::string(type) == "SMTP");
}

TEST_F(NameSources, EachSourceResolvesInItsOrderOfTrustWhateverFormTheNameTakes)
{
    NameResolver r;
    learnAll(r);
    // The mapping file before the directory, the database and the document's own address.
    expect(r.Resolve("CN=Ann Lee/O=Acme"), "Lee, Ann", "ann@csv.example", "SMTP");
    expect(r.Resolve("ann lee/acme@AcmeMail", "ann@doc.example"), "Lee, Ann", "ann@csv.example", "SMTP");
    // The directory before the database's Person document, by every form of the name.
    for (const char* form : { "CN=Bo Yu/OU=Sales/O=Acme", "Bo Yu/Sales/Acme", "bo yu", "BYU", "byu@Acme" })
        expect(r.Resolve(form), "Bo Yu", "bo@dir.example", "SMTP");
    // The database's Person document; a document's own address beside the name comes first.
    expect(r.Resolve("CN=Carl Ott/O=Acme"), "Carl Ott", "carl@db.example", "SMTP");
    expect(r.Resolve("CN=Carl Ott/O=Acme", "c.ott@doc.example"), "Carl Ott", "c.ott@doc.example", "SMTP");
    // A pair learned from another document.
    expect(r.Resolve("Dan Fox/Acme"), "Dan Fox", "dan.fox@pair.example", "SMTP");
    // Internet addresses pass through; a known one gets its person's name.
    expect(r.Resolve("\"Zed Ek\" <zed@ext.example>"), "Zed Ek", "zed@ext.example", "SMTP");
    expect(r.Resolve("zed@ext.example"), "zed@ext.example", "zed@ext.example", "SMTP");
    expect(r.Resolve("zed@ext.example@Internet"), "zed@ext.example", "zed@ext.example", "SMTP");
    expect(r.Resolve("", "bo@dir.example"), "Bo Yu", "bo@dir.example", "SMTP");
    // Unresolved: the common name, the abbreviated Notes name typed NOTES, counted.
    expect(r.Resolve("CN=Eve Kay/O=Acme"), "Eve Kay", "Eve Kay/Acme", "NOTES");
    expect(r.Resolve("CN=Gil Hart/OU=HQ/O=Acme@Acme"), "Gil Hart", "Gil Hart/HQ/Acme", "NOTES");
    expect(r.Resolve("Gil Hart/HQ/Acme", "."), "Gil Hart", "Gil Hart/HQ/Acme", "NOTES");
    const std::vector<std::pair<QString, int>> unresolved { { "Gil Hart/HQ/Acme", 2 }, { "Eve Kay/Acme", 1 } };
    EXPECT_EQ(r.Unresolved(), unresolved);

    // The rule comes last: from the directory's first and last names, else the common name's
    // words; a name it cannot fill stays unresolved.
    r.SetAddressRule("{first}.{last}@rule.example");
    expect(r.Resolve("CN=Eve Kay/O=Acme"), "Eve Kay", "eve.kaylin@rule.example", "SMTP");
    expect(r.Resolve("CN=Gil Hart/O=Acme"), "Gil Hart", "gil.hart@rule.example", "SMTP");
    expect(r.Resolve("CN=Ann Lee/O=Acme"), "Lee, Ann", "ann@csv.example", "SMTP");
    expect(r.Resolve("Madonna/Acme"), "Madonna", "Madonna/Acme", "NOTES");
    r.SetAddressRule("{initial}{short}.{common}@rule.example");
    expect(r.Resolve("CN=Tim Ray/O=Acme"), "Tim Ray", "Tim Ray/Acme", "NOTES");
    // A name holding a placeholder's text keeps it as text: the rule is filled in one pass, so
    // a name cannot multiply itself into the address.
    r.SetAddressRule("{first}.{last}@rule.example");
    expect(r.Resolve("{last} Moe/Acme"), "{last} Moe", "{last}.moe@rule.example", "SMTP");
}

// The database is read only when a name needs it, and then once.
TEST_F(NameSources, TheDatabaseIsReadOnlyForANameNothingElseKnows)
{
    NameResolver r;
    r.LoadMappingFile(csv);
    int reads = 0;
    r.LearnDatabaseWhenNeeded([&](NameResolver& names) {
        ++reads;
        auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
        names.LearnDatabase(*session->GetDatabase("", database.toStdString()));
    });
    expect(r.Resolve("CN=Ann Lee/O=Acme"), "Lee, Ann", "ann@csv.example", "SMTP");
    expect(r.Resolve("CN=Carl Ott/O=Acme", "c.ott@doc.example"), "Carl Ott", "c.ott@doc.example", "SMTP");
    expect(r.Resolve("zed@ext.example"), "zed@ext.example", "zed@ext.example", "SMTP");
    EXPECT_EQ(reads, 0);
    expect(r.Resolve("CN=Dan Fox/O=Acme"), "Dan Fox", "dan.fox@pair.example", "SMTP");
    expect(r.Resolve("CN=Gil Hart/O=Acme"), "Gil Hart", "Gil Hart/Acme", "NOTES");
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(r.Unresolved().size(), 1u);
}

// What the export tab's test leaves out: the other ways a file or rule can be unusable, and that
// a refused file leaves nothing behind.
TEST_F(NameSources, BadInputIsRefusedWithWhereAndWhyAndChangesNothing)
{
    NameResolver r;
    auto message = [&](const char* csvText, auto&& call) {
        QFile f(csv);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(csvText);
        f.close();
        try {
            call();
        } catch (const NamesError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    auto loadCsv = [&] { r.LoadMappingFile(csv); };
    EXPECT_NE(message("CN=Ann Lee/O=Acme,ann@csv.example\n\"Bo\n", loadCsv).find("line 2: a quote is not closed"),
        std::string::npos);
    EXPECT_EQ(r.Resolve("CN=Ann Lee/O=Acme").addressType, "NOTES") << "nothing of the good lines is kept";
    EXPECT_NE(
        message("Ann,Ann Lee/Acme\n", loadCsv).find("\"Ann Lee/Acme\" is no Internet address"), std::string::npos);
    dxl::DatabaseBuilder("Empty", "addressbook").write(dir_() / "empty.dxl");
    EXPECT_NE(message("", [&] { r.LoadDirectory(dir.filePath("empty.dxl")); }).find("no Person documents"),
        std::string::npos);
    EXPECT_NE(message("", [&] { r.LoadDirectory(csv); }).find("cannot be read"), std::string::npos);
    EXPECT_NE(message("", [&] { r.SetAddressRule("{first.{last}@acme.example"); }).find("closes no placeholder"),
        std::string::npos);
    EXPECT_NE(message("", [&] { r.SetAddressRule("acme.example"); }).find("makes no address"), std::string::npos);
    EXPECT_FALSE(r.HasRule());
}
} // namespace
