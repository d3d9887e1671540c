#include "ui/CpuIcon.h"

#include <QPainter>
#include <QPixmap>

namespace ui {

CpuIcon::CpuIcon(int size, QColor tint, QWidget* parent) : QWidget(parent), tint_(tint) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CpuIcon::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintCpuPictogram(painter, width(), tint_);
}

void paintCpuPictogram(QPainter& painter, qreal side, const QColor& tint) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = side / 40.0; // the pictogram is laid out on a 40-unit grid
    painter.scale(unit, unit);

    QPen pen(tint, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(9, 9, 22, 22), 4, 4);

    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawRoundedRect(QRectF(15, 15, 10, 10), 1.5, 1.5);

    painter.setPen(pen);
    for (const qreal at : {14.5, 20.0, 25.5}) {
        painter.drawLine(QPointF(at, 3.5), QPointF(at, 8.5));   // top
        painter.drawLine(QPointF(at, 31.5), QPointF(at, 36.5)); // bottom
        painter.drawLine(QPointF(3.5, at), QPointF(8.5, at));   // left
        painter.drawLine(QPointF(31.5, at), QPointF(36.5, at)); // right
    }
    painter.restore();
}

QIcon cpuPictogramIcon(const QColor& tint) {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintCpuPictogram(painter, side, tint);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace ui
