#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kesta {

// Settings -> Station...: the name of the receiving station, which tags the records the
// program exports (the Station column of CSV and JSON Lines, station=NAME in the line
// protocol). Remembered between runs; empty for none. `kesta-decoder --station NAME`
// names it for one run without changing what is remembered.
class StationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit StationDialog(QWidget *parent = nullptr);

    // The station in force: the command line's for this run, else the remembered one.
    static QString station();
    // Asks for the name over `parent` and remembers it; false when cancelled.
    static bool edit(QWidget *parent);
    // The name given on the command line, for this run only.
    static void setForThisRun(const QString &name);

    QString name() const;

private:
    void check();

    QLineEdit *m_name;
    QLabel *m_problem;
    QPushButton *m_ok;
};

} // namespace kesta
