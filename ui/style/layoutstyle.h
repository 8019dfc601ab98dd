#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace kesta {

// Fonts, colours and geometry shared by the program's windows.
//
// Window layouts are drawn in pixels at 96 dots per inch. Qt's widget coordinates are
// device-independent pixels of exactly that size, so the numbers go in unchanged and Qt
// scales them on high-DPI screens; fonts are given in points and scale with them.
namespace layoutstyle {

// The layout's own unit: 15 twips to the pixel at 96 dpi.
constexpr int TwipsPerPixel = 15;
constexpr int pixelsFromTwips(int twips)
{
    return twips / TwipsPerPixel;
}

// x, y, width and height in 96-dpi pixels, measured from the top-left corner of the
// control's container (a frame's outer corner, its caption runs along the top edge).
struct Geometry
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    constexpr QRect rect() const { return {x, y, width, height}; }
};

// Moves and sizes `widget` inside its parent and fixes that size.
void place(QWidget *widget, Geometry geometry);

// Background of the windows, frames, labels, option buttons and grey text boxes.
constexpr QColor BackgroundColor{224, 224, 224};
// The default text-box background.
constexpr QColor TextBoxColor{255, 255, 255};
// Text on the layout's own light backgrounds, whatever the desktop's colour scheme.
constexpr QColor TextColor{0, 0, 0};

// The windows' default font: the platform's plain sans-serif, 8.25 pt, regular,
// semi-condensed where the family has such a face.
QFont defaultFont();
// The same sans-serif at `pointSize`, bold.
QFont boldFont(qreal pointSize = 8.25);
// The platform's fixed-pitch font at `pointSize`, optionally bold.
QFont fixedFont(qreal pointSize, bool bold = false);

// Paints `widget`'s window background in BackgroundColor (also for child labels and
// buttons that draw no background of their own), with TextColor for their text and
// TextBoxColor inside check marks and option buttons, so that a dark desktop theme does
// not put light text on the light background.
void setBackground(QWidget *widget);
// Sets the text colour of a label, button or text box.
void setTextColor(QWidget *widget, const QColor &color);
// Sets the background colour of a text box (QLineEdit or QPlainTextEdit), and its text
// colour to TextColor unless setTextColor chose one.
void setTextBoxColor(QWidget *widget, const QColor &color);

// A one-line display field: the user can select and copy its text but not change it.
QLineEdit *makeDisplayLine(QWidget *parent, const QString &objectName);
// A multi-line display field, wrapping anywhere (hex texts have no spaces).
QPlainTextEdit *makeDisplayText(QWidget *parent, const QString &objectName);

// Shows the SVG picture `resource` in `label`, scaled to fit with its aspect ratio kept,
// on a transparent background and sharp at the screen's scale.
void showPicture(QLabel *label, const QString &resource);

} // namespace layoutstyle

} // namespace kesta
