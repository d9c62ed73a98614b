// The run's migration report and read-back, end to end through the real windows: every
// document of the database gets a row with its outcome, the PST is read back and counted per
// folder, and the final message names the report.
#include "conversion_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct Row {
    QString noteId, unid, form, subject, phase, view, folder, outcome, reason, placement, ignored;
};

// The report's rows by note ID (one document may have several rows; the last one wins here).
// A small RFC 4180 reader: quoted fields with doubled quotes and embedded separators.
std::map<QString, Row> readCsv(const QString& path, QStringList& header)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a byte order mark first";
    const QString text = QString::fromUtf8(bytes.mid(3));
    std::vector<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else if (ch == QLatin1Char('"'))
                quoted = false;
            else
                field += ch;
        } else if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (ch == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            fields << field;
            field.clear();
            records.push_back(fields);
            fields.clear();
            ++i;
        } else {
            field += ch;
        }
    }
    EXPECT_TRUE(field.isEmpty() && fields.isEmpty()) << "the last record ends with CRLF";
    std::map<QString, Row> rows;
    if (records.empty())
        return rows;
    header = records.front();
    for (std::size_t r = 1; r < records.size(); ++r) {
        const QStringList& f = records[r];
        EXPECT_EQ(f.size(), 11) << f.join(QLatin1Char('|')).toStdString();
        if (f.size() == 11)
            rows[f[0]] = Row { f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10] };
    }
    return rows;
}

using MigrationReport = ConversionFixture;

TEST_F(MigrationReport, ListsEveryDocumentWithItsOutcomeAndTheReadBackAgreesWithTheRun)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& plain = db.document("Memo").text("Subject", "Budget, \"final\" version").text("Body", "ok");
    auto& broken = db.document("Memo")
                       .text("Subject", "Half readable")
                       .attachment("good.txt", "fine bytes")
                       .rawAttachment("broken.bin", "@@@ not base64 @@@", 12);
    auto& project = db.document("Memo").text("Subject", "Plan");
    auto& person = db.document("Person").text("FirstName", "Bo").text("LastName", "Yu").text("FullName", "Bo Yu");
    auto& group = db.document("Resource").text("FullName", "Room 4");
    auto& stray = db.document("Memo").text("Subject", "In no folder");
    auto& unreadable = db.document("Memo").rawItem("<item name='N'><number>many</number></item>");
    // Content the reader does not understand is counted; content it cannot read makes the
    // item incomplete.
    auto& odd = db.document("Memo")
                    .text("Subject", "Odd parts")
                    .rawItem("<item name='$Sig'><rawitemdata type='4'>AAAA</rawitemdata></item>")
                    .rawItem("<item name='$Sig2'><rawitemdata type='4'>AAAA</rawitemdata></item>")
                    .rawItem("<item name='Subject2'><rawitemdata type='502'>*not base64*</rawitemdata></item>");
    db.folder("($Inbox)").entries({ plain.noteId(), broken.noteId(), unreadable.noteId(), odd.noteId() });
    db.folder("Projects").entries({ project.noteId() });
    db.view("People").entries({ person.noteId(), group.noteId() });

    const QString pst = convert(db, true, { c().SaveOptionEmails, c().SaveOptionContacts });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), QStringLiteral("Export Incomplete")) << "an attachment did not arrive";
    const QString csvPath
        = QFileInfo(pst).path() + QLatin1Char('/') + QFileInfo(pst).completeBaseName() + QStringLiteral(".report.csv");
    const QString textPath
        = QFileInfo(pst).path() + QLatin1Char('/') + QFileInfo(pst).completeBaseName() + QStringLiteral(".report.txt");
    EXPECT_TRUE(ui.messages().back().text.endsWith(QStringLiteral("\nMigration Report : ") + textPath))
        << ui.messages().back().text.toStdString();
    EXPECT_TRUE(ui.messages().back().text.contains(QStringLiteral("broken.bin")))
        << ui.messages().back().text.toStdString();
    // The message whose attachment could not be read still arrives, with the one that could.
    const PstView v = read(pst);
    for (const char* reader : Readers)
        EXPECT_EQ(AttachmentsOf(v.item(reader, "Inbox", "Half readable")),
            QStringList({ AttachmentLine("good.txt", "fine bytes") }))
            << reader;
    EXPECT_EQ(tempLeftovers(), QStringList());

    QStringList header;
    const auto rows = readCsv(csvPath, header);
    EXPECT_EQ(header.join(QLatin1Char(',')),
        QStringLiteral("note_id,unid,form,subject,phase,view,outlook_folder,outcome,reason,placement,ignored_content"));
    auto row = [&](const auto& doc) {
        const auto it = rows.find(QString::fromStdString(doc.noteId()));
        return it == rows.end() ? Row {} : it->second;
    };
    EXPECT_EQ(rows.size(), 8u) << "one row for every document of the database";

    EXPECT_EQ(row(plain).outcome, "written");
    EXPECT_EQ(row(plain).subject, QStringLiteral("Budget, \"final\" version"));
    EXPECT_EQ(row(plain).folder, QStringLiteral("\\Inbox"));
    EXPECT_EQ(row(plain).phase, QStringLiteral("Inbox"));
    EXPECT_EQ(row(plain).view, QStringLiteral("($Inbox)"));
    EXPECT_EQ(row(plain).form, QStringLiteral("Memo"));
    EXPECT_EQ(row(plain).unid.size(), 32);

    EXPECT_EQ(row(broken).outcome, "incomplete");
    EXPECT_TRUE(row(broken).reason.contains(QStringLiteral("broken.bin"))) << row(broken).reason.toStdString();
    EXPECT_EQ(row(unreadable).outcome, "failed");
    EXPECT_TRUE(row(unreadable).reason.contains(QStringLiteral("\"many\" is not a number")))
        << row(unreadable).reason.toStdString();
    EXPECT_EQ(row(unreadable).folder, QString());
    EXPECT_EQ(row(odd).outcome, "incomplete");
    EXPECT_EQ(row(odd).ignored, QStringLiteral("2 raw item of type 0x4 ignored"));
    EXPECT_TRUE(row(odd).reason.contains(QStringLiteral("item Subject2: its raw data is not base64")))
        << row(odd).reason.toStdString();
    EXPECT_EQ(row(project).outcome, "written");
    EXPECT_EQ(row(project).folder, QStringLiteral("\\Projects"));
    EXPECT_EQ(row(person).outcome, "written");
    EXPECT_EQ(row(person).folder, QStringLiteral("\\Contacts"));
    EXPECT_EQ(row(person).subject, QStringLiteral("Bo Yu"));
    EXPECT_EQ(row(group).outcome, "skipped");
    EXPECT_EQ(row(group).reason, QStringLiteral("not written by the contacts phase (form \"Resource\")"));
    // Mail in no folder still arrives, in a folder of its own, and the report says why.
    EXPECT_EQ(row(stray).outcome, "written");
    EXPECT_EQ(row(stray).folder, QStringLiteral("\\All Documents"));
    EXPECT_EQ(row(stray).placement, QStringLiteral("in no exported folder or view of the database"));

    const QString summary = ReportOf(pst, "txt");
    EXPECT_TRUE(summary.contains(QStringLiteral("Documents: written 6, skipped 1, failed 1 (2 written incomplete)")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("  2 raw item of type 0x4 ignored, in 1 document(s)\n")))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("PST read back: 6 item(s) in ")))
        << "the read-back found every written item" << summary.toStdString();
    EXPECT_TRUE(summary.contains(QStringLiteral("0 folder(s) differ from what was written; 0 finding(s)")))
        << summary.toStdString();
}

TEST_F(MigrationReport, AStoppedRunListsWhatItLeftOutAndStillWritesTheReport)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    std::vector<std::string> inbox;
    for (int i = 0; i < 4; ++i)
        inbox.push_back(db.document("Memo").text("Subject", "in " + std::to_string(i)).noteId());
    db.folder("($Inbox)").entries(inbox);
    db.folder("($Sent)").entries({ db.document("Memo").text("Subject", "out").noteId() });
    onEvents = [this] {
        if (progress && progress->LblCurrent->text() == QStringLiteral("1/4") && progress->CmdStop->isEnabled())
            progress->CmdStop->click();
    };

    const QString pst = convert(db, true, { c().SaveOptionEmails });
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), QStringLiteral("Export Complete"));
    QStringList header;
    const auto rows = readCsv(pst.chopped(4) + QStringLiteral(".report.csv"), header);
    int written = 0, stopped = 0;
    for (const auto& [id, r] : rows) {
        written += r.outcome == QStringLiteral("written") ? 1 : 0;
        stopped += r.reason == QStringLiteral("the run was stopped before this document") ? 1 : 0;
    }
    EXPECT_EQ(written, 2);
    EXPECT_EQ(stopped, 3) << "two of the Inbox, one of Sent Items";
    const QString summary = ReportOf(pst, "txt");
    EXPECT_TRUE(summary.contains(QStringLiteral("Run: stopped by the user"))) << summary.toStdString();
}

// The database file deleted, cut short, written to or replaced between the scan and the
// export: the run says so, names the file, and writes no PST at all.
TEST_F(MigrationReport, ADatabaseThatChangedAfterTheScanIsNotExported)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& memo = db.document("Memo").text("Subject", "Hello");
    db.folder("($Inbox)").entries({ memo.noteId() });
    const std::pair<const char*, std::function<void(const QString&)>> changes[] = {
        { "the file is gone", [](const QString& path) { QFile::remove(path); } },
        { "its size changed", [](const QString& path) { QFile(path).resize(100); } },
        { "another file has taken its place",
            [](const QString& path) {
                const QString copy = path + QStringLiteral(".copy");
                QFile::copy(path, copy);
                QFile::remove(path);
                QFile::rename(copy, path);
            } },
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        afterScan = [&, change = change] { change(c().txtNotesDatabaseFile->text()); };
        EXPECT_EQ(convert(db, true, { c().SaveOptionEmails }), QString()) << "never a PST said to be complete";
        ASSERT_FALSE(ui.messages().empty());
        EXPECT_EQ(ui.messages().back().title, QStringLiteral("Database Changed"));
        EXPECT_TRUE(ui.messages().back().text.startsWith(
            QStringLiteral("The Notes database changed after it was scanned; nothing was exported.\n")
            + c().txtNotesDatabaseFile->text() + QStringLiteral("\n")))
            << ui.messages().back().text.toStdString();
        EXPECT_TRUE(ui.messages().back().text.contains(QLatin1String(what))) << ui.messages().back().text.toStdString();
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), QStringList()) << "no PST, no report";
    }
}

} // namespace
