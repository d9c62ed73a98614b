#include "notes/notes_reader.h"

#include "automation/notes.h"
#include "common/failure_rule.h"
#include "common/global.h"
#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/value_text.h"
#include "common/vendor.h"
#include "widgets/folder_tree.h"
#include "widgets/frm_main_controls.h"
#include "widgets/image_list.h"
#include "widgets/preview_list.h"
#include "widgets/tab_strip.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <functional>

namespace notes {

using automation::AutomationError;
using automation::NotesDocument;
using common::DoEvents;
using common::Program;
using common::Routine;

namespace {
    // A Notes object the routine relies on; one that has been released (by another listing
    // that ran during a yield) fails like a call on nothing.
    template <class T> T& need(const std::shared_ptr<T>& object, const char* what)
    {
        if (!object)
            throw AutomationError(what, "", "the object is not set");
        return *object;
    }

    QString itemText(const NotesDocument& doc, const char* item) { return common::ValueText(doc.GetItemValue(item)); }

    // Failures end a routine at one fixed point.
    enum class Exit { End };

    constexpr std::int16_t ReadingTab = 1;

    QString fromStd(const std::string& s) { return QString::fromStdString(s); }
} // namespace

NotesReader::NotesReader(QWidget* owner, const widgets::frmMainControls& controls)
    : owner_(owner)
    , c_(controls)
{
}

std::string NotesReader::databasePath() const { return c_.txtNotesDatabaseFile->text().toStdString(); }

QString NotesReader::NotesErrorReport()
{
    return QStringList {
        QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."),
        QString(),
        QStringLiteral("If Lotus Notes is installed and configured properly and you still get this error message"),
        QStringLiteral("then make sure your Lotus Notes Client is configured as stand alone client (does not look for "
                       "Domino)."),
        QStringLiteral("It is RECOMMENDED that you install a Notes Client on a fresh disk to perform the conversion."),
        QStringLiteral("Please contact our technical team at ") + common::SupportEmail
            + QStringLiteral(" for further assistance."),
        QString(),
        QStringLiteral("Make sure you logged in under same user account through which Notes is installed."),
    }
        .join(QLatin1Char('\n'));
}

QString NotesReader::SamplesFolder()
{
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/samples");
    if (QDir(besideProgram).exists())
        return besideProgram;
#ifdef FERRYMARK_SAMPLES_DIR
    return QStringLiteral(FERRYMARK_SAMPLES_DIR);
#else
    return QDir::homePath();
#endif
}

void NotesReader::hideArrows()
{
    for (QLabel* arrow : { c_.ImgReadingArrow, c_.ImgEmailsArrow, c_.ImgCalendarsArrow, c_.ImgContactsArrow,
             c_.ImgToDoListArrow, c_.ImgJournalsArrow })
        arrow->hide();
}

void NotesReader::clearPreviews()
{
    c_.ContactsTreeView->clear();
    for (widgets::PreviewList* list : { c_.MailList, c_.CalendarList, c_.ContactList, c_.ToDoList, c_.JournalList })
        list->clear();
}

void NotesReader::disarmExport()
{
    Program().ScannedDatabase.clear();
    Program().ScannedStamp.reset();
    c_.NotesTab->enableTab(7, false);
    c_.NotesToolBarButtons[3]->setEnabled(false);
}

void NotesReader::CmdBrowse_Click()
{
    common::FileDialogRequest request;
    request.owner = owner_;
    request.title = QStringLiteral("Select Lotus Notes Database");
    request.startFolder = SamplesFolder();
    request.filter = QStringLiteral("Notes Database (*.nsf);;Notes DXL Export (*.dxl)");
    c_.txtNotesDatabaseFile->setText(common::seams().openFile(request));

    // What was scanned before belongs to another database (or to none): its previews go, and
    // Export waits for a scan of the new one.
    clearPreviews();
    disarmExport();
    c_.NotesTab->enableTab(2, false);
    c_.NotesTab->enableTab(3, true);
    c_.NotesTab->enableTab(4, true);
    c_.NotesTab->enableTab(5, false);
    c_.NotesTab->enableTab(6, false);
    hideArrows();
    if (c_.txtNotesDatabaseFile->text().isEmpty())
        c_.ScanFrame->hide();
}

void NotesReader::CmdScan_Click()
{
    auto& g = Program();
    g.ContactsFound = 0;
    g.IsJournalDatabase = 0;

    if (c_.NotesTab->selectedTab() != ReadingTab) {
        common::MsgBox(QStringLiteral("Please select a Notes database and click Start Scan to proceed."),
            common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Select Notes Database"), owner_);
        c_.NotesTab->selectTab(ReadingTab);
        c_.CmdBrowse->setEnabled(true);
        return;
    }

    // Until this scan has read the database to its end, there is nothing to export.
    disarmExport();
    const std::string path = databasePath();
    if (!path.empty()) {
        c_.ImgReadingArrow->show();
        c_.ScanFrame->show();

        enum class Label { NotesError };
        Routine<Label> r;
        bool scanEnded = false;
        r.onErrorGoTo(Label::NotesError);
        const auto landed = r.run([&] {
            g.NotesSession.reset();
            common::CreateNotesSession(g.NotesSession);
            if (!g.NotesSession) {
                scanEnded = true;
                return;
            }
            DoEvents();
            EmailTreeFill();
            DoEvents();

            r.step([&] {
                g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", path);
                g.MailboxName = fromStd(need(g.NotesDb, "NotesDatabase").Title());
            });
            int type = 0;
            r.step([&] { type = need(g.NotesDb, "NotesDatabase").Type(); });
            if (type == 11) {
                g.IsJournalDatabase = 1;
                return;
            }

            c_.SaveOptionContacts->setEnabled(true);
            std::vector<std::shared_ptr<automation::NotesView>> views;
            r.step([&] { views = need(g.NotesDb, "NotesDatabase").Views(); });
            // An export of documents without the design (a single note, say) has no views but
            // is no empty database: its mail is placed by its own fields when it is exported.
            bool documents = false;
            if (views.empty())
                r.step([&] { documents = !need(g.NotesDb, "NotesDatabase").AllDocumentIDs().empty(); });
            if (views.empty() && documents)
                return;
            if (views.empty()) {
                common::MsgBox(QStringLiteral("No Data Found in NSF file or NSF file is encrypted"),
                    common::MsgButtons::Ok, common::MsgIcon::None, common::ApplicationTitle, owner_);
                c_.ScanFrame->hide();
                g.NotesDb.reset();
                g.NotesSession.reset();
                scanEnded = true;
                return;
            }

            // Folder names. Lists hold at most 32,767 names, as their 16-bit positions allow.
            std::vector<QString> names(std::min<std::size_t>(views.size(), 32767));
            std::int16_t count = 0;
            r.onErrorSkip();
            for (const auto& view : views) {
                QString name;
                r.step([&] { name = fromStd(need(view, "NotesView").Name()); });
                if (!name.isEmpty() && name[0] != QLatin1Char('(') && count < static_cast<int>(names.size())) {
                    bool isFolder = false;
                    r.step([&] { isFolder = view->IsFolder(); });
                    if (isFolder)
                        names[static_cast<std::size_t>(count++)] = name;
                }
                DoEvents();
            }
            if (count == 0)
                return;
            common::QuickSortStrings(names, 0, static_cast<std::int16_t>(count - 1));
            DoEvents();
            common::RemoveDuplicateStrings(names);
            DoEvents();

            for (const QString& name : names) {
                const std::int32_t n = CountEmails(common::TrimBlanks(name));
                const QStringList parts = name.split(QLatin1Char('\\'));
                const QString countText = QStringLiteral(" (") + QString::number(n) + QLatin1Char(')');
                QString key;
                if (parts.size() >= 2) {
                    key = parts.last();
                    if (!c_.ContactsTreeView->addNode(parts[parts.size() - 2], key, key + countText, 70))
                        key.clear();
                } else {
                    key = name;
                    if (!c_.ContactsTreeView->addNode(QStringLiteral("Folders"), key, name + countText, 70))
                        key.clear();
                }
                if (!key.isEmpty()) {
                    c_.ContactsTreeView->setTag(key, common::TrimBlanks(name));
                    c_.ContactsTreeView->setBold(key, n > 0);
                }
                DoEvents();
            }
        });
        if (landed) {
            // The report says what is usually wrong; the reason says what was.
            common::MsgBox(common::WithReason(NotesErrorReport(), QString::fromStdString(r.lastError())),
                common::MsgButtons::Ok, common::MsgIcon::Information, QStringLiteral("Notes Not Installed/Configured"),
                owner_);
            return;
        }
        if (scanEnded)
            return;
    }

    g.NotesDb.reset();
    g.NotesSession.reset();

    EnumerateCalendars(QStringLiteral("($Calendar)"));
    DoEvents();
    EnumerateContacts(QStringLiteral("Contacts"));
    DoEvents();
    EnumerateToDoList(QStringLiteral("($ToDo)"));
    DoEvents();
    if (g.IsJournalDatabase == 1) {
        EnumerateJournals();
        DoEvents();
    }

    common::MsgBox(QStringLiteral("Notes Database Scan Completed Successfully"), common::MsgButtons::Ok,
        common::MsgIcon::Information, QStringLiteral("Scan Completed..."), owner_);

    for (std::int16_t tab : { 2, 3, 4, 5 })
        c_.NotesTab->enableTab(tab, true);
    // Export is armed for the database just read; a scan without a path read none.
    if (!path.empty()) {
        g.ScannedDatabase = QString::fromStdString(path);
        g.ScannedStamp = common::StampOf(g.ScannedDatabase);
        c_.NotesToolBarButtons[3]->setEnabled(true);
        c_.NotesTab->enableTab(7, true);
    }
    c_.NotesTab->enableTab(6, false);
    c_.NotesTab->selectTab(2);
    for (QCheckBox* box : { c_.SaveOptionEmails, c_.SaveOptionCalendars, c_.SaveOptionToDo, c_.SaveOptionContacts })
        box->setEnabled(true);
    c_.SaveOptionJournals->setEnabled(false);

    if (g.IsJournalDatabase == 1) {
        c_.NotesTab->enableTab(2, false);
        c_.NotesTab->enableTab(3, true);
        c_.NotesTab->enableTab(4, true);
        c_.NotesTab->enableTab(5, false);
        c_.NotesTab->enableTab(6, true);
        c_.NotesTab->selectTab(6);
        c_.SaveOptionJournals->setEnabled(true);
    }
}

std::int32_t NotesReader::CountEmails(const QString& FolderName)
{
    auto& g = Program();
    Routine<Exit> r;
    r.onErrorGoTo(Exit::End);
    std::int32_t count = 0;
    const auto landed = r.run([&] {
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            g.NotesView = g.NotesDb->GetView(FolderName.toStdString());
            count = need(need(g.NotesView, "NotesView").AllEntries(), "NotesViewEntryCollection").Count();
        });
        g.NotesView.reset();
        g.NotesDb.reset();
    });
    return landed ? 0 : count;
}

void NotesReader::EmailTreeFill()
{
    auto& g = Program();
    auto* tree = c_.ContactsTreeView;
    tree->clear();
    c_.ImgEmailsArrow->show();
    common::Wait(10);
    tree->setImageList(c_.SmallIcons);

    g.InboxCount = CountEmails(QStringLiteral("($Inbox)"));
    g.DraftsCount = CountEmails(QStringLiteral("($Drafts)"));
    g.SentCount = CountEmails(QStringLiteral("($Sent)"));
    g.FollowUpCount = CountEmails(QStringLiteral("($Follow-Up)"));
    g.JunkMailCount = CountEmails(QStringLiteral("($JunkMail)"));
    g.TrashCount = CountEmails(QStringLiteral("($Trash)"));

    const QString root = QStringLiteral("Lotus Notes Address Book");
    tree->addNode(QString(), root, QStringLiteral("Notes Email Database"), 0);
    tree->setBold(root, true);
    struct Standard {
        const char* key;
        const char* caption;
        int picture;
        std::int32_t count;
    };
    const Standard standard[] = {
        { "Inbox", "Inbox", 67, g.InboxCount },
        { "Drafts", "Drafts", 65, g.DraftsCount },
        { "Sent", "Sent", 69, g.SentCount },
        { "Follow-Up", "Follow Up", 71, g.FollowUpCount },
        { "JunkMail", "Junk Mail", 68, g.JunkMailCount },
        { "Trash", "Trash", 66, g.TrashCount },
    };
    for (const auto& s : standard) {
        const QString key = QLatin1String(s.key);
        tree->addNode(
            root, key, QLatin1String(s.caption) + QStringLiteral(" (") + QString::number(s.count) + ')', s.picture);
        tree->setBold(key, s.count > 0);
        tree->setTag(key, key);
    }
    tree->addNode(root, QStringLiteral("Folders"), QStringLiteral("Folders"), 70);
    tree->setTag(QStringLiteral("Folders"), QStringLiteral("Folders"));
    tree->expandAll();
}

void NotesReader::ContactsTreeView_Click()
{
    const auto selected = c_.ContactsTreeView->selectedNode();
    const QString tag = selected ? selected->tag : QString();
    c_.MailList->clear();
    static const QStringList standard { QStringLiteral("Sent"), QStringLiteral("Inbox"), QStringLiteral("JunkMail"),
        QStringLiteral("Drafts"), QStringLiteral("Follow-Up"), QStringLiteral("Trash") };
    if (standard.contains(tag))
        EnumerateEmails(QStringLiteral("($") + tag + QLatin1Char(')'));
    else
        EnumerateEmails(tag);
}

void NotesReader::EnumerateEmails(const QString& viewName)
{
    auto& g = Program();
    // Which items show the sender or recipient and the date, by view.
    const char* nameItem = "SendTo";
    const char* dateItem = "PostedDate";
    if (viewName == QLatin1String("($Inbox)")) {
        nameItem = "From";
    } else if (viewName == QLatin1String("($Drafts)")) {
        dateItem = "$Revisions";
    } else if (viewName == QLatin1String("($JunkMail)")) {
        nameItem = "From";
        dateItem = "DeliveredDate";
    }

    Routine<Exit> r;
    r.onErrorGoTo(Exit::End);
    r.run([&] {
        c_.ImgEmailsArrow->show();
        common::Wait(10);
        c_.MailList->clear();
        c_.MailList->setImageList(c_.SmallIcons);
        g.NotesSession.reset();
        common::CreateNotesSession(g.NotesSession);
        if (!g.NotesSession)
            return;
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            g.NotesView = need(g.NotesDb, "NotesDatabase").GetView(viewName.toStdString());
            g.NotesDoc = need(g.NotesView, "NotesView").GetFirstDocument();
        });
        if (!g.NotesDoc)
            return;
        for (std::int32_t row = 0;; ++row) {
            std::int32_t total = 0;
            r.step([&] { total = need(need(g.NotesView, "NotesView").AllEntries(), "entries").Count(); });
            if (row >= total)
                break;
            c_.SaveOptionEmails->setEnabled(true);
            QString text;
            r.step([&] {
                const NotesDocument& doc = need(g.NotesDoc, "NotesDocument");
                // Size in KB, halves going to the even number.
                const double kb = std::nearbyint(static_cast<double>(doc.Size()) / 1024.0);
                text = common::TrimBlanks(itemText(doc, nameItem)) + QLatin1Char('\t')
                    + common::TrimBlanks(itemText(doc, "Subject")) + QLatin1Char('\t')
                    + QString::number(static_cast<long long>(kb)) + QStringLiteral(" KB") + QLatin1Char('\t')
                    + itemText(doc, dateItem);
            });
            c_.MailList->addRow(text, widgets::SmallIcon::Mail);
            r.step([&] {
                g.NotesDoc = need(g.NotesView, "NotesView").GetNextDocument(need(g.NotesDoc, "NotesDocument"));
            });
            DoEvents();
        }
    });
    g.releaseNotes();
    DoEvents();
}

// What one preview filler lists and does.
struct NotesReader::Preview {
    QLabel* arrow;
    widgets::PreviewList* list;
    int image;
    bool stopOnEmptyCount;
    std::function<bool(const NotesDocument&)> qualifies;
    std::function<void()> listed; // actions for each listed document
    std::function<QString(const NotesDocument&)> row;
};

void NotesReader::fillPreview(const Preview& p, const QString& viewName)
{
    auto& g = Program();
    p.arrow->show();
    common::Wait(10);
    p.list->clear();
    p.list->setImageList(c_.SmallIcons);
    g.NotesSession.reset();
    common::CreateNotesSession(g.NotesSession);
    if (!g.NotesSession)
        return;

    Routine<Exit> r;
    r.onErrorGoTo(Exit::End);
    r.run([&] {
        r.step([&] {
            g.NotesDb = need(g.NotesSession, "NotesSession").GetDatabase("", databasePath());
            g.NotesView = need(g.NotesDb, "NotesDatabase").GetView(viewName.toStdString());
            g.NotesDoc = need(g.NotesView, "NotesView").GetFirstDocument();
        });
        if (!g.NotesDoc)
            return;
        auto count = [&] { return need(need(g.NotesView, "NotesView").AllEntries(), "entries").Count(); };
        std::int32_t total = 0;
        r.step([&] { total = count(); });
        if (p.stopOnEmptyCount && total == 0)
            return;
        for (std::int32_t position = 0;; ++position) {
            r.step([&] { total = count(); });
            if (position >= total)
                break;
            r.step([&] {
                const NotesDocument& doc = need(g.NotesDoc, "NotesDocument");
                if (p.qualifies(doc)) {
                    p.listed();
                    const QString text = p.row(doc);
                    p.list->addRow(text, p.image);
                }
                g.NotesDoc = need(g.NotesView, "NotesView").GetNextDocument(doc);
            });
        }
    });
    g.releaseNotes();
    DoEvents();
}

namespace {
    QString firstValue(const NotesDocument& doc, const char* item) { return common::ValueText(doc.GetItemValue(item)); }
    bool formIs(const NotesDocument& doc, const char* form) { return firstValue(doc, "Form") == QLatin1String(form); }
} // namespace

void NotesReader::fillDatedPreview(const DatedPreview& p, const QString& FolderName)
{
    // Only documents of the expected form in the expected view are listed.
    const bool expectedView = FolderName == QLatin1String(p.view);
    fillPreview(
        { p.arrow, p.list, p.image, false,
            [expectedView, form = p.form](const NotesDocument& doc) { return expectedView && formIs(doc, form); },
            [this, box = p.box] {
                box->setEnabled(true);
                c_.SaveOptionContacts->setEnabled(true);
                c_.SaveOptionJournals->setEnabled(false);
            },
            [dateItem = p.dateItem](const NotesDocument& doc) {
                return firstValue(doc, "Subject") + QLatin1Char('\t') + firstValue(doc, dateItem);
            } },
        FolderName);
}

void NotesReader::EnumerateCalendars(const QString& FolderName)
{
    fillDatedPreview({ c_.ImgCalendarsArrow, c_.CalendarList, widgets::SmallIcon::Calendar, c_.SaveOptionCalendars,
                         "($Calendar)", "Appointment", "CalendarDateTime" },
        FolderName);
}

void NotesReader::EnumerateToDoList(const QString& FolderName)
{
    fillDatedPreview(
        { c_.ImgToDoListArrow, c_.ToDoList, widgets::SmallIcon::ToDo, c_.SaveOptionToDo, "($ToDo)", "Task", "DueDate" },
        FolderName);
}

void NotesReader::EnumerateJournals()
{
    fillPreview({ c_.ImgJournalsArrow, c_.JournalList, widgets::SmallIcon::Journal, false,
                    [](const NotesDocument& doc) { return formIs(doc, "JournalEntry"); },
                    [this] {
                        Program().IsJournalDatabase = 1;
                        c_.NotesTab->enableTab(7, true);
                        c_.SaveOptionEmails->setEnabled(false);
                        c_.SaveOptionCalendars->setEnabled(false);
                        c_.SaveOptionContacts->setEnabled(true);
                        c_.SaveOptionToDo->setEnabled(false);
                        c_.SaveOptionJournals->setEnabled(true);
                        c_.SaveOptionJournals->setChecked(true);
                    },
                    [](const NotesDocument& doc) {
                        return firstValue(doc, "DiaryDate") + QLatin1Char('\t') + firstValue(doc, "Subject")
                            + QLatin1Char('\t') + firstValue(doc, "TimeCreated");
                    } },
        QStringLiteral("($All)"));
}

void NotesReader::EnumerateContacts([[maybe_unused]] const QString& FolderName)
{
    fillPreview({ c_.ImgContactsArrow, c_.ContactList, widgets::SmallIcon::Contact, true,
                    [](const NotesDocument&) { return true; },
                    [this] {
                        Program().ContactsFound = 1;
                        c_.NotesTab->enableTab(7, true);
                        c_.SaveOptionEmails->setEnabled(false);
                        c_.SaveOptionCalendars->setEnabled(false);
                        c_.SaveOptionToDo->setEnabled(false);
                        c_.SaveOptionJournals->setEnabled(false);
                        c_.SaveOptionContacts->setEnabled(true);
                        c_.SaveOptionContacts->setChecked(true);
                    },
                    [](const NotesDocument& doc) {
                        const automation::Variant fullName = doc.GetItemValue("FullName");
                        const bool threeNames = fullName.isArray() && fullName.array().size() == 3;
                        const QString email
                            = threeNames ? common::ValueText(fullName.array()[2]) : firstValue(doc, "MailAddress");
                        return QLatin1Char(' ') + common::ProperCase(common::TrimBlanks(common::ValueText(fullName)))
                            + QLatin1Char('\t') + email.toLower() + QLatin1Char('\t')
                            + common::ProperCase(common::TrimBlanks(firstValue(doc, "CompanyName"))) + QLatin1Char('\t')
                            + firstValue(doc, "OfficePhoneNumber");
                    } },
        QStringLiteral("People"));
}

} // namespace notes
