#include "layoutstyle.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSvgRenderer>
#include <QTextOption>

namespace kesta {

namespace layoutstyle {

void place(QWidget *widget, Geometry geometry)
{
    widget->setGeometry(geometry.rect());
    widget->setFixedSize(geometry.width, geometry.height);
}

namespace {

QFont sansSerif(qreal pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    // The layouts were drawn for a narrow 8-point face; semi-condensed, where the family
    // offers it, the wider Linux sans-serifs fit them too (eight bit digits in a
    // 57-pixel value box, the longer labels in their boxes).
    font.setStretch(QFont::SemiCondensed);
    return font;
}

} // namespace

QFont defaultFont()
{
    return sansSerif(8.25);
}

QFont boldFont(qreal pointSize)
{
    QFont font = sansSerif(pointSize);
    font.setBold(true);
    return font;
}

QFont fixedFont(qreal pointSize, bool bold)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

namespace {

// Set on a widget once its text colour has been chosen, so that a new box colour keeps it.
constexpr char ChosenTextColor[] = "layoutstyleTextColor";

} // namespace

void setBackground(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, BackgroundColor);
    palette.setColor(QPalette::Button, BackgroundColor);
    palette.setColor(QPalette::Base, TextBoxColor);
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(QPalette::Active, role, TextColor);
        palette.setColor(QPalette::Inactive, role, TextColor);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColor(QWidget *widget, const QColor &color)
{
    widget->setProperty(ChosenTextColor, true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void setTextBoxColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    const bool keepText = widget->property(ChosenTextColor).toBool();
    if (palette.color(QPalette::Base) == color &&
        (keepText || palette.color(QPalette::Text) == TextColor))
        return;
    palette.setColor(QPalette::Base, color);
    if (!keepText) {
        palette.setColor(QPalette::Active, QPalette::Text, TextColor);
        palette.setColor(QPalette::Inactive, QPalette::Text, TextColor);
    }
    widget->setPalette(palette);
}

QLineEdit *makeDisplayLine(QWidget *parent, const QString &objectName)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(objectName);
    box->setReadOnly(true);
    box->setFont(defaultFont());
    box->setTextMargins(0, 0, 0, 0);
    box->setContextMenuPolicy(Qt::DefaultContextMenu); // keeps "Copy" and "Select All"
    setTextBoxColor(box, TextBoxColor);
    return box;
}

QPlainTextEdit *makeDisplayText(QWidget *parent, const QString &objectName)
{
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(objectName);
    box->setReadOnly(true);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setFont(defaultFont());
    box->setWordWrapMode(QTextOption::WrapAnywhere);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->document()->setDocumentMargin(1);
    setTextBoxColor(box, TextBoxColor);
    return box;
}

void showPicture(QLabel *label, const QString &resource)
{
    QSvgRenderer renderer(resource);
    const qreal ratio = label->devicePixelRatioF();
    QSizeF size = renderer.defaultSize();
    size.scale(label->size(), Qt::KeepAspectRatio);
    QPixmap pixmap((size * ratio).toSize());
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    painter.end();
    pixmap.setDevicePixelRatio(ratio);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(pixmap);
}

} // namespace layoutstyle

} // namespace kesta
