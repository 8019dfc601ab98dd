#include "sourcestatus.h"

#include "influx_sender.h"
#include "influxstatus.h"
#include "livesession.h"
#include "program_state.h"
#include "recordsource.h"
#include "recordstatus.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace kesta {

SourceStatus::SourceStatus(RecordSource &source, QStatusBar *bar)
    : QObject(bar), m_source(source), m_bar(bar)
{
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("RunProgress"));
    m_progress->setAccessibleName(tr("Decoding progress"));
    m_progress->setTextVisible(true);
    m_progress->setMaximumHeight(16);
    // Room for the longest text, "1234.5 of 1234.5 MB", beside the style's margins.
    m_progress->setMinimumWidth(
        m_progress->fontMetrics().horizontalAdvance(QStringLiteral("8888.8 of 8888.8 MB")) + 24);
    m_cancel = new QPushButton(tr("Cancel"), bar);
    m_cancel->setObjectName(QStringLiteral("CancelRun"));
    m_cancel->setMaximumHeight(20);
    m_cancel->setShortcut(QKeySequence(Qt::Key_Escape)); // while it is shown
    m_cancel->setToolTip(tr("Stop reading the log; the earlier files stay (Esc)"));
    connect(m_cancel, &QPushButton::clicked, &m_source, &RecordSource::cancelRun);
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_cancel);
    showProgress(false);
    m_influx = new InfluxStatus(bar);

    // While the session waits to reconnect, its state counts the seconds down.
    m_liveTick = new QTimer(this);
    m_liveTick->setInterval(LiveStateTickMs);
    connect(m_liveTick, &QTimer::timeout, this, &SourceStatus::liveStateChanged);

    connect(&source, &RecordSource::runStarted, this, &SourceStatus::runStarted);
    connect(&source, &RecordSource::runProgress, this, &SourceStatus::runProgress);
    connect(&source, &RecordSource::runEnded, this, [this] { showProgress(false); });
    connect(&source, &RecordSource::influxStatusChanged, m_influx, &InfluxStatus::showStatus);
    connect(&source, &RecordSource::liveStateChanged, this, &SourceStatus::liveStateChanged);
    connect(&source, &RecordSource::liveEnded, this, &SourceStatus::liveEnded);
}

void SourceStatus::setRecordStatus(RecordStatus *status)
{
    m_recordStatus = status;
}

bool SourceStatus::isProgressShown() const
{
    return m_progress->isVisible();
}

void SourceStatus::showProgress(bool shown)
{
    m_progress->setVisible(shown);
    m_cancel->setVisible(shown);
    if (shown)
        m_bar->clearMessage();
    // The record's fields step aside for the bar, whatever the message was: the progress
    // text has the bar's width only when they make room.
    if (m_recordStatus)
        m_recordStatus->setVisible(!shown && m_bar->currentMessage().isEmpty());
}

void SourceStatus::runStarted()
{
    m_runClock.start();
    m_progress->setRange(0, 0);
    // A short run shows no progress at all; a long one after a moment.
    QTimer::singleShot(ProgressDelayMs, this, [this] {
        if (m_source.isRunning() && m_runClock.elapsed() >= ProgressDelayMs - 10)
            showProgress(true);
    });
}

void SourceStatus::runProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (totalBytes > 0) {
        // Permille of the log, so that logs beyond 2 GB fit the bar's int range.
        m_progress->setRange(0, 1000);
        m_progress->setValue(
            static_cast<int>(std::min<qint64>(bytesRead * 1000 / totalBytes, 1000)));
        m_progress->setFormat(tr("%1 of %2 MB")
                                  .arg(static_cast<double>(bytesRead) / 1e6, 0, 'f', 1)
                                  .arg(static_cast<double>(totalBytes) / 1e6, 0, 'f', 1));
    } else {
        m_progress->setRange(0, 0); // a pipe or FIFO: no end to measure against
        m_progress->setFormat(tr("%1 MB").arg(static_cast<double>(bytesRead) / 1e6, 0, 'f', 1));
    }
}

void SourceStatus::liveStateChanged()
{
    const LiveSession *live = m_source.liveSession();
    if (!live) {
        m_liveTick->stop();
        return;
    }
    if (m_recordStatus)
        m_recordStatus->showSessionState(live->stateText());
    if (live->state() == LiveSession::State::Retrying) {
        if (!m_liveTick->isActive())
            m_liveTick->start();
    } else {
        m_liveTick->stop();
    }
}

void SourceStatus::liveEnded()
{
    liveStateChanged();
    const LiveSession *live = m_source.liveSession();
    if (const InfluxSender *influx = live ? live->influxSender() : nullptr) {
        m_influx->showStatus(influx->state() == InfluxSender::State::Refused
                                 ? tr("InfluxDB: ") + influx->error()
                                 : influx->summary());
    }
}

void SourceStatus::showRecordTime(int position)
{
    // The bar counts a session's records by their session numbers, a log's from 1.
    const RecordStore &store = m_source.store();
    const qint64 index = position - (m_source.liveSession() ? store.FirstNumber - 1 : 0);
    if (store.RecordCount <= 0 || index < 1 || index > store.RecordCount) {
        m_recordStatus->timeLabel()->clear();
        return;
    }
    m_recordStatus->showTime(store[static_cast<std::int16_t>(index)].ReceptionTime);
}

} // namespace kesta
