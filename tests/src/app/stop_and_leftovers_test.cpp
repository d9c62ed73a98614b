// SIGINT and SIGTERM end a run as the stop button does, in the window (in this process,
// through the event loop) and in ferrymark-convert (a child process): the PST is valid, the
// report is written, no temporary folder stays. A killed run's folders go with the next run;
// other users' folders and those of live processes stay.
#include "conversion_fixture.h"

#include "../../support/hostile_user.h"

#include "common/stop_signals.h"
#include "export/stop_on_signal.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

// A mail database of n Inbox messages, each with a small attachment.
dxl::DatabaseBuilder inbox(int n)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    std::vector<std::string> ids;
    for (int i = 0; i < n; ++i)
        ids.push_back(db.document("Memo")
                          .text("Subject", "message " + std::to_string(i))
                          .names("From", { "CN=Bo Yu/O=Acme" })
                          .attachment("note.txt", std::string(3000, static_cast<char>('a' + i % 26)))
                          .noteId());
    db.folder("($Inbox)").entries(ids);
    return db;
}

// Sorted by name.
QStringList ferrymarkFolders(const QString& tmp) { return QDir(tmp).entryList({ QStringLiteral("ferrymark-*") }); }

using WindowSignals = ConversionFixture;

TEST_F(WindowSignals, SigtermDuringARunStopsItLikeTheStopButton)
{
    ASSERT_TRUE(common::CatchStopSignals());
    exporting::WatchStopSignals(QCoreApplication::instance());
    bool raised = false;
    onEvents = [&] {
        if (!raised && progress && progress->LblSaveHeader->text() == QStringLiteral("Saving Emails (Inbox)...")
            && progress->LblCurrent->text() == QStringLiteral("1/5")) {
            raised = true;
            ::raise(SIGTERM);
            QCoreApplication::processEvents(); // the window program's DoEvents
        }
    };
    const QString pst = convert(inbox(5), true, { c().SaveOptionEmails });
    ASSERT_TRUE(raised);
    EXPECT_EQ(common::StopSignalReceived(), SIGTERM);
    ASSERT_FALSE(pst.isEmpty());
    EXPECT_EQ(endTitle(), "Export Complete");
    const PstView v = read(pst);
    EXPECT_EQ(v.subjects("pypff", "Inbox"), QStringList({ "message 0", "message 1" }));
    EXPECT_TRUE(ReportOf(pst, "txt").contains(QStringLiteral("stopped by the user")));
    EXPECT_EQ(tempLeftovers(), QStringList());
}

class ConvertProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        QDir(scratch.path()).mkpath(QStringLiteral("tmp"));
        QDir(scratch.path()).mkpath(QStringLiteral("out"));
    }
    QString tmp() const { return scratch.path() + QStringLiteral("/tmp"); }
    QString outFolder() const { return scratch.path() + QStringLiteral("/out"); }

    // Starts the program with its own TMPDIR and profile; the converter on the database.
    void start(QProcess& p, const QString& program, QStringList args = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp());
        env.insert(QStringLiteral("FERRYMARK_PROFILE"), scratch.path() + QStringLiteral("/profile"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.path()); // not Qt's default in TMPDIR
        p.setProcessEnvironment(env);
        p.start(program, args);
        ASSERT_TRUE(p.waitForStarted());
    }
    void start(QProcess& p, const dxl::DatabaseBuilder& db, const QString& name)
    {
        const std::string file = db.write((scratch.path() + '/' + name).toStdString());
        start(p, QStringLiteral(FERRYMARK_CONVERT_TOOL),
            { QStringLiteral("--out"), outFolder(), QString::fromStdString(file) });
    }
    // Waits until the run writes messages (and, for a signal after it, has written a few).
    bool waitForMessages(QProcess& p, QByteArray& out)
    {
        while (p.state() == QProcess::Running && !out.contains("Saving Emails (Inbox)")) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        return out.contains("Saving Emails (Inbox)") && p.state() == QProcess::Running;
    }

    QTemporaryDir scratch;
};

TEST_F(ConvertProcess, SigtermStopsTheRunWithAValidPstAReportAndNoTemporaryFolder)
{
    QProcess p;
    start(p, inbox(1500), QStringLiteral("signal.dxl"));
    QByteArray out;
    ASSERT_TRUE(waitForMessages(p, out)) << out.toStdString();
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(60000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 128 + SIGTERM) << out.toStdString() << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("stopped by signal 15")) << out.toStdString();
    const auto written = QRegularExpression(QStringLiteral("written (\\d+), skipped")).match(QString::fromUtf8(out));
    EXPECT_LT(written.captured(1).toInt(), 1500) << out.toStdString();

    const QStringList psts = QDir(outFolder()).entryList({ QStringLiteral("*.pst"), QStringLiteral("*.report.csv") });
    ASSERT_EQ(psts.size(), 2);
    QProcess verify;
    verify.start(QStringLiteral(FERRYMARK_VERIFY_TOOL), { outFolder() + '/' + psts.filter(".pst").front() });
    ASSERT_TRUE(verify.waitForFinished(60000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().toStdString();
    EXPECT_EQ(QDir(tmp()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST_F(ConvertProcess, TheWindowProgramEndsOnSigintWhileIdle)
{
    QProcess p;
    start(p, QStringLiteral(FERRYMARK_WINDOW_TOOL));
    QThread::msleep(1500); // its windows are up
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 128 + SIGINT) << p.readAllStandardError().toStdString();
}

TEST_F(ConvertProcess, AKilledRunsFoldersGoWithTheNextRunAndOthersStay)
{
    QProcess killed;
    start(killed, inbox(1500), QStringLiteral("killed.dxl"));
    QByteArray out;
    ASSERT_TRUE(waitForMessages(killed, out)) << out.toStdString();
    // Killed while its temporary folder is there (from the first attachment to the end).
    for (int i = 0; i < 2000 && ferrymarkFolders(tmp()).isEmpty() && killed.state() == QProcess::Running; ++i)
        QThread::msleep(5);
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(60000));
    ASSERT_FALSE(ferrymarkFolders(tmp()).isEmpty()) << "the killed run left no temporary folder";

    // A folder of a process still running (this one), and another user's of a process gone.
    const QString live = QStringLiteral("ferrymark-%1-0-liveXX").arg(::getpid());
    ASSERT_TRUE(QDir(tmp()).mkdir(live));
    QFile::setPermissions(tmp() + '/' + live, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const testing_support::HostileUser other;
    testing_support::HostileUser::shareLikeTmp(tmp().toStdString());
    const QString foreign = QStringLiteral("ferrymark-999999999-1-foreig");
    const bool planted = other.other && other.run(("mkdir -m 700 " + tmp() + '/' + foreign).toStdString());

    QProcess next;
    start(next, inbox(1), QStringLiteral("next.dxl"));
    ASSERT_TRUE(next.waitForFinished(60000));
    EXPECT_EQ(next.exitCode(), 0) << next.readAllStandardOutput().toStdString()
                                  << next.readAllStandardError().toStdString();
    EXPECT_EQ(ferrymarkFolders(tmp()), planted ? QStringList({ live, foreign }) : QStringList({ live }));
}

// The converter's names options: a names file with a bad line stops the database before
// anything is written; with a good one and the rule, readpst's From: and To: headers and
// pypff show the resolved people.
TEST_F(ConvertProcess, NamesOptionsResolvePeopleOrStopBeforeAnythingIsWritten)
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    const auto& memo = db.document("Memo")
                           .text("Subject", "Names")
                           .names("From", { "CN=Bo Yu/O=Acme" })
                           .names("SendTo", { "CN=Ann Lee/O=Acme", "Madonna" });
    db.folder("($Inbox)").entries({ memo.noteId() });
    const QString database = QString::fromStdString(db.write((scratch.path() + "/names.dxl").toStdString()));
    const QString csv = scratch.path() + QStringLiteral("/names.csv");
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("CN=Bo Yu/O=Acme,bo@acme.example,Bo Yu\nAnn Lee/Acme\n");
    f.close();
    auto convert = [&](const QStringList& options) {
        QProcess p;
        start(p, QStringLiteral(FERRYMARK_CONVERT_TOOL),
            options + QStringList { QStringLiteral("--out"), outFolder(), database });
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    const auto [failed, said] = convert({ QStringLiteral("--names-csv"), csv });
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(said.contains(QStringLiteral("error: ")) && said.contains(QStringLiteral("malformed line 2")))
        << said.toStdString();
    EXPECT_EQ(QDir(outFolder()).entryList(QDir::Files), QStringList());

    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("CN=Bo Yu/O=Acme,bo@acme.example,Bo Yu\n");
    f.close();
    const auto [status, out] = convert({ QStringLiteral("--names-csv"), csv, QStringLiteral("--address-rule"),
        QStringLiteral("{first}.{last}@acme.example") });
    ASSERT_EQ(status, 0) << out.toStdString();
    const QString pst = out.trimmed().section(QLatin1Char('\n'), -1);
    const QJsonObject json = ReadersJson(pst);
    for (const char* reader : { "pypff", "readpst" }) {
        SCOPED_TRACE(reader);
        QJsonObject item;
        for (const auto& folder : json.value(QLatin1String(reader)).toObject().value("folders").toArray())
            if (folder.toObject().value("path").toString().endsWith(QLatin1String("/Inbox")))
                item = folder.toObject().value("items").toArray().first().toObject();
        EXPECT_EQ(item.value("sender_name").toString(), "Bo Yu");
        EXPECT_EQ(item.value("sender_email").toString(), "bo@acme.example");
        EXPECT_EQ(Names(item.value("to")), QStringList({ "Ann Lee", "Madonna" }));
    }
}

} // namespace
