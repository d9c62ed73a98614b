// The menus, the toolbar, Exit and the about window of the main window, offscreen.
#include "scan_fixture.h"

#include "common/help_viewer.h"
#include "shell/frm_about.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <optional>

using common::MsgButtons;
using common::MsgIcon;
using common::MsgResult;
using shell::frmMain;

inline void PrintTo(const QStringList& lines, std::ostream* os) { *os << lines.join(QLatin1Char('\n')).toStdString(); }

namespace {
dxl::DatabaseBuilder mailDatabase()
{
    dxl::DatabaseBuilder db("Mail (Ann Lee)", "mailfile");
    auto& m1 = db.document("Memo").text("Subject", "One");
    auto& m2 = db.document("Memo").text("Subject", "Two");
    db.folder("($Inbox)").entries({ m1.noteId() });
    db.folder("Projects").entries({ m2.noteId() });
    auto& a1
        = db.document("Appointment").text("Subject", "Dentist").dateTime("CalendarDateTime", "20091201T100000,00+00");
    db.view("($Calendar)").entries({ a1.noteId() });
    auto& t1 = db.document("Task").text("Subject", "Report").dateTime("DueDate", "20091215");
    db.view("($ToDo)").entries({ t1.noteId() });
    auto& p1 = db.document("Person").text("FullName", "Bo Yu").text("MailAddress", "bo@acme.com");
    db.view("People").entries({ p1.noteId() });
    return db;
}

class MenusTest : public ScanFixture {
protected:
    // The main window after a scan of a mail database that has since gone away, so that any
    // rescan or refill would show.
    void scanThenRemoveTheDatabase()
    {
        const std::string path = write(mailDatabase());
        scan(path);
        ASSERT_EQ(c().MailList->rowCount(), 0);
        ASSERT_EQ(c().CalendarList->rowCount(), 1);
        ASSERT_TRUE(QFile::remove(QString::fromStdString(path)));
        ui.clear();
    }

    // What the user can see of the window and the program-wide state, one line each.
    QStringList state() const
    {
        QStringList out;
        auto flag = [&](const QString& name, bool on) {
            out << name + (on ? QStringLiteral(" on") : QStringLiteral(" off"));
        };
        out << QStringLiteral("tab %1").arg(c().NotesTab->selectedTab());
        for (std::int16_t t = 1; t <= 7; ++t)
            flag(QStringLiteral("tab%1").arg(t), c().NotesTab->isTabOn(t));
        out << QStringLiteral("path ") + c().txtNotesDatabaseFile->text();
        flag(QStringLiteral("CmdScan"), c().CmdScan->isEnabled());
        flag(QStringLiteral("CmdBrowse"), c().CmdBrowse->isEnabled());
        for (int n : { 1, 2, 4, 6 })
            flag(QStringLiteral("button%1").arg(n), window->toolbarButton(n)->isEnabled());
        flag(QStringLiteral("ScanFrame"), !c().ScanFrame->isHidden());
        flag(QStringLiteral("ImgReadingArrow"), !c().ImgReadingArrow->isHidden());
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*> { c().SaveOptionEmails,
                 c().SaveOptionCalendars, c().SaveOptionContacts, c().SaveOptionToDo, c().SaveOptionJournals,
                 c().OptOutlookFormat2K, c().OptOutlookFormat2K3 }) {
            flag(b->objectName() + QStringLiteral(" enabled"), b->isEnabled());
            flag(b->objectName() + QStringLiteral(" ticked"), b->isChecked());
        }
        for (const widgets::PreviewList* list :
            { c().MailList, c().CalendarList, c().ContactList, c().ToDoList, c().JournalList })
            out << list->objectName() + QStringLiteral(": ") + rows(list).join(QStringLiteral(" | "));
        out << QStringLiteral("nodes %1 ").arg(c().ContactsTreeView->nodeCount()) + nodeText("Inbox") + QLatin1Char(' ')
                + nodeText("Projects");
        const auto& g = common::Program();
        out << QStringLiteral("program %1 %2 %3").arg(g.MailboxName).arg(g.IsJournalDatabase).arg(g.ContactsFound);
        return out;
    }

    void expectNothingShown() const
    {
        EXPECT_TRUE(ui.messages().empty());
        EXPECT_TRUE(ui.fileDialogs().empty());
        EXPECT_TRUE(ui.folderDialogTitles().isEmpty());
        EXPECT_TRUE(ui.helpCalls().isEmpty());
    }
};
} // namespace

TEST_F(MenusTest, ViewEntriesOnlyMoveTheTabStripAndToolbarSeparatorsDoNothing)
{
    scanThenRemoveTheDatabase();
    const std::pair<QAction*, std::int16_t> entries[] = { { c().mnuMails, 2 }, { c().mnuCalendars, 3 },
        { c().mnuContacts, 4 }, { c().mnuToDoList, 5 }, { c().mnuJournals, 6 } };
    QSignalSpy selected(c().NotesTab, &widgets::TabStrip::tabSelected);
    c().NotesTab->selectTab(1);
    for (const auto& [entry, tab] : entries) {
        QStringList expected = state();
        expected[0] = QStringLiteral("tab %1").arg(tab);
        selected.clear();

        entry->trigger();
        EXPECT_EQ(state(), expected) << entry->objectName().toStdString();
        EXPECT_EQ(selected.count(), 1);

        entry->trigger(); // already selected: nothing at all
        EXPECT_EQ(state(), expected) << entry->objectName().toStdString();
        EXPECT_EQ(selected.count(), 1);
    }
    expectNothingShown();

    // The tab strip lets a locked tab be chosen; the entry does not unlock it.
    c().NotesTab->enableTab(6, false);
    c().mnuMails->trigger();
    c().mnuJournals->trigger();
    EXPECT_EQ(c().NotesTab->selectedTab(), 6);
    EXPECT_FALSE(c().NotesTab->isTabOn(6));

    // The toolbar's separators and numbers it does not have do nothing.
    c().NotesTab->selectTab(1); // where Scan would act
    const QStringList before = state();
    for (int n : { 3, 5, 0, 7, -1, 8, 32767, -32768 })
        window->NotesToolBar_ButtonClick(static_cast<std::int16_t>(n));
    window->toolbarButton(3)->trigger();
    window->toolbarButton(5)->trigger();
    EXPECT_EQ(state(), before);
    expectNothingShown();
}

TEST_F(MenusTest, OpenFromTheMenuTheShortcutAndTheToolbarBrowsesAndToolbarScanScans)
{
    const QString picked = QString::fromStdString(write(mailDatabase()));
    ui.answerOpenFile(picked);
    c().mnuOpen->trigger();
    ASSERT_EQ(ui.fileDialogs().size(), 1u);
    EXPECT_EQ(c().txtNotesDatabaseFile->text(), picked);
    EXPECT_TRUE(window->toolbarButton(2)->isEnabled());

    window->toolbarButton(1)->trigger(); // cancelled
    EXPECT_EQ(ui.fileDialogs().size(), 2u);
    EXPECT_TRUE(c().txtNotesDatabaseFile->text().isEmpty());
    EXPECT_FALSE(window->toolbarButton(2)->isEnabled());

    window->show();
    window->activateWindow();
    QCoreApplication::processEvents();
    ui.answerOpenFile(picked);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(ui.fileDialogs().size(), 3u);
    EXPECT_EQ(c().txtNotesDatabaseFile->text(), picked);
    EXPECT_TRUE(ui.messages().empty());

    // The toolbar's scan scans from the first tab.
    window->toolbarButton(2)->trigger();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Notes Database Scan Completed Successfully"));
    EXPECT_EQ(c().NotesTab->selectedTab(), 2);
    EXPECT_EQ(nodeText("Projects"), QStringLiteral("Projects (1)"));
    EXPECT_TRUE(window->toolbarButton(4)->isEnabled());
}

// Start Conversion's checks come first: no category ticked, then no format chosen; then the
// folder question, whose cancelling ends the launch quietly.
TEST_F(MenusTest, ToolbarExportIsStartConversionFromEveryTab)
{
    scanThenRemoveTheDatabase();
    c().SaveOptionContacts->setChecked(false); // ticked by the scan, which found a contact
    for (std::int16_t tab = 1; tab <= 7; ++tab) {
        c().NotesTab->selectTab(tab);
        ui.clear();
        window->toolbarButton(4)->trigger();
        ASSERT_EQ(ui.messages().size(), 1u) << "tab " << tab;
        EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Please Select Outlook Items to Save"));
        EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Export to Outlook"));
        EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Information);
        EXPECT_EQ(ui.messages()[0].buttons, MsgButtons::Ok);
        EXPECT_TRUE(ui.folderDialogTitles().isEmpty());
    }

    // The same answers, one launch through the button, one through the toolbar.
    auto launch = [&](auto&& click) {
        ui.clear();
        click();
        QStringList seen;
        for (const auto& m : ui.messages())
            seen << m.title + QStringLiteral(": ") + m.text;
        return seen + ui.folderDialogTitles();
    };
    auto button = [&] { c().CmdStartConversion->click(); };
    auto toolbar = [&] { window->NotesToolBar_ButtonClick(4); };
    c().NotesTab->selectTab(3);
    c().SaveOptionToDo->setChecked(true);
    EXPECT_EQ(launch(toolbar), launch(button));
    EXPECT_EQ(launch(toolbar), QStringList { QStringLiteral("Export to Outlook: Please Select Outlook Format") });
    c().OptOutlookFormat2K->setChecked(true);
    EXPECT_EQ(launch(toolbar), launch(button));
    EXPECT_EQ(launch(toolbar), QStringList { QStringLiteral("Select Path to Save PST File") });
    EXPECT_EQ(ui.modalWindowsShown(), 0); // the cancelled folder question ends the launch
}

TEST_F(MenusTest, HelpOpensTheHelpFileOfTheProgramFolderInTheViewerOnItsFirstTopic)
{
    // Both the entry and the toolbar button ask for the file beside the program.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/Help.html");
    ui.setHelpShown(false);
    c().mnuHelp->trigger();
    window->toolbarButton(6)->trigger();
    EXPECT_EQ(ui.helpCalls(), (QStringList { beside, beside }));
    EXPECT_TRUE(ui.messages().empty()) << "nothing of our own when no help was shown";

    common::UiSeams real;
    real.showHelp = common::realSeams().showHelp;
    common::ScopedSeams viewer(real);
    window->setProgramFolder(dir.path()); // holds no help file: nothing shows
    const auto windowsBefore = QApplication::topLevelWidgets().size();
    c().mnuHelp->trigger();
    window->NotesToolBar_ButtonClick(6);
    EXPECT_EQ(window->findChild<common::HelpViewer*>(), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);

    window->setProgramFolder(QStringLiteral(FERRYMARK_PROGRAM_FOLDER));
    c().mnuHelp->trigger();
    auto* help = window->findChild<common::HelpViewer*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->browser()->source(), QUrl::fromLocalFile(window->HelpFile()));
    ASSERT_NE(help->contents()->currentItem(), nullptr);
    EXPECT_EQ(help->contents()->currentItem()->text(0), QStringLiteral("Welcome to Ferrymark"));

    // Help again, after reading elsewhere: the same viewer, back on the first topic.
    ASSERT_TRUE(help->showTopic(QStringLiteral("messages")));
    window->toolbarButton(6)->trigger();
    EXPECT_EQ(window->findChildren<common::HelpViewer*>().size(), 1);
    EXPECT_EQ(help->contents()->currentItem()->text(0), QStringLiteral("Welcome to Ferrymark"));
    EXPECT_TRUE(help->browser()->source().fragment().isEmpty());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(MenusTest, ExitAsksAndNoChangesNothing)
{
    scanThenRemoveTheDatabase();
    c().NotesTab->selectTab(7);
    c().SaveOptionCalendars->setChecked(true);
    c().OptOutlookFormat2K3->setChecked(true);
    int ends = 0;
    window->setProgramEnd([&] { ++ends; });
    window->show();
    ui.clear();
    const QStringList before = state();

    ui.answerMessage(MsgResult::No);
    c().mnuExit->trigger();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, QStringLiteral("Are you sure you want to close the software"));
    EXPECT_EQ(ui.messages()[0].title, QStringLiteral("Quarrow Ferrymark"));
    EXPECT_EQ(ui.messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui.messages()[0].icon, MsgIcon::Information);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(window->isVisible());

    ui.answerMessage(MsgResult::Yes);
    c().mnuExit->trigger();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(ui.messages().size(), 2u) << "Yes asks nothing more";
}

namespace {
// A window that would refuse to close if it were asked.
class Refusing : public QWidget {
public:
    int asked = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++asked;
        event->ignore();
    }
};
} // namespace

TEST_F(MenusTest, ExitYesEndsTheProgramWithoutAskingAnyWindow)
{
    QPointer<frmMain> main = new frmMain;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    Refusing other;
    other.show();
    ui.answerMessage(MsgResult::Yes);

    QObject scope; // the queued calls below die with the test
    QTimer::singleShot(0, &scope, [&] { main->mnuExit_Click(); });
    // Only when the program did not end: give the event loop back with a failure.
    QTimer::singleShot(0, &scope, [&] {
        if (main && main->isVisible())
            QCoreApplication::exit(1);
    });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(main.isNull()) << "the main window deletes itself when it goes";
    EXPECT_FALSE(other.isVisible());
    EXPECT_EQ(other.asked, 0);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MenusTest, AboutIsModalOverTheMainWindow)
{
    common::UiSeams real;
    real.showModal = common::realSeams().showModal;
    common::ScopedSeams modal(real);
    window->show();
    std::optional<QString> seen;
    QObject scope;
    QTimer::singleShot(0, &scope, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* about = qobject_cast<shell::frmAbout*>(modal);
        seen = about ? about->windowTitle() + QStringLiteral(" over ") + about->parentWidget()->objectName()
                     : QStringLiteral("no about window");
        if (modal)
            modal->close(); // the window's close button
    });
    c().mnuAbout->trigger();
    EXPECT_EQ(seen, QStringLiteral("About - Quarrow Ferrymark over frmMain"));
    EXPECT_EQ(window->findChild<shell::frmAbout*>(), nullptr) << "gone once closed";
}
