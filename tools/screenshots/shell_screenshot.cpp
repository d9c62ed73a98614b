// Writes pictures of the main window and the splash for the documentation:
//   shell_screenshot <main-window.png> [<splash.png>]
// Run it under a real X server (xvfb-run) so that fonts and styles are the desktop's.
#include "shell/artwork.h"
#include "shell/frm_main.h"
#include "shell/frm_splash.h"

#include <QApplication>
#include <QPixmap>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: shell_screenshot <main-window.png> [<splash.png>]\n";
        return 2;
    }

    shell::frmMain window;
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(args[1])) {
        QTextStream(stderr) << "cannot write " << args[1] << "\n";
        return 1;
    }
    if (args.size() > 2) {
        const QPixmap splash
            = shell::productArtwork(QSize(shell::frmSplash::PictureWidth, shell::frmSplash::PictureHeight));
        if (!splash.save(args[2])) {
            QTextStream(stderr) << "cannot write " << args[2] << "\n";
            return 1;
        }
    }
    return 0;
}
