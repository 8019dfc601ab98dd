#include "lightelementrow.h"

#include "telemetry_record.h"

#include <QPainter>
#include <algorithm>

namespace kesta {

LightElementRow::LightElementRow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Shape1"));
    fills_.fill(InitialFill);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QColor LightElementRow::readingColor(int reading)
{
    const int level = std::clamp(8 * reading, 0, 255);
    return {level, level, 0};
}

std::array<int, LightElementRow::BarCount>
LightElementRow::readings(const kesta::TelemetryRecord &record)
{
    static_assert(std::tuple_size_v<kesta::LightElementBytes> == BarCount);
    std::array<int, BarCount> values{};
    if (record.Written.test(kesta::Field::LightElements))
        std::copy(record.LightElements.begin(), record.LightElements.end(), values.begin());
    return values;
}

QColor LightElementRow::fillColor(int bar) const
{
    if (bar < 0 || bar >= BarCount)
        return {};
    return fills_[static_cast<std::size_t>(bar)];
}

void LightElementRow::setFillColor(int bar, const QColor &color)
{
    if (bar < 0 || bar >= BarCount)
        return;
    auto &fill = fills_[static_cast<std::size_t>(bar)];
    if (fill == color)
        return;
    fill = color;
    update(bar * BarPitch, 0, BarWidth, BarHeight);
}

void LightElementRow::setFillColors(const std::array<QColor, BarCount> &colors)
{
    if (fills_ == colors)
        return;
    fills_ = colors;
    update();
}

QSize LightElementRow::sizeHint() const
{
    return {RowWidth, BarHeight};
}

void LightElementRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Fills first, then every border on top, so that shared border lines stay black.
    for (int k = 0; k < BarCount; ++k)
        painter.fillRect(k * BarPitch + 1, 1, BarWidth - 2, BarHeight - 2,
                         fills_[static_cast<std::size_t>(k)]);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    for (int k = 0; k < BarCount; ++k)
        painter.drawRect(k * BarPitch, 0, BarWidth - 1, BarHeight - 1);
}

} // namespace kesta
