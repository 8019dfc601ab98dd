#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QLabel;
class QPushButton;

namespace kesta {

class SaveFileChooser;

class RecordStore;

// The window "Light-Element Map": the 64 light-element readings of every record of the log
// as one picture, a column per record (or per moment of reception on the time axis), element
// 1 in the bottom row and 64 in the top one, each reading in the colour of the light-element
// row's bars, with the colour scale beside it. Records whose frame carried no light elements
// are grey columns. Pointing at the map tells record, element and reading; a click asks the
// main window to show that record. The map takes the keyboard's focus too: the arrows move
// a cell cursor (Page Up/Down, Home and End along the columns) and Enter shows its record.
class LightElementMap : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ElementCount = 64;
    // The colour of a column without light elements, and of time without a record.
    static const QColor NoReadingColor;

    explicit LightElementMap(const RecordStore &store, QWidget *parent = nullptr);
    ~LightElementMap() override;

    // Builds the map again from the records now in the store.
    void refresh();
    // Columns by reception time (true) or one per record (false, the default). Records
    // without a reception time have no place on the time axis; when no record has one,
    // the columns are by record number whatever was chosen.
    void setTimeAxis(bool byTime);
    // Only the records `span.first` to `span.second` (store indices): the pass chosen in
    // View -> Pass.
    void setRecordSpan(std::pair<int, int> span);
    // The columns are by reception time now.
    bool timeAxis() const { return m_byTime; }

    // The map itself: one pixel per column and element, element 1 in the bottom row.
    const QImage &image() const { return m_image; }
    int columnCount() const { return m_image.isNull() ? 0 : m_image.width(); }
    // The record drawn in `column` (its store index, 1 to RecordCount), 0 for none.
    int recordAt(int column) const;
    // The widget the map is drawn on, and where on it the map's cells lie.
    QWidget *canvas() const;
    QRect plotRect() const;
    // What the map says about the cell last pointed at; empty when the pointer is off the map.
    QString hoverText() const;

    // Where "Save Image..." asks for the file; the window uses a Qt file dialog unless told
    // otherwise. It does not own what it is given.
    void setSaveChooser(SaveFileChooser *chooser);
    // "Save Image...": asks for a name and writes the map with its scale as PNG.
    void saveImageAs();
    // Writes the map with its scale as PNG; false when the file cannot be written.
    bool saveImage(const QString &path);

signals:
    // The user clicked a column that holds the record numbered `record`: its place in the
    // log, or in a live session its session number, as the main window's scroll bar counts.
    void recordClicked(int record);

private:
    friend class LightMapCanvas;
    void pointAt(const QPoint &position);
    QString cellText(int column, int element) const;
    // The number record `record` (a store index) goes by, as the texts and clicks give it.
    int numberOf(int record) const;
    void showReading(const QString &text);
    // Moves the keyboard's cell cursor by a key (0: stays, read out); false for another key.
    bool moveCursor(int key);
    std::optional<QRect> cursorCell() const;
    void clickAt(const QPoint &position);
    void describe();
    // Column and element (1 to 64) at a point of the canvas; false off the map.
    bool cellAt(const QPoint &position, int &column, int &element) const;
    QString columnLabel(int column) const;

    std::pair<int, int> shownSpan() const;

    const RecordStore &m_store;
    std::optional<std::pair<int, int>> m_span;
    bool m_timeAxisChosen = false; // as the chart's "Time Axis"
    bool m_byTime = false;         // chosen, and some record has a reception time
    QImage m_image;
    std::vector<std::int16_t> m_columnRecord; // record per column, 0 for none
    std::vector<std::int64_t> m_columnTime;   // time axis: the column's moment
    int m_cursorColumn = 0;
    int m_cursorElement = ElementCount;
    QWidget *m_canvas = nullptr;
    QLabel *m_hover = nullptr;
    QPushButton *m_save = nullptr;
    std::unique_ptr<SaveFileChooser> m_defaultChooser;
    SaveFileChooser *m_chooser = nullptr;
};

} // namespace kesta
