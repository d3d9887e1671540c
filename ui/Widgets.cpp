#include "ui/Widgets.h"

#include <QFocusEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <utility>

namespace ui {

RoundedPanel::RoundedPanel(QColor fill, qreal radius, QWidget* parent)
    : QWidget(parent), fill_(fill), radius_(radius) {}

void RoundedPanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill_);
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

PlainButton::PlainButton(Colors enabled, Colors disabled, QWidget* parent)
    : QPushButton(parent), enabled_(enabled), disabled_(disabled) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize PlainButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()), metrics.height() + 2 * kVerticalPadding};
}

void PlainButton::paintEvent(QPaintEvent* /*event*/) {
    const Colors colors = currentColors();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colors.fill);
    painter.drawRoundedRect(QRectF(rect()), kRadius, kRadius);
    painter.setPen(colors.text);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus() && focusFromKeyboard_ && isEnabled()) {
        // Keyboard users need to see where the focus is.
        painter.setPen(QPen(colors.text, 1.5, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(3, 3, -3, -3), kRadius - 3, kRadius - 3);
    }
}

void PlainButton::setAvailable(bool available, QWidget* standIn) {
    if (!available && isEnabled()) {
        focusBeforeDisabled_ = hasFocus();
        focusStandIn_ = focusBeforeDisabled_ ? standIn : nullptr;
        if (focusStandIn_ != nullptr) {
            focusStandIn_->setFocus(Qt::OtherFocusReason);
        }
    }
    setEnabled(available);
    if (!available || !std::exchange(focusBeforeDisabled_, false)) {
        return;
    }
    const QWidget* lentTo = std::exchange(focusStandIn_, nullptr);
    const QWidget* focused = window()->focusWidget();
    if (focused == nullptr || focused == lentTo) {
        const bool fromKeyboard = focusFromKeyboard_;
        setFocus(Qt::OtherFocusReason);
        focusFromKeyboard_ = fromKeyboard;
    }
}

void PlainButton::focusInEvent(QFocusEvent* event) {
    focusFromKeyboard_ =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QPushButton::focusInEvent(event);
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    setTextColor(label, color);
    return label;
}

QWidget* withMargins(QWidget* child, const QMargins& margins, Qt::Alignment alignment) {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(margins);
    layout->setSpacing(0);
    layout->addWidget(child, 0, alignment);
    return holder;
}

} // namespace ui
