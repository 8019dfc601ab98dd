#pragma once

#include "mainlayout.h"
#include "telemetry_record.h"

#include <QColor>
#include <QString>
#include <array>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace kesta {

class LightElementRow;

// Shows one telemetry record in the main window's controls: the frame kind, the raw
// frame, the FSS message, every value box and the light-element row. A box whose field
// the record's frame did not carry keeps its text ("0", say) but is drawn in grey, so
// that a received value can be told from one that was not received; a screen reader is
// told so in the box's description.
class RecordView
{
public:
    static constexpr int ValueBoxCount = mainlayout::ValueBoxCount; // Text1(0) to Text1(21)
    static constexpr int LightElementsBox = 14;

    struct Controls
    {
        std::array<QWidget *, ValueBoxCount> valueBoxes{}; // QLineEdit, or QPlainTextEdit for 14
        QLabel *frameKind = nullptr;                       // Label4
        QPlainTextEdit *rawFrame = nullptr;                // Text3(3)
        QLineEdit *message = nullptr;                      // Text3(0)
        LightElementRow *lightElements = nullptr;          // Shape1
    };

    // Grey with at least 4.5:1 contrast on the white and the pale yellow box.
    static constexpr QColor NotCarriedColor{112, 112, 112};

    explicit RecordView(const Controls &controls);

    // Shows `r`, numbers with `decimalSeparator`.
    void show(const kesta::TelemetryRecord &r, const std::string &decimalSeparator);

    QString valueText(int index) const;
    void setValueText(int index, const QString &text);
    // True when value box `index` shows a field the record's frame carried.
    bool isCarried(int index) const;

private:
    void setCarried(int index, bool carried);

    Controls m_controls;
    std::array<bool, ValueBoxCount> m_carried{};
    QColor m_textColor;
};

} // namespace kesta
