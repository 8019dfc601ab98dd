#pragma once

#include <QLabel>

class QStatusBar;

namespace kesta {

// The InfluxDB part of the status line: what a run or live session sent, how many lines
// wait in the spool for the server, or the server's message when it refused the lines.
// Hidden until the first word from a sender; cut at the window's edge, the whole text
// (with the spool file's path) being its tip.
class InfluxStatus : public QLabel
{
    Q_OBJECT

public:
    explicit InfluxStatus(QStatusBar *bar);

    void showStatus(const QString &text);

    // The words of the line itself, without what only the tip need hold.
    static QString shortText(QString text);
};

} // namespace kesta
