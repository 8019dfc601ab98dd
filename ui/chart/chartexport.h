#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class QGraphicsView;
class QWidget;

namespace kesta {

namespace chartexport {

// The kinds a chart is saved as: "PNG Image (*.png)" and "SVG Image (*.svg)".
QStringList filters();

// What the view shows now, drawn at twice its size for a crisp picture on any screen.
QImage render(QGraphicsView &view);

// Writes what the view shows to `path`: an SVG drawing when the name ends in ".svg" (any
// case), else a PNG image. The file is replaced only when the whole picture has been
// written. Returns an empty text on success, else the reason it failed.
QString save(QGraphicsView &view, const QString &path, const QString &title,
             const QString &description);

} // namespace chartexport

} // namespace kesta
