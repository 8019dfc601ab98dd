#include "healthwatch.h"

#include "accessibility.h"
#include "decoding_run.h"
#include "form1.h"
#include "limits_file.h"
#include "livesession.h"
#include "mainlayout.h"
#include "parameterchart.h"
#include "passreportcommand.h"
#include "stationdialog.h"
#include "log_export.h"
#include "program_state.h"
#include "recordsource.h"

#include <QAccessible>
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <algorithm>

namespace kesta {

// The frame and mark over a value box whose value is outside its limits: amber with a
// triangle for a warning, red with a square for critical, so the level does not rest on
// colour alone. Drawn over the box, and never in the way of the mouse.
class LimitFrame : public QWidget
{
public:
    static constexpr QColor WarningColor{214, 130, 0};
    static constexpr QColor CriticalColor{200, 0, 0};

    explicit LimitFrame(QWidget *box) : QWidget(box->parentWidget()), m_box(box)
    {
        setObjectName(box->objectName() + QStringLiteral("_Limit"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        // The box itself tells a screen reader of the level, in its description.
        accessibility::hide(this);
        QWidget::hide();
    }

    void setLevel(LimitLevel level)
    {
        if (level == m_level)
            return;
        m_level = level;
        setGeometry(m_box->geometry());
        setVisible(level != LimitLevel::Ok);
        if (isVisible())
            raise();
        update();
    }
    LimitLevel level() const { return m_level; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (m_level == LimitLevel::Ok)
            return;
        const QColor colour = m_level == LimitLevel::Critical ? CriticalColor : WarningColor;
        QPainter painter(this);
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
        // The mark in the top right corner, inside the frame.
        const qreal size = std::min<qreal>(7, height() - 4);
        const QRectF mark(width() - size - 2, 2, size, size);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        if (m_level == LimitLevel::Critical) {
            painter.drawRect(mark);
        } else {
            const QPointF corners[3] = {QPointF(mark.center().x(), mark.top()), mark.bottomRight(),
                                        mark.bottomLeft()};
            painter.drawPolygon(corners, 3);
        }
    }

private:
    QWidget *m_box;
    LimitLevel m_level = LimitLevel::Ok;
};

namespace {

// The field of value box `index`, if it shows one.
std::optional<Field> FieldOfBox(int index)
{
    using namespace mainlayout;
    if (index < 0 || index >= ValueBoxCount)
        return std::nullopt;
    if (index < FirstHiModeBox)
        return ParameterRows[static_cast<std::size_t>(index)].field;
    return HiModeRows[static_cast<std::size_t>(index - FirstHiModeBox)].field;
}

QString FromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

HealthWatch::HealthWatch(Form1 *window, ProgramState &state)
    : QObject(window), m_window(window), m_state(state)
{
    m_ask = [](QWidget *parent, const QString &current) {
        return QFileDialog::getOpenFileName(parent, tr("Limits File"),
                                            current.isEmpty() ? QString()
                                                              : QFileInfo(current).absolutePath(),
                                            tr("Limits files (*.toml);;All files (*)"));
    };
    m_onError = [window](const QString &text) {
        QMessageBox::warning(window, window->windowTitle(), text);
    };

    // Settings -> "Limits File...", File -> "Save Pass Report..." and the Record menu's
    // records outside limits; the window's menus list them.
    m_chooseAction = new QAction(tr("&Limits File..."), this);
    m_chooseAction->setObjectName(QStringLiteral("MenuLimitsFile"));
    connect(m_chooseAction, &QAction::triggered, this, &HealthWatch::chooseLimitsFile);

    m_saveReport = new QAction(tr("Save &Pass Report..."), this);
    m_saveReport->setObjectName(QStringLiteral("MenuSavePassReport"));
    connect(m_saveReport, &QAction::triggered, this, &HealthWatch::savePassReport);
    m_report = new PassReportCommand(window);
    m_report->setErrorHandler([this](const QString &text) { m_onError(text); });
    connect(m_report, &PassReportCommand::finished, this,
            [this](const LogExportResult &result, const QString &path) {
                updateActions();
                if (result.outcome == LogExportResult::Outcome::Written)
                    m_window->statusBar()->showMessage(
                        tr("Pass report saved to %1").arg(QFileInfo(path).fileName()), 5000);
                else if (result.outcome == LogExportResult::Outcome::Cancelled)
                    m_window->statusBar()->showMessage(
                        tr("Pass report cancelled; %1 is unchanged.").arg(path), 5000);
            });
    connect(window, &Form1::closing, m_report, &PassReportCommand::cancelAndWait);

    m_next = new QAction(tr("Next Record Outside Limits"), this);
    m_next->setObjectName(QStringLiteral("MenuNextOutside"));
    m_next->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right));
    m_previous = new QAction(tr("Previous Record Outside Limits"), this);
    m_previous->setObjectName(QStringLiteral("MenuPreviousOutside"));
    m_previous->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Left));
    for (QAction *action : {m_next, m_previous})
        action->setShortcutContext(Qt::WindowShortcut);
    connect(m_next, &QAction::triggered, this, [this] { goToOutside(1); });
    connect(m_previous, &QAction::triggered, this, [this] { goToOutside(-1); });

    m_status = new QLabel(window->statusBar());
    m_status->setObjectName(QStringLiteral("LimitStatus"));
    m_status->setTextFormat(Qt::RichText);
    m_status->hide();
    window->statusBar()->addPermanentWidget(m_status);

    for (int i = 0; i < static_cast<int>(m_frames.size()); ++i) {
        QWidget *box = window->recordPanel()->valueBox(i);
        if (box && FieldOfBox(i))
            m_frames[static_cast<std::size_t>(i)] = new LimitFrame(box);
    }

    QScrollBar *scroll = window->recordPanel()->recordBar();
    connect(scroll, &QScrollBar::valueChanged, this, &HealthWatch::showMarks);
    // A session's records are checked as the record source hands them over.
    connect(window->recordSource(), &kesta::RecordSource::recordsAppended, this,
            &HealthWatch::liveFramesArrived);
    connect(window, &Form1::recordsChanged, this, [this] {
        m_live = false;
        showMarks();
        showCounts();
        updateActions();
    });

    const QString remembered = QSettings().value(settingsKey()).toString();
    if (!remembered.isEmpty()) {
        const LimitsFileResult read = ReadLimitsFile(QFile::encodeName(remembered).toStdString());
        if (read.limits) {
            m_limits = std::make_shared<const LimitSet>(*read.limits);
            m_path = remembered;
        } else {
            window->statusBar()->showMessage(FromUtf8(read.error), 10000);
        }
    }
    window->chart()->setLimitSet(m_limits);
    showCounts();
    updateActions();
}

HealthWatch::~HealthWatch() = default;

QString HealthWatch::settingsKey()
{
    return QStringLiteral("limitsFile");
}

bool HealthWatch::loadLimitsFile(const QString &path)
{
    if (path.isEmpty()) {
        m_limits.reset();
        m_path.clear();
    } else {
        const LimitsFileResult read = ReadLimitsFile(QFile::encodeName(path).toStdString());
        if (!read.limits) {
            m_onError(FromUtf8(read.error));
            return false;
        }
        m_limits = std::make_shared<const LimitSet>(*read.limits);
        m_path = QFileInfo(path).absoluteFilePath();
    }
    if (m_live) {
        // A session going on is checked from its next record.
        m_countedLimits = m_limits;
        m_liveHealth = m_limits ? std::make_shared<LogHealth>(m_limits.get()) : nullptr;
        m_liveCounted = m_state.store.lastNumber();
    }
    QSettings().setValue(settingsKey(), m_path);
    m_window->chart()->setLimitSet(m_limits);
    emit limitsChanged();
    showMarks();
    showCounts();
    updateActions();
    // The whole log is counted by a run: a log on view is decoded again, in place.
    if (!m_state.InputPath.empty() && !m_window->isLive() && !m_window->isRunning())
        m_window->reloadLog();
    return true;
}

void HealthWatch::chooseLimitsFile()
{
    const QString path = m_ask(m_window, m_path);
    if (!path.isEmpty())
        loadLimitsFile(path);
}

void HealthWatch::takeRun(const RunResult &result)
{
    m_countedLimits = result.limits;
    m_health = result.health;
    m_liveHealth.reset();
}

LimitLevel HealthWatch::levelOfRecord(int index) const
{
    LimitLevel worst = LimitLevel::Ok;
    if (!m_limits || index < 1 || index > m_state.store.RecordCount)
        return worst;
    m_limits->check(m_state.store[static_cast<std::int16_t>(index)],
                    [&worst](Field, double, LimitLevel level) { worst = std::max(worst, level); });
    return worst;
}

void HealthWatch::goToOutside(int direction)
{
    QScrollBar *scroll = m_window->recordPanel()->recordBar();
    const kesta::RecordStore &store = m_state.store;
    if (!m_limits || !scroll->isEnabled() || store.RecordCount <= 0)
        return;
    // The scroll bar stands at a record number; the store holds FirstNumber onwards.
    const qint64 shown = scroll->value() - store.FirstNumber + 1;
    const int step = direction > 0 ? 1 : -1;
    for (qint64 i = shown + step; i >= 1 && i <= store.RecordCount; i += step) {
        if (levelOfRecord(static_cast<int>(i)) != LimitLevel::Ok) {
            m_window->goToRecord(static_cast<int>(store.numberAt(static_cast<std::int16_t>(i))));
            return;
        }
    }
    m_window->statusBar()->showMessage(direction > 0
                                           ? tr("No record outside limits after this one.")
                                           : tr("No record outside limits before this one."),
                                       3000);
}

void HealthWatch::showMarks()
{
    QScrollBar *scroll = m_window->recordPanel()->recordBar();
    const kesta::RecordStore &store = m_state.store;
    const qint64 index = scroll->value() - store.FirstNumber + 1;
    const bool shown = scroll->isEnabled() && index >= 1 && index <= store.RecordCount;
    std::array<std::optional<LimitBreach>, 22> breaches{};
    std::array<double, 22> values{};
    if (m_limits && shown) {
        m_limits->check(store[static_cast<std::int16_t>(index)],
                        [&](Field field, double value, LimitLevel) {
                            for (std::size_t i = 0; i < breaches.size(); ++i) {
                                if (FieldOfBox(static_cast<int>(i)) == field) {
                                    breaches[i] = m_limits->breachOf(field, value);
                                    values[i] = value;
                                }
                            }
                        });
    }
    for (std::size_t i = 0; i < m_frames.size(); ++i) {
        LimitFrame *frame = m_frames[i];
        if (!frame)
            continue;
        QWidget *box = m_window->recordPanel()->valueBox(i);
        const bool was = frame->level() != LimitLevel::Ok;
        frame->setLevel(breaches[i] ? breaches[i]->level : LimitLevel::Ok);
        if (breaches[i]) {
            const QString text =
                FromUtf8(BreachText(*FieldOfBox(static_cast<int>(i)), values[i], *breaches[i]));
            box->setToolTip(text);
            box->setAccessibleDescription(text);
        } else if (was) {
            // Back to what the record view says of a carried value: nothing.
            box->setToolTip(QString());
            box->setAccessibleDescription(QString());
        }
    }
}

void HealthWatch::showCounts()
{
    if (!m_limits) {
        m_status->hide();
        return;
    }
    const LogHealth *health = m_live ? m_liveHealth.get() : m_health.get();
    // The status bar is narrow: the counts go beside the marks of the value boxes, and the
    // words are in the tool tip and what a screen reader says.
    QString shown;
    QString spoken;
    if (health && (m_live || m_countedLimits == m_limits)) {
        const QLocale locale;
        const QString warning =
            locale.toString(static_cast<qulonglong>(health->recordsInWarning()));
        const QString critical =
            locale.toString(static_cast<qulonglong>(health->recordsInCritical()));
        shown = tr("<span style=\"color:#d68200\">&#9650;</span>&nbsp;%1 "
                   "<span style=\"color:#c80000\">&#9632;</span>&nbsp;%2")
                    .arg(warning, critical);
        spoken = m_live ? tr("Checking limits as records arrive: %1 records in warning, %2 in "
                             "critical")
                              .arg(warning, critical)
                        : tr("%1 records in warning, %2 in critical").arg(warning, critical);
        if (m_live)
            shown = tr("Checking %1").arg(shown);
    } else {
        shown = spoken = tr("Limits on");
    }
    m_status->setText(shown);
    m_status->setToolTip(tr("%1\nLimits file: %2").arg(spoken, m_path));
    m_status->setAccessibleName(spoken);
    m_status->setAccessibleDescription(tr("Limits file: %1").arg(m_path));
    m_status->show();
}

void HealthWatch::watchLive()
{
    m_live = true;
    m_countedLimits = m_limits;
    m_liveHealth = m_limits ? std::make_shared<LogHealth>(m_limits.get()) : nullptr;
    m_health.reset();
    m_liveCounted = 0;
    updateActions();
    showCounts();
}

void HealthWatch::liveFramesArrived()
{
    const RecordStore &store = m_state.store;
    if (m_liveHealth && store.RecordCount > 0) {
        // Each record once, as it arrives; records that left the store unseen (more than
        // it holds between two signals) are past checking.
        for (std::int64_t number = std::max(m_liveCounted + 1, store.FirstNumber);
             number <= store.lastNumber(); ++number) {
            const auto index = static_cast<std::int16_t>(number - store.FirstNumber + 1);
            m_liveHealth->add(static_cast<std::uint64_t>(number), store[index], store[index].Type);
        }
        m_liveCounted = store.lastNumber();
    }
    showMarks();
    showCounts();
    updateActions();
}

void HealthWatch::setSaveChooser(SaveFileChooser *chooser)
{
    m_report->setChooser(chooser);
}

void HealthWatch::savePassReport()
{
    if (m_state.InputPath.empty() || m_live || m_report->isRunning())
        return;
    PassReportRequest request;
    request.logPath = m_state.InputPath;
    request.limits = m_limits;
    if (m_limits)
        request.limitsName = QFile::encodeName(m_path).toStdString();
    if (const QString station = StationDialog::station(); !station.isEmpty())
        request.station = station.toStdString();
    request.keptFiles = KeptFilesOf(m_state.InputPath);
    if (!m_state.TlmPath.empty())
        request.keptFiles.push_back({"TLM file", m_state.TlmPath});
    m_report->run(std::move(request));
    updateActions();
}

void HealthWatch::updateActions()
{
    m_saveReport->setEnabled(!m_state.InputPath.empty() && !m_live && !m_report->isRunning());
    const bool on = m_limits && m_state.store.RecordCount > 0;
    m_next->setEnabled(on);
    m_previous->setEnabled(on);
}

} // namespace kesta
