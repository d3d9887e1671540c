#pragma once

#include <QColor>
#include <QIcon>
#include <QWidget>

class QPainter;

namespace ui {

// A processor-chip pictogram: a body with a die in the middle and three pins
// on each side, drawn in one tint at any size.
class CpuIcon : public QWidget {
public:
    CpuIcon(int size, QColor tint, QWidget* parent = nullptr);

    QColor tint() const { return tint_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor tint_;
};

// Draws the pictogram into the square (0, 0, side, side) of the painter.
// The hicolor SVG icon that is installed repeats this geometry; change both.
void paintCpuPictogram(QPainter& painter, qreal side, const QColor& tint);

// The same pictogram at the sizes window managers and docks ask for.
QIcon cpuPictogramIcon(const QColor& tint);

} // namespace ui
