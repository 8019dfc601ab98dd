#pragma once

#include "influx_target.h"

#include <QDialog>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kesta {

// Settings -> InfluxDB...: the InfluxDB server that a log opened and a live session send
// their records to, as its write URL (http://HOST:8086/write?db=NAME for 1.x,
// .../api/v2/write?org=ORG&bucket=BUCKET for 2.x); empty for none. Remembered between
// runs, and shared with the Connect dialog; `kesta-decoder --influx-url URL` names it for
// one run without changing what is remembered. The token is never kept: it comes from
// the environment variable INFLUX_TOKEN, and the dialog only says whether it is set.
class InfluxDialog : public QDialog
{
    Q_OBJECT

public:
    explicit InfluxDialog(QWidget *parent = nullptr);

    // The URL in force: the command line's for this run, else the remembered one.
    static QString url();
    // The URL given on the command line, for this run only.
    static void setForThisRun(const QString &url);
    // Keeps `url` as the one in force, now and in later runs.
    static void remember(const QString &url);
    // Asks for the URL over `parent` and remembers it; false when cancelled.
    static bool edit(QWidget *parent);

    // `url` as a server to write to, with the token from INFLUX_TOKEN. Nullopt for an
    // empty URL, and for one that cannot be used, with the reason in `error`.
    static std::optional<InfluxTarget> targetFor(const QString &url, QString &error);
    // The server in force, nullopt for none.
    static std::optional<InfluxTarget> target();
    // What the dialogs say about the token, never the token itself.
    static QString tokenNote();

    QString text() const;

private:
    void check();

    QLineEdit *m_url;
    QLabel *m_problem;
    QPushButton *m_ok;
};

} // namespace kesta
