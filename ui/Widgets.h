#pragma once

#include <QColor>
#include <QPushButton>
#include <QWidget>

class QLabel;

namespace ui {

// A flat fill with anti-aliased round corners behind its children.
class RoundedPanel : public QWidget {
public:
    RoundedPanel(QColor fill, qreal radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    qreal radius_;
};

// A button that draws nothing but its label: centred text over a rounded
// fill, with one colour pair when enabled and another when disabled.
class PlainButton : public QPushButton {
public:
    struct Colors {
        QColor text;
        QColor fill;
    };

    PlainButton(Colors enabled, Colors disabled, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    Colors currentColors() const { return isEnabled() ? enabled_ : disabled_; }

    // Enables or disables the button. Qt hands a disabled widget's focus away
    // for good; this button lends it to `standIn` and takes it back, with its
    // focus ring, when it is enabled again and nothing else took the focus
    // meanwhile. A screen reader follows the focus there and back, so it reads
    // the stand-in and then the button again.
    void setAvailable(bool available, QWidget* standIn = nullptr);

    static constexpr int kVerticalPadding = 14;
    static constexpr qreal kRadius = 15;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    Colors enabled_;
    Colors disabled_;
    bool focusFromKeyboard_ = false;
    QWidget* focusStandIn_ = nullptr;
    bool focusBeforeDisabled_ = false;
};

// A plain-text label: values from the model are shown verbatim, never as markup.
QLabel* makeLabel(const QString& text, const QFont& font, const QColor& color,
                  QWidget* parent = nullptr);
void setTextColor(QWidget* widget, const QColor& color);

// `child` inside a transparent holder that adds the given space around it.
QWidget* withMargins(QWidget* child, const QMargins& margins, Qt::Alignment alignment = {});

} // namespace ui
