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
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
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

    testing_support::ScriptedUi ui;
    std::unique_ptr<frmMain> window;
};
} // namespace

TEST_F(FrmMainTest, StartsOnTheFirstTabWithScanAndExportLockedAndCannotBeMaximised)
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

    // The lists and the tree start empty and show the window's own pictures.
    for (const widgets::PreviewList* list :
        { c().MailList, c().CalendarList, c().ContactList, c().ToDoList, c().JournalList })
        EXPECT_EQ(list->rowCount(), 0) << list->objectName().toStdString();
    EXPECT_EQ(c().ContactsTreeView->nodeCount(), 0);
    EXPECT_EQ(c().MailList->addRow(QStringLiteral("a\tb\t1 KB\td"), widgets::SmallIcon::Mail), 0);
    EXPECT_EQ(c().MailList->table()->item(0, 0)->icon().cacheKey(),
        c().SmallIcons->icon(widgets::SmallIcon::Mail).cacheKey());

    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    window->show();
    const QSize before = window->size();
    window->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_EQ(window->size(), before);

    // Form_Load, as the constructor ran it, selects tab 1 and clears the scan flags.
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
