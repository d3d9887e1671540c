#pragma once

#include <QColor>
#include <QWidget>

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

} // namespace ui
