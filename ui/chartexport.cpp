#include "chartexport.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsView>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

ImageFileChooser::~ImageFileChooser() = default;

QStringList QtImageFileChooser::filters()
{
    return {QStringLiteral("PNG Image (*.png)"), QStringLiteral("SVG Image (*.svg)")};
}

QString QtImageFileChooser::chooseImageFile(QWidget *parent, const QString &suggestedName)
{
    const QStringList list = filters();
    QString selected = list.first();
    QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Chart"), suggestedName,
                                                list.join(QStringLiteral(";;")), &selected);
    if (path.isEmpty())
        return path;
    // A name typed without an ending gets the one of the chosen kind.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("png") && suffix != QLatin1String("svg"))
        path += selected == list.at(1) ? QStringLiteral(".svg") : QStringLiteral(".png");
    return path;
}

namespace chartexport {

namespace {

constexpr int Scale = 2;

} // namespace

QImage render(QGraphicsView &view)
{
    const QSize size = view.viewport()->size();
    QImage image(size * Scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(Scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    view.render(&painter, QRectF(QPointF(0, 0), size), view.viewport()->rect());
    painter.end();
    return image;
}

QString save(QGraphicsView &view, const QString &path, const QString &title,
             const QString &description)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        const QSize size = view.viewport()->size();
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(title);
        svg.setDescription(description);
        QPainter painter;
        if (!painter.begin(&svg))
            return QStringLiteral("cannot draw the chart");
        view.render(&painter, QRectF(QPointF(0, 0), size), view.viewport()->rect());
        painter.end();
    } else if (!render(view).save(&file, "PNG")) {
        file.cancelWriting();
        return file.error() != QFileDevice::NoError ? file.errorString()
                                                    : QStringLiteral("cannot write the image");
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace chartexport
