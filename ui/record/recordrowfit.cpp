#include "recordrowfit.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace kesta {

namespace {

constexpr int Gap = 6;
// The counts' face shrinks no further than this share of its size.
constexpr double SmallestFace = 0.7;

void setBox(QWidget *widget, const QRect &box)
{
    if (widget->geometry() == box)
        return;
    widget->setFixedSize(box.size());
    widget->setGeometry(box);
}

} // namespace

RecordRowFit::RecordRowFit(QLabel *kind, QLabel *counts, QLineEdit *record, QObject *parent)
    : QObject(parent), m_kind(kind), m_counts(counts), m_record(record),
      m_countsHome(counts->geometry()), m_recordHome(record->geometry()),
      m_countsFont(counts->font())
{
    connect(record, &QLineEdit::textChanged, this, &RecordRowFit::schedule);
}

void RecordRowFit::schedule()
{
    if (m_pending)
        return;
    m_pending = true;
    QTimer::singleShot(0, this, &RecordRowFit::fit);
}

void RecordRowFit::fit()
{
    m_pending = false;
    // The record box: its text and the line edit's frame and margins.
    const double recordText = QFontMetricsF(m_record->font()).horizontalAdvance(m_record->text());
    const int recordWidth =
        std::max(m_recordHome.width(), static_cast<int>(std::ceil(recordText)) + 4 * Gap / 3 + 4);
    QRect record = m_recordHome;
    record.setLeft(m_recordHome.right() + 1 - recordWidth);
    setBox(m_record, record);

    // The counts, right-aligned: from the end of the frame kind's text to the record box.
    QFont font = m_countsFont;
    const QString counts = m_counts->text();
    auto countsWidth = [&] { return QFontMetricsF(font).horizontalAdvance(counts); };
    QRect box = m_countsHome;
    box.setRight(std::min(m_countsHome.right(), record.left() - Gap));
    if (countsWidth() > box.width()) {
        const double kindEnd =
            m_kind->x() + QFontMetricsF(m_kind->font()).horizontalAdvance(m_kind->text());
        box.setLeft(std::min(m_countsHome.left(), static_cast<int>(std::ceil(kindEnd)) + Gap));
        const double size = m_countsFont.pointSizeF();
        for (double shrunk = size; countsWidth() > box.width() && shrunk > size * SmallestFace;) {
            shrunk -= 0.5;
            font.setPointSizeF(shrunk);
        }
    }
    setBox(m_counts, box);
    if (m_counts->font() != font)
        m_counts->setFont(font);
}

} // namespace kesta
