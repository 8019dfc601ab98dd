#pragma once

#include <QWidget>

namespace kesta {

// A frame round a control that the style draws no focus for (the record scroll bar): shown
// while the control has the keyboard's focus, a little outside it, over its neighbours,
// and never in the way of the mouse.
class FocusRing : public QWidget
{
    Q_OBJECT

public:
    // Rings `target`, which must have a parent; the ring is a child of that parent.
    explicit FocusRing(QWidget *target);

    static constexpr int Width = 2;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void follow();

    QWidget *m_target;
};

} // namespace kesta
