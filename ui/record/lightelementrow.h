#pragma once

#include <QColor>
#include <QWidget>
#include <array>
#include <string_view>

namespace kesta {

struct TelemetryRecord;

// The 64 light elements of the FSS unit as one row of upright bars, element 0 leftmost.
// Each bar is 9 x 33 pixels with a 1-pixel black border; neighbours share their border
// line, so bar k starts at x = 8k and the row is 513 pixels wide.
class LightElementRow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BarCount = 64;
    static constexpr int BarWidth = 9;
    static constexpr int BarHeight = 33;
    static constexpr int BarPitch = 8;
    static constexpr int RowWidth = BarPitch * (BarCount - 1) + BarWidth;
    static constexpr QColor InitialFill{192, 192, 192};

    explicit LightElementRow(QWidget *parent = nullptr);

    // The colour of a light element's reading: black through dark yellow to full
    // yellow, (8r, 8r, 0) capped at 255.
    static QColor readingColor(int reading);
    // The 64 readings of a record, element 1 first; all 0 when its frame carried none.
    static std::array<int, BarCount> readings(const kesta::TelemetryRecord &record);

    QColor fillColor(int bar) const;
    // Sets the fill of bar `bar` (0 to 63); other indices are ignored.
    void setFillColor(int bar, const QColor &color);
    // Sets all 64 fills at once, with a single repaint.
    void setFillColors(const std::array<QColor, BarCount> &colors);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::array<QColor, BarCount> fills_;
};

} // namespace kesta
