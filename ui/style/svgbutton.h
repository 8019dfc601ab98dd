#pragma once

#include <QAbstractButton>
#include <QSvgRenderer>

namespace kesta {

// A small push button drawn from an SVG resource at its size, crisp at any screen scale:
// the "i" beside the movement flag. It takes focus with Tab or a click, shows a focus
// frame, and is pressed with the mouse, Space or Enter. As a button it tells screen
// readers its role and its press action.
class SvgButton : public QAbstractButton
{
    Q_OBJECT

public:
    SvgButton(const QString &resource, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QSvgRenderer m_renderer;
};

} // namespace kesta
