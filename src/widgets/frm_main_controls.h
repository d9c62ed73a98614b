// The controls of the main window, by the names the handlers use. Every one also carries its
// name as its object name.
#pragma once

#include <array>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolBar;

namespace widgets {

class FolderTree;
class ImageList;
class PreviewList;
class TabStrip;

struct frmMainControls {
    ImageList* SmallIcons = nullptr;

    // Menu bar.
    QMenu* mnuFileTop = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSep1 = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuViewTop = nullptr;
    QAction* mnuMails = nullptr;
    QAction* mnuCalendars = nullptr;
    QAction* mnuContacts = nullptr;
    QAction* mnuToDoList = nullptr;
    QAction* mnuJournals = nullptr;
    QMenu* mnuHelpTop = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    // Toolbar; NotesToolBarButtons[n - 1] is button n (3 and 5 are separators).
    QToolBar* NotesToolBar = nullptr;
    std::array<QAction*, 6> NotesToolBarButtons {};

    // Banner and status bar.
    QLabel* LblCompany = nullptr;
    QLabel* LblProduct = nullptr;
    QLabel* LblSlogan = nullptr;
    std::array<QLabel*, 3> StatusBarPanels {};

    TabStrip* NotesTab = nullptr;

    // Tab 1, " Select File".
    QLineEdit* txtNotesDatabaseFile = nullptr;
    QPushButton* CmdBrowse = nullptr;
    QPushButton* CmdScan = nullptr;
    QGroupBox* ScanFrame = nullptr;
    QLabel* ImgReadingArrow = nullptr;
    QLabel* ImgEmailsArrow = nullptr;
    QLabel* ImgCalendarsArrow = nullptr;
    QLabel* ImgContactsArrow = nullptr;
    QLabel* ImgToDoListArrow = nullptr;
    QLabel* ImgJournalsArrow = nullptr;

    // Tabs 2 to 6.
    FolderTree* ContactsTreeView = nullptr;
    PreviewList* MailList = nullptr;
    PreviewList* CalendarList = nullptr;
    PreviewList* ContactList = nullptr;
    PreviewList* ToDoList = nullptr;
    PreviewList* JournalList = nullptr;

    // Tab 7, " Export".
    QCheckBox* SaveOptionEmails = nullptr;
    QCheckBox* SaveOptionCalendars = nullptr;
    QCheckBox* SaveOptionContacts = nullptr;
    QCheckBox* SaveOptionToDo = nullptr;
    QCheckBox* SaveOptionJournals = nullptr;
    QRadioButton* OptOutlookFormat2K = nullptr;
    QRadioButton* OptOutlookFormat2K3 = nullptr;
    // People's addresses: the names file (CSV), the Domino Directory export, the address rule.
    QLineEdit* txtNamesFile = nullptr;
    QPushButton* CmdBrowseNamesFile = nullptr;
    QLineEdit* txtDirectoryFile = nullptr;
    QPushButton* CmdBrowseDirectoryFile = nullptr;
    QLineEdit* txtAddressRule = nullptr;
    QPushButton* CmdStartConversion = nullptr;
};

} // namespace widgets
