#include "shell/frm_splash.h"

#include "common/ui_seams.h"
#include "shell/artwork.h"
#include "shell/frm_main.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace shell {
using namespace widgets;

frmSplash::frmSplash(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , timer1_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Ferrymark"));
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ImgSplash"));
    picture->setPixmap(productArtwork(QSize(PictureWidth, PictureHeight)));
    picture->setFixedSize(PictureWidth, PictureHeight);
    layout->addWidget(picture);
    setFixedSize(PictureWidth, PictureHeight);

    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(Timer1Interval);
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    timer1_->start();
}

frmSplash::~frmSplash() = default;

frmMain* frmSplash::mainWindow() const { return main_.data(); }

void frmSplash::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (const QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    activateWindow();
    setFocus();
}

void frmSplash::Timer1_Timer()
{
    if (unloaded_ || waiting_)
        return;
    timer1_->stop();
    waiting_ = true;
    common::After(DisplayTime, this, [this] { showMainAndUnload(); });
}

void frmSplash::Form_KeyPress([[maybe_unused]] std::int16_t KeyAscii) { showMainAndUnload(); }

void frmSplash::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
    case Qt::Key_AltGr:
        QWidget::keyPressEvent(event);
        return;
    default:
        break;
    }
    const QString text = event->text();
    Form_KeyPress(static_cast<std::int16_t>(text.isEmpty() ? 0 : text.at(0).unicode()));
}

void frmSplash::showMainAndUnload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    timer1_->stop();
    main_ = new frmMain;
    main_->setAttribute(Qt::WA_DeleteOnClose);
    main_->show();
    close();
}

} // namespace shell
