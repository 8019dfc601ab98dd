#include "recordstatus.h"

#include "decoding_session.h"
#include "value_text.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLabel>
#include <QLocale>

namespace kesta {

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
    auto *lines = new QVBoxLayout(this);
    lines->setContentsMargins(4, 0, 4, 0);
    lines->setSpacing(0);
    // The session's state is read whole: a line of its own, wrapped rather than cut.
    m_sessionState = field(this, "LiveState", tr("State of the live session"));
    m_sessionState->setAccessibleName(tr("Live session"));
    m_sessionState->setWordWrap(true);
    m_sessionState->hide();
    lines->addWidget(m_sessionState);

    auto *row = new QHBoxLayout;
    row->setSpacing(16);
    row->addStretch(); // the fields stand at the right
    m_time = field(this, "ReceptionTime", tr("Reception time"));
    m_file = field(this, "LogName", tr("Log file"));
    m_load = field(this, "LoadSummary", tr("Load report"));
    m_sessionFrames = field(this, "LiveCounts", tr("Frames received"));
    m_sessionFrames->setAccessibleName(tr("Frames received"));
    m_sessionFrames->hide();
    row->addWidget(m_time);
    row->addWidget(m_file);
    row->addWidget(m_load);
    row->addWidget(m_sessionFrames);
    lines->addLayout(row);
}

QString RecordStatus::timeText(std::optional<std::int64_t> ms)
{
    if (!ms)
        return tr("No reception time");
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

void RecordStatus::showSession(const QString &recordingPath)
{
    m_file->setText(QFileInfo(recordingPath).fileName());
    m_file->setToolTip(recordingPath);
    m_file->setAccessibleDescription(tr("Recording"));
    m_time->clear();
    m_load->hide();
    m_sessionState->show();
    m_sessionFrames->show();
    showSessionFrames(0);
}

void RecordStatus::showSessionState(const QString &text)
{
    m_sessionState->setText(text);
}

void RecordStatus::showSessionFrames(std::uint64_t frames)
{
    m_sessionFrames->setText(frames == 1 ? tr("1 frame") : tr("%1 frames").arg(countText(frames)));
}

bool RecordStatus::showsSession() const
{
    return !m_sessionState->isHidden();
}

void RecordStatus::showLog(const QString &path, const kesta::SessionTotals &totals,
                           const kesta::LoadReport &load)
{
    m_sessionState->hide();
    m_sessionFrames->hide();
    m_load->show();
    m_file->setAccessibleDescription(tr("Log file"));
    m_file->setText(QFileInfo(path).fileName());
    m_file->setToolTip(path);
    m_load->setText(loadText(totals, load));
    QStringList lines;
    for (const std::string &line : kesta::LoadReportLines(load))
        lines << QString::fromStdString(line);
    m_load->setToolTip(lines.isEmpty() ? tr("Nothing skipped")
                                       : lines.join(QLatin1Char('\n')));
}

} // namespace kesta
