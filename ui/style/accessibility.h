#pragma once

#include <QGroupBox>
#include <QString>
#include <QWidget>

namespace kesta {

// What screen readers (AT-SPI through Qt) get from the program's windows beyond Qt's own
// answers: the movement-flag and about windows as windows, and containers that leave out
// the children marked hidden (controls outside the visible area, blank labels).
namespace accessibility {

// Installs the program's accessibility factory; called once per program, more calls do
// nothing.
void install();

// Leaves `widget` out of its container's accessible children (the container must be a
// ClientPane or a CaptionFrame) and out of the Tab chain.
void hide(QWidget *widget);
bool isHidden(const QWidget *widget);

// The main window's client area and its captioned frames: containers whose accessible
// children leave out the hidden ones.
class ClientPane : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};

class CaptionFrame : public QGroupBox
{
    Q_OBJECT

public:
    using QGroupBox::QGroupBox;
};

} // namespace accessibility

} // namespace kesta
