#include "influxstatus.h"

#include <QRegularExpression>
#include <QStatusBar>

namespace kesta {

InfluxStatus::InfluxStatus(QStatusBar *bar) : QLabel(bar)
{
    setObjectName(QStringLiteral("InfluxStatus"));
    setAccessibleName(tr("InfluxDB"));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addPermanentWidget(this, 1);
    hide();
}

void InfluxStatus::showStatus(const QString &text)
{
    setText(shortText(text));
    setToolTip(text);
    setAccessibleDescription(text);
    show();
}

QString InfluxStatus::shortText(QString text)
{
    // The line has little room beside the record's: the server's URL, the spool file's
    // path and "0 lines sent" are left to the tip.
    static const QRegularExpression refusal(QStringLiteral("^InfluxDB: .*: the server refused the lines: "));
    static const QRegularExpression spoolPath(QStringLiteral(" in /\\S+"));
    text.replace(refusal, QStringLiteral("InfluxDB refused the lines: "));
    text.remove(spoolPath);
    if (text.startsWith(QLatin1String("InfluxDB: 0 lines sent, ")))
        text.remove(10, 14);
    return text;
}

} // namespace kesta
