#pragma once

#include "accessibility.h"
#include "mainlayout.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QScrollBar;

namespace kesta {

class LightElementRow;
class ParameterChart;
class RecordRowFit;
class RecordView;

struct TelemetryRecord;

// The main window's client area: the fixed layout of the record view built from
// mainlayout.h's tables, the record shown in it, the parameter chosen for the chart and
// the row that steps through the records.
//
// Its controls carry the layout's names as object names, array elements as name_index
// ("Text1_12", "Option1_13"), so that tests and accessibility tools can find them. This
// is the one class that knows those names: everything else asks it for the control.
class RecordPanel : public accessibility::ClientPane
{
    Q_OBJECT

public:
    static constexpr int Width = 560;
    static constexpr int Height = 665;
    static constexpr int ValueBoxCount = mainlayout::ValueBoxCount; // Text1(0) to Text1(21)
    static constexpr int MovementFlagBox = 1;

    explicit RecordPanel(QWidget *parent = nullptr);
    ~RecordPanel() override;

    // Writes the catalogue's names and units onto Label1 and Label2 and empties
    // Text1(0) to Text1(3).
    void initParameterCatalogue();
    // Shows `record`: frame kind, raw frame, message, every value box and the
    // light-element row. Boxes of fields its frame did not carry are greyed.
    void showRecord(const TelemetryRecord &record);

    // The text of value box Text1(index), 0 to 21; empty for any other index.
    QString valueText(int index) const;
    void setValueText(int index, const QString &text);
    // True when value box `index` shows a field the shown record's frame carried.
    bool isCarried(int index) const;
    // Value box Text1(index), null for any other index.
    QWidget *valueBox(int index) const;

    // The chosen parameter: its option button checked and its value box highlighted.
    // Does not draw the chart; parameterClicked() is for the user's clicks only.
    void chooseParameter(int parameter);
    // The parameter whose option button is checked; -1 before any.
    int chosenParameter() const;
    // Frame1's caption for the chart of `parameter`: its name and unit.
    void showChartCaption(int parameter);

    // Label5: the frames counted per type.
    void showCounts(std::int64_t htrx, std::int64_t fss, std::int64_t fssHi);
    // Text2: "#shown / total".
    void showPosition(qint64 shown, qint64 total);

    ParameterChart *chart() const { return m_chart; }
    LightElementRow *lightElements() const { return m_shape1; }
    // HScroll1, the scroll bar that chooses the record shown.
    QScrollBar *recordBar() const { return m_hscroll1; }
    // Text2, the record box at the end of the navigation row.
    QLineEdit *positionBox() const { return m_text2; }

    // Once the panel stands in its window: the texts that must fit are fitted, what no
    // one can see is hidden from screen readers, and Tab runs through the rest top to
    // bottom, left to right.
    void prepareForUse();

signals:
    // The user clicked option button Option1(parameter).
    void parameterClicked(int parameter);
    // The user asked for the movement flag's bits (the info button beside Text1(1)).
    void movementFlagRequested();

private:
    void buildFrames();
    void buildParameterRows();
    void buildPictures();
    void buildNavigationRow();
    QWidget *container(mainlayout::Box box);

    // Control arrays, indexed as in the layout; gaps are null.
    std::array<QRadioButton *, mainlayout::ParameterRows.size()> m_option1{};
    std::array<QLabel *, mainlayout::ValueBoxCount> m_label1{};
    std::array<QLabel *, 38> m_label2{};
    std::array<QWidget *, mainlayout::ValueBoxCount> m_text1{};
    std::array<QWidget *, 4> m_text3{};
    QButtonGroup *m_optionGroup = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QGroupBox *m_frame2 = nullptr;
    QGroupBox *m_frame5 = nullptr;
    LightElementRow *m_shape1 = nullptr;
    ParameterChart *m_chart = nullptr;
    QScrollBar *m_hscroll1 = nullptr;
    QLineEdit *m_text2 = nullptr;
    QLabel *m_label4 = nullptr;
    QLabel *m_label5 = nullptr;
    RecordRowFit *m_recordRowFit = nullptr; // long numbers in the counts and record box
    QWidget *m_image1 = nullptr;
    QWidget *m_image4 = nullptr;
    QFrame *m_line1 = nullptr;
    QListWidget *m_list1 = nullptr;
    std::unique_ptr<RecordView> m_view;
};

} // namespace kesta
