#include "shell/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace shell {

namespace {
    const QColor deepWater(0x0d, 0x3b, 0x66);
    const QColor shallowWater(0x1f, 0x7a, 0x8c);
    const QColor foam(0xf4, 0xf1, 0xde);
    const QColor signal(0xee, 0x96, 0x4b);

    // A ferry's hull riding on two waves, drawn into rect.
    void drawFerry(QPainter& p, const QRectF& r, const QColor& hull, const QColor& water)
    {
        const qreal w = r.width();
        const qreal h = r.height();
        QPainterPath body;
        body.moveTo(r.left() + 0.08 * w, r.top() + 0.50 * h);
        body.lineTo(r.left() + 0.92 * w, r.top() + 0.50 * h);
        body.lineTo(r.left() + 0.78 * w, r.top() + 0.70 * h);
        body.lineTo(r.left() + 0.20 * w, r.top() + 0.70 * h);
        body.closeSubpath();
        QPainterPath cabin;
        cabin.addRoundedRect(QRectF(r.left() + 0.30 * w, r.top() + 0.28 * h, 0.38 * w, 0.20 * h), 0.03 * w, 0.03 * w);
        p.setPen(Qt::NoPen);
        p.setBrush(hull);
        p.drawPath(body);
        p.drawPath(cabin);
        p.setBrush(signal);
        p.drawRect(QRectF(r.left() + 0.52 * w, r.top() + 0.12 * h, 0.07 * w, 0.16 * h));

        QPen wave(water, qMax<qreal>(1.0, 0.06 * h), Qt::SolidLine, Qt::RoundCap);
        p.setPen(wave);
        p.setBrush(Qt::NoBrush);
        for (qreal y : { 0.80, 0.93 }) {
            QPainterPath path;
            path.moveTo(r.left() + 0.05 * w, r.top() + y * h);
            for (int i = 0; i < 4; ++i) {
                const qreal x0 = r.left() + (0.05 + 0.225 * i) * w;
                path.cubicTo(x0 + 0.06 * w, r.top() + (y - 0.07) * h, x0 + 0.17 * w, r.top() + (y + 0.07) * h,
                    x0 + 0.225 * w, r.top() + y * h);
            }
            p.drawPath(path);
        }
    }
} // namespace

QPixmap productArtwork(QSize size)
{
    QPixmap picture(size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), QSizeF(size));

    QLinearGradient sky(all.topLeft(), all.bottomRight());
    sky.setColorAt(0.0, deepWater);
    sky.setColorAt(1.0, shallowWater);
    p.fillRect(all, sky);

    const qreal unit = size.height() / 209.0;
    drawFerry(p, QRectF(all.width() - 110 * unit, 20 * unit, 96 * unit, 80 * unit), foam, foam.darker(120));

    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    p.setPen(foam);
    font.setPixelSize(qRound(15 * unit));
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3 * unit);
    p.setFont(font);
    p.drawText(QPointF(20 * unit, 40 * unit), QStringLiteral("QUARROW"));

    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    font.setPixelSize(qRound(32 * unit));
    font.setBold(true);
    p.setFont(font);
    p.drawText(QPointF(18 * unit, 86 * unit), QStringLiteral("Ferrymark"));

    font.setBold(false);
    font.setPixelSize(qRound(12 * unit));
    p.setFont(font);
    p.setPen(signal);
    p.drawText(QPointF(20 * unit, 108 * unit), QStringLiteral("Notes to Outlook migration"));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRect(QRectF(0, all.height() - 44 * unit, all.width(), 44 * unit));
    p.setPen(foam);
    font.setPixelSize(qRound(11 * unit));
    p.setFont(font);
    p.drawText(QRectF(20 * unit, all.height() - 44 * unit, all.width() - 40 * unit, 44 * unit),
        Qt::AlignVCenter | Qt::AlignLeft,
        QStringLiteral("Emails, Calendars, Contacts, To Do List & Journals\nVersion 7.6 Build 1218"));
    p.end();
    return picture;
}

QPixmap productEmblem(int side)
{
    QPixmap picture(side, side);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(deepWater);
    p.drawRoundedRect(QRectF(0, 0, side, side), side * 0.2, side * 0.2);
    drawFerry(p, QRectF(side * 0.1, side * 0.05, side * 0.8, side * 0.85), foam, shallowWater.lighter(150));
    p.end();
    return picture;
}

} // namespace shell
