#pragma once

#include <QFont>
#include <QObject>
#include <QRect>

class QLabel;
class QLineEdit;

namespace kesta {

// The row under the raw frame: the frame kind, the counts per type and the record box,
// at the fixed places of the original layout. Long numbers (a live session past a
// million frames: "#1000400 / 1000400") do not fit there: then the record box widens to
// the left, the counts take the room the frame kind's text leaves and, if need be, a
// smaller face. Everything returns to its place when the numbers are short again.
class RecordRowFit : public QObject
{
    Q_OBJECT

public:
    RecordRowFit(QLabel *kind, QLabel *counts, QLineEdit *record, QObject *parent = nullptr);

    // Fits the row once the texts now being set are all in (from the event loop).
    void schedule();

private:
    void fit();

    QLabel *m_kind;
    QLabel *m_counts;
    QLineEdit *m_record;
    QRect m_countsHome;
    QRect m_recordHome;
    QFont m_countsFont;
    bool m_pending = false;
};

} // namespace kesta
