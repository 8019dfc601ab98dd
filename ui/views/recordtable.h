#pragma once

#include "limit_set.h"
#include "telemetry_record.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QTableView;

namespace kesta {

class RecordStore;

// The records of the store as rows: record number, reception time, frame kind, then every
// parameter of the record view under its name and unit. Values are their value text with
// the locale's decimal separator; a value the frame did not carry is an empty cell. Cells
// are made when asked for, so a model of 1000 records costs nothing until it is shown.
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The number under a cell, for sorting: numbers as numbers, texts as texts, nothing for
    // a value the frame did not carry (such rows go last).
    static constexpr int SortRole = Qt::UserRole;
    enum FixedColumn
    {
        RecordColumn,
        TimeColumn,
        KindColumn,
        FirstValueColumn
    };
    // Frames as the kind filter groups them: by their type.
    enum class KindGroup
    {
        Htrx,
        Fss,
        FssHiMode,
        Other
    };
    static KindGroup GroupOf(const TelemetryRecord &record);

    explicit RecordTableModel(const RecordStore &store, QObject *parent = nullptr);

    // The store has new records: every row is made again.
    void reload();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The record of a row (rows are records 1, 2, ... of the store, in log order).
    static int recordOfRow(int row) { return row + 1; }
    // The number the record of a row goes by: its place in the log, or in a live session
    // the session number (record 1 is a later frame once a session has passed 1000).
    qint64 numberOfRow(int row) const;
    const TelemetryRecord &record(int row) const;
    // The record field of a value column; nothing for the fixed columns.
    std::optional<Field> fieldOf(int column) const;

    // Limits: a cell outside them is coloured amber (warning) or red (critical), with the
    // level and bound as its tool tip. Null for none.
    void setLimits(std::shared_ptr<const LimitSet> limits);
    // The worst level of a row's fields; ok without limits.
    LimitLevel levelOfRow(int row) const;

private:
    std::shared_ptr<const LimitSet> m_limits;
    struct Column
    {
        QString header;
        Field field;
    };
    const RecordStore &m_store;
    std::vector<Column> m_columns;
    std::string m_separator;
    int m_rows = 0;
};

// Sorts by the numbers under the cells, empty cells last, and keeps the rows of one group of frame
// kinds.
class RecordTableFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit RecordTableFilter(QObject *parent = nullptr);
    // nullopt: every row.
    void setKindGroup(std::optional<RecordTableModel::KindGroup> group);
    // Only the rows with a field outside limits.
    void setOutsideOnly(bool on);
    // Only the rows of records `span.first` to `span.second` (record numbers).
    void setRecordSpan(std::optional<std::pair<int, int>> span);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    // Numbers by value; cells without a value last in either order.
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    std::optional<RecordTableModel::KindGroup> m_group;
    bool m_outsideOnly = false;
    std::optional<std::pair<int, int>> m_span;
};

// The window "Record Table": every record in a table sorted by a click on a column's header,
// a filter by frame kind, the chosen row shown in the main window, and "Copy" of the chosen
// rows as CSV (the columns and text of the CSV export).
class RecordTable : public QWidget
{
    Q_OBJECT

public:
    explicit RecordTable(const RecordStore &store, QWidget *parent = nullptr);

    // The store has new records.
    void refresh();

    // The kind filter's entries: "All", "HTRX", "FSS", "FSS Hi-Mode", "other".
    void setKindFilter(int entry);
    // The limits the cells are judged by, and the filter "Only records outside limits"
    // (offered while there are limits).
    void setLimits(std::shared_ptr<const LimitSet> limits);
    void setOutsideOnly(bool on);
    // The records of the pass chosen in View -> Pass (record numbers, inclusive).
    void setRecordSpan(std::pair<int, int> span);
    QCheckBox *outsideOnlyBox() const { return m_outsideOnly; }
    QTableView *view() const { return m_view; }
    RecordTableModel *model() const { return m_model; }
    RecordTableFilter *filter() const { return m_filter; }

    // "Copy": the chosen rows, in the order shown, as CSV with its header, put on the
    // clipboard; returns the text.
    QString copySelection();

signals:
    // The user chose the row of the record numbered `record` (as the scroll bar counts).
    void recordSelected(int record);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fitColumns();
    void currentRowChanged(const QModelIndex &current);
    void updateCount();

    RecordTableModel *m_model = nullptr;
    RecordTableFilter *m_filter = nullptr;
    QTableView *m_view = nullptr;
    QComboBox *m_kind = nullptr;
    QCheckBox *m_outsideOnly = nullptr;
    QLabel *m_count = nullptr;
    bool m_columnsFitted = false;
};

} // namespace kesta
