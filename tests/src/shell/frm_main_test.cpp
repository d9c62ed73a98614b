#include "common/program_state.h"
#include "scripted_ui.h"
#include "shell/frm_main.h"
#include "widgets/folder_tree.h"
#include "widgets/image_list.h"
#include "widgets/preview_list.h"
#include "widgets/tab_strip.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QToolBar>

#include <memory>

using shell::frmMain;

namespace {
class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        common::Program().IsJournalDatabase = 1;
        common::Program().ContactsFound = 1;
        window = std::make_unique<frmMain>();
    }

    const widgets::frmMainControls& c() const { return window->controls(); }
    template <typename T> T* find(const char* name) const { return window->findChild<T*>(QLatin1String(name)); }

    testing_support::ScriptedUi ui;
    std::unique_ptr<frmMain> window;
};

QStringList entries(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->objectName() + QLatin1Char('=') + (a->isSeparator() ? QStringLiteral("-") : a->text()));
    return out;
}
} // namespace

TEST_F(FrmMainTest, StartsOnTheFirstTabWithScanAndExportLocked)
{
    const widgets::TabStrip* tabs = c().NotesTab;
    EXPECT_EQ(tabs->selectedTab(), 1);
    EXPECT_TRUE(tabs->isTabOn(1));
    for (std::int16_t tab = 2; tab <= 7; ++tab)
        EXPECT_FALSE(tabs->isTabOn(tab)) << "tab " << tab;

    EXPECT_TRUE(c().txtNotesDatabaseFile->text().isEmpty());
    EXPECT_TRUE(c().txtNotesDatabaseFile->isReadOnly());
    EXPECT_TRUE(c().CmdBrowse->isEnabled());
    EXPECT_FALSE(c().CmdScan->isEnabled());
    EXPECT_TRUE(window->toolbarButton(1)->isEnabled());
    EXPECT_FALSE(window->toolbarButton(2)->isEnabled());
    EXPECT_FALSE(window->toolbarButton(4)->isEnabled());
    EXPECT_TRUE(window->toolbarButton(6)->isEnabled());

    EXPECT_TRUE(c().ScanFrame->isHidden());
    for (const QLabel* arrow : { c().ImgReadingArrow, c().ImgEmailsArrow, c().ImgCalendarsArrow, c().ImgContactsArrow,
             c().ImgToDoListArrow, c().ImgJournalsArrow }) {
        EXPECT_TRUE(arrow->isHidden()) << arrow->objectName().toStdString();
        EXPECT_FALSE(arrow->pixmap().isNull());
    }

    // Every export choice is offered and none is made.
    for (const QCheckBox* box : { c().SaveOptionEmails, c().SaveOptionCalendars, c().SaveOptionContacts,
             c().SaveOptionToDo, c().SaveOptionJournals }) {
        EXPECT_TRUE(box->isEnabled()) << box->objectName().toStdString();
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    }
    for (const QRadioButton* option : { c().OptOutlookFormat2K, c().OptOutlookFormat2K3 }) {
        EXPECT_TRUE(option->isEnabled());
        EXPECT_FALSE(option->isChecked());
    }
    EXPECT_TRUE(ui.messages().empty()) << "loading the window reports nothing";
}

TEST_F(FrmMainTest, FormLoadSelectsTabOneAndClearsTheScanFlags)
{
    EXPECT_EQ(common::Program().IsJournalDatabase, 0) << "set by the constructor's Form_Load";
    EXPECT_EQ(common::Program().ContactsFound, 0);

    c().NotesTab->enableTab(3, true);
    c().NotesTab->selectTab(3);
    common::Program().IsJournalDatabase = 1;
    common::Program().ContactsFound = 1;
    window->Form_Load();
    EXPECT_EQ(c().NotesTab->selectedTab(), 1);
    EXPECT_EQ(common::Program().IsJournalDatabase, 0);
    EXPECT_EQ(common::Program().ContactsFound, 0);
    EXPECT_TRUE(c().NotesTab->isTabOn(3)) << "Form_Load leaves the enabled states alone";
}

TEST_F(FrmMainTest, APathEnablesStartScanAndToolbarScanAndNothingElse)
{
    QLineEdit* path = c().txtNotesDatabaseFile;
    path->setText(QStringLiteral("/nowhere/does-not-exist.nsf"));
    EXPECT_TRUE(c().CmdScan->isEnabled());
    EXPECT_TRUE(window->toolbarButton(2)->isEnabled());
    EXPECT_FALSE(window->toolbarButton(4)->isEnabled());
    EXPECT_TRUE(c().ScanFrame->isHidden());
    EXPECT_EQ(c().NotesTab->selectedTab(), 1);
    EXPECT_FALSE(c().NotesTab->isTabOn(2));

    path->setText(QStringLiteral(" "));
    EXPECT_TRUE(c().CmdScan->isEnabled()) << "any non-empty text counts";

    path->clear();
    EXPECT_FALSE(c().CmdScan->isEnabled());
    EXPECT_FALSE(window->toolbarButton(2)->isEnabled());
    EXPECT_TRUE(window->toolbarButton(1)->isEnabled());
    EXPECT_TRUE(c().CmdBrowse->isEnabled());
}

TEST_F(FrmMainTest, TabStateChangesNeverMoveTheSelection)
{
    widgets::TabStrip* tabs = c().NotesTab;
    QSignalSpy selected(tabs, &widgets::TabStrip::tabSelected);

    tabs->enableTab(1, false);
    EXPECT_EQ(tabs->selectedTab(), 1) << "a disabled tab may stay selected";
    EXPECT_FALSE(tabs->isTabOn(1));
    EXPECT_EQ(selected.count(), 0);

    tabs->selectTab(6);
    EXPECT_EQ(tabs->selectedTab(), 6) << "a disabled tab can be selected";
    EXPECT_EQ(tabs->currentWidget(), tabs->widget(5));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).value<std::int16_t>(), 6);

    tabs->enableTab(7, true);
    tabs->enableTab(6, true);
    tabs->enableTab(6, false);
    EXPECT_EQ(tabs->selectedTab(), 6);
    EXPECT_EQ(tabs->currentWidget(), tabs->widget(5)) << "the page follows the tab";
    EXPECT_EQ(selected.count(), 1);

    tabs->selectTab(6);
    tabs->selectTab(0);
    tabs->selectTab(8);
    tabs->enableTab(9, true);
    EXPECT_EQ(tabs->selectedTab(), 6);
    EXPECT_EQ(selected.count(), 1);
}

TEST_F(FrmMainTest, PreviewListsTakeTheirColumnsFromTheFormatStrings)
{
    struct Expected {
        widgets::PreviewList* list;
        QStringList captions;
        std::vector<int> widths;
        int rightAligned; // -1: none
    };
    const Expected lists[] = {
        { c().MailList, { "From/To", "Subject", "Size", "Date" }, { 150, 240, 52, 150 }, 2 },
        { c().CalendarList, { "Subject", "Start Time" }, { 500, 163 }, -1 },
        { c().ContactList, { "Full Name", "Email", "Company Name", "Office Phone" }, { 200, 180, 150, 140 }, -1 },
        { c().ToDoList, { "Subject", "Due Date" }, { 500, 163 }, -1 },
        { c().JournalList, { "Diary Date", "Topic", "Modified" }, { 150, 350, 180 }, -1 },
    };
    for (const Expected& e : lists) {
        const std::string name = e.list->objectName().toStdString();
        const QTableWidget* table = e.list->table();
        ASSERT_EQ(table->columnCount(), e.captions.size()) << name;
        for (int col = 0; col < table->columnCount(); ++col) {
            EXPECT_EQ(table->horizontalHeaderItem(col)->text(), e.captions[col]) << name;
            EXPECT_EQ(table->columnWidth(col), e.widths[static_cast<std::size_t>(col)]) << name;
            EXPECT_EQ(e.list->columns()[static_cast<std::size_t>(col)].alignment, col == e.rightAligned ? 2 : 0)
                << name;
        }
        EXPECT_EQ(e.list->rowCount(), 0) << name;
        EXPECT_TRUE(table->showGrid()) << name;
    }

    // The lists show the window's own pictures.
    EXPECT_EQ(c().MailList->addRow(QStringLiteral("a\tb\t1 KB\td"), widgets::SmallIcon::Mail), 0);
    EXPECT_EQ(c().MailList->table()->item(0, 0)->icon().cacheKey(),
        c().SmallIcons->icon(widgets::SmallIcon::Mail).cacheKey());
    EXPECT_EQ(c().ContactsTreeView->headerCaption(), QStringLiteral("Notes Database"));
    EXPECT_EQ(c().ContactsTreeView->nodeCount(), 0);
}

TEST_F(FrmMainTest, MenusHaveTheirEntriesInOrder)
{
    auto* bar = window->menuBar();
    QStringList tops;
    for (const QAction* a : bar->actions())
        tops << (a->menu()->objectName() + QLatin1Char('=') + a->text());
    EXPECT_EQ(tops, (QStringList { "mnuFileTop=&File", "mnuViewTop=&View", "mnuHelpTop=&Help" }));

    EXPECT_EQ(entries(find<QMenu>("mnuFileTop")), (QStringList { "mnuOpen=&Open...", "mnuSep1=-", "mnuExit=E&xit" }));
    EXPECT_EQ(entries(find<QMenu>("mnuViewTop")),
        (QStringList { "mnuMails=&Mails", "mnuCalendars=&Calendars", "mnuContacts=Con&tacts", "mnuToDoList=To Do &List",
            "mnuJournals=&Journals" }));
    EXPECT_EQ(entries(find<QMenu>("mnuHelpTop")), (QStringList { "mnuHelp=Contents", "mnuAbout=&About Ferrymark..." }));
    EXPECT_EQ(c().mnuOpen->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(find<QAction>("mnuOpen"), c().mnuOpen);
}

TEST_F(FrmMainTest, CannotBeMaximised)
{
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    window->show();
    const QSize before = window->size();
    window->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), before);
}
