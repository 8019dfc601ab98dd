#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

class QGraphicsView;
class QWidget;

// Asks the user where to save a picture of the chart. The chart talks to this interface
// only, so tests can answer it without a person at the screen.
class ImageFileChooser
{
public:
    virtual ~ImageFileChooser();

    // The full path to write, with its ".png" or ".svg" ending; empty text when the user
    // cancels. `suggestedName` is the name the dialog offers.
    virtual QString chooseImageFile(QWidget *parent, const QString &suggestedName) = 0;
};

// The real thing: the platform's modal save-file dialog.
class QtImageFileChooser : public ImageFileChooser
{
public:
    QString chooseImageFile(QWidget *parent, const QString &suggestedName) override;

    // "PNG Image (*.png)" and "SVG Image (*.svg)", the first in force when it opens.
    static QStringList filters();
};

namespace chartexport {

// What the view shows now, drawn at twice its size for a crisp picture on any screen.
QImage render(QGraphicsView &view);

// Writes what the view shows to `path`: an SVG drawing when the name ends in ".svg" (any
// case), else a PNG image. The file is replaced only when the whole picture has been
// written. Returns an empty text on success, else the reason it failed.
QString save(QGraphicsView &view, const QString &path, const QString &title,
             const QString &description);

} // namespace chartexport
