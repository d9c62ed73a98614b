#include "shell/frm_about.h"

#include "shell/artwork.h"

#include <QLabel>
#include <QVBoxLayout>

namespace shell {

frmAbout::frmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About - Quarrow Ferrymark"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ImgAbout"));
    picture->setPixmap(productArtwork(QSize(PictureWidth, PictureHeight)));
    picture->setFixedSize(PictureWidth, PictureHeight);
    layout->addWidget(picture);
    setFixedSize(PictureWidth, PictureHeight);
}

frmAbout::~frmAbout() = default;

} // namespace shell
