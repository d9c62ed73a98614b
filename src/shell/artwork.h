// The product's own pictures, drawn rather than stored.
#pragma once

#include <QPixmap>
#include <QSize>

namespace shell {

// The product picture of the splash (341 x 209) and about (341 x 210) windows.
QPixmap productArtwork(QSize size);

// The small product emblem of the banner and the window icon.
QPixmap productEmblem(int side);

} // namespace shell
