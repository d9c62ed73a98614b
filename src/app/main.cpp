// Ferrymark: moves one Notes database into a new Outlook PST file.
#include "shell/artwork.h"
#include "shell/frm_splash.h"

#include "common/global.h"
#include "common/stop_signals.h"
#include "common/ui_seams.h"
#include "export/stop_on_signal.h"
#include "notes/notes_session.h"
#include "outlook/stand_in.h"

#include <QApplication>
#include <QIcon>

#include <iostream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrymark"));
    QApplication::setApplicationVersion(QStringLiteral("7.6.1218"));
    QApplication::setWindowIcon(QIcon(shell::productEmblem(64)));

    // SIGINT and SIGTERM stop a run as the stop button does and end the program; from then on
    // messages go to standard error, since no one is there to close a window.
    common::CatchStopSignals();
    exporting::WatchStopSignals(&app);
    common::UiSeams afterSignal;
    afterSignal.messageBox = [shown = common::seams().messageBox](const common::MessageRequest& m) {
        if (common::StopSignalReceived() == 0)
            return shown(m);
        std::cerr << m.title.toStdString() << ": " << QString(m.text).replace('\n', " | ").toStdString() << std::endl;
        if (m.buttons == common::MsgButtons::YesNo)
            return common::MsgResult::No;
        return m.buttons == common::MsgButtons::OkCancel ? common::MsgResult::Cancel : common::MsgResult::Ok;
    };
    const common::ScopedSeams seams(std::move(afterSignal));
    common::RemoveLeftoverTempFolders();

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
