#include "chartexport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGraphicsView>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace kesta {

namespace chartexport {

QStringList filters()
{
    return {QCoreApplication::translate("ParameterChart", "PNG Image (*.png)"),
            QCoreApplication::translate("ParameterChart", "SVG Image (*.svg)")};
}

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
            return QCoreApplication::translate("ParameterChart", "cannot draw the chart");
        view.render(&painter, QRectF(QPointF(0, 0), size), view.viewport()->rect());
        painter.end();
    } else if (!render(view).save(&file, "PNG")) {
        file.cancelWriting();
        return file.error() != QFileDevice::NoError
                   ? file.errorString()
                   : QCoreApplication::translate("ParameterChart", "cannot write the image");
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace chartexport

} // namespace kesta
