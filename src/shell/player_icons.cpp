#include "shell/player_icons.h"

#include <QPainter>
#include <QPixmap>

namespace kinolark::shell {

QIcon glyph(Glyph which)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    switch (which) {
    case Glyph::Play:
        p.drawPolygon(QPolygonF{QPointF(9, 6), QPointF(26, 16), QPointF(9, 26)});
        break;
    case Glyph::Pause:
        p.drawRect(QRectF(8, 7, 5, 18));
        p.drawRect(QRectF(19, 7, 5, 18));
        break;
    case Glyph::Sound:
    case Glyph::Muted:
        p.drawPolygon(QPolygonF{QPointF(4, 12), QPointF(10, 12), QPointF(17, 6), QPointF(17, 26), QPointF(10, 20),
                                QPointF(4, 20)});
        p.setBrush(Qt::NoBrush);
        if (which == Glyph::Sound) {
            p.drawArc(QRectF(14, 9, 10, 14), -60 * 16, 120 * 16);
            p.drawArc(QRectF(14, 4, 16, 24), -60 * 16, 120 * 16);
        } else {
            // As bold as the waves it stands for.
            p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(20, 10), QPointF(29, 22));
            p.drawLine(QPointF(29, 10), QPointF(20, 22));
        }
        break;
    case Glyph::FullScreen:
    case Glyph::Window: {
        // Four corners, pointing out for full screen and in for the window.
        const bool out = which == Glyph::FullScreen;
        const qreal a = out ? 5 : 12, b = out ? 12 : 5;
        p.setBrush(Qt::NoBrush);
        for (const QPointF &corner : {QPointF(0, 0), QPointF(32, 0), QPointF(0, 32), QPointF(32, 32)}) {
            const qreal sx = corner.x() == 0 ? 1 : -1, sy = corner.y() == 0 ? 1 : -1;
            p.drawPolyline(QPolygonF{QPointF(corner.x() + sx * a, corner.y() + sy * b),
                                     QPointF(corner.x() + sx * a, corner.y() + sy * a),
                                     QPointF(corner.x() + sx * b, corner.y() + sy * a)});
        }
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace kinolark::shell
