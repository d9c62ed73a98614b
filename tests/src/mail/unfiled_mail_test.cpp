// Mail that no exported Notes folder or view lists still reaches the PST: by its own fields
// when the export holds no folder membership, else in "All Documents"; junk mail in
// "Junk E-mail"; ($Follow-Up) mail flagged for follow-up wherever it arrives.
#include "conversion_fixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QJsonValue flagStatus(const PstView& v, const char* folder, const char* subject)
{
    return Prop(v.item("pypff", QLatin1String(folder), QLatin1String(subject)), "0x1090");
}

using UnfiledMail = ConversionFixture;

TEST_F(UnfiledMail, AnExportWithoutViewEntriesStillDeliversEveryDocumentWhereItsFieldsAndFormulasPutIt)
{
    // The bundled mail database as a plain export writes it: no view entries. Its ($Inbox),
    // ($JunkMail) and user folders then hold nothing known; ($Trash), ($Follow-Up) and
    // Projects\2009 still have their documents' folder references; the views select by formula.
    QFile sample(QStringLiteral(FERRYMARK_SOURCE_DIR "/samples/mailfile.dxl"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    QString dxl = QString::fromUtf8(sample.readAll());
    const qsizetype before = dxl.size();
    dxl.remove(QRegularExpression(
        QStringLiteral("<fm:entries[^>]*>.*?</fm:entries>\\n?"), QRegularExpression::DotMatchesEverythingOption));
    ASSERT_LT(dxl.size(), before);
    ASSERT_FALSE(dxl.contains(QStringLiteral("fm:entr")));
    const std::string path = (temp.path() + QStringLiteral("/plain-export.dxl")).toStdString();
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(dxl.toUtf8());
    file.close();

    const QString pst = convertFile(
        path, true, { c().SaveOptionEmails, c().SaveOptionCalendars, c().SaveOptionContacts, c().SaveOptionToDo });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        // Received mail (a DeliveredDate) lands in the Inbox, junk and follow-up mail included.
        EXPECT_EQ(v.subjects(reader, "Inbox"),
            QStringList({ "Lunch on Friday?", "Please review the contract", "Project kick-off", "Project plan v2",
                "Quarterly figures", "Reisekosten Oktober", "Welcome to Acme", "You have won!!!",
                "Your order 4711 has shipped" }));
        // ($Sent) selects mail with a PostedDate and no DeliveredDate; ($Drafts) mail without a
        // PostedDate; folder references fill ($Trash) and Projects\2009.
        EXPECT_EQ(v.subjects(reader, "Sent Items"),
            QStringList({ "2009 budget", "Offer for the new catalogue", "Re: Quarterly figures" }));
        EXPECT_EQ(v.subjects(reader, "Drafts"), QStringList({ "Holiday plans (draft)" }));
        EXPECT_EQ(v.subjects(reader, "Deleted Items"), QStringList({ "Old newsletter" }));
        EXPECT_EQ(v.subjects(reader, "Projects/2009"), QStringList({ "2009 budget" }));
        EXPECT_EQ(v.subjects(reader, "Projects"), QStringList());
        EXPECT_EQ(v.subjects(reader, "All Documents"), QStringList());
        EXPECT_EQ(v.subjects(reader, "Calendar").size(), 4);
    }
    // readpst leaves tasks out; pypff shows them, and contacts, which have no subject.
    EXPECT_EQ(v.subjects("pypff", "Tasks").size(), 3);
    EXPECT_EQ(v.items("pypff", QStringLiteral("Contacts")).size(), 4); // three people and their group
    EXPECT_EQ(flagStatus(v, "Inbox", "Please review the contract").toInt(), 2);
    EXPECT_TRUE(flagStatus(v, "Inbox", "Lunch on Friday?").isUndefined());

    const QString csv = ReportOf(pst, "csv");
    EXPECT_TRUE(ReportLine(pst, QStringLiteral("Lunch on Friday?"))
                    .contains(QStringLiteral("received mail, by its DeliveredDate (the export holds no membership of "
                                             "folder ($Inbox)")))
        << ReportLine(pst, QStringLiteral("Lunch on Friday?")).toStdString();
    EXPECT_FALSE(csv.contains(QStringLiteral(",skipped,in no view or folder"))) << csv.toStdString();
    const QString text = ReportOf(pst, "txt");
    for (const char* folder : { "($Inbox)", "($JunkMail)", "Projects", "Archive\\Old", "Receipts" })
        EXPECT_TRUE(text.contains(QStringLiteral("the export holds no membership of folder ") + QLatin1String(folder)))
            << folder << "\n"
            << text.toStdString();
}

TEST_F(UnfiledMail, MailInNoFolderJunkAndFollowUpWithFolderMembership)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto memo = [&](const char* subject) -> dxl::DocumentBuilder& {
        return db.document("Memo")
            .text("Subject", subject)
            .names("From", { "CN=Bo Yu/O=Acme" })
            .names("SendTo", { "CN=Ann Lee/O=Acme" })
            .dateTime("PostedDate", "20091105T093012,45+01")
            .dateTime("DeliveredDate", "20091105T093012,45+01");
    };
    const auto arrived = memo("Arrived").noteId();
    const auto removed = memo("Removed from every folder").noteId();
    const auto junk = memo("You have won").noteId();
    const auto flagged = memo("Call back").noteId();
    const auto person = db.document("Person").text("FullName", "Bo Yu").noteId();
    // A view whose formula the reader cannot evaluate lists nothing; its mail still arrives.
    db.document("Memo").text("Subject", "Sent by Ann").dateTime("PostedDate", "20091106T100000,00+01");
    db.view("($Sent)").formula(R"(SELECT @DbLookup("":""; ""; "People"; "x"; 1) != "")");
    db.folder("($Inbox)").entries({ arrived, flagged });
    db.folder("($JunkMail)").entries({ junk });
    db.folder("($Follow-Up)").entries({ flagged, removed });
    (void)person;

    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    for (const char* reader : Readers) {
        SCOPED_TRACE(reader);
        EXPECT_EQ(v.subjects(reader, "Inbox"), QStringList({ "Arrived", "Call back" }));
        EXPECT_EQ(v.subjects(reader, "All Documents"), QStringList({ "Removed from every folder", "Sent by Ann" }));
        EXPECT_EQ(v.subjects(reader, "Junk E-mail"), QStringList({ "You have won" }));
    }
    EXPECT_EQ(flagStatus(v, "Inbox", "Call back").toInt(), 2);
    EXPECT_EQ(flagStatus(v, "All Documents", "Removed from every folder").toInt(), 2);
    EXPECT_TRUE(flagStatus(v, "Inbox", "Arrived").isUndefined());
    const QJsonObject named = v.item("pypff", QStringLiteral("Inbox"), QStringLiteral("Call back"))
                                  .value(QStringLiteral("named"))
                                  .toObject();
    EXPECT_EQ(named.value(QStringLiteral("PSETID_Common:0x8530")).toString(), QStringLiteral("Follow up"))
        << QJsonDocument(named).toJson().toStdString();

    const QString csv = ReportOf(pst, "csv");
    EXPECT_TRUE(
        ReportLine(pst, QStringLiteral("You have won")).contains(QStringLiteral("in the Notes folder ($JunkMail)")));
    EXPECT_TRUE(ReportLine(pst, QStringLiteral("Removed from every folder"))
                    .contains(QStringLiteral("in no exported folder or view of the database")));
    const QString text = ReportOf(pst, "txt");
    EXPECT_TRUE(text.contains(QStringLiteral("the selection formula of view ($Sent) was not evaluated")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("@DbLookup"))) << text.toStdString();
    // A Person document is no mail: it stays for the contacts phase, which this run left out.
    EXPECT_TRUE(csv.contains(QStringLiteral(",skipped,in no view or folder this run exported")));
}

} // namespace
