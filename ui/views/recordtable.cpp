#include "recordtable.h"

#include "frame_decoder.h"
#include "mainlayout.h"
#include "record_export.h"
#include "record_store.h"
#include "value_text.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace kesta {

namespace {

QString FromLatin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The mark of a cell outside limits, as on the value boxes and the chart: a triangle for a
// warning, a square for critical, so the level does not rest on colour alone.
QPixmap LevelMark(LimitLevel level)
{
    QPixmap mark(9, 9);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (level == LimitLevel::Critical) {
        painter.setBrush(QColor(200, 0, 0));
        painter.drawRect(QRectF(1, 1, 7, 7));
    } else {
        painter.setBrush(QColor(214, 130, 0));
        const QPointF corners[3] = {{4.5, 0.5}, {8.5, 8.5}, {0.5, 8.5}};
        painter.drawPolygon(corners, 3);
    }
    return mark;
}

} // namespace

RecordTableModel::KindGroup RecordTableModel::GroupOf(const TelemetryRecord &record)
{
    switch (record.Type) {
    case FrameType::Htrx:
        return KindGroup::Htrx;
    case FrameType::Fss:
        return KindGroup::Fss;
    case FrameType::FssHi:
        return KindGroup::FssHiMode;
    case FrameType::None:
        break;
    }
    return KindGroup::Other;
}

RecordTableModel::RecordTableModel(const RecordStore &store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store)
{
    // The record view's fields in its order, each under its own name (the two "Counter"s
    // told apart) and unit.
    auto addColumn = [this](Field field) {
        const FieldInfo &info = InfoOf(field);
        QString header = FromLatin1(info.spoken);
        if (!info.unit.empty())
            header += QStringLiteral(" [%1]").arg(FromLatin1(info.unit));
        m_columns.push_back({header, field});
    };
    for (const mainlayout::ParameterRow &row : mainlayout::ParameterRows) {
        if (row.field)
            addColumn(*row.field);
    }
    for (const mainlayout::HiModeRow &row : mainlayout::HiModeRows)
        addColumn(row.field);
    reload();
}

void RecordTableModel::reload()
{
    beginResetModel();
    m_rows = std::max<int>(m_store.RecordCount, 0);
    m_separator = QLocale().decimalPoint().toStdString();
    endResetModel();
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FirstValueColumn + static_cast<int>(m_columns.size());
}

qint64 RecordTableModel::numberOfRow(int row) const
{
    return m_store.numberAt(static_cast<std::int16_t>(recordOfRow(row)));
}

const TelemetryRecord &RecordTableModel::record(int row) const
{
    return m_store[static_cast<std::int16_t>(recordOfRow(row))];
}

std::optional<Field> RecordTableModel::fieldOf(int column) const
{
    if (column < FirstValueColumn || column >= columnCount())
        return std::nullopt;
    return m_columns[static_cast<std::size_t>(column - FirstValueColumn)].field;
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const TelemetryRecord &r = record(index.row());
    const int column = index.column();
    const std::optional<Field> field = fieldOf(column);
    const bool numeric = column == RecordColumn || (field && FieldNumber(r, *field));

    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(numeric ? Qt::AlignRight | Qt::AlignVCenter
                                           : Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole || role == Qt::ToolTipRole || role == Qt::DecorationRole) {
        if (!m_limits || !field || !r.Written.test(*field) || !m_limits->limitsOf(*field))
            return {};
        const auto value = FieldNumber(r, *field);
        const auto breach = value ? m_limits->breachOf(*field, *value) : std::nullopt;
        if (!breach)
            return {};
        if (role == Qt::ToolTipRole)
            return QString::fromStdString(BreachText(*field, *value, *breach));
        if (role == Qt::DecorationRole)
            return LevelMark(breach->level);
        // Pale, so that the text keeps its contrast.
        return breach->level == LimitLevel::Critical ? QColor(255, 190, 190)
                                                     : QColor(255, 222, 160);
    }
    if (role != Qt::DisplayRole && role != SortRole)
        return {};

    switch (column) {
    case RecordColumn:
        return numberOfRow(index.row());
    case TimeColumn:
        if (!r.ReceptionTime)
            return {};
        if (role == SortRole)
            return QVariant::fromValue<qlonglong>(*r.ReceptionTime);
        return QString::fromStdString(IsoTimeText(*r.ReceptionTime));
    case KindColumn:
        return FromLatin1(KindText(r.FrameKind));
    default:
        break;
    }
    if (!field || !r.Written.test(*field))
        return {};
    if (role == SortRole) {
        if (const auto number = FieldNumber(r, *field))
            return *number;
        return FromLatin1(FieldText(r, *field));
    }
    return QString::fromStdString(FieldValueText(r, *field, m_separator));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        switch (section) {
        case RecordColumn:
            return tr("Record");
        case TimeColumn:
            return tr("Time (UTC)");
        case KindColumn:
            return tr("Kind");
        default:
            return m_columns[static_cast<std::size_t>(section - FirstValueColumn)].header;
        }
    }
    if (role == Qt::ToolTipRole) {
        if (const auto field = fieldOf(section))
            return FromLatin1(InfoOf(*field).name);
    }
    return {};
}

RecordTableFilter::RecordTableFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(RecordTableModel::SortRole);
}

void RecordTableModel::setLimits(std::shared_ptr<const LimitSet> limits)
{
    m_limits = std::move(limits);
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1),
                         {Qt::BackgroundRole, Qt::ToolTipRole, Qt::DecorationRole});
}

LimitLevel RecordTableModel::levelOfRow(int row) const
{
    LimitLevel worst = LimitLevel::Ok;
    if (m_limits && row >= 0 && row < m_rows)
        m_limits->check(record(row), [&worst](Field, double, LimitLevel level) {
            worst = std::max(worst, level);
        });
    return worst;
}

void RecordTableFilter::setOutsideOnly(bool on)
{
    if (m_outsideOnly == on)
        return;
    m_outsideOnly = on;
    invalidateRowsFilter();
}

void RecordTableFilter::setRecordSpan(std::optional<std::pair<int, int>> span)
{
    if (m_span == span)
        return;
    m_span = span;
    invalidateRowsFilter();
}

void RecordTableFilter::setKindGroup(std::optional<RecordTableModel::KindGroup> group)
{
    if (m_group == group)
        return;
    m_group = group;
    invalidateRowsFilter();
}

bool RecordTableFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *model = static_cast<const RecordTableModel *>(sourceModel());
    const int record = RecordTableModel::recordOfRow(sourceRow);
    if (m_span && (record < m_span->first || record > m_span->second))
        return false;
    if (m_outsideOnly && model->levelOfRow(sourceRow) == LimitLevel::Ok)
        return false;
    return !m_group || RecordTableModel::GroupOf(model->record(sourceRow)) == *m_group;
}

bool RecordTableFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant a = left.data(RecordTableModel::SortRole);
    const QVariant b = right.data(RecordTableModel::SortRole);
    if (!a.isValid() || !b.isValid()) {
        // The order is reversed for a descending sort, so an empty cell is the greater
        // one going up and the lesser one going down.
        if (a.isValid() == b.isValid())
            return false;
        return sortOrder() == Qt::AscendingOrder ? !b.isValid() : !a.isValid();
    }
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return a.toString() < b.toString();
    if (a.typeId() == QMetaType::LongLong && b.typeId() == QMetaType::LongLong)
        return a.toLongLong() < b.toLongLong();
    return a.toDouble() < b.toDouble();
}

RecordTable::RecordTable(const RecordStore &store, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RecordTable"));
    setWindowTitle(tr("Record Table"));
    // Esc and Ctrl+W close the window, as they close the bits window.
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    m_model = new RecordTableModel(store, this);
    m_filter = new RecordTableFilter(this);
    m_filter->setSourceModel(m_model);

    auto *kindLabel = new QLabel(tr("Kind:"), this);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("KindFilter"));
    m_kind->setAccessibleName(tr("Frame kind filter"));
    m_kind->addItems({tr("All"), tr("HTRX"), tr("FSS"), tr("FSS Hi-Mode"), tr("other")});
    kindLabel->setBuddy(m_kind);
    m_outsideOnly = new QCheckBox(tr("Only records outside limits"), this);
    m_outsideOnly->setObjectName(QStringLiteral("OutsideLimitsFilter"));
    m_outsideOnly->setEnabled(false);
    connect(m_outsideOnly, &QCheckBox::toggled, this, &RecordTable::setOutsideOnly);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("RecordTableCount"));

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("RecordTableView"));
    m_view->setAccessibleName(tr("Records"));
    m_view->setModel(m_filter);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(RecordTableModel::RecordColumn, Qt::AscendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setAlternatingRowColors(true);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setVisible(false);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    // Widths from a sample of rows: measuring every cell of a long log is slow.
    m_view->horizontalHeader()->setResizeContentsPrecision(50);
    m_view->horizontalHeader()->setHighlightSections(false);

    auto *copy = new QAction(tr("Copy"), m_view);
    copy->setObjectName(QStringLiteral("CopyRecords"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    m_view->addAction(copy);
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &RecordTable::setKindFilter);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { currentRowChanged(current); });

    auto *top = new QHBoxLayout;
    top->addWidget(kindLabel);
    top->addWidget(m_kind);
    top->addWidget(m_outsideOnly);
    top->addStretch(1);
    top->addWidget(m_count);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    resize(900, 480);
    refresh();
}

void RecordTable::refresh()
{
    m_model->reload();
    m_columnsFitted = false;
    if (isVisible())
        fitColumns();
    updateCount();
}

void RecordTable::fitColumns()
{
    // Measured with the font and style the view is shown in, so only once it is shown.
    m_view->resizeColumnsToContents();
    m_columnsFitted = true;
}

void RecordTable::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_columnsFitted)
        fitColumns();
}

void RecordTable::setKindFilter(int entry)
{
    using Group = RecordTableModel::KindGroup;
    static constexpr std::array<Group, 4> groups{Group::Htrx, Group::Fss, Group::FssHiMode,
                                                 Group::Other};
    if (entry < 0 || entry > static_cast<int>(groups.size()))
        return;
    if (m_kind->currentIndex() != entry)
        m_kind->setCurrentIndex(entry); // comes back here through the signal
    m_filter->setKindGroup(entry == 0 ? std::nullopt
                                      : std::optional(groups[static_cast<std::size_t>(entry - 1)]));
    updateCount();
}

void RecordTable::setLimits(std::shared_ptr<const LimitSet> limits)
{
    const bool any = limits != nullptr;
    m_model->setLimits(std::move(limits));
    m_outsideOnly->setEnabled(any);
    if (!any)
        m_outsideOnly->setChecked(false);
    m_filter->invalidate();
    updateCount();
}

void RecordTable::setRecordSpan(std::pair<int, int> span)
{
    m_filter->setRecordSpan(span.first == 1 && span.second >= m_model->rowCount()
                                ? std::nullopt
                                : std::optional(span));
    updateCount();
}

void RecordTable::setOutsideOnly(bool on)
{
    if (m_outsideOnly->isChecked() != on)
        m_outsideOnly->setChecked(on); // comes back here through toggled
    m_filter->setOutsideOnly(on);
    updateCount();
}

void RecordTable::updateCount()
{
    m_count->setText(tr("%1 of %2 records").arg(m_filter->rowCount()).arg(m_model->rowCount()));
}

void RecordTable::currentRowChanged(const QModelIndex &current)
{
    if (!current.isValid())
        return;
    const QModelIndex source = m_filter->mapToSource(current);
    if (source.isValid())
        emit recordSelected(static_cast<int>(m_model->numberOfRow(source.row())));
}

QString RecordTable::copySelection()
{
    QModelIndexList rows = m_view->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return {};
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    RecordExporter exporter(RecordExporter::Format::Csv);
    std::string csv;
    exporter.appendHeader(csv);
    for (const QModelIndex &row : rows) {
        const int source = m_filter->mapToSource(row).row();
        exporter.appendRecord(csv, static_cast<std::uint64_t>(m_model->numberOfRow(source)),
                              m_model->record(source));
    }
    const QString text = QString::fromUtf8(csv);
    QApplication::clipboard()->setText(text);
    return text;
}

} // namespace kesta
