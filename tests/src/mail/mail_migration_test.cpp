// Mail end to end: builder databases converted through the real windows, the PST judged by
// pypff, pffexport and readpst.
#include "conversion_fixture.h"

#include "../../support/hostile_user.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const std::string AttachmentA = "alpha attachment\n";
const std::string AttachmentB = std::string("\x00\x01\xFF binary\r\n\x7F", 13) + std::string(5000, 'b');

// A recipient list as a reader shows it: names, and where the reader shows addresses too,
// "name <address>". An entry without "<" is a Notes name "Dan Fox/Acme" shown as "Dan Fox".
QStringList entries(const char* reader, std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* e : list) {
        QString entry = QString::fromUtf8(e);
        if (!entry.contains(QLatin1Char('<')))
            entry = entry.section(QLatin1Char('/'), 0, 0) + QStringLiteral(" <") + entry + QLatin1Char('>');
        out << (qstrcmp(reader, "pffexport") == 0 ? entry : entry.section(QStringLiteral(" <"), 0, 0));
    }
    return out;
}

dxl::DatabaseBuilder standardFolders()
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    // Internet sender; To from the Notes names behind a "." first value; CC with a placeholder
    // at its first position; BCC; a posted date; attachments a then b.
    auto& in1 = db.document("Memo")
                    .text("Subject", "  Quarterly figures ")
                    .names("From", { "CN=Bo Yu/O=Acme" })
                    .names("INetFrom", { "bo.yu@acme.example" })
                    .names("SendTo", { "CN=Ann Lee/O=Acme", "CN=Carl Ott/O=Acme" })
                    .names("InetSendTo", { ".", "carl.ott@acme.example" })
                    .names("CopyTo", { "CN=Dan Fox/O=Acme", "CN=Carla Mendes/O=Acme" })
                    .names("InetCopyTo", { ".", "carla.mendes@acme.example" })
                    .names("BlindCopyTo", { "CN=Eve Kay/O=Acme" })
                    .names("InetBlindCopyTo", { "eve.kay@acme.example" })
                    .dateTime("PostedDate", "20090304T101500,00+01")
                    .text("Body", "  Figures attached.\nBest regards  ")
                    .attachment("a.txt", AttachmentA)
                    .attachment("b.bin", AttachmentB);
    // A "." sender; an Internet To list with a later placeholder; CC placeholders without
    // Notes names; no posted date.
    auto& in2 = db.document("Memo")
                    .text("Subject", "No date")
                    .names("From", { "CN=Bo Yu/O=Acme" })
                    .names("INetFrom", { "." })
                    .names("SendTo", { "CN=Ann Lee/O=Acme", "CN=Carl Ott/O=Acme" })
                    .names("InetSendTo", { "ann.lee@acme.example", "." })
                    .names("InetCopyTo", { ".", "carla.mendes@acme.example" })
                    .text("Body", "Second");
    // Notes names alone, with no Internet items at all.
    auto& sent = db.document("Memo")
                     .text("Subject", "Offer")
                     .names("From", { "CN=Ann Lee/O=Acme" })
                     .names("SendTo", { "CN=Bo Yu/O=Acme" })
                     .names("CopyTo", { "CN=Dan Fox/O=Acme" })
                     .dateTime("PostedDate", "20090210T080000,00+00")
                     .text("Importance", "3")
                     .text("Body", "Offer");
    auto& draft = db.document("Memo")
                      .text("Subject", "Unfinished")
                      .names("From", { "CN=Ann Lee/O=Acme" })
                      .names("SendTo", { "CN=Bo Yu/O=Acme" })
                      .text("Importance", "1")
                      .text("Body", "Draft");
    // An empty Internet sender in the Deleted Items: the Notes sender stands in.
    auto& trash = db.document("Memo")
                      .text("Subject", "Old news")
                      .names("From", { "CN=Gil Hart/O=Acme" })
                      .names("INetFrom", { "" })
                      .names("SendTo", { "CN=Ann Lee/O=Acme" })
                      .names("CopyTo", { "CN=Dan Fox/O=Acme", "CN=Carla Mendes/O=Acme" })
                      .names("InetCopyTo", { "", "carla.mendes@acme.example" })
                      .dateTime("PostedDate", "20081111T111111,00+00");
    db.folder("($Inbox)").entries({ in1.noteId(), in2.noteId() });
    db.folder("($Sent)").entries({ sent.noteId() });
    db.folder("($Drafts)").entries({ draft.noteId() });
    db.folder("($Trash)").entries({ trash.noteId() });
    return db;
}

class MailMigration : public ConversionFixture, public ::testing::WithParamInterface<bool> { };
class MailFolders : public ConversionFixture { };
} // namespace

TEST_P(MailMigration, StandardFoldersCarrySendersRecipientsDatesBodiesAndAttachments)
{
    const QString pst = convert(standardFolders(), GetParam(), { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty()) << (ui.messages().empty() ? "" : ui.messages().back().text.toStdString());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);

    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        EXPECT_EQ(v.subjects(reader, "Inbox"), QStringList({ "No date", "Quarterly figures" }));
        EXPECT_EQ(v.subjects(reader, "Sent Items"), QStringList({ "Offer" }));
        EXPECT_EQ(v.subjects(reader, "Drafts"), QStringList({ "Unfinished" }));
        EXPECT_EQ(v.subjects(reader, "Deleted Items"), QStringList({ "Old news" }));

        const QJsonObject in1 = v.item(reader, "Inbox", "Quarterly figures");
        EXPECT_EQ(in1.value("sender_email").toString(), "bo.yu@acme.example");
        EXPECT_EQ(in1.value("sender_name").toString(), "Bo Yu");
        // Each position's Internet address, else the address another memo gives the name, else
        // the Notes name.
        EXPECT_EQ(Shown(reader, in1, "to"),
            entries(reader, { "Ann Lee <ann.lee@acme.example>", "Carl Ott <carl.ott@acme.example>" }));
        EXPECT_EQ(
            Shown(reader, in1, "cc"), entries(reader, { "Dan Fox/Acme", "Carla Mendes <carla.mendes@acme.example>" }));
        EXPECT_EQ(Shown(reader, in1, "bcc"), entries(reader, { "Eve Kay <eve.kay@acme.example>" }));
        EXPECT_EQ(in1.value("sent").toString(), "2009-03-04T09:15:00");
        EXPECT_EQ(in1.value("body").toString(), "Figures attached.\nBest regards");
        // The attachments arrive byte for byte, the document's last one first.
        QStringList expected { AttachmentLine("b.bin", QByteArray::fromStdString(AttachmentB)),
            AttachmentLine("a.txt", QByteArray::fromStdString(AttachmentA)) };
        QStringList got = AttachmentsOf(in1);
        if (qstrcmp(reader, "readpst") == 0) { // readpst lists them in its own order
            expected.sort();
            got.sort();
        }
        EXPECT_EQ(got, expected);

        const QJsonObject in2 = v.item(reader, "Inbox", "No date");
        EXPECT_EQ(in2.value("sender_name").toString(), "Bo Yu");
        EXPECT_EQ(in2.value("sender_email").toString(), "bo.yu@acme.example");
        // A later "." of the Internet To list takes the Notes name at its position, which the
        // other memo knows.
        EXPECT_EQ(Shown(reader, in2, "to"),
            entries(reader, { "Ann Lee <ann.lee@acme.example>", "Carl Ott <carl.ott@acme.example>" }));
        EXPECT_EQ(Shown(reader, in2, "cc"), entries(reader, { "Carla Mendes <carla.mendes@acme.example>" }));
        // No posted date: the day of the conversion, at midnight.
        EXPECT_EQ(in2.value("sent").toString(), "2009-03-05T00:00:00");

        const QJsonObject sent = v.item(reader, "Sent Items", "Offer");
        EXPECT_EQ(sent.value("sender_name").toString(), "Ann Lee");
        EXPECT_EQ(Shown(reader, sent, "to"), entries(reader, { "Bo Yu <bo.yu@acme.example>" }));
        EXPECT_EQ(Shown(reader, sent, "cc"), entries(reader, { "Dan Fox/Acme" }));
        EXPECT_EQ(sent.value("sent").toString(), "2009-02-10T08:00:00");

        const QJsonObject trash = v.item(reader, "Deleted Items", "Old news");
        EXPECT_EQ(trash.value("sender_name").toString(), "Gil Hart");
        EXPECT_EQ(trash.value("sender_email").toString(), "Gil Hart/Acme");
        EXPECT_EQ(Shown(reader, trash, "cc"),
            entries(reader, { "Dan Fox/Acme", "Carla Mendes <carla.mendes@acme.example>" }));
    }
    for (const char* reader : { "pypff", "pffexport" })
        EXPECT_EQ(v.item(reader, "Inbox", "Quarterly figures").value("received").toString(), "2009-03-04T09:15:00");
    // Every message is stored as sent, except the draft, which stays unsent (MSGFLAG_UNSENT)
    // and so can still be edited and sent in Outlook.
    for (const char* folder : { "Inbox", "Sent Items", "Drafts", "Deleted Items" })
        for (const auto& item : v.items("pypff", folder))
            EXPECT_EQ(item.toObject().value("flags").toInt() & 0x8, QLatin1String(folder) == "Drafts" ? 0x8 : 0)
                << folder;
    // Notes' Importance 1 (high) and 3 (low) as PidTagImportance 2 and 0; normal stays 1.
    auto importance = [&](const char* folder, const char* subject) {
        return Prop(v.item("pypff", QLatin1String(folder), QLatin1String(subject)), "0x0017").toInt(-1);
    };
    EXPECT_EQ(importance("Drafts", "Unfinished"), 2);
    EXPECT_EQ(importance("Sent Items", "Offer"), 0);
    EXPECT_EQ(importance("Inbox", "No date"), 1);

    // The progress window went through the four folders; no extracted file is left.
    for (const char* header : { "Saving Emails (Inbox)...", "Saving Emails (Sent Items)...",
             "Saving Emails (Drafts)...", "Saving Emails (Deleted Items)..." })
        EXPECT_TRUE(headers.contains(QLatin1String(header))) << header;
    EXPECT_EQ(tempLeftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, MailMigration, ::testing::Values(true, false), FormatName);

TEST_F(MailFolders, UserFoldersKeepTheirNestingAndTheirMessages)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto memo = [&](const char* subject) -> dxl::DocumentBuilder& {
        return db.document("Memo")
            .text("Subject", subject)
            .names("From", { "CN=Bo Yu/O=Acme" })
            .names("SendTo", { "CN=Ann Lee/O=Acme" });
    };
    const auto& budget = memo("2009 budget").noteId();
    const auto& plan = memo("Plan").noteId();
    const auto& old = memo("Old letter").noteId();
    const auto& client = memo("Client call").noteId();
    const auto& other = memo("Other client").noteId();
    const auto& filed = memo("Filed in Inbox").noteId();
    const auto& inbox = memo("Arrived").noteId();
    // The inner folder comes first in the database; sorting puts Projects first.
    db.folder("Projects\\2009").entries({ budget });
    db.folder("Projects").entries({ plan });
    // Archive is a view, not a folder: its folder level is still made for Archive\Old.
    db.view("Archive").entries({ plan });
    db.folder("Archive\\Old").entries({ old });
    // Two folders of one name are exported once, from the first.
    db.folder("Clients").entries({ client });
    db.folder("Clients").entries({ other });
    // A user folder named like a default folder fills the default folder.
    db.folder("Inbox").entries({ filed });
    db.folder("($Inbox)").entries({ inbox });
    db.folder("($Sent)").entries({});

    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        const QStringList folders = v.folders(reader);
        for (const char* f : { "Projects", "Projects/2009", "Archive", "Archive/Old", "Clients" })
            EXPECT_EQ(folders.count(QStringLiteral("Top of Personal Folders/") + f), 1) << f;
        EXPECT_EQ(folders.count(QStringLiteral("Top of Personal Folders/Inbox")), 1);
        EXPECT_EQ(v.subjects(reader, "Projects"), QStringList({ "Plan" }));
        EXPECT_EQ(v.subjects(reader, "Projects/2009"), QStringList({ "2009 budget" }));
        EXPECT_EQ(v.subjects(reader, "Archive/Old"), QStringList({ "Old letter" }));
        EXPECT_EQ(v.subjects(reader, "Archive"), QStringList());
        EXPECT_EQ(v.subjects(reader, "Clients"), QStringList({ "Client call" }));
        EXPECT_EQ(v.subjects(reader, "Inbox"), QStringList({ "Arrived", "Filed in Inbox" }));
    }
    EXPECT_TRUE(headers.contains(QStringLiteral("Saving Emails (Custom Folders)... [Projects\\2009]")));
    EXPECT_EQ(tempLeftovers(), QStringList());
}

// Runs in the same second into the same folder (the clock here never moves): each gets a file of
// its own, numbered when the name is taken, and keeps its own messages; no file is replaced.
TEST_F(MailFolders, RunsInOneSecondIntoOneFolderEachGetTheirOwnFile)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    const auto& plan = db.document("Memo").text("Subject", "Plan").names("From", { "CN=Bo Yu/O=Acme" }).noteId();
    const auto& note = db.document("Memo").text("Subject", "Note").names("From", { "CN=Bo Yu/O=Acme" }).noteId();
    db.folder("Projects").entries({ plan });
    db.folder("Projects\\2009").entries({ note });
    db.folder("($Inbox)").entries({ note });

    const QString stem = out.path() + QStringLiteral("/mail05-03-2009-14-7-9");
    {
        QFile mine(stem + QStringLiteral(".pst"));
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("a file of the user's");
    }
    const QString first = convert(db, true, { c().SaveOptionEmails });
    EXPECT_EQ(endTitle(), "Export Complete") << ui.messages().back().text.toStdString();
    EXPECT_EQ(first, stem + QStringLiteral("-2.pst"));
    const QString second = convert(db, false, { c().SaveOptionEmails });
    EXPECT_EQ(endTitle(), "Export Complete") << ui.messages().back().text.toStdString();
    EXPECT_EQ(second, stem + QStringLiteral("-3.pst"));
    EXPECT_TRUE(ui.messages().back().text.contains(second));

    QFile mine(stem + QStringLiteral(".pst"));
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    EXPECT_EQ(mine.readAll(), QByteArray("a file of the user's"));
    for (const QString& pst : { first, second }) {
        SCOPED_TRACE(pst.toStdString());
        const PstView v = read(pst);
        EXPECT_EQ(v.subjects("pypff", "Projects"), QStringList({ "Plan" }));
        EXPECT_EQ(v.subjects("pypff", "Projects/2009"), QStringList({ "Note" }));
        EXPECT_EQ(v.subjects("pypff", "Inbox"), QStringList({ "Note" }));
    }
}

TEST_F(MailFolders, AttachmentNamesNeverLeaveTheTemporaryFolderAndSameNamesBothArrive)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    // Two documents' worth of awkward names in one: the same name twice, names that try to
    // climb out of the folder, a name that is a folder.
    auto& doc = db.document("Memo")
                    .text("Subject", "Files")
                    .names("From", { "CN=Bo Yu/O=Acme" })
                    .attachment("report.txt", "first report")
                    .attachment("report.txt", "second report, longer")
                    .attachment("../escape.txt", "up one")
                    .attachment("..\\..\\up.txt", "up two")
                    .attachment("..", "dots");
    db.folder("($Inbox)").entries({ doc.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    auto attachment = [](const char* name, const char* bytes) { return AttachmentLine(name, bytes); };
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        QStringList got = AttachmentsOf(v.item(reader, "Inbox", "Files"));
        got.sort();
        QStringList expected { attachment("attachment", "dots"), attachment("escape.txt", "up one"),
            attachment("report.txt", "first report"), attachment("report.txt", "second report, longer"),
            attachment("up.txt", "up two") };
        expected.sort();
        EXPECT_EQ(got, expected);
    }
    // Nothing was written beside or above the temporary folder, and nothing stays in it.
    EXPECT_EQ(tempLeftovers(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(QDir(temp.path()).absoluteFilePath("../escape.txt")));
}

// An attachment whose name cannot be a file name here (92 Japanese characters, 268 bytes in
// UTF-8, "File name too long") arrives under that name. A folder another user planted where
// the attachment spool used to go (its name was the process id), or a link there, gets no
// byte of any attachment.
class PlantedTemporaryFolders : public ConversionFixture {
protected:
    void convertWith(const QString& planting)
    {
        QString longName;
        for (int i = 0; i < 11; ++i)
            longName += QString::fromUtf8("日本語の添付資料");
        longName += QStringLiteral(".pdf");
        ASSERT_EQ(longName.size(), 92);
        ASSERT_EQ(longName.toUtf8().size(), 268);
        const std::string bytes(70000, 'j');
        dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
        auto& doc = db.document("Memo")
                        .text("Subject", "Long name")
                        .names("From", { "CN=Bo Yu/O=Acme" })
                        .attachment(longName.toStdString(), bytes)
                        .attachment("short.txt", "short");
        db.folder("($Inbox)").entries({ doc.noteId() });

        const testing_support::HostileUser other;
        testing_support::HostileUser::shareLikeTmp(tempFolder().toStdString());
        const QString victim = temp.path() + QStringLiteral("/victim");
        QDir().mkpath(victim);
        testing_support::HostileUser::shareLikeTmp(victim.toStdString());
        const QString oldSpool = tempFolder() + QStringLiteral("/ferrymark-attachments-%1").arg(::getpid());
        ASSERT_TRUE(other.run(QString(planting)
                                  .replace(QStringLiteral("VICTIM"), victim)
                                  .replace(QStringLiteral("SPOOL"), oldSpool)
                                  .toStdString()));

        const QString pst = convert(db, true, { c().SaveOptionEmails });
        ASSERT_FALSE(pst.isEmpty());
        EXPECT_EQ(endTitle(), "Export Complete");
        const PstView v = read(pst);
        // pypff (and pst-extractor, which read() holds to pypff's view); pffexport and readpst
        // save attachments as files of their name, which this name cannot be.
        QStringList got = AttachmentsOf(v.item("pypff", "Inbox", "Long name"));
        got.sort();
        EXPECT_EQ(got,
            QStringList(
                { AttachmentLine("short.txt", "short"), AttachmentLine(longName, QByteArray::fromStdString(bytes)) }));
        EXPECT_TRUE(QDir(victim).isEmpty());
        // The planted folder is as it was: empty, its mode never changed.
        struct stat st { };
        if (::lstat(oldSpool.toLocal8Bit().constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            EXPECT_TRUE(QDir(oldSpool).isEmpty());
            EXPECT_EQ(st.st_mode & 07777, 0777u);
        }
        QStringList left = tempLeftovers();
        left.sort();
        EXPECT_EQ(left, QStringList({ oldSpool, victim }));
    }
};

TEST_F(PlantedTemporaryFolders, AFolderWhereTheSpoolWentGetsNothingAndALongNameArrivesWhole)
{
    convertWith(QStringLiteral("mkdir -m 777 SPOOL"));
}

TEST_F(PlantedTemporaryFolders, ALinkWhereTheSpoolWentIsNotFollowed)
{
    convertWith(QStringLiteral("ln -s VICTIM SPOOL"));
}

TEST_F(MailFolders, StopLeavesTheLaterFoldersListedButEmptyAndNoFileBehind)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    std::vector<std::string> inbox, sent;
    for (int i = 0; i < 3; ++i) {
        inbox.push_back(db.document("Memo")
                            .text("Subject", "in " + std::to_string(i))
                            .attachment("note.txt", "attached " + std::to_string(i))
                            .noteId());
        sent.push_back(db.document("Memo").text("Subject", "out " + std::to_string(i)).noteId());
    }
    db.folder("($Inbox)").entries(inbox);
    db.folder("($Sent)").entries(sent);
    db.folder("($Drafts)").entries({ inbox[0] });
    db.folder("($Trash)").entries({ sent[0] });
    // The user presses stop while the second Sent Items message is written.
    onEvents = [this] {
        if (progress && progress->LblSaveHeader->text() == QStringLiteral("Saving Emails (Sent Items)...")
            && progress->LblCurrent->text() == QStringLiteral("1/3") && progress->CmdStop->isEnabled())
            progress->CmdStop->click();
    };

    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        EXPECT_EQ(v.subjects(reader, "Inbox"), QStringList({ "in 0", "in 1", "in 2" }));
        EXPECT_EQ(v.subjects(reader, "Sent Items"), QStringList({ "out 0", "out 1" }));
        EXPECT_EQ(v.subjects(reader, "Drafts"), QStringList());
        EXPECT_EQ(v.subjects(reader, "Deleted Items"), QStringList());
    }
    EXPECT_TRUE(headers.contains(QStringLiteral("Saving Emails (Deleted Items)...")));
    EXPECT_EQ(tempLeftovers(), QStringList());
}

// The disk fills at several points of the Inbox: every time the run ends with the report of
// what was lost, the PST stays readable, and the items it holds plus those the report counts
// as failed are all the Inbox had.
class FullDisk : public ConversionFixture, public ::testing::WithParamInterface<int> { };

TEST_P(FullDisk, EndsWithAReportAndCountsEveryItemTheFileDoesNotHold)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    std::vector<std::string> inbox;
    for (int i = 0; i < 40; ++i) {
        std::string bytes(40'000, '\0');
        for (std::size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>((k * 7919 + static_cast<std::size_t>(i) * 104729) >> 3);
        inbox.push_back(
            db.document("Memo").text("Subject", "big " + std::to_string(i)).attachment("data.bin", bytes).noteId());
    }
    db.folder("($Inbox)").entries(inbox);
    // Once the run has started, no file of this process may grow past the limit: the PST fills
    // its "disk" part way through the Inbox.
    struct rlimit saved { };
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    bool limited = false;
    onEvents = [&] {
        if (!limited && progress) {
            struct rlimit small = saved;
            small.rlim_cur = static_cast<rlim_t>(GetParam());
            limited = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
    };
    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(limited);

    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), QStringLiteral("Export Incomplete")) << "never the message of success";
    EXPECT_TRUE(ui.messages().back().text.contains(QStringLiteral("could not be written")))
        << ui.messages().back().text.toStdString();
    // What was written before the disk filled is a valid PST.
    const PstView v = read(pst);
    const auto held = v.items("pypff", "Inbox").size();
    EXPECT_LT(held, 40);
    // The report cannot grow past the limit either; the run counted what it lost all the same:
    // "N item(s) could not be written to the PST whole".
    const QString text = ui.messages().back().text;
    const auto at = text.indexOf(QStringLiteral(" item(s) could not be written"));
    ASSERT_GT(at, 0) << text.toStdString();
    const auto start = text.lastIndexOf(QLatin1Char('\n'), at) + 1;
    EXPECT_EQ(text.mid(start, at - start).toInt() + held, 40) << text.toStdString();
    EXPECT_EQ(tempLeftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, ::testing::Values(300'000, 600'000, 1'200'000, 1'700'000));
