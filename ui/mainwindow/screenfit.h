#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QLineEdit;
class QMainWindow;
class QScrollArea;
class QPlainTextEdit;
class QWidget;

namespace kesta {

// Fitting windows and texts to the screen and to their boxes.
namespace screenfit {

// The size of the viewport that shows `content` (the fixed client area) inside a window
// that needs `extra` around it (menu bar, status bar, window frame), on a screen whose
// free area is `available`: the whole content when it fits, else as much as fits with
// room for the scroll bars (`scrollBarExtent` pixels each) that then appear.
QSize viewportSize(QSize content, QSize extra, QSize available, int scrollBarExtent);

// Where a window of `size` goes beside the window whose frame is `anchor`, inside
// `available`: right of it, else left of it (top edges level), else below it, else above it
// (left edges level); where none has room, where it covers the least of the anchor.
QPoint besidePosition(const QRect &anchor, QSize size, const QRect &available, int gap = 8);

// Calls `refit` once more when the window manager has framed `window`: a window is first
// fitted to the screen before its frame is known (a title bar is assumed), and a frame of
// another height would leave it too tall, or give away room. Each time the frame differs
// from the one last fitted to, until the window first has a frame.
void refitWhenFramed(QWidget *window, std::function<void()> refit);

// Puts the window's fixed client area into a scroll area of the same size ("ClientScroll"),
// so that it scrolls on a screen too small for the whole window.
QScrollArea *scrollClientArea(QMainWindow *window);

// Sizes the window's client scroll area for a screen whose free area is `available`, and
// keeps `keepVisible` (the navigation row) in view when the client area has to scroll.
void fitClientArea(QMainWindow *window, QScrollArea *scroll, QWidget *keepVisible,
                   const QRect &available);

// Fits the window to its screen with `fit` and centres it there, now and again once the
// window manager has framed it.
void fitAndCentre(QWidget *window, std::function<void(const QRect &available)> fit);

// The width a line edit gives its text: the box less frame, text margins and the edit's
// own inner margin.
int lineTextWidth(const QLineEdit *box);

// Sets the largest font, from the box's own point size down to 6 pt, narrower faces first,
// in which `widest` fits into the line edit's text width.
void fitLineFont(QLineEdit *box, const QString &widest);

// Gives a multi-line box a font size (at most its own) whose line height divides the
// box's inner height, less a document margin of one pixel each side, so that every
// line shown is a whole line.
void fitWholeLines(QPlainTextEdit *box);

} // namespace screenfit

} // namespace kesta
