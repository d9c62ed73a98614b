// Ferrymark: moves one Notes database into a new Outlook PST file.
#include "shell/artwork.h"
#include "shell/frm_splash.h"

#include "notes/notes_session.h"
#include "outlook/stand_in.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrymark"));
    QApplication::setApplicationVersion(QStringLiteral("7.6.1218"));
    QApplication::setWindowIcon(QIcon(shell::productEmblem(64)));

    // The stand-ins for the Notes client.
    notes::RegisterNotesSession();
    // ... and for Outlook, over our own PST writer.
    outlook::RegisterOutlookStandIn();

    // The splash shows the main window and unloads itself; closing the main window ends the program.
    auto* splash = new shell::frmSplash;
    splash->show();
    const int status = app.exec();
    outlook::CloseAllStores();
    return status;
}
