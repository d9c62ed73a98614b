#include "shell/frm_main.h"

#include "common/program_state.h"
#include "common/ui_seams.h"
#include "common/vendor.h"
#include "contacts/contact_writer.h"
#include "export/export_options.h"
#include "mail/mail_writers.h"
#include "notes/notes_reader.h"
#include "pim/pim_writers.h"
#include "shell/artwork.h"
#include "shell/frm_about.h"
#include "widgets/folder_tree.h"
#include "widgets/image_list.h"
#include "widgets/preview_list.h"
#include "widgets/tab_strip.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace shell {
using namespace widgets;

namespace {
    // Column declarations of the preview lists: caption;width;alignment;0;;-1, joined by "|".
    const QString MailListColumns
        = QStringLiteral("From/To;150;0;0;;-1|Subject;240;0;0;;-1|Size;52;2;0;;-1|Date;150;0;0;;-1");
    const QString CalendarListColumns = QStringLiteral("Subject;500;0;0;;-1|Start Time;163;0;0;;-1");
    const QString ContactListColumns
        = QStringLiteral("Full Name;200;0;0;;-1|Email;180;0;0;;-1|Company Name;150;0;0;;-1|Office Phone;140;0;0;;-1");
    const QString ToDoListColumns = QStringLiteral("Subject;500;0;0;;-1|Due Date;163;0;0;;-1");
    const QString JournalListColumns = QStringLiteral("Diary Date;150;0;0;;-1|Topic;350;0;0;;-1|Modified;180;0;0;;-1");

    constexpr QSize WindowSize(860, 600);

    template <typename W> W* named(W* widget, const char* name)
    {
        widget->setObjectName(QLatin1String(name));
        return widget;
    }

    QFont bannerFont(int pointSize, bool bold)
    {
        QFont font(QStringLiteral("Verdana"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSize(pointSize);
        font.setBold(bold);
        return font;
    }

    void keepSpaceWhenHidden(QWidget* widget)
    {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
} // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(common::MainWindowCaption);
    setWindowIcon(QIcon(productEmblem(32)));
    // A fixed frame with minimise and close buttons; the window cannot be maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    c_.SmallIcons = new ImageList(this);
    buildMenus();
    buildToolBar();
    buildStatusBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 0, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(buildBanner());

    c_.NotesTab = named(new TabStrip(central), "NotesTab");
    c_.NotesTab->addPage(buildSelectFileTab(), QStringLiteral(" Select File"), 64);
    c_.NotesTab->addPage(buildMailTab(), QStringLiteral(" Mail"), 54);
    c_.NotesTab->addPage(
        buildListTab(c_.CalendarList, "CalendarList", CalendarListColumns), QStringLiteral(" Calendar"), 79);
    c_.NotesTab->addPage(
        buildListTab(c_.ContactList, "ContactList", ContactListColumns), QStringLiteral(" Contacts"), 79);
    c_.NotesTab->addPage(buildListTab(c_.ToDoList, "ToDoList", ToDoListColumns), QStringLiteral(" To Do List"), 83);
    c_.NotesTab->addPage(
        buildListTab(c_.JournalList, "JournalList", JournalListColumns), QStringLiteral(" Personal Journal"), 115);
    c_.NotesTab->addPage(buildExportTab(), QStringLiteral(" Export"), 68);
    for (std::int16_t tab = TabMail; tab <= TabExport; ++tab)
        c_.NotesTab->enableTab(tab, false);
    layout->addWidget(c_.NotesTab, 1);
    setCentralWidget(central);
    setFixedSize(WindowSize);

    reader_ = std::make_unique<notes::NotesReader>(this, c_);
    exportOptions_ = std::make_unique<exporting::ExportOptions>(this, c_);
    exportOptions_->prepareRun = [](exporting::frmSave& progress) {
        contacts::InstallContactWriter(progress);
        mail::InstallMailWriters(progress);
        pim::InstallPimWriters(progress);
    };

    connect(c_.NotesTab, &TabStrip::tabSelected, this, &frmMain::NotesTab_Click);
    connect(c_.txtNotesDatabaseFile, &QLineEdit::textChanged, this, &frmMain::txtNotesDatabaseFile_Change);
    connect(c_.CmdBrowse, &QPushButton::clicked, this, &frmMain::CmdBrowse_Click);
    connect(c_.CmdScan, &QPushButton::clicked, this, &frmMain::CmdScan_Click);
    connect(c_.CmdStartConversion, &QPushButton::clicked, this, &frmMain::CmdStartConversion_Click);
    connect(c_.CmdBrowseNamesFile, &QPushButton::clicked, this, [this] { exportOptions_->CmdBrowseNamesFile_Click(); });
    connect(c_.CmdBrowseDirectoryFile, &QPushButton::clicked, this,
        [this] { exportOptions_->CmdBrowseDirectoryFile_Click(); });
    connect(c_.ContactsTreeView, &FolderTree::nodeClicked, this, &frmMain::ContactsTreeView_Click);

    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    auto addEntry = [this](QMenu* menu, const char* name, const QString& caption, void (frmMain::*handler)()) {
        QAction* action = named(menu->addAction(caption), name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    c_.mnuFileTop = named(bar->addMenu(QStringLiteral("&File")), "mnuFileTop");
    c_.mnuOpen = addEntry(c_.mnuFileTop, "mnuOpen", QStringLiteral("&Open..."), &frmMain::mnuOpen_Click);
    c_.mnuOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    c_.mnuOpen->setIcon(c_.SmallIcons->icon(SmallIcon::Open));
    c_.mnuSep1 = named(c_.mnuFileTop->addSeparator(), "mnuSep1");
    c_.mnuExit = addEntry(c_.mnuFileTop, "mnuExit", QStringLiteral("E&xit"), &frmMain::mnuExit_Click);

    c_.mnuViewTop = named(bar->addMenu(QStringLiteral("&View")), "mnuViewTop");
    c_.mnuMails = addEntry(c_.mnuViewTop, "mnuMails", QStringLiteral("&Mails"), &frmMain::mnuMails_Click);
    c_.mnuCalendars
        = addEntry(c_.mnuViewTop, "mnuCalendars", QStringLiteral("&Calendars"), &frmMain::mnuCalendars_Click);
    c_.mnuContacts = addEntry(c_.mnuViewTop, "mnuContacts", QStringLiteral("Con&tacts"), &frmMain::mnuContacts_Click);
    c_.mnuToDoList = addEntry(c_.mnuViewTop, "mnuToDoList", QStringLiteral("To Do &List"), &frmMain::mnuToDoList_Click);
    c_.mnuJournals = addEntry(c_.mnuViewTop, "mnuJournals", QStringLiteral("&Journals"), &frmMain::mnuJournals_Click);

    c_.mnuHelpTop = named(bar->addMenu(QStringLiteral("&Help")), "mnuHelpTop");
    c_.mnuHelp = addEntry(c_.mnuHelpTop, "mnuHelp", QStringLiteral("Contents"), &frmMain::mnuHelp_Click);
    c_.mnuHelp->setIcon(c_.SmallIcons->icon(SmallIcon::Help));
    c_.mnuAbout = addEntry(c_.mnuHelpTop, "mnuAbout", QStringLiteral("&About Ferrymark..."), &frmMain::mnuAbout_Click);
}

void frmMain::buildToolBar()
{
    QToolBar* bar = c_.NotesToolBar = named(addToolBar(QStringLiteral("NotesToolBar")), "NotesToolBar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setIconSize(QSize(22, 22));
    bar->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    struct Entry {
        const char* caption; // nullptr: a separator
        int image;
        bool enabled;
    };
    static constexpr Entry entries[] = {
        { "Open", SmallIcon::Open, true },
        { "Scan", SmallIcon::Scan, false },
        { nullptr, -1, true },
        { "Export", SmallIcon::Export, false },
        { nullptr, -1, true },
        { "Help", SmallIcon::Help, true },
    };
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        const Entry& e = entries[i];
        const auto number = static_cast<std::int16_t>(i + 1);
        QAction* action = e.caption ? bar->addAction(c_.SmallIcons->icon(e.image), QString::fromLatin1(e.caption))
                                    : bar->addSeparator();
        action->setObjectName(QStringLiteral("NotesToolBarButton%1").arg(number));
        action->setEnabled(e.enabled);
        if (e.caption)
            connect(action, &QAction::triggered, this, [this, number] { NotesToolBar_ButtonClick(number); });
        c_.NotesToolBarButtons[i] = action;
    }
}

void frmMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    struct Panel {
        int width;
        bool bold;
        QString text;
    };
    const Panel panels[] = {
        { 150, true, common::VendorName },
        { 200, false, QStringLiteral("Email: ") + common::SupportEmail },
        { 400, true, common::WebAddress },
    };
    for (std::size_t i = 0; i < std::size(panels); ++i) {
        auto* label = new QLabel(panels[i].text, bar);
        label->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i + 1));
        label->setFixedWidth(panels[i].width);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        QFont font = label->font();
        font.setBold(panels[i].bold);
        label->setFont(font);
        bar->addWidget(label);
        c_.StatusBarPanels[i] = label;
    }
}

QWidget* frmMain::buildBanner()
{
    auto* banner = named(new QWidget(this), "Banner");
    auto* layout = new QGridLayout(banner);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(0);

    auto* logo = named(new QLabel(banner), "ImgLogo");
    logo->setPixmap(productEmblem(44));
    layout->addWidget(logo, 0, 0, 2, 1);

    auto* names = new QHBoxLayout;
    names->setSpacing(6);
    c_.LblCompany = named(new QLabel(QStringLiteral("Quarrow"), banner), "LblCompany");
    c_.LblCompany->setFont(bannerFont(16, false));
    c_.LblCompany->setStyleSheet(QStringLiteral("color: #0d3b66;"));
    c_.LblProduct = named(new QLabel(QStringLiteral("Ferrymark"), banner), "LblProduct");
    c_.LblProduct->setFont(bannerFont(16, true));
    c_.LblProduct->setStyleSheet(QStringLiteral("color: #d9822b;"));
    names->addWidget(c_.LblCompany);
    names->addWidget(c_.LblProduct);
    names->addStretch(1);
    layout->addLayout(names, 0, 1);

    c_.LblSlogan = named(
        new QLabel(
            QStringLiteral("Migrate Notes Emails, Calendars, Contacts, To Do List & Journals to Outlook"), banner),
        "LblSlogan");
    c_.LblSlogan->setFont(bannerFont(9, false));
    layout->addWidget(c_.LblSlogan, 1, 1);
    layout->setColumnStretch(1, 1);
    return banner;
}

QWidget* frmMain::buildSelectFileTab()
{
    auto* page = named(new QWidget(this), "SelectFilePage");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    layout->addWidget(named(new QLabel(QStringLiteral("Select Lotus Notes Database (.nsf)"), page), "LblSelectFile"));
    auto* pathRow = new QHBoxLayout;
    c_.txtNotesDatabaseFile = named(new QLineEdit(page), "txtNotesDatabaseFile");
    c_.txtNotesDatabaseFile->setReadOnly(true);
    c_.CmdBrowse = named(new QPushButton(QStringLiteral("Browse..."), page), "CmdBrowse");
    c_.CmdScan = named(new QPushButton(QStringLiteral("Start Scan"), page), "CmdScan");
    c_.CmdScan->setEnabled(false);
    pathRow->addWidget(c_.txtNotesDatabaseFile, 1);
    pathRow->addWidget(c_.CmdBrowse);
    pathRow->addWidget(c_.CmdScan);
    layout->addLayout(pathRow);
    layout->addWidget(named(
        new QLabel(QStringLiteral("Supports Lotus Notes Database 8.5, 8.0, 7.0, 6.5, 6.0, 5.0"), page), "LblSupports"));

    c_.ScanFrame = named(new QGroupBox(QStringLiteral(" Scan Details"), page), "ScanFrame");
    auto* steps = new QGridLayout(c_.ScanFrame);
    steps->setColumnMinimumWidth(0, 20);
    steps->setColumnStretch(1, 1);
    struct Step {
        QLabel** arrow;
        const char* arrowName;
        const char* captionName;
        const char* caption;
    };
    const Step stepList[] = {
        { &c_.ImgReadingArrow, "ImgReadingArrow", "LblReading", "Reading database..." },
        { &c_.ImgEmailsArrow, "ImgEmailsArrow", "LblScanningMails", "Scanning Mails..." },
        { &c_.ImgCalendarsArrow, "ImgCalendarsArrow", "LblScanningCalendars", "Scanning Calendars..." },
        { &c_.ImgContactsArrow, "ImgContactsArrow", "LblScanningContacts", "Scanning Contacts..." },
        { &c_.ImgToDoListArrow, "ImgToDoListArrow", "LblScanningToDoList", "Scanning To Do List..." },
        { &c_.ImgJournalsArrow, "ImgJournalsArrow", "LblScanningJournals", "Scanning Journals..." },
    };
    const QPixmap arrow = arrowIcon().pixmap(16, 16);
    int row = 0;
    for (const Step& s : stepList) {
        auto* picture = named(new QLabel(c_.ScanFrame), s.arrowName);
        picture->setPixmap(arrow);
        keepSpaceWhenHidden(picture);
        picture->hide();
        *s.arrow = picture;
        steps->addWidget(picture, row, 0);
        steps->addWidget(named(new QLabel(QString::fromLatin1(s.caption), c_.ScanFrame), s.captionName), row, 1);
        ++row;
    }
    keepSpaceWhenHidden(c_.ScanFrame);
    c_.ScanFrame->hide();
    c_.ScanFrame->setMaximumWidth(320);
    layout->addWidget(c_.ScanFrame);
    layout->addStretch(1);
    return page;
}

QWidget* frmMain::buildMailTab()
{
    auto* page = named(new QWidget(this), "MailPage");
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    c_.ContactsTreeView = named(new FolderTree(page), "ContactsTreeView");
    c_.ContactsTreeView->setHeaderCaption(QStringLiteral("Notes Database"));
    c_.ContactsTreeView->setImageList(c_.SmallIcons);
    c_.ContactsTreeView->setFixedWidth(200);
    c_.MailList = named(new PreviewList(page), "MailList");
    c_.MailList->setColumnHeaders(MailListColumns);
    c_.MailList->setImageList(c_.SmallIcons);
    layout->addWidget(c_.ContactsTreeView);
    layout->addWidget(c_.MailList, 1);
    return page;
}

QWidget* frmMain::buildListTab(PreviewList*& list, const char* name, const QString& columns)
{
    auto* page = new QWidget(this);
    page->setObjectName(QLatin1String(name) + QStringLiteral("Page"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    list = named(new PreviewList(page), name);
    list->setColumnHeaders(columns);
    list->setImageList(c_.SmallIcons);
    layout->addWidget(list);
    return page;
}

QWidget* frmMain::buildExportTab()
{
    auto* page = named(new QWidget(this), "ExportPage");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    auto* items
        = named(new QGroupBox(QStringLiteral(" Select what you need to export to Outlook"), page), "FrameSaveOptions");
    auto* itemsLayout = new QVBoxLayout(items);
    auto addBox = [&](const char* name, const char* caption) {
        auto* box = named(new QCheckBox(QString::fromLatin1(caption), items), name);
        itemsLayout->addWidget(box);
        return box;
    };
    c_.SaveOptionEmails
        = addBox("SaveOptionEmails", "Emails (Inbox, Drafts, Sent Items, Outbox, Trash, Follow-Up, Folders)");
    c_.SaveOptionCalendars = addBox("SaveOptionCalendars", "Calendars");
    c_.SaveOptionContacts = addBox("SaveOptionContacts", "Contacts");
    c_.SaveOptionToDo = addBox("SaveOptionToDo", "To Do List...");
    c_.SaveOptionJournals = addBox("SaveOptionJournals", "Journals");
    layout->addWidget(items);

    auto* format = named(new QGroupBox(QStringLiteral(" Outlook Format"), page), "FrameOutlookFormat");
    auto* formatLayout = new QVBoxLayout(format);
    c_.OptOutlookFormat2K
        = named(new QRadioButton(QStringLiteral("Outlook 2000/2002/XP (Ansi Format)"), format), "OptOutlookFormat2K");
    c_.OptOutlookFormat2K3
        = named(new QRadioButton(QStringLiteral("Outlook 2003/2007 (Unicode Format)"), format), "OptOutlookFormat2K3");
    formatLayout->addWidget(c_.OptOutlookFormat2K);
    formatLayout->addWidget(c_.OptOutlookFormat2K3);
    layout->addWidget(format);

    // Where the Notes names of senders and recipients find their Internet addresses.
    auto* people = named(new QGroupBox(QStringLiteral(" Internet Addresses of People"), page), "FrameNames");
    auto* peopleLayout = new QGridLayout(people);
    auto addRow = [&](int row, const char* caption, QLineEdit*& edit, const char* editName, QPushButton** browse,
                      const char* browseName) {
        peopleLayout->addWidget(new QLabel(QString::fromLatin1(caption), people), row, 0);
        edit = named(new QLineEdit(people), editName);
        peopleLayout->addWidget(edit, row, 1);
        if (browse) {
            *browse = named(new QPushButton(QStringLiteral("Browse..."), people), browseName);
            peopleLayout->addWidget(*browse, row, 2);
        }
    };
    addRow(0, "Names file (CSV):", c_.txtNamesFile, "txtNamesFile", &c_.CmdBrowseNamesFile, "CmdBrowseNamesFile");
    addRow(1, "Domino Directory (DXL):", c_.txtDirectoryFile, "txtDirectoryFile", &c_.CmdBrowseDirectoryFile,
        "CmdBrowseDirectoryFile");
    addRow(2, "Address rule:", c_.txtAddressRule, "txtAddressRule", nullptr, nullptr);
    c_.txtNamesFile->setPlaceholderText(QStringLiteral("notes name,smtp address[,display name] per line"));
    c_.txtAddressRule->setPlaceholderText(QStringLiteral("for example {first}.{last}@acme.example"));
    layout->addWidget(people);

    auto* buttonRow = new QHBoxLayout;
    c_.CmdStartConversion = named(new QPushButton(QStringLiteral("Start Conversion"), page), "CmdStartConversion");
    buttonRow->addStretch(1);
    buttonRow->addWidget(c_.CmdStartConversion);
    layout->addLayout(buttonRow);
    layout->addStretch(1);
    return page;
}

QAction* frmMain::toolbarButton(int index) const
{
    if (index < 1 || index > static_cast<int>(c_.NotesToolBarButtons.size()))
        return nullptr;
    return c_.NotesToolBarButtons[static_cast<std::size_t>(index - 1)];
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
}

void frmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The first time it is shown, the window opens in the middle of its screen.
    if (placed_ || parentWidget())
        return;
    placed_ = true;
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - frameGeometry().center() + pos());
}

void frmMain::Form_Load()
{
    // The window keeps the platform's own frame, so there is no frame styling to apply.
    c_.NotesTab->selectTab(TabSelectFile);
    // Nothing has been scanned yet.
    common::Program().IsJournalDatabase = 0;
    common::Program().ContactsFound = 0;
}

void frmMain::txtNotesDatabaseFile_Change()
{
    const bool havePath = !c_.txtNotesDatabaseFile->text().isEmpty();
    c_.CmdScan->setEnabled(havePath);
    toolbarButton(2)->setEnabled(havePath);
}

// The handlers of the buttons, the menus and the toolbar.

void frmMain::CmdBrowse_Click() { reader_->CmdBrowse_Click(); }

void frmMain::CmdScan_Click() { reader_->CmdScan_Click(); }

void frmMain::CmdStartConversion_Click() { exportOptions_->CmdStartConversion_Click(); }

void frmMain::ContactsTreeView_Click() { reader_->ContactsTreeView_Click(); }

void frmMain::NotesTab_Click(std::int16_t tabNumber) { exportOptions_->NotesTab_Click(tabNumber); }

void frmMain::NotesToolBar_ButtonClick(std::int16_t Index)
{
    // Buttons 3 and 5 are separators; any other number does nothing.
    if (Index == 1)
        CmdBrowse_Click();
    else if (Index == 2)
        CmdScan_Click();
    else if (Index == 4)
        CmdStartConversion_Click();
    else if (Index == 6)
        mnuHelp_Click();
}

void frmMain::mnuOpen_Click() { CmdBrowse_Click(); }

void frmMain::mnuExit_Click()
{
    const auto answer = common::MsgBox(QStringLiteral("Are you sure you want to close the software"),
        common::MsgButtons::YesNo, common::MsgIcon::Information, QStringLiteral("Quarrow Ferrymark"), this);
    if (answer != common::MsgResult::Yes)
        return;
    // A copy: ending the program may delete this window.
    const auto end = programEnd_;
    end();
}

void frmMain::EndProgram()
{
    // Hiding sends no close event, so no window can refuse.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        window->hide();
        if (window->testAttribute(Qt::WA_DeleteOnClose))
            window->deleteLater();
    }
    QCoreApplication::exit(0);
}

// The View entries only move the tab strip: nothing is scanned or refilled.

void frmMain::mnuMails_Click() { c_.NotesTab->selectTab(TabMail); }

void frmMain::mnuCalendars_Click() { c_.NotesTab->selectTab(TabCalendar); }

void frmMain::mnuContacts_Click() { c_.NotesTab->selectTab(TabContacts); }

void frmMain::mnuToDoList_Click() { c_.NotesTab->selectTab(TabToDoList); }

void frmMain::mnuJournals_Click() { c_.NotesTab->selectTab(TabJournal); }

QString frmMain::HelpFile() const
{
    const QString folder = programFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder_;
    return folder + QLatin1Char('/') + HelpFileName;
}

void frmMain::mnuHelp_Click()
{
    // The viewer opens on the first topic; a missing help file shows nothing.
    common::seams().showHelp(this, HelpFile());
}

void frmMain::mnuAbout_Click()
{
    frmAbout about(this);
    common::ShowModal(about);
}

} // namespace shell
