// Writes pictures of the Mail and Contacts tabs after a scan of the bundled sample database:
//   scan_screenshots <samples/mailfile.dxl> <mail-tab.png> <contacts-tab.png>
// Run it under a real X server (xvfb-run) so that fonts and styles are the desktop's.
#include "quiet_seams.h"

#include "common/ui_seams.h"
#include "notes/notes_session.h"
#include "shell/frm_main.h"
#include "widgets/folder_tree.h"
#include "widgets/frm_main_controls.h"
#include "widgets/tab_strip.h"

#include <QApplication>
#include <QLineEdit>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: scan_screenshots <mailfile.dxl> <mail-tab.png> <contacts-tab.png>\n";
        return 2;
    }
    notes::RegisterNotesSession();
    common::ScopedSeams scope(QuietSeams());

    shell::frmMain window;
    window.show();
    const auto& c = window.controls();
    c.txtNotesDatabaseFile->setText(args[1]);
    window.CmdScan_Click();
    c.ContactsTreeView->select(QStringLiteral("Inbox"));
    window.ContactsTreeView_Click();
    QApplication::processEvents();
    bool ok = window.grab().save(args[2]);
    c.NotesTab->selectTab(4);
    QApplication::processEvents();
    ok = window.grab().save(args[3]) && ok;
    if (!ok)
        QTextStream(stderr) << "cannot write the pictures\n";
    return ok ? 0 : 1;
}
