#include "export/frm_save.h"

#include "automation/notes.h"
#include "automation/outlook.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/value_text.h"
#include "export/export_options.h"
#include "export/migration_report.h"
#include "export/unfiled_mail.h"
#include "names/name_resolver.h"
#include "notes/notes_reader.h"
#include "widgets/frm_main_controls.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <set>
#include <unistd.h>

namespace exporting {

using automation::AutomationError;
using common::DoEvents;
using common::Program;

namespace {
    // Where a failure, or a plain jump, takes the run. Each is a fixed later point of the run.
    enum class Landing {
        OutlookReport, // report that Outlook cannot be used; the run ends, the window stays
        NotesReport, // report that Notes cannot be used; the run ends, the window stays
        RunOver, // the run has ended (no Notes session, or the journal run's own ending)
        InboxEnd, // clear the Inbox list, then Sent Items
        SentEnd, // clear the Sent Items list, then Drafts
        CalendarGate,
        TasksGate,
        Finish,
    };
    using Routine = common::Routine<Landing>;

    // How often the set-up tries another PST file name when the chosen one is taken meanwhile.
    constexpr int MaxNameAttempts = 100;

    // For the length of a phase's document loop: tells the Notes client which documents the
    // phase will fetch, in order, so that it may read them while the writers work; takes that
    // back when the loop ends, however it ends. Only a hint: where the client cannot be asked,
    // nothing changes and each document is read when fetched.
    class ReadAheadNotice {
    public:
        ReadAheadNotice(const std::vector<QString>& noteIds, std::int32_t count, const std::string& databasePath)
        {
            std::vector<std::string> ids;
            for (std::size_t i = 0; i < noteIds.size() && static_cast<std::int64_t>(i) < count; ++i)
                ids.push_back(noteIds[i].toStdString());
            if (ids.empty())
                return;
            try {
                std::shared_ptr<automation::NotesSession> session;
                common::CreateNotesSession(session);
                if (session)
                    database_ = session->GetDatabase("", databasePath);
                if (database_)
                    database_->ReadAhead(ids);
            } catch (const AutomationError&) {
                database_.reset(); // the loop meets the failure again, document by document
            }
        }
        ~ReadAheadNotice()
        {
            if (database_)
                database_->ReadAhead({});
        }
        ReadAheadNotice(const ReadAheadNotice&) = delete;
        ReadAheadNotice& operator=(const ReadAheadNotice&) = delete;

    private:
        std::shared_ptr<automation::NotesDatabase> database_;
    };

    // Where the phases resume after a landing.
    enum class ResumeAt { Start, SentItems, Drafts, CalendarGate, TasksGate, Finish };

    template <class T> T& need(const std::shared_ptr<T>& object, const char* what)
    {
        if (!object)
            throw AutomationError(what, "", "the object is not set");
        return *object;
    }

    // While a run writes its PST, the file has a name that says it is unfinished; it gets its
    // own name when the run ends, however it ends. A killed run leaves the unfinished name.
    QString PartialPath(const QString& pst) { return pst + QStringLiteral(".partial"); }

    // Whether a file (or a link, even a broken one) already has that path.
    bool Exists(const QString& path)
    {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    }

    // Whether a PST name is taken: by a file of that name, an unfinished one, or the report of
    // one (the run writes its report under the PST's name).
    bool Taken(const QString& pst)
    {
        return Exists(pst) || Exists(PartialPath(pst)) || Exists(MigrationReport::csvPath(pst))
            || Exists(MigrationReport::textPath(pst));
    }

    // Renames from to to unless to exists; returns why it could not, or nothing.
    QString RenameNoReplace(const QString& from, const QString& to)
    {
        const QByteArray a = QFile::encodeName(from);
        const QByteArray b = QFile::encodeName(to);
        if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
            return QString();
        if (errno != EINVAL && errno != ENOSYS)
            return QString::fromLocal8Bit(std::strerror(errno));
        // A file system without RENAME_NOREPLACE: a hard link fails when the name is taken.
        if (::link(a.constData(), b.constData()) == 0) {
            ::unlink(a.constData());
            return QString();
        }
        return QString::fromLocal8Bit(std::strerror(errno));
    }

    // The PST file name of a run: the stem and ".pst", or, when that name is taken, the stem
    // with "-2", "-3", ... before ".pst".
    QString PstName(const QString& stem, int n)
    {
        return n < 2 ? stem + QStringLiteral(".pst")
                     : stem + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pst");
    }

    QString firstValue(const automation::NotesDocument& doc, const char* item)
    {
        return common::ValueText(doc.GetItemValue(item));
    }

    // Number to text with a sign position, as the progress window shows counts (" 12").
    QString countText(std::int32_t n) { return n < 0 ? QString::number(n) : QLatin1Char(' ') + QString::number(n); }

    // A standard phase: its view, the text of its progress header and its Redemption session.
    struct PhaseDef {
        Phase phase;
        const char* view;
        const char* header;
        bool newSession; // creates and logs on a session of its own
        bool yieldAfterLogon;
        bool logOff; // logs the session off at its end
        bool clearList; // clears the document list at its end
    };

    // The common phase pattern, per phase.
    constexpr PhaseDef Contacts { Phase::Contacts, "People", "Saving Contacts...", true, true, true, false };
    constexpr PhaseDef Inbox { Phase::Inbox, "($Inbox)", "Saving Emails (Inbox)...", true, true, false, true };
    constexpr PhaseDef SentItems { Phase::SentItems, "($Sent)", "Saving Emails (Sent Items)...", false, false, false,
        true };
    constexpr PhaseDef Drafts { Phase::Drafts, "($Drafts)", "Saving Emails (Drafts)...", false, false, false, true };
    constexpr PhaseDef DeletedItems { Phase::DeletedItems, "($Trash)", "Saving Emails (Deleted Items)...", false, false,
        true, true };
    constexpr PhaseDef CalendarPhase { Phase::Calendar, "($Calendar)", "Saving Calendar Entries...", true, true, true,
        true };
    constexpr PhaseDef TasksPhase { Phase::Tasks, "($ToDo)", "Saving Tasks Entries...", true, false, true, true };

    const char* PhaseName(Phase p)
    {
        switch (p) {
        case Phase::Journal:
            return "journal";
        case Phase::Contacts:
            return "contacts";
        case Phase::CustomFolders:
            return "custom folders";
        case Phase::Inbox:
            return "Inbox";
        case Phase::SentItems:
            return "Sent Items";
        case Phase::Drafts:
            return "Drafts";
        case Phase::DeletedItems:
            return "Deleted Items";
        case Phase::Calendar:
            return "calendar";
        case Phase::Tasks:
            return "tasks";
        }
        return "";
    }
} // namespace

// The conversion run. The failure rules, as armed along the run:
//
//   armed at                rule on any failure
//   set-up step 2           report Outlook; the run ends, the window stays open
//   set-up step 9           report Notes; the run ends, the window stays open (covers the
//                           Notes session and the whole journal phase)
//   start of phase 2        skip
//   start of phase 3        skip
//   start of phase 4        go to the end of phase 4: clear its list, then phase 5
//   start of phase 5        go to the end of phase 5: clear its list, then phase 6
//   start of phase 6        skip
//   start of phase 7        go to the calendar gate
//   calendar gate           go to the tasks gate
//   tasks gate              go to the finish
//
// A document that cannot be opened or read is skipped, reported on standard error with its
// note ID and view, and its phase goes on with the next document; the rules above govern
// everything else (the list, the sessions, the store).
struct frmSave::Run {
    frmSave& w;
    Routine r;
    std::map<Phase, DocumentWriter> writers;
    FolderMaker folderMaker;
    bool storeMade = false; // this run made its PST
    bool ended = false; // endRun has written the report
    bool unfiledDone = false; // the phase of mail in no exported folder has run
    std::set<QString> followUp; // note IDs in Notes' ($Follow-Up) folder
    std::map<QString, QString> placements; // note ID: why unfiled mail went where it went

    explicit Run(frmSave& window)
        : w(window)
    {
    }

    const widgets::frmMainControls& m() const { return w.main_; }

    // How the database file differs from the one the scan read, or empty text.
    QString databaseChange() const
    {
        const auto& g = Program();
        if (!g.ScannedStamp)
            return QString();
        return common::HowChanged(QString::fromStdString(databasePath()), *g.ScannedStamp);
    }
    std::string databasePath() const { return m().txtNotesDatabaseFile->text().toStdString(); }

    void conversion()
    {
        auto& g = Program();
        // The run reads the database file the scan read, or none: a file deleted, truncated or
        // replaced since then would give other documents than the scan listed.
        if (const QString changed = databaseChange(); !changed.isEmpty()) {
            w.CmdConversion->setEnabled(false);
            common::MsgBox(QStringLiteral("The Notes database changed after it was scanned; nothing was exported.\n%1\n"
                                          "%2.\nScan the database again, then start the export again.")
                               .arg(QString::fromStdString(databasePath()), changed),
                common::MsgButtons::Ok, common::MsgIcon::Warning, QStringLiteral("Database Changed"), &w);
            return;
        }
        w.LblSaveHeader->setText(QStringLiteral("Checking Outlook Configuration..."));
        w.LblProcessing->setText(QStringLiteral("Processing..."));
        w.LblFound->clear();
        w.LblCurrent->clear();
        w.LblSubject->hide();
        w.CmdConversion->setEnabled(false);
        w.CmdStop->setEnabled(true);

        r.onErrorGoTo(Landing::OutlookReport);
        if (r.run([&] { setUpStore(); })) {
            const QString report
                = endRun(QStringLiteral("ended: Outlook could not be used: ") + QString::fromStdString(r.lastError()));
            common::MsgBox(common::WithReason(QStringLiteral("Outlook is not INSTALLED or configured properly"),
                               QString::fromStdString(r.lastError()))
                    + report,
                common::MsgButtons::Ok, common::MsgIcon::Information,
                QStringLiteral("Outlook Not Installed/Configured"), &w);
            return;
        }

        r.onErrorGoTo(Landing::NotesReport);
        ResumeAt from = ResumeAt::Start;
        for (;;) {
            const auto landed = r.run([&] { phasesFrom(from); });
            if (!landed)
                return;
            switch (*landed) {
            case Landing::OutlookReport:
            case Landing::NotesReport: {
                const QString report
                    = endRun(QStringLiteral("ended: Notes failed: ") + QString::fromStdString(r.lastError()));
                common::MsgBox(
                    common::WithReason(notes::NotesReader::NotesErrorReport(), QString::fromStdString(r.lastError()))
                        + report,
                    common::MsgButtons::Ok, common::MsgIcon::Information,
                    QStringLiteral("Notes Not Installed/Configured"), &w);
                return;
            }
            case Landing::RunOver:
                if (!ended)
                    endRun(QStringLiteral("ended: no Notes session could be made"));
                return;
            case Landing::InboxEnd:
                g.DocIdList.clear();
                from = ResumeAt::SentItems;
                break;
            case Landing::SentEnd:
                g.DocIdList.clear();
                from = ResumeAt::Drafts;
                break;
            case Landing::CalendarGate:
                from = ResumeAt::CalendarGate;
                break;
            case Landing::TasksGate:
                from = ResumeAt::TasksGate;
                break;
            case Landing::Finish:
                from = ResumeAt::Finish;
                break;
            }
        }
    }

    // Set-up steps 3 to 8: the names, the store and its "Folders" folder.
    void setUpStore()
    {
        auto& g = Program();
        int major = 0;
        r.step([&] {
            w.RdoSession = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
            w.RdoSession->Logon();
            major = MajorVersion(QString::fromStdString(w.RdoSession->OutlookVersion()));
        });
        if (!g.SaveFolder.endsWith(QLatin1Char('/')))
            g.SaveFolder += QLatin1Char('/');

        const QDateTime now = common::Now();
        QString base = common::FileNameFromPath(m().txtNotesDatabaseFile->text().trimmed()).toLower();
        base.remove(QStringLiteral(".nsf"));
        base.remove(QStringLiteral(".dxl"));
        // Runs in the same second into the same folder would share a name: a name that is
        // taken gets a number, and no existing file is ever replaced.
        const QString stem = base + now.toString(QStringLiteral("dd-MM-yyyy-H-m-s"));
        int n = 1;
        auto nameFreeFile = [&] {
            while (Taken(g.SaveFolder + PstName(stem, n)))
                ++n;
            g.PstFileName = PstName(stem, n);
            g.PstFullPath = g.SaveFolder + g.PstFileName;
        };
        nameFreeFile();
        QString name = g.MailboxName;
        name.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
        g.MailboxName = name.trimmed() + QStringLiteral(" > (Date | Time) - ")
            + now.toString(QStringLiteral("dd-MM-yyyy")) + QStringLiteral(" | ")
            + now.toString(QStringLiteral("HH:mm:ss"));

        // ANSI for Outlook before 2003; otherwise the format the user chose.
        std::int16_t format = static_cast<std::int16_t>(automation::PstFormat::Ansi);
        if (major >= 11 && m().OptOutlookFormat2K3->isChecked() && !m().OptOutlookFormat2K->isChecked())
            format = static_cast<std::int16_t>(automation::PstFormat::Unicode);

        r.step([&] {
            auto stores = need(w.RdoSession, "RDOSession").Stores();
            std::shared_ptr<automation::RDOStore> store;
            for (int attempt = 1;; ++attempt) {
                try {
                    store = need(stores, "RDOStores")
                                .AddPSTStore(
                                    PartialPath(g.PstFullPath).toStdString(), format, g.MailboxName.toStdString());
                    break;
                } catch (const AutomationError&) {
                    // A failed creation leaves nothing at the path: a file there now is another
                    // program's, which took the name after it was chosen.
                    if (attempt >= MaxNameAttempts || !Taken(g.PstFullPath))
                        throw;
                    nameFreeFile();
                }
            }
            storeMade = store != nullptr;
            need(store, "RDOStore").IPMRootFolder()->Folders()->Add("Folders", 6);
            w.PstStoreId = QString::fromStdString(store->EntryID());
        });
        DoEvents();
        r.step([&] { need(w.RdoSession, "RDOSession").Logoff(); });
        w.RdoSession.reset();
    }

    void phasesFrom(ResumeAt from)
    {
        auto& g = Program();
        const bool emails = m().SaveOptionEmails->isChecked();
        switch (from) {
        case ResumeAt::Start:
            // Set-up step 9, under the Notes rule.
            g.NotesSession.reset();
            common::CreateNotesSession(g.NotesSession);
            if (!g.NotesSession)
                r.goTo(Landing::RunOver);
            DoEvents();
            w.LblSubject->show();

            if (g.IsJournalDatabase != 0) {
                journalPhase();
                r.goTo(Landing::RunOver);
            }
            // The names the database's own documents give, for the mail's senders and recipients
            // and the members of its groups: read when a name first needs them, through the
            // Notes session open then. A database that cannot be read leaves them unknown.
            w.Names->LearnDatabaseWhenNeeded([path = databasePath()](names::NameResolver& names) {
                try {
                    auto session = Program().NotesSession;
                    if (!session)
                        session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
                    names.LearnDatabase(*session->GetDatabase("", path));
                } catch (const AutomationError&) {
                }
            });
            if (m().SaveOptionContacts->isChecked() && g.ContactsFound != 0) {
                r.onErrorSkip();
                standardPhase(Contacts);
            }
            if (!emails) {
                r.onErrorGoTo(Landing::TasksGate);
                r.goTo(Landing::CalendarGate);
            }
            r.onErrorSkip();
            readFollowUp();
            customFoldersPhase();
            r.onErrorGoTo(Landing::InboxEnd);
            standardPhase(Inbox);
            [[fallthrough]];
        case ResumeAt::SentItems:
            r.onErrorGoTo(Landing::SentEnd);
            standardPhase(SentItems);
            [[fallthrough]];
        case ResumeAt::Drafts:
            r.onErrorSkip();
            standardPhase(Drafts);
            r.onErrorGoTo(Landing::CalendarGate);
            standardPhase(DeletedItems);
            [[fallthrough]];
        case ResumeAt::CalendarGate:
            if (emails && !unfiledDone && !w.StopRequested) {
                unfiledDone = true;
                r.onErrorGoTo(Landing::CalendarGate);
                unfiledMailPhase();
            }
            r.onErrorGoTo(Landing::TasksGate);
            if (m().SaveOptionCalendars->isChecked())
                standardPhase(CalendarPhase);
            [[fallthrough]];
        case ResumeAt::TasksGate:
            r.onErrorGoTo(Landing::Finish);
            if (m().SaveOptionToDo->isChecked())
                standardPhase(TasksPhase);
            [[fallthrough]];
        case ResumeAt::Finish:
            finish();
        }
    }

    // The common phase pattern: list the view, log on, then each document.
    void standardPhase(const PhaseDef& p)
    {
        auto& g = Program();
        g.ViewName = QLatin1String(p.view);
        w.LblSaveHeader->setText(QLatin1String(p.header));
        r.step([&] { w.NotesInitFolder(g.ViewName); });
        w.LblSaveHeader->setText(QLatin1String(p.header));
        if (p.phase == Phase::Contacts)
            DoEvents();
        // Sent Items, Drafts and Deleted Items share the Inbox phase's session. When the Inbox
        // phase ended before it made one, the first of them makes it, so that their mail is
        // still written.
        if (p.newSession || !w.RdoSession) {
            r.step([&] {
                w.RdoSession = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
                w.RdoSession->Logon();
            });
            if (p.yieldAfterLogon)
                DoEvents();
        }
        w.LblFound->setText(countText(g.DocIdCount));
        documents(p.phase);
        if (p.logOff) {
            logOff();
            w.RdoSession.reset();
        }
        if (p.clearList)
            g.DocIdList.clear();
    }

    // Phase 3: every folder of the user's own, listed and walked in name order.
    void customFoldersPhase()
    {
        auto& g = Program();
        w.LblSaveHeader->setText(QStringLiteral("Saving Emails (Custom Folders)..."));
        g.NotesSession.reset();
        common::CreateNotesSession(g.NotesSession);
        if (!g.NotesSession)
            r.goTo(Landing::RunOver);
        std::vector<std::shared_ptr<automation::NotesView>> views;
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            views = need(g.NotesDb, "NotesDatabase").Views();
        });
        std::vector<QString> names(std::min<std::size_t>(views.size(), 32767));
        std::int16_t count = 0;
        for (const auto& view : views) {
            QString name;
            r.step([&] { name = QString::fromStdString(view->Name()); });
            bool folder = false;
            if (!name.isEmpty() && name[0] != QLatin1Char('(') && count < static_cast<int>(names.size()))
                r.step([&] { folder = view->IsFolder(); });
            if (folder) {
                names[static_cast<std::size_t>(count++)] = name;
                DoEvents();
            }
        }
        g.NotesDb.reset();
        g.NotesSession.reset();
        if (count != 0) {
            common::QuickSortStrings(names, 0, static_cast<std::int16_t>(count - 1));
            DoEvents();
            common::RemoveDuplicateStrings(names);
            DoEvents();
        } else {
            names.clear();
        }
        r.step([&] {
            w.RdoSession = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
            w.RdoSession->Logon();
        });
        for (const QString& name : names) {
            if (folderMaker)
                r.step([&] { folderMaker(w, name); });
            g.ViewName = common::TrimBlanks(name);
            const QString header
                = QStringLiteral("Saving Emails (Custom Folders)... [") + g.ViewName + QLatin1Char(']');
            w.LblSaveHeader->setText(header);
            r.step([&] { w.NotesInitFolder(g.ViewName); });
            w.LblSaveHeader->setText(header);
            DoEvents();
            w.LblFound->setText(countText(g.DocIdCount));
            documents(Phase::CustomFolders);
            if (g.DocIdCount > 0)
                g.DocIdList.clear();
        }
        logOff();
        w.RdoSession.reset();
        DoEvents();
    }

    // The note IDs a view or folder lists.
    std::set<QString> noteIdsOf(const std::shared_ptr<automation::NotesView>& view)
    {
        std::set<QString> ids;
        if (!view)
            return ids;
        for (auto doc = view->GetFirstDocument(); doc; doc = view->GetNextDocument(*doc))
            ids.insert(QString::fromStdString(doc->NoteID()));
        return ids;
    }

    // Documents in Notes' ($Follow-Up) folder are flagged for follow-up wherever they arrive.
    void readFollowUp()
    {
        followUp.clear();
        try {
            auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
            const auto database = session->GetDatabase("", databasePath());
            followUp = noteIdsOf(need(database, "NotesDatabase").GetView("($Follow-Up)"));
        } catch (const AutomationError& e) {
            w.report_->problem(QStringLiteral("the folder ($Follow-Up) could not be read, so no item is flagged for "
                                              "follow-up: ")
                + QString::fromUtf8(e.what()));
        }
    }

    // Mail that no exported folder or view gave to a phase (a mend: the phases above export
    // the standard folders and the user's own folders only, so mail removed from every folder,
    // and all mail of an export without folder membership, would be lost). Each document goes
    // where PlaceUnfiledDocument says, and the report says why.
    void unfiledMailPhase()
    {
        auto& g = Program();
        w.LblSaveHeader->setText(QStringLiteral("Saving Emails (In No Folder)..."));
        g.NotesSession.reset();
        common::CreateNotesSession(g.NotesSession);
        if (!g.NotesSession)
            r.goTo(Landing::RunOver);
        std::vector<std::string> all;
        std::set<QString> junk;
        QString noMembership;
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            auto& db = need(g.NotesDb, "NotesDatabase");
            all = db.AllDocumentIDs();
            const auto inbox = db.GetView("($Inbox)");
            noMembership = inbox ? QString::fromStdString(inbox->MembershipUnknown())
                                 : QStringLiteral("the database has no folder ($Inbox)");
            junk = noteIdsOf(db.GetView("($JunkMail)"));
        });
        std::map<UnfiledTarget, std::vector<QString>> lists;
        std::vector<QString> unlooked;
        for (const auto& id : all)
            if (const QString noteId = QString::fromStdString(id); !w.report_->looked(noteId))
                unlooked.push_back(noteId);
        {
            const ReadAheadNotice readAhead(unlooked, static_cast<std::int32_t>(unlooked.size()), databasePath());
            for (const auto& noteId : unlooked) {
                const std::string id = noteId.toStdString();
                if (w.StopRequested)
                    break;
                try {
                    const auto doc = need(g.NotesDb, "NotesDatabase").GetDocumentByID(id);
                    const auto placement
                        = PlaceUnfiledDocument(need(doc, "NotesDocument"), junk.count(noteId) != 0, noMembership);
                    if (placement.target == UnfiledTarget::Left)
                        continue;
                    lists[placement.target].push_back(noteId);
                    placements[noteId] = placement.why;
                } catch (const AutomationError& e) {
                    w.report_->beginDocument(noteId, QStringLiteral("mail in no folder"), QString());
                    w.NoteNotWritten(
                        QStringLiteral("document %1 could not be read: %2").arg(noteId, QString::fromUtf8(e.what())));
                    w.report_->finishDocument(QString());
                }
                DoEvents();
            }
        }
        g.NotesDb.reset();
        g.NotesSession.reset();
        if (lists.empty())
            return;
        r.step([&] {
            w.RdoSession = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
            w.RdoSession->Logon();
        });
        for (auto& [target, ids] : lists) {
            Phase phase = Phase::CustomFolders;
            g.ViewName.clear();
            if (target == UnfiledTarget::Inbox)
                phase = Phase::Inbox;
            else if (target == UnfiledTarget::SentItems)
                phase = Phase::SentItems;
            else if (target == UnfiledTarget::Drafts)
                phase = Phase::Drafts;
            else
                g.ViewName = QLatin1String(target == UnfiledTarget::JunkMail ? JunkMailFolder : AllDocumentsFolder);
            if (phase == Phase::CustomFolders && folderMaker)
                r.step([&] { folderMaker(w, g.ViewName); });
            g.DocIdList = std::move(ids);
            g.DocIdCount = static_cast<std::int32_t>(g.DocIdList.size());
            w.LblFound->setText(countText(g.DocIdCount));
            documents(phase);
            g.DocIdList.clear();
        }
        logOff();
        w.RdoSession.reset();
        DoEvents();
    }

    // Logs the session off, which writes the store to disk: a store that cannot be written
    // loses what it holds since the last time, and the run's ending says so.
    void logOff()
    {
        r.step([&] {
            try {
                need(w.RdoSession, "RDOSession").Logoff();
            } catch (const AutomationError& e) {
                if (w.storeNotWritten_.isEmpty())
                    w.storeNotWritten_ = QString::fromUtf8(e.what());
                w.report_->problem(QStringLiteral("the PST file could not be written: ") + QString::fromUtf8(e.what()));
                throw;
            }
        });
    }

    // Step 5 of the phase pattern: each document of the list, until the list ends or the user
    // stops the run.
    void documents(Phase phase)
    {
        std::int32_t done = 0; // documents with a row in the report
        try {
            documentsFrom(phase, done);
        } catch (...) {
            // The phase ended after a failure (or the run did): the rest of its list is lost.
            unreached(phase, done,
                QStringLiteral("its phase ended after a failure: ") + QString::fromStdString(r.lastError()), true);
            throw;
        }
        unreached(phase, done, QStringLiteral("the run was stopped before this document"), false);
    }

    // Rows for the documents of the list from position from on that the phase did not reach.
    // Those a failure cost count as not written; those a stop left out are skipped.
    void unreached(Phase phase, std::int32_t from, const QString& reason, bool lost)
    {
        auto& g = Program();
        const auto end = std::min<std::size_t>(static_cast<std::size_t>(std::max(g.DocIdCount, 0)), g.DocIdList.size());
        for (auto j = static_cast<std::size_t>(std::max(from, 0)); j < end; ++j) {
            ReportRow row;
            row.noteId = g.DocIdList[j];
            row.phase = QLatin1String(PhaseName(phase));
            row.view = g.ViewName;
            row.outcome = lost ? Outcome::Failed : Outcome::Skipped;
            row.reason = reason;
            w.report_->add(std::move(row));
            if (lost)
                firstLoss(QStringLiteral("document %1 of view \"%2\" was not written: %3")
                              .arg(g.DocIdList[j], g.ViewName, reason));
        }
    }

    // Keeps the first reason an item was lost for the final message (the report has them all).
    void firstLoss(const QString& what)
    {
        if (w.firstNotWritten_.isEmpty())
            w.firstNotWritten_ = what;
    }

    // What the report shows of a document: its IDs, form and title.
    static void describe(ReportRow& row, const automation::NotesDocument& doc, Phase phase)
    {
        row.unid = QString::fromStdString(doc.UniversalID());
        row.form = firstValue(doc, "Form");
        row.subject = firstValue(doc, phase == Phase::Contacts ? "FullName" : "Subject");
    }

    // After the writer: what the reader left out of a document whose item was saved goes to
    // its row; content it could not read counts as not written, so the item is incomplete.
    void readerFindings(const automation::NotesDocument& doc)
    {
        if (!w.report_->currentSaved())
            return;
        for (const auto& [construct, count] : doc.IgnoredContent())
            w.report_->ignoredContent(QString::fromStdString(construct), count);
        for (const auto& line : doc.DamagedContent())
            w.NoteNotWritten(QStringLiteral("document %1: %2")
                                 .arg(QString::fromStdString(doc.NoteID()), QString::fromStdString(line)));
    }

    static QString notOfThePhase(Phase phase, const ReportRow* row)
    {
        return QStringLiteral("not written by the %1 phase (form \"%2\")")
            .arg(QLatin1String(PhaseName(phase)), row ? row->form : QString());
    }

    void documentsFrom(Phase phase, std::int32_t& done)
    {
        auto& g = Program();
        const ReadAheadNotice readAhead(g.DocIdList, g.DocIdCount, databasePath());
        for (std::int32_t i = 0; i < g.DocIdCount && !w.StopRequested; ++i) {
            g.NotesSession.reset();
            common::CreateNotesSession(g.NotesSession);
            if (!g.NotesSession)
                r.goTo(Landing::RunOver);
            const QString noteId = static_cast<std::size_t>(i) < g.DocIdList.size()
                ? g.DocIdList[static_cast<std::size_t>(i)]
                : QString();
            bool opened = false;
            w.report_->beginDocument(noteId, QLatin1String(PhaseName(phase)), g.ViewName);
            w.CurrentExtras = frmSave::ItemExtras {};
            w.CurrentExtras.followUp = followUp.count(noteId) != 0;
            if (auto placed = placements.find(noteId); placed != placements.end()) {
                w.report_->current()->view.clear();
                w.report_->current()->placement = placed->second;
            }
            try {
                g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
                g.NotesDoc = need(g.NotesDb, "NotesDatabase").GetDocumentByID(noteId.toStdString());
                describe(*w.report_->current(), need(g.NotesDoc, "NotesDocument"), phase);
                opened = true;
            } catch (const AutomationError& e) {
                const QString what
                    = QStringLiteral("document %1 of view \"%2\" (%3) could not be read: %4")
                          .arg(noteId, g.ViewName, QLatin1String(PhaseName(phase)), QString::fromUtf8(e.what()));
                std::cerr << "Skipped " << what.toStdString() << '\n';
                w.NoteNotWritten(what);
            }
            if (opened) {
                // A writer that lets a failure through meets the phase's rule; after the
                // first writer call every phase goes on under the skip rule.
                r.step([&] {
                    try {
                        writeDocument(phase, i);
                    } catch (const AutomationError& e) {
                        w.NoteNotWritten(QStringLiteral("document %1 of view \"%2\" was not written: %3")
                                             .arg(noteId, g.ViewName, QString::fromUtf8(e.what())));
                        w.report_->finishDocument(QString());
                        done = i + 1;
                        throw;
                    }
                });
                r.onErrorSkip();
                if (g.NotesDoc)
                    readerFindings(*g.NotesDoc);
            }
            w.report_->finishDocument(notOfThePhase(phase, w.report_->current()));
            done = i + 1;
            g.NotesDoc.reset();
            g.NotesDb.reset();
            g.NotesSession.reset();
            DoEvents();
        }
    }

    void writeDocument(Phase phase, std::int32_t i)
    {
        if (auto it = writers.find(phase); it != writers.end() && it->second) {
            it->second(w, phase, i);
            return;
        }
        // No writer yet: show what would be written.
        const auto& doc = *Program().NotesDoc;
        if (phase == Phase::Contacts) {
            if (firstValue(doc, "Form") != QLatin1String("Person"))
                return;
            w.ShowProgress(firstValue(doc, "FullName"), i);
            return;
        }
        w.ShowProgress(firstValue(doc, "Subject"), i);
    }

    // Phase 1: a personal journal database, exported on its own.
    void journalPhase()
    {
        auto& g = Program();
        g.ViewName = QStringLiteral("($All)");
        w.LblSaveHeader->setText(QStringLiteral("Saving Personal Journal Entries..."));
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            g.NotesView = need(g.NotesDb, "NotesDatabase").GetView(g.ViewName.toStdString());
            w.RdoSession = automation::CreateObjectAs<automation::RDOSession>("Redemption.RDOSession");
            w.RdoSession->Logon();
            g.NotesDoc = need(g.NotesView, "NotesView").GetFirstDocument();
        });
        if (g.NotesDoc) {
            auto count = [&] { return need(need(g.NotesView, "NotesView").AllEntries(), "entries").Count(); };
            std::int32_t total = 0;
            r.step([&] { total = count(); });
            w.LblFound->setText(countText(total));
            for (std::int32_t p = 0;; ++p) {
                r.step([&] { total = count(); });
                if (p >= total || w.StopRequested)
                    break;
                r.step([&] {
                    const auto& doc = need(g.NotesDoc, "NotesDocument");
                    w.report_->beginDocument(
                        QString::fromStdString(doc.NoteID()), QLatin1String(PhaseName(Phase::Journal)), g.ViewName);
                    describe(*w.report_->current(), doc, Phase::Journal);
                    if (firstValue(doc, "Form") == QLatin1String("JournalEntry")) {
                        w.LblProcessing->setText(firstValue(doc, "Subject"));
                        w.LblCurrent->setText(QString::number(p) + QLatin1Char('/') + QString::number(total));
                        if (auto it = writers.find(Phase::Journal); it != writers.end() && it->second)
                            it->second(w, Phase::Journal, p);
                    }
                    readerFindings(doc);
                    w.report_->finishDocument(notOfThePhase(Phase::Journal, w.report_->current()));
                    g.NotesDoc = need(g.NotesView, "NotesView").GetNextDocument(doc);
                });
            }
        }
        // The entries are read: a store that cannot be written now is no Notes failure, and
        // the ending says what was lost.
        r.onErrorSkip();
        logOff();
        w.RdoSession.reset();
        g.releaseNotes();
        const QString report = endRun(QString(), true);
        if (!reportNotWritten(g.PstFullPath + QLatin1Char('\n') + g.MailboxName + report))
            common::MsgBox(QStringLiteral("Journals Migration Completed Successfully !\n") + g.PstFullPath
                    + QLatin1Char('\n') + g.MailboxName + report,
                common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Export Complete"), &w);
        w.close();
    }

    void finish()
    {
        auto& g = Program();
        const QString report = endRun(QString(), true);
        if (!reportNotWritten(g.PstFullPath + QStringLiteral("\nOutlook Mailbox Name : ") + g.MailboxName + report))
            common::MsgBox(QStringLiteral("Migration Completed Successfully !\n") + g.PstFullPath
                    + QStringLiteral("\nOutlook Mailbox Name : ") + g.MailboxName + report,
                common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Export Complete"), &w);
        w.close();
        DoEvents();
    }

    // The end of every run that made its PST: the PST read back and compared with what was
    // written (after a run that got to its end), the documents no phase looked at, and the
    // report beside the PST. Returns the line the final message adds: where the report is.
    QString endRun(QString ending, bool readBack = false)
    {
        auto& g = Program();
        ended = true;
        w.report_->finishDocument(QString());
        // The report lies beside the PST: none when this run made no PST file.
        if (!storeMade || !QFileInfo::exists(PartialPath(g.PstFullPath)))
            return QString();
        if (readBack)
            readBackPst(PartialPath(g.PstFullPath));
        if (const QString changed = databaseChange(); !changed.isEmpty())
            w.NoteNotWritten(QStringLiteral("the Notes database changed during the export (%1): what was read "
                                            "after that may not be what the scan listed")
                                 .arg(changed));
        // The PST gets its own name whatever the outcome; the report says what it holds.
        if (const QString why = RenameNoReplace(PartialPath(g.PstFullPath), g.PstFullPath); !why.isEmpty()) {
            w.report_->problem(
                QStringLiteral("the PST file keeps its unfinished name %1: %2").arg(PartialPath(g.PstFullPath), why));
            g.PstFullPath = PartialPath(g.PstFullPath);
        }
        const std::int32_t unexported = listUnexported();
        if (ending.isEmpty()) {
            ending = w.StopRequested ? QStringLiteral("stopped by the user") : QStringLiteral("completed");
            if (w.ItemsNotWritten() != 0)
                ending += QStringLiteral(", %1 item(s) not written whole").arg(w.ItemsNotWritten());
        }
        w.report_->setEnding(ending);
        w.report_->setUnresolvedNames(w.Names->Unresolved());
        const QString problem
            = w.report_->write(g.PstFullPath, m().txtNotesDatabaseFile->text().trimmed(), g.MailboxName);
        if (!problem.isEmpty()) {
            std::cerr << "The migration report could not be written: " << problem.toStdString() << '\n';
            return QStringLiteral("\nThe migration report could not be written: ") + problem;
        }
        w.reportPath_ = MigrationReport::textPath(g.PstFullPath);
        // Documents no phase wrote are no failure of the run, but the user hears of them.
        const QString left = unexported == 0
            ? QString()
            : QStringLiteral(
                "\n%1 document(s) of the database were in no exported view or folder; the report lists them.")
                  .arg(unexported);
        return left + QStringLiteral("\nMigration Report : ") + w.reportPath_;
    }

    // Reads the PST back and counts its messages per folder against the items the run saved
    // there; a finding or a difference means the PST does not hold what the run wrote.
    void readBackPst(const QString& path)
    {
        std::shared_ptr<automation::PstFileCheck> check;
        try {
            check = automation::CreateObjectAs<automation::PstFileCheck>("Ferrymark.PstReadBack");
        } catch (const AutomationError&) {
            w.report_->setReadBack(QStringLiteral("not done: this Outlook offers no read-back"));
            return;
        }
        automation::PstReadBack back;
        try {
            back = check->ReadBack(path.toStdString());
        } catch (const AutomationError& e) {
            w.NoteNotWritten(QStringLiteral("the PST file could not be read back: ") + QString::fromUtf8(e.what()));
            w.report_->setReadBack(QStringLiteral("failed: ") + QString::fromUtf8(e.what()));
            return;
        }
        if (!back.writeProblem.empty()) {
            if (w.storeNotWritten_.isEmpty())
                w.storeNotWritten_ = QString::fromStdString(back.writeProblem);
            w.report_->problem(
                QStringLiteral("the PST file could not be written: ") + QString::fromStdString(back.writeProblem));
        }
        if (back.findingCount != 0)
            w.NoteNotWritten(
                QStringLiteral("the PST file read back breaks %1 rule(s) of the PST format, the first: %2")
                    .arg(back.findingCount)
                    .arg(back.findings.empty() ? QString() : QString::fromStdString(back.findings.front())));
        auto written = w.report_->savedByFolder();
        std::int64_t total = 0;
        int differ = 0;
        for (const auto& [path, n] : back.messagesByFolder) {
            const QString folder = QString::fromStdString(path);
            total += n;
            const auto it = written.find(folder);
            const std::int32_t expected = it == written.end() ? 0 : it->second;
            if (it != written.end())
                written.erase(it);
            const QString why = QStringLiteral("the PST holds %1 item(s) in %2 where the run wrote %3")
                                    .arg(n)
                                    .arg(folder)
                                    .arg(expected);
            if (n > expected) {
                ++differ;
                w.NoteNotWritten(why);
            } else if (n < expected) {
                ++differ;
                lost(folder, expected - n, why);
            }
        }
        for (const auto& [folder, n] : written) {
            ++differ;
            lost(folder, n, QStringLiteral("the PST has no folder %1").arg(folder));
        }
        w.report_->setReadBack(QStringLiteral("%1 item(s) in %2 folder(s); %3 folder(s) differ from what was written; "
                                              "%4 finding(s)")
                                   .arg(total)
                                   .arg(back.messagesByFolder.size())
                                   .arg(differ)
                                   .arg(back.findingCount));
    }

    // Items saved into folder that the PST does not hold (the file keeps what it held at its
    // last save point when a later write failed): each counts as not written, and the last ones
    // saved there are the ones lost.
    void lost(const QString& folder, std::int32_t count, const QString& why)
    {
        const QString reason = QStringLiteral("not in the PST when it was read back: ") + why;
        w.report_->markLost(folder, count, reason);
        firstLoss(reason);
        w.report_->problem(QStringLiteral("%1 item(s) lost: ").arg(count) + why);
    }

    // Rows for the documents of the database that no phase looked at.
    // Returns how many rows it added.
    std::int32_t listUnexported()
    {
        std::vector<std::string> all;
        try {
            auto session = automation::CreateObjectAs<automation::NotesSession>("Notes.NotesSession");
            const auto database = session->GetDatabase("", databasePath());
            all = need(database, "NotesDatabase").AllDocumentIDs();
            for (const auto& line : database->ReaderFindings())
                w.report_->databaseNote(QString::fromStdString(line));
            // Views and folders whose documents the reader could not tell: their documents
            // arrived by the rules for documents in no folder.
            for (const auto& view : database->Views())
                if (const std::string why = view ? view->MembershipUnknown() : std::string(); !why.empty())
                    w.report_->databaseNote(QString::fromStdString(why));
        } catch (const AutomationError& e) {
            w.report_->problem(
                QStringLiteral("the documents of the database could not be listed: ") + QString::fromUtf8(e.what()));
            return 0;
        }
        std::int32_t added = 0;
        for (const auto& id : all) {
            const QString noteId = QString::fromStdString(id);
            if (w.report_->looked(noteId))
                continue;
            ReportRow row;
            row.noteId = noteId;
            row.outcome = Outcome::Skipped;
            row.reason = QStringLiteral("in no view or folder this run exported");
            w.report_->add(std::move(row));
            ++added;
        }
        return added;
    }

    // A run that lost items never ends with the message of success: it says that the PST file
    // could not be written (and why), how many documents did not reach it whole and why the
    // first did not. Returns whether it reported.
    bool reportNotWritten(const QString& where)
    {
        const int items = w.ItemsNotWritten();
        if (items == 0 && w.storeNotWritten_.isEmpty() && w.report_->runProblems().empty())
            return false;
        QString text = QStringLiteral("Migration Completed with Errors !\n");
        if (!w.storeNotWritten_.isEmpty())
            text += QStringLiteral("The PST file could not be written; what was exported since it was last written is "
                                   "missing: %1\n")
                        .arg(w.storeNotWritten_);
        if (items > 0)
            text += QStringLiteral("%1 item(s) could not be written to the PST whole; the first: %2\n")
                        .arg(items)
                        .arg(w.firstNotWritten_);
        else if (w.storeNotWritten_.isEmpty())
            text += QStringLiteral("The PST file could not be written completely: %1\n").arg(w.firstNotWritten_);
        common::MsgBox(
            text + where, common::MsgButtons::Ok, common::MsgIcon::Warning, QStringLiteral("Export Incomplete"), &w);
        return true;
    }
};

frmSave::frmSave(QWidget* owner, const widgets::frmMainControls& mainWindow)
    : QDialog(owner)
    , Names(std::make_shared<names::NameResolver>())
    , report_(std::make_unique<MigrationReport>())
    , main_(mainWindow)
    , run_(std::make_unique<Run>(*this))
{
    setObjectName(QStringLiteral("frmSave"));
    setWindowTitle(QStringLiteral("Export to Outlook"));
    setModal(true);

    auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto* frame = named(new QGroupBox(QStringLiteral(" Export Progress Details"), this), "FraProgress");
    LblSaveHeader
        = named(new QLabel(QStringLiteral("Click Export to Outlook button to start conversion process..."), frame),
            "LblSaveHeader");
    LblSubject = named(new QLabel(QStringLiteral("Subject :"), frame), "LblSubject");
    LblProcessing = named(new QLabel(frame), "LblProcessing");
    LblFoundLabel = named(new QLabel(QStringLiteral("Found :"), frame), "LblFoundLabel");
    LblFound = named(new QLabel(frame), "LblFound");
    Label1 = named(new QLabel(QStringLiteral("Current :"), frame), "Label1");
    LblCurrent = named(new QLabel(frame), "LblCurrent");
    ImgReadingArrow = named(new QLabel(QStringLiteral("\u25B6"), frame), "ImgReadingArrow");
    CmdConversion = named(new QPushButton(QStringLiteral("&Export to Outlook"), this), "CmdConversion");
    CmdStop = named(new QPushButton(QStringLiteral("&Stop Conversion"), this), "CmdStop");
    CmdStop->setEnabled(false);
    LblProcessing->setMinimumWidth(360);
    LblSaveHeader->setWordWrap(true);

    auto* grid = new QGridLayout(frame);
    grid->addWidget(ImgReadingArrow, 0, 0);
    grid->addWidget(LblSaveHeader, 0, 1, 1, 3);
    grid->addWidget(LblSubject, 1, 0);
    grid->addWidget(LblProcessing, 1, 1, 1, 3);
    grid->addWidget(LblFoundLabel, 2, 0);
    grid->addWidget(LblFound, 2, 1);
    grid->addWidget(Label1, 2, 2);
    grid->addWidget(LblCurrent, 2, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdConversion);
    buttons->addWidget(CmdStop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(CmdConversion, &QPushButton::clicked, this, &frmSave::CmdConversion_Click);
    connect(CmdStop, &QPushButton::clicked, this, &frmSave::CmdStop_Click);
    Form_Load();
}

frmSave::~frmSave() = default;

void frmSave::Form_Load()
{
    StopRequested = false;
    firstNotWritten_.clear();
    *report_ = MigrationReport();
    reportPath_.clear();
    storeNotWritten_.clear();
}

void frmSave::CmdStop_Click() { StopRequested = true; }

void frmSave::CmdConversion_Click()
{
    // Whatever way the run ends, no file it extracted stays behind.
    struct RemoveTempFiles {
        ~RemoveTempFiles() { common::RemoveRunTempFolder(); }
    } removeTempFiles;
    run_->conversion();
}

void frmSave::setDocumentWriter(Phase phase, DocumentWriter writer) { run_->writers[phase] = std::move(writer); }

void frmSave::setFolderMaker(FolderMaker maker) { run_->folderMaker = std::move(maker); }

void frmSave::NoteNotWritten(const QString& what)
{
    if (firstNotWritten_.isEmpty())
        firstNotWritten_ = what;
    report_->problem(what);
}

void frmSave::NoteConversion(const QString& what)
{
    if (ReportRow* row = report_->current())
        row->placement += (row->placement.isEmpty() ? QString() : QStringLiteral("; ")) + what;
}

int frmSave::ItemsNotWritten() const { return report_->count(Outcome::Failed) + report_->count(Outcome::Incomplete); }

void frmSave::NoteItemSaved(const QString& folder) { report_->itemSaved(folder); }

QString frmSave::ReportSummary() const { return report_->summaryLine(); }

QString frmSave::DefaultFolderPath(std::int16_t folder)
{
    switch (static_cast<automation::OlDefaultFolder>(folder)) {
    case automation::OlDefaultFolder::DeletedItems:
        return QStringLiteral("\\Deleted Items");
    case automation::OlDefaultFolder::SentMail:
        return QStringLiteral("\\Sent Items");
    case automation::OlDefaultFolder::Inbox:
        return QStringLiteral("\\Inbox");
    case automation::OlDefaultFolder::Calendar:
        return QStringLiteral("\\Calendar");
    case automation::OlDefaultFolder::Contacts:
        return QStringLiteral("\\Contacts");
    case automation::OlDefaultFolder::Notes:
        return QStringLiteral("\\Notes");
    case automation::OlDefaultFolder::Tasks:
        return QStringLiteral("\\Tasks");
    case automation::OlDefaultFolder::Drafts:
        return QStringLiteral("\\Drafts");
    }
    return QStringLiteral("\\folder %1").arg(folder);
}

void frmSave::ShowProgress(const QString& title, std::int32_t i)
{
    LblProcessing->setText(title);
    LblCurrent->setText(QString::number(i) + QLatin1Char('/') + QString::number(Program().DocIdCount));
}

void frmSave::NotesInitFolder(const QString& FldName)
{
    auto& g = Program();
    g.DocIdCount = 0;
    g.NotesSession.reset();
    common::CreateNotesSession(g.NotesSession);
    if (!g.NotesSession)
        return;
    g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", main_.txtNotesDatabaseFile->text().toStdString());
    g.NotesView = g.NotesDb->GetView(FldName.toStdString());
    if (g.NotesView) {
        g.NotesDoc = g.NotesView->GetFirstDocument();
        g.DocIdCount = need(g.NotesView->AllEntries(), "NotesViewEntryCollection").Count();
    }
    if (g.DocIdCount > 0)
        g.DocIdList.assign(static_cast<std::size_t>(g.DocIdCount), QString());
    for (std::int32_t i = 0; i < g.DocIdCount;) {
        g.DocIdList[static_cast<std::size_t>(i)] = QString::fromStdString(need(g.NotesDoc, "NotesDocument").NoteID());
        ++i;
        LblSaveHeader->setText(QStringLiteral("Creating List for Exporting ") + QString::number(i)
            + QStringLiteral(" from ") + QString::number(g.DocIdCount));
        DoEvents();
        g.NotesDoc = g.NotesView->GetNextDocument(*g.NotesDoc);
    }
    g.releaseNotes();
}

} // namespace exporting
