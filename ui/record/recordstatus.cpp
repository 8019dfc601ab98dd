#include "recordstatus.h"

#include "decoding_session.h"
#include "value_text.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

namespace {

// A count with the locale's thousands separators (the C locale's too, which leaves them
// out unless asked).
QString countText(std::uint64_t n)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<qulonglong>(n));
}

QString counted(std::uint64_t n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(countText(n), QLatin1String(n == 1 ? one : many));
}

QLabel *field(QWidget *parent, const char *name, const QString &what)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleDescription(what);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

RecordStatus::RecordStatus(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RecordStatus"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(16);
    m_time = field(this, "ReceptionTime", QStringLiteral("Reception time"));
    m_file = field(this, "LogName", QStringLiteral("Log file"));
    m_load = field(this, "LoadSummary", QStringLiteral("Load report"));
    row->addWidget(m_time);
    row->addWidget(m_file);
    row->addWidget(m_load);
}

QString RecordStatus::timeText(std::optional<std::int64_t> ms)
{
    if (!ms)
        return QStringLiteral("No reception time");
    // The exports' ISO form, "2026-12-01T10:00:00.123Z", spelt for reading.
    QString text = QString::fromStdString(kesta::IsoTimeText(*ms));
    text.replace(QLatin1Char('T'), QLatin1Char(' '));
    if (text.endsWith(QLatin1Char('Z')))
        text.chop(1);
    return text + QStringLiteral(" UTC");
}

QString RecordStatus::loadText(const kesta::SessionTotals &totals, const kesta::LoadReport &load)
{
    const kesta::KissReaderStats &s = load.reader;
    QStringList parts{counted(totals.frames, "frame", "frames")};
    if (s.timestampFrames > 0)
        parts << counted(s.timestampFrames, "timestamp", "timestamps");
    // Frames decoded but past the records the view holds are in the outputs, not lost.
    if (load.framesBeyondLimit > 0)
        parts << QObject::tr("%1 beyond the records on view")
                     .arg(countText(load.framesBeyondLimit));
    // Damaged frames the reader left out; the report's lines tell which.
    const std::uint64_t damaged = (s.rejectedFrames - s.timestampFrames) + s.runtFrames +
                                  s.unfinishedFrames + s.oversizedFrames;
    if (damaged > 0)
        parts << counted(damaged, "damaged frame skipped", "damaged frames skipped");
    if (s.ignoredBytes > 0)
        parts << counted(s.ignoredBytes, "byte ignored", "bytes ignored");
    return parts.join(QStringLiteral(" · "));
}

void RecordStatus::showTime(std::optional<std::int64_t> ms)
{
    m_time->setText(timeText(ms));
}

void RecordStatus::showLog(const QString &path, const kesta::SessionTotals &totals,
                           const kesta::LoadReport &load)
{
    m_file->setText(QFileInfo(path).fileName());
    m_file->setToolTip(path);
    m_load->setText(loadText(totals, load));
    QStringList lines;
    for (const std::string &line : kesta::LoadReportLines(load))
        lines << QString::fromStdString(line);
    m_load->setToolTip(lines.isEmpty() ? QStringLiteral("Nothing skipped")
                                       : lines.join(QLatin1Char('\n')));
}
