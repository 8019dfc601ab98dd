#include "lightelementmap.h"

#include "lightelementrow.h"
#include "record_store.h"
#include "savefilechooser.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <limits>

namespace kesta {

const QColor LightElementMap::NoReadingColor = LightElementRow::InitialFill;

namespace {

// Readings are two hex digits: 0 to 255. The colour scale shows the readings up to the
// first one in full colour; every reading above it looks the same.
constexpr int ReadingCount = 256;
int FullColourReading()
{
    int r = 0;
    while (r < ReadingCount - 1 &&
           LightElementRow::readingColor(r) != LightElementRow::readingColor(r + 1))
        ++r;
    return r;
}

QString TimeText(std::int64_t ms, const QString &format)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(format);
}

// The window is a window to a screen reader, and its map a picture: left to Qt, both
// are plain widgets, announced as "filler".
QAccessibleInterface *MapAccessible(const QString &key, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (key == QLatin1String(LightElementMap::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (key == QLatin1String("QWidget") &&
        widget->objectName() == QLatin1String("LightMapCanvas"))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    return nullptr;
}

} // namespace

// The map with its axes and colour scale, drawn to fit the widget.
class LightMapCanvas : public QWidget
{
public:
    static constexpr int LeftMargin = 48;
    static constexpr int RightMargin = 76;
    static constexpr int TopMargin = 10;
    static constexpr int BottomMargin = 38;
    static constexpr int ScaleGap = 14;
    static constexpr int ScaleWidth = 14;

    explicit LightMapCanvas(LightElementMap &map) : QWidget(&map), m_map(map)
    {
        setObjectName(QStringLiteral("LightMapCanvas"));
        setMouseTracking(true);
        setMinimumSize(LeftMargin + RightMargin + 256, TopMargin + BottomMargin + 2 * 64);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::CrossCursor);
        // The keyboard's user points with the arrows; Enter shows the record.
        setFocusPolicy(Qt::StrongFocus);
    }

    QRect plotRect() const
    {
        return {LeftMargin, TopMargin, std::max(1, width() - LeftMargin - RightMargin),
                std::max(1, height() - TopMargin - BottomMargin)};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const QRect plot = plotRect();
        const QFontMetrics metrics(font());
        const int lineHeight = metrics.height();

        if (m_map.columnCount() > 0) {
            painter.drawImage(plot, m_map.image());
        } else {
            painter.fillRect(plot, LightElementMap::NoReadingColor);
            painter.drawText(plot, Qt::AlignCenter,
                             m_map.timeAxis()
                                 ? QCoreApplication::translate("LightElementMap",
                                                               "No records with a reception time")
                                 : QCoreApplication::translate("LightElementMap", "No records"));
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(plot.adjusted(-1, -1, 0, 0));

        // Elements: ticks at 1, 16, 32, 48 and 64, at the middle of their rows.
        const double rowHeight = plot.height() / double(LightElementMap::ElementCount);
        for (int element : {1, 16, 32, 48, 64}) {
            const int y =
                plot.top() + int((LightElementMap::ElementCount - element + 0.5) * rowHeight);
            painter.drawLine(plot.left() - 4, y, plot.left() - 1, y);
            painter.drawText(QRect(0, y - lineHeight / 2, plot.left() - 6, lineHeight),
                             Qt::AlignRight | Qt::AlignVCenter, QString::number(element));
        }
        painter.save();
        painter.translate(lineHeight / 2 + 1, plot.center().y());
        painter.rotate(-90);
        painter.drawText(QRect(-plot.height() / 2, -lineHeight / 2, plot.height(), lineHeight),
                         Qt::AlignCenter,
                         QCoreApplication::translate("LightElementMap", "Element"));
        painter.restore();

        // The first and the last column.
        const int columns = m_map.columnCount();
        if (columns > 0) {
            const QRect labels(plot.left(), plot.bottom() + 3, plot.width(), lineHeight);
            painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, m_map.columnLabel(0));
            if (columns > 1)
                painter.drawText(labels, Qt::AlignRight | Qt::AlignTop,
                                 m_map.columnLabel(columns - 1));
        }
        painter.drawText(
            QRect(plot.left(), plot.bottom() + 3 + lineHeight, plot.width(), lineHeight),
            Qt::AlignHCenter | Qt::AlignTop,
            m_map.timeAxis()
                ? QCoreApplication::translate("LightElementMap", "Reception time (UTC)")
                : QCoreApplication::translate("LightElementMap", "Record"));

        // The colour scale: reading 0 at the bottom up to the first reading in full colour.
        const int top = FullColourReading();
        const QRect scale(plot.right() + ScaleGap, plot.top(), ScaleWidth, plot.height());
        for (int r = 0; r <= top; ++r) {
            const int y0 = scale.bottom() + 1 - (r + 1) * scale.height() / (top + 1);
            const int y1 = scale.bottom() + 1 - r * scale.height() / (top + 1);
            painter.fillRect(QRect(scale.left(), y0, scale.width(), y1 - y0),
                             LightElementRow::readingColor(r));
        }
        painter.drawRect(scale.adjusted(-1, -1, 0, 0));
        const int textLeft = scale.right() + 4;
        const auto scaleLabel = [&](int reading, const QString &text) {
            const int y = scale.bottom() - int((reading + 0.5) * scale.height() / (top + 1));
            painter.drawText(QRect(textLeft, y - lineHeight / 2, width() - textLeft, lineHeight),
                             Qt::AlignLeft | Qt::AlignVCenter, text);
        };
        scaleLabel(0, QStringLiteral("0"));
        scaleLabel(top / 2, QString::number(top / 2));
        scaleLabel(top, QStringLiteral("%1+").arg(top));

        if (hasFocus()) {
            // The cell the keys point at, at least a few pixels wide however many
            // columns share a pixel, and a frame round the map to show where the keys go.
            const QPalette::ColorRole role = QPalette::Highlight;
            painter.setPen(QPen(palette().color(role), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(plot.adjusted(-3, -3, 2, 2));
            if (const std::optional<QRect> cell = m_map.cursorCell()) {
                painter.setPen(QPen(Qt::black, 1));
                painter.drawRect(cell->adjusted(-1, -1, 0, 0));
                painter.setPen(QPen(Qt::white, 1));
                painter.drawRect(cell->adjusted(-2, -2, 1, 1));
            }
        }
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (!m_map.moveCursor(event->key()))
            QWidget::keyPressEvent(event);
    }
    void focusInEvent(QFocusEvent *event) override
    {
        m_map.moveCursor(0); // a cell to start from, read out
        update();
        QWidget::focusInEvent(event);
    }
    void focusOutEvent(QFocusEvent *event) override
    {
        update();
        QWidget::focusOutEvent(event);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        m_map.pointAt(event->position().toPoint());
        if (!m_map.hoverText().isEmpty())
            QToolTip::showText(event->globalPosition().toPoint(), m_map.hoverText(), this);
        else
            QToolTip::hideText();
    }
    void leaveEvent(QEvent *) override { m_map.pointAt(QPoint(-1, -1)); }
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            m_map.clickAt(event->position().toPoint());
    }

private:
    LightElementMap &m_map;
};

LightElementMap::LightElementMap(const RecordStore &store, QWidget *parent)
    : QWidget(parent), m_store(store), m_defaultChooser(std::make_unique<QtSaveFileChooser>()),
      m_chooser(m_defaultChooser.get())
{
    static const bool accessible = [] {
        QAccessible::installFactory(MapAccessible);
        return true;
    }();
    (void)accessible;
    setObjectName(QStringLiteral("LightElementMap"));
    setWindowTitle(tr("Light-Element Map"));
    auto *canvas = new LightMapCanvas(*this);
    canvas->setAccessibleName(tr("Light-element map"));
    m_canvas = canvas;

    m_hover = new QLabel(this);
    m_hover->setObjectName(QStringLiteral("LightMapHover"));
    m_hover->setAccessibleName(tr("Reading pointed at"));
    m_hover->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_save = new QPushButton(tr("Save Image..."), this);
    m_save->setObjectName(QStringLiteral("SaveLightMap"));
    connect(m_save, &QPushButton::clicked, this, &LightElementMap::saveImageAs);
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, &LightElementMap::saveImageAs);
    // Esc and Ctrl+W close the window, as they close the bits window.
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_hover, 1);
    bottom->addWidget(m_save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_canvas, 1);
    layout->addLayout(bottom);
    resize(760, 420);
    refresh();
}

LightElementMap::~LightElementMap() = default;

void LightElementMap::setRecordSpan(std::pair<int, int> span)
{
    if (span == m_span)
        return;
    m_span = span;
    refresh();
}

std::pair<int, int> LightElementMap::shownSpan() const
{
    const int records = std::max<int>(m_store.RecordCount, 0);
    if (!m_span)
        return {1, records};
    return {std::max(m_span->first, 1), std::min(m_span->second, records)};
}

void LightElementMap::refresh()
{
    const auto [from, records] = shownSpan();
    m_columnRecord.clear();
    m_columnTime.clear();
    // Without a single reception time the columns are by record number, as the chart's.
    bool anyTime = false;
    for (int r = from; r <= records && !anyTime; ++r)
        anyTime = m_store[static_cast<std::int16_t>(r)].ReceptionTime.has_value();
    m_byTime = m_timeAxisChosen && anyTime;
    if (!m_byTime) {
        for (int r = from; r <= records; ++r)
            m_columnRecord.push_back(static_cast<std::int16_t>(r));
    } else {
        // As many columns as records with a time, spread evenly from the first moment to
        // the last; a gap in reception is a gap in the map. Of records that share a column
        // the later one is drawn.
        std::int64_t first = std::numeric_limits<std::int64_t>::max();
        std::int64_t last = std::numeric_limits<std::int64_t>::min();
        int timed = 0;
        for (int r = from; r <= records; ++r) {
            if (const auto &t = m_store[static_cast<std::int16_t>(r)].ReceptionTime) {
                first = std::min(first, *t);
                last = std::max(last, *t);
                ++timed;
            }
        }
        if (timed > 0) {
            const std::int64_t span = last - first;
            const int columns = span > 0 ? timed : 1;
            m_columnRecord.assign(static_cast<std::size_t>(columns), 0);
            m_columnTime.resize(static_cast<std::size_t>(columns));
            for (int c = 0; c < columns; ++c)
                m_columnTime[static_cast<std::size_t>(c)] =
                    columns > 1 ? first + span * c / (columns - 1) : first;
            for (int r = from; r <= records; ++r) {
                if (const auto &t = m_store[static_cast<std::int16_t>(r)].ReceptionTime) {
                    const std::int64_t c =
                        span > 0 ? ((*t - first) * (columns - 1) + span / 2) / span : 0;
                    m_columnRecord[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(r);
                }
            }
        }
    }

    // Every reading's colour once, by the light-element row's own rule.
    std::array<QRgb, ReadingCount> colors{};
    for (int v = 0; v < ReadingCount; ++v)
        colors[static_cast<std::size_t>(v)] = LightElementRow::readingColor(v).rgb();

    const int columns = static_cast<int>(m_columnRecord.size());
    if (columns == 0) {
        m_image = QImage();
    } else {
        m_image = QImage(columns, ElementCount, QImage::Format_RGB32);
        m_image.fill(NoReadingColor);
    }
    for (int c = 0; c < columns; ++c) {
        const std::int16_t r = m_columnRecord[static_cast<std::size_t>(c)];
        if (r == 0)
            continue;
        const TelemetryRecord &record = m_store[r];
        if (!record.Written.test(Field::LightElements))
            continue;
        for (int e = 0; e < ElementCount; ++e) {
            const int reading = record.LightElements[static_cast<std::size_t>(e)];
            auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(ElementCount - 1 - e));
            line[c] = colors[static_cast<std::size_t>(reading)];
        }
    }
    describe();
    m_hover->clear();
    m_canvas->update();
}

void LightElementMap::describe()
{
    int withReadings = 0;
    int low = ReadingCount;
    int high = -1;
    const auto [from, to] = shownSpan();
    const int records = std::max(to - from + 1, 0);
    for (int r = from; r <= to; ++r) {
        const TelemetryRecord &record = m_store[static_cast<std::int16_t>(r)];
        if (!record.Written.test(Field::LightElements))
            continue;
        ++withReadings;
        for (int v : record.LightElements) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    QString text = tr("Light elements 1 to 64 of %1 records, %2 of them with readings")
                       .arg(records)
                       .arg(withReadings);
    if (withReadings > 0)
        text += tr("; readings from %1 to %2").arg(low).arg(high);
    text += m_byTime ? tr("; columns by reception time") : tr("; one column per record");
    m_canvas->setAccessibleDescription(text);
    setAccessibleDescription(text);
}

void LightElementMap::setTimeAxis(bool byTime)
{
    if (m_timeAxisChosen == byTime)
        return;
    m_timeAxisChosen = byTime;
    refresh();
}

int LightElementMap::recordAt(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columnRecord.size()))
        return 0;
    return m_columnRecord[static_cast<std::size_t>(column)];
}

int LightElementMap::numberOf(int record) const
{
    return static_cast<int>(m_store.numberAt(static_cast<std::int16_t>(record)));
}

QWidget *LightElementMap::canvas() const
{
    return m_canvas;
}

QRect LightElementMap::plotRect() const
{
    return static_cast<LightMapCanvas *>(m_canvas)->plotRect();
}

QString LightElementMap::hoverText() const
{
    return m_hover->text();
}

QString LightElementMap::columnLabel(int column) const
{
    if (m_byTime) {
        if (column < 0 || column >= static_cast<int>(m_columnTime.size()))
            return {};
        return TimeText(m_columnTime[static_cast<std::size_t>(column)], QStringLiteral("HH:mm:ss"));
    }
    const int r = recordAt(column);
    return QString::number(r > 0 ? numberOf(r) : 0);
}

bool LightElementMap::cellAt(const QPoint &position, int &column, int &element) const
{
    const QRect plot = plotRect();
    const int columns = columnCount();
    if (columns == 0 || !plot.contains(position))
        return false;
    column = static_cast<int>(std::int64_t(position.x() - plot.left()) * columns / plot.width());
    const int row =
        static_cast<int>(std::int64_t(position.y() - plot.top()) * ElementCount / plot.height());
    element = ElementCount - row;
    return column >= 0 && column < columns && element >= 1 && element <= ElementCount;
}

void LightElementMap::pointAt(const QPoint &position)
{
    int column = 0;
    int element = 0;
    showReading(cellAt(position, column, element) ? cellText(column, element) : QString());
}

QString LightElementMap::cellText(int column, int element) const
{
    const int r = recordAt(column);
    QString when;
    if (m_byTime)
        when = tr(" at ") +
               TimeText(m_columnTime[static_cast<std::size_t>(column)],
                        QStringLiteral("HH:mm:ss.zzz")) +
               tr(" UTC");
    if (r == 0)
        return tr("No record") + when;
    const TelemetryRecord &record = m_store[static_cast<std::int16_t>(r)];
    if (m_byTime && record.ReceptionTime)
        when = tr(" at ") + TimeText(*record.ReceptionTime, QStringLiteral("HH:mm:ss.zzz")) +
               tr(" UTC");
    if (record.Written.test(Field::LightElements)) {
        const int reading = record.LightElements[static_cast<std::size_t>(element - 1)];
        return tr("Record %1%2, element %3: reading %4")
            .arg(numberOf(r))
            .arg(when)
            .arg(element)
            .arg(reading);
    }
    return tr("Record %1%2 (%3): no light elements")
        .arg(numberOf(r))
        .arg(when)
        .arg(QString::fromLatin1(KindText(record.FrameKind)));
}

void LightElementMap::showReading(const QString &text)
{
    m_hover->setText(text);
    // A screen reader says the reading itself.
    m_hover->setAccessibleName(text.isEmpty() ? tr("Reading pointed at") : text);
    if (m_canvas->hasFocus() && !text.isEmpty()) {
        QAccessibleEvent event(m_hover, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

bool LightElementMap::moveCursor(int key)
{
    const int columns = columnCount();
    if (columns == 0)
        return false;
    // Ten columns, or a tenth of the map if that is more, at a time with Page Up/Down.
    const int page = std::max(10, columns / 10);
    int column = std::clamp(m_cursorColumn, 0, columns - 1);
    int element = std::clamp(m_cursorElement, 1, int(ElementCount));
    switch (key) {
    case 0:
        break;
    case Qt::Key_Left:
        --column;
        break;
    case Qt::Key_Right:
        ++column;
        break;
    case Qt::Key_Up:
        ++element;
        break;
    case Qt::Key_Down:
        --element;
        break;
    case Qt::Key_PageUp:
        column -= page;
        break;
    case Qt::Key_PageDown:
        column += page;
        break;
    case Qt::Key_Home:
        column = 0;
        break;
    case Qt::Key_End:
        column = columns - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (const int r = recordAt(column); r > 0)
            emit recordClicked(numberOf(r));
        return true;
    default:
        return false;
    }
    m_cursorColumn = std::clamp(column, 0, columns - 1);
    m_cursorElement = std::clamp(element, 1, int(ElementCount));
    showReading(cellText(m_cursorColumn, m_cursorElement));
    m_canvas->update();
    return true;
}

std::optional<QRect> LightElementMap::cursorCell() const
{
    const int columns = columnCount();
    if (columns == 0 || m_cursorColumn < 0 || m_cursorColumn >= columns)
        return std::nullopt;
    const QRect plot = plotRect();
    const int left = plot.left() + int(std::int64_t(m_cursorColumn) * plot.width() / columns);
    const int right = plot.left() + int(std::int64_t(m_cursorColumn + 1) * plot.width() / columns);
    const int top = plot.top() + (ElementCount - m_cursorElement) * plot.height() / ElementCount;
    const int bottom = plot.top() + (ElementCount - m_cursorElement + 1) * plot.height() / ElementCount;
    QRect cell(QPoint(left, top), QPoint(std::max(left + 2, right - 1), std::max(top + 2, bottom - 1)));
    return cell;
}

void LightElementMap::clickAt(const QPoint &position)
{
    int column = 0;
    int element = 0;
    if (!cellAt(position, column, element))
        return;
    if (const int r = recordAt(column); r > 0)
        emit recordClicked(numberOf(r));
}

void LightElementMap::setSaveChooser(SaveFileChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void LightElementMap::saveImageAs()
{
    const SaveFileChooser::Choice choice = m_chooser->chooseSaveFile(
        this, tr("Save Image"), {tr("PNG Image (*.png)")}, QStringLiteral("light-elements.png"));
    if (choice.path.isEmpty())
        return;
    if (!saveImage(choice.path))
        m_hover->setText(tr("%1: the image could not be written").arg(choice.path));
    else
        m_hover->setText(tr("Saved as %1").arg(choice.path));
}

bool LightElementMap::saveImage(const QString &path)
{
    // Written beside under a temporary name, so that a failure keeps any earlier picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !m_canvas->grab().save(&file, "PNG"))
        return false;
    return file.commit();
}

} // namespace kesta
