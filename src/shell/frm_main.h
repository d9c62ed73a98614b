// The main window: database selection and scan, the preview tabs and the export options.
#pragma once

#include "widgets/frm_main_controls.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;

namespace notes {
class NotesReader;
}
namespace exporting {
class ExportOptions;
}

namespace shell {
using widgets::frmMainControls;
using widgets::PreviewList;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::int16_t TabSelectFile = 1;
    static constexpr std::int16_t TabMail = 2;
    static constexpr std::int16_t TabCalendar = 3;
    static constexpr std::int16_t TabContacts = 4;
    static constexpr std::int16_t TabToDoList = 5;
    static constexpr std::int16_t TabJournal = 6;
    static constexpr std::int16_t TabExport = 7;

    // The help file, in the program's folder.
    static inline const QString HelpFileName = QStringLiteral("Help.html");

    // Builds the window and runs Form_Load.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    const frmMainControls& controls() const { return c_; }
    // Toolbar button 1..6 (3 and 5 are separators); nullptr for any other number.
    QAction* toolbarButton(int index) const;

    void Form_Load();
    void txtNotesDatabaseFile_Change();

    void CmdBrowse_Click();
    void CmdScan_Click();
    void CmdStartConversion_Click();
    void ContactsTreeView_Click();
    void NotesTab_Click(std::int16_t tabNumber);
    void NotesToolBar_ButtonClick(std::int16_t Index);

    void mnuOpen_Click();
    void mnuExit_Click();
    void mnuMails_Click();
    void mnuCalendars_Click();
    void mnuContacts_Click();
    void mnuToDoList_Click();
    void mnuJournals_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();

    // Full path of the help file: the program's folder (see setProgramFolder) and HelpFileName.
    QString HelpFile() const;
    // The folder the help file is looked for in; the program's own folder unless set.
    void setProgramFolder(const QString& folder) { programFolder_ = folder; }
    // What Exit does on Yes; EndProgram unless set.
    void setProgramEnd(std::function<void()> end) { programEnd_ = std::move(end); }
    // Ends the program at once: every window is hidden, none is asked whether it may close,
    // and the event loops end. Windows that delete themselves when closed are deleted.
    static void EndProgram();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    QWidget* buildBanner();
    QWidget* buildSelectFileTab();
    QWidget* buildMailTab();
    QWidget* buildListTab(PreviewList*& list, const char* name, const QString& columns);
    QWidget* buildExportTab();

    frmMainControls c_;
    std::unique_ptr<notes::NotesReader> reader_;
    std::unique_ptr<exporting::ExportOptions> exportOptions_;
    bool placed_ = false;
    QString programFolder_;
    std::function<void()> programEnd_ = EndProgram;
};

} // namespace shell
