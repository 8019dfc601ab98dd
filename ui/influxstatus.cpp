#include "influxstatus.h"

#include <QStatusBar>

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
    setText(text);
    setToolTip(text);
    setAccessibleDescription(text);
    show();
}
