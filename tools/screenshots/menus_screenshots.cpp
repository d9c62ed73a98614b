// Writes pictures of the open File, View and Help menus and of the help viewer:
//   menus_screenshots <samples/mailfile.dxl> <Help.html> <docs folder>
// giving menus-file.png, menus-view.png, menus-help.png and help-viewer.png in the folder.
// Run it under a real X server (xvfb-run) so that fonts and styles are the desktop's.
#include "common/help_viewer.h"
#include "quiet_seams.h"

#include "common/ui_seams.h"
#include "notes/notes_session.h"
#include "shell/frm_main.h"
#include "widgets/folder_tree.h"
#include "widgets/frm_main_controls.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTextStream>

namespace {
// The main window with one of its menus open and an entry of it under the pointer.
QImage withMenuOpen(shell::frmMain& window, QMenu* menu, QAction* highlighted)
{
    window.menuBar()->setActiveAction(menu->menuAction());
    QApplication::processEvents();
    menu->setActiveAction(highlighted);
    QApplication::processEvents();
    QImage picture = window.grab().toImage();
    QPainter painter(&picture);
    painter.drawPixmap(menu->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0)), menu->grab());
    painter.end();
    menu->hide();
    return picture;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: menus_screenshots <mailfile.dxl> <Help.html> <docs folder>\n";
        return 2;
    }
    notes::RegisterNotesSession();
    common::ScopedSeams scope(QuietSeams());

    // A fresh window for each picture, after a scan, with the Inbox listed.
    auto scanned = [&](shell::frmMain& window) {
        window.show();
        const auto& c = window.controls();
        c.txtNotesDatabaseFile->setText(args[1]);
        window.CmdScan_Click();
        c.ContactsTreeView->select(QStringLiteral("Inbox"));
        window.ContactsTreeView_Click();
        QApplication::processEvents();
        return c;
    };
    const QString folder = args[3] + QLatin1Char('/');
    bool ok = true;
    const std::pair<QMenu * widgets::frmMainControls::*, QAction * widgets::frmMainControls::*> menus[] = {
        { &widgets::frmMainControls::mnuFileTop, &widgets::frmMainControls::mnuOpen },
        { &widgets::frmMainControls::mnuViewTop, &widgets::frmMainControls::mnuCalendars },
        { &widgets::frmMainControls::mnuHelpTop, &widgets::frmMainControls::mnuHelp },
    };
    const char* names[] = { "menus-file.png", "menus-view.png", "menus-help.png" };
    for (std::size_t i = 0; i < std::size(menus); ++i) {
        shell::frmMain window;
        const auto c = scanned(window);
        ok = withMenuOpen(window, c.*menus[i].first, c.*menus[i].second).save(folder + QLatin1String(names[i])) && ok;
    }

    shell::frmMain window;
    scanned(window);
    if (!common::HelpViewer::Open(&window, args[2])) {
        QTextStream(stderr) << "cannot read " << args[2] << "\n";
        return 1;
    }
    auto* viewer = window.findChild<common::HelpViewer*>();
    QApplication::processEvents();
    ok = viewer->grab().save(folder + QStringLiteral("help-viewer.png")) && ok;
    if (!ok)
        QTextStream(stderr) << "cannot write the pictures\n";
    return ok ? 0 : 1;
}
