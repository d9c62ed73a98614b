// People as Outlook knows them, end to end: senders and recipients resolved from the names file,
// the Domino Directory export, the database itself and the address rule, given on the export
// tab; read back by pypff, pffexport and readpst; the report's unresolved names; bad input.
#include "conversion_fixture.h"

#include <QDir>
#include <QFile>

namespace {
class PeopleNames : public ConversionFixture, public ::testing::WithParamInterface<bool> {
protected:
    QString namesFile, directory;

    void SetUp() override
    {
        ConversionFixture::SetUp();
        namesFile = dir.filePath("names.csv");
        QFile f(namesFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("CN=Ann Lee/O=Acme,ann@csv.example,Ann Lee\n");
        dxl::DatabaseBuilder book("Directory", "addressbook");
        book.document("Person").names("FullName", { "CN=Ann Lee/O=Acme" }).text("InternetAddress", "ann@dir.example");
        book.document("Person")
            .names("FullName", { "CN=Bo Yu/OU=Sales/O=Acme", "Bo Yu" })
            .text("ShortName", "byu")
            .text("InternetAddress", "bo@dir.example");
        book.document("Person")
            .names("FullName", { "CN=Eve Kay/O=Acme" })
            .text("FirstName", "Eve")
            .text("LastName", "Kay");
        directory = QString::fromStdString(write(book, "names.dxl"));
    }

    // Ann (names file), Bo (directory), Carl (the database's Person document), Dan (a pair of
    // another memo), Eve (the rule), Gil (the rule, from his common name), Madonna (nobody: the
    // rule has no last name for her), and an Internet address of its own.
    dxl::DatabaseBuilder database() const
    {
        dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
        db.document("Person").names("FullName", { "CN=Carl Ott/O=Acme" }).text("InternetAddress", "carl@db.example");
        auto& in = db.document("Memo")
                       .text("Subject", "Plan")
                       .names("From", { "CN=Bo Yu/OU=Sales/O=Acme@Acme" })
                       .names("SendTo", { "CN=Ann Lee/O=Acme", "Carl Ott/Acme", "CN=Dan Fox/O=Acme" })
                       .names("CopyTo", { "CN=Eve Kay/O=Acme", "CN=Madonna/O=Acme", "zed@ext.example" })
                       .names("InetCopyTo", { ".", ".", "zed@ext.example" })
                       .names("BlindCopyTo", { "CN=Gil Hart/O=Acme" })
                       .dateTime("PostedDate", "20090304T101500,00+01");
        auto& sent = db.document("Memo")
                         .text("Subject", "Reply")
                         .names("From", { "CN=Madonna/O=Acme" })
                         .names("SendTo", { "CN=Bo Yu/OU=Sales/O=Acme", "CN=Dan Fox/O=Acme" })
                         .names("InetSendTo", { ".", "dan.fox@pair.example" })
                         .dateTime("PostedDate", "20090305T101500,00+01");
        db.folder("($Inbox)").entries({ in.noteId() });
        db.folder("($Sent)").entries({ sent.noteId() });
        return db;
    }
};
} // namespace

TEST_P(PeopleNames, SendersAndRecipientsArriveAsOutlookKnowsThem)
{
    // The user picks the two files with the export tab's browse buttons and types the rule.
    afterScan = [&] {
        ui.answerOpenFile(namesFile);
        window->findChild<QPushButton*>(QStringLiteral("CmdBrowseNamesFile"))->click();
        ui.answerOpenFile(directory);
        window->findChild<QPushButton*>(QStringLiteral("CmdBrowseDirectoryFile"))->click();
        window->findChild<QLineEdit*>(QStringLiteral("txtAddressRule"))
            ->setText(QStringLiteral("{first}.{last}@rule.example"));
    };
    const QString pst = convert(database(), GetParam(), { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty()) << (ui.messages().empty() ? "" : ui.messages().back().text.toStdString());
    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("txtNamesFile"))->text(), namesFile);
    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("txtDirectoryFile"))->text(), directory);
    const PstView v = read(pst);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        const QJsonObject in = v.item(reader, "Inbox", "Plan");
        EXPECT_EQ(in.value("sender_name").toString(), "Bo Yu");
        EXPECT_EQ(in.value("sender_email").toString(), "bo@dir.example");
        const bool both = qstrcmp(reader, "pffexport") == 0;
        auto list = [&](std::initializer_list<std::pair<const char*, const char*>> entries) {
            QStringList out;
            for (const auto& [name, address] : entries)
                out << (both ? QStringLiteral("%1 <%2>").arg(QLatin1String(name), QLatin1String(address))
                             : QString::fromLatin1(name));
            return out;
        };
        EXPECT_EQ(Shown(reader, in, "to"),
            list({ { "Ann Lee", "ann@csv.example" }, { "Carl Ott", "carl@db.example" },
                { "Dan Fox", "dan.fox@pair.example" } }));
        // The rule; nobody knows Madonna: her common name, her Notes name typed NOTES; an
        // Internet address as it was.
        EXPECT_EQ(Shown(reader, in, "cc"),
            list({ { "Eve Kay", "eve.kay@rule.example" }, { "Madonna", "Madonna/Acme" },
                { "zed@ext.example", "zed@ext.example" } }));
        EXPECT_EQ(Shown(reader, in, "bcc"), list({ { "Gil Hart", "gil.hart@rule.example" } }));
        const QJsonObject sent = v.item(reader, "Sent Items", "Reply");
        EXPECT_EQ(sent.value("sender_name").toString(), "Madonna");
        EXPECT_EQ(sent.value("sender_email").toString(), "Madonna/Acme");
    }
    // Outlook can reply: the sender's address type is SMTP and it has an entry ID and a search
    // key, the sender represented too; a Notes sender is typed NOTES.
    const QJsonObject props = v.item("pypff", "Inbox", "Plan").value("props").toObject();
    for (const char* type : { "0x0C1E", "0x0064" })
        EXPECT_EQ(props.value(type).toString(), "SMTP") << type;
    EXPECT_EQ(props.value("0x0065").toString(), "bo@dir.example");
    EXPECT_EQ(props.value("0x0042").toString(), "Bo Yu");
    for (const char* key : { "0x0C1D", "0x003B" })
        EXPECT_EQ(QByteArray::fromHex(props.value(key).toString().toLatin1()), QByteArray("SMTP:BO@DIR.EXAMPLE", 20))
            << key;
    for (const char* id : { "0x0C19", "0x0041" }) {
        const QByteArray entryId = QByteArray::fromHex(props.value(id).toString().toLatin1());
        EXPECT_EQ(entryId.mid(4, 16).toHex(), "812b1fa4bea310199d6e00dd010f5402") << id; // one-off provider
        EXPECT_TRUE(entryId.contains(GetParam() ? QByteArray("b\0o\0@\0d\0i\0r", 11) : QByteArray("bo@dir")));
    }
    EXPECT_EQ(v.item("pypff", "Sent Items", "Reply").value("props").toObject().value("0x0C1E").toString(), "NOTES");
    // Recipient rows carry their address types.
    QStringList types;
    for (const auto& r : v.item("pffexport", "Inbox", "Plan").value("cc").toArray())
        types << r.toObject().value("type").toString();
    EXPECT_EQ(types, QStringList({ "SMTP", "NOTES", "SMTP" }));

    // The report names the unresolved names with their counts.
    const QString text = ReportOf(pst, "txt");
    EXPECT_TRUE(text.contains(QStringLiteral("Names with no Internet address"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("  Madonna/Acme  2\n"))) << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, PeopleNames, ::testing::Values(true, false), FormatName);
