#include "form1.h"

#include "accessibility.h"
#include "chartfeed.h"
#include "cleanup.h"
#include "connectdialog.h"
#include "decoding_run.h"
#include "exportcommand.h"
#include "filechooser.h"
#include "form2.h"
#include "info.h"
#include "influxdialog.h"
#include "influxstatus.h"
#include "layoutstyle.h"
#include "livecontrol.h"
#include "lightelementmap.h"
#include "lightelementrow.h"
#include "mainmenus.h"
#include "livesession.h"
#include "mainlayout.h"
#include "parameter_catalogue.h"
#include "parameterchart.h"
#include "program_state.h"
#include "recentfiles.h"
#include "recordnavigator.h"
#include "recordrowfit.h"
#include "recordstatus.h"
#include "recordtable.h"
#include "recordview.h"
#include "recordsource.h"
#include "screenfit.h"
#include "sidewindows.h"
#include "sourcestatus.h"
#include "stationdialog.h"
#include "healthwatch.h"
#include "passview.h"
#include "passoverlay.h"
#include "svgbutton.h"
#include "value_text.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <utility>
#include <string>

namespace kesta {

using layoutstyle::Geometry;
using namespace mainlayout;

namespace {

int scrollValue(qint64 number)
{
    return static_cast<int>(std::clamp<qint64>(number, 1, INT_MAX));
}

} // namespace

RunNotifier::~RunNotifier() = default;

void MessageBoxNotifier::notify(QWidget *parent, Severity severity, const QString &title,
                                const QString &text)
{
    switch (severity) {
    case Severity::Error:
        QMessageBox::critical(parent, title, text);
        break;
    case Severity::Warning:
        QMessageBox::warning(parent, title, text);
        break;
    case Severity::Information:
        QMessageBox::information(parent, title, text);
        break;
    }
}

Form1::Form1(kesta::ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_defaultChooser(std::make_unique<QtFileChooser>()),
      m_defaultNotifier(std::make_unique<MessageBoxNotifier>()), m_chooser(m_defaultChooser.get()),
      m_notifier(m_defaultNotifier.get())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KESTA-1Telemetry Decoder"));
    setWindowIcon(QIcon(QStringLiteral(":/images/satellite.svg")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(layoutstyle::defaultFont());
    setAcceptDrops(true);
    m_source = new kesta::RecordSource(m_state, this);

    buildMenus();
    m_panel = new kesta::RecordPanel(this);
    connect(m_panel, &kesta::RecordPanel::parameterClicked, this, &Form1::optionClicked);
    connect(m_panel, &kesta::RecordPanel::movementFlagRequested, this,
            &Form1::showMovementFlagWindow);
    connect(m_panel->recordBar(), &QScrollBar::valueChanged, this, &Form1::scrollBarChanged);
    setCentralWidget(m_panel);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(false);
    m_sourceStatus = new kesta::SourceStatus(*m_source, statusBar());
    wireChart();
    connect(m_source, &kesta::RecordSource::recordsReset, this, &Form1::recordsReset);
    connect(m_source, &kesta::RecordSource::runEnded, this, &Form1::runFinished);
    connect(m_source, &kesta::RecordSource::shownRecordChanged, this, &Form1::showShownRecord);
    buildRecordViews();
    buildLive();

    wireKeysAndAccess();
    m_health = new HealthWatch(this, m_state);
    buildSideWindows();
    placeMenus();
}

Form1::~Form1()
{
    // A run still going is cancelled, its files discarded and the records dropped; a
    // session still going ends with every file written out.
    delete m_source;
    delete m_side; // the bits and Info windows are top-level windows of their own
}

void Form1::buildMenus()
{
    m_menus = new kesta::MainMenus(menuBar());
    connect(m_menus->open, &QAction::triggered, this, &Form1::menuFileOpen);
    connect(m_menus->exit, &QAction::triggered, this, &Form1::menuFileExit);
    connect(m_menus->info, &QAction::triggered, this, &Form1::showInfoWindow);
    connect(m_menus->station, &QAction::triggered, this, [this] { StationDialog::edit(this); });
    connect(m_menus->influxDb, &QAction::triggered, this, [this] { InfluxDialog::edit(this); });
    connect(m_menus->reload, &QAction::triggered, this, &Form1::reloadLog);
}

void Form1::placeMenus()
{
    kesta::MainMenus::Contributions parts;
    parts.liveCommands = {m_live->connectAction(), m_live->disconnectAction(),
                          m_live->reconnectNowAction()};
    parts.savePassReport = m_health->savePassReportAction();
    parts.saveChart = chart()->saveChartAction();
    parts.copyChart = chart()->copyChartAction();
    parts.passes = m_passes->menu();
    parts.limitsFile = m_health->limitsFileAction();
    parts.timeAxis = chart()->timeAxisAction();
    parts.recordCommands = m_navigator->menuCommands();
    parts.outsideLimits = m_health->outsideActions();
    m_menus->build(parts);
}

void Form1::InitParameterCatalogue()
{
    m_panel->initParameterCatalogue();
}

ParameterChart *Form1::chart() const
{
    return m_panel->chart();
}

LightElementRow *Form1::lightElements() const
{
    return m_panel->lightElements();
}

QString Form1::valueText(int index) const
{
    return m_panel->valueText(index);
}

QString Form1::movementFlagText() const
{
    return valueText(1);
}

void Form1::ShowRecord(std::int16_t index)
{
    m_panel->showRecord(m_state.store[index]);
    chart()->setShownRecord(index, m_state.store[index].ReceptionTime);
}

void Form1::DrawParameterChart(std::int16_t parameter)
{
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= ParameterRows.size())
        return;
    m_panel->showChartCaption(parameter);
    // The records of the pass chosen in View -> Pass, or all.
    kesta::plotParameter(*chart(), m_state.store, m_passes->span(), parameter);
}

void Form1::optionClicked(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= ParameterRows.size())
        return;
    m_panel->chooseParameter(index);
    DrawParameterChart(static_cast<std::int16_t>(index));
}

void Form1::setFileChooser(FileChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void Form1::setNotifier(RunNotifier *notifier)
{
    m_notifier = notifier ? notifier : m_defaultNotifier.get();
}

bool Form1::writeTlmFile() const
{
    return m_menus->writeTlmFile->isChecked();
}

void Form1::toggleWriteTlmFile()
{
    m_menus->writeTlmFile->setChecked(!m_menus->writeTlmFile->isChecked());
}

void Form1::menuFileOpen()
{
    if (!m_live->endSessionFirst(kesta::LiveControl::EndReason::OpenLog))
        return;
    openLog(m_chooser->chooseLogFile(this));
}

void Form1::openLog(const QString &path)
{
    if (m_source->isRunning())
        return; // one run at a time; the menu is disabled meanwhile
    if (!m_live->endSessionFirst(kesta::LiveControl::EndReason::OpenLog))
        return;
    // The labels are refreshed and the first value boxes emptied whether or not a log was
    // chosen; a run that does not decode the log shows the record on view again.
    InitParameterCatalogue();
    if (path.isEmpty())
        return;
    kesta::RunRequest request;
    request.inputPath = QFile::encodeName(path).toStdString();
    request.writeTlm = m_menus->writeTlmFile->isChecked();
    request.keptTlmPath = m_state.TlmPath;
    request.limits = m_health->limits();
    m_runPath = path;
    if (m_source->startRun(request))
        m_menus->open->setEnabled(false);
}

bool Form1::isRunning() const
{
    return m_source->isRunning();
}

void Form1::cancelRun()
{
    m_source->cancelRun();
}

void Form1::recordsReset()
{
    if (m_source->liveSession()) {
        clearViewForLive();
        return;
    }
    // A decoded log: no session any more, nothing of it left to draw.
    m_liveChartTimer->stop();
    liveStateChanged();
    const kesta::RunResult *run = m_source->decodedRun();
    if (!run)
        return;
    m_health->takeRun(*run);
    m_passes->setPasses(run->passes);
    showDecodedLog();
    noteDecodedRun(run->report);
    emit recordsChanged();
}

void Form1::runFinished(const std::shared_ptr<const kesta::RunResult> &result)
{
    m_menus->open->setEnabled(true);
    const kesta::RunReport &report = result->report;
    const std::string &dmpPath = result->dmpPath;
    if (report.outcome != kesta::RunReport::Outcome::Decoded) {
        m_placeOnReload = {}; // the next log opened starts at record 1
        // Nothing of this run is kept: the store and the record on view stay as they were.
        if (const int index = m_source->shownIndex())
            ShowRecord(static_cast<std::int16_t>(index));
        // A log that cannot be read is no longer offered among the recent files.
        if (report.outcome == kesta::RunReport::Outcome::LogUnreadable)
            m_recent->remove(m_runPath);
        if (report.outcome == kesta::RunReport::Outcome::Cancelled)
            statusBar()->showMessage(QStringLiteral("Cancelled; the earlier files are unchanged."),
                                     5000);
    }
    if (const auto message = kesta::RunSummary(report, dmpPath)) {
        RunNotifier::Severity severity = RunNotifier::Severity::Information;
        if (message->severity == kesta::RunMessage::Severity::Error)
            severity = RunNotifier::Severity::Error;
        else if (message->severity == kesta::RunMessage::Severity::Warning)
            severity = RunNotifier::Severity::Warning;
        m_notifier->notify(this, severity, windowTitle(), QString::fromLocal8Bit(message->text));
    }
    emit runEnded();
}

void Form1::showDecodedLog()
{
    // A log without frames still replaces the counts of the log before it.
    const kesta::FrameCounters &counters = m_state.store.counters;
    m_panel->showCounts(counters.HtrxCount, counters.FssCount, counters.FssHiCount);

    const std::int16_t count = m_state.store.RecordCount;
    // A log opened shows record 1 and the mode status; a reload keeps the record on view
    // (as far as the log still reaches) and the parameter chosen.
    const ShownPlace place = std::exchange(m_placeOnReload, {});
    const int record = std::clamp(place.record, 1, std::max<int>(count, 1));
    QScrollBar *bar = m_panel->recordBar();
    bar->setEnabled(true);
    {
        // To the record without a second ShowRecord through the change handler.
        const QSignalBlocker quiet(bar);
        bar->setRange(1, std::max<int>(count, 1)); // a log without frames: 1 to 1
        bar->setValue(record);
    }
    m_source->showRecord(bar->value());
    if (m_panel->chosenParameter() != place.parameter)
        optionClicked(place.parameter); // as the user's click: highlight and chart
    else
        DrawParameterChart(static_cast<std::int16_t>(place.parameter));
}

void Form1::scrollBarChanged(int position)
{
    m_source->showRecord(position);
}

void Form1::showShownRecord(qint64 number)
{
    m_panel->showPosition(number, m_source->recordTotal());
    // The store holds numbers FirstNumber onwards.
    const qint64 index = number - m_state.store.FirstNumber + 1;
    if (index > 0)
        ShowRecord(static_cast<std::int16_t>(index));
}

void Form1::menuFileExit()
{
    // As "Open" does, Exit asks before it ends a live session.
    if (!m_live->endSessionFirst(kesta::LiveControl::EndReason::Exit))
        return;
    close();
}

void Form1::showMovementFlagWindow()
{
    m_side->showMovementFlag();
}

void Form1::showInfoWindow()
{
    m_side->showInfo();
}

Form2 *Form1::movementFlagWindow() const
{
    return m_side->movementFlag();
}

Info *Form1::infoWindow() const
{
    return m_side->info();
}

void Form1::cleanUpOnce()
{
    if (m_cleanedUp)
        return;
    m_cleanedUp = true;
    kesta::DeleteEmptyFiles(m_state.createdFiles);
}

void Form1::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        m_centred = true;
        const auto fitAndCentre = [this] {
            if (QScreen *screen = this->screen()) {
                fitToScreen(screen->availableGeometry());
                QRect frame = frameGeometry();
                frame.moveCenter(screen->availableGeometry().center());
                move(frame.topLeft());
            }
        };
        fitAndCentre();
        screenfit::refitWhenFramed(this, fitAndCentre); // with the frame it really has
    }
    QMainWindow::showEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The user closing the window is asked as Exit asks; a close the program asks for (on
    // a signal, at the end of a session) is not.
    if (event->spontaneous() && !m_live->endSessionFirst(kesta::LiveControl::EndReason::Exit)) {
        event->ignore();
        return;
    }
    // A run still going stops now: its files are discarded, the earlier ones kept.
    m_source->cancelRunAndWait();
    m_source->stopLive(); // every file of the session written out and closed
    cleanUpOnce();
    event->accept();
    emit closing();
}

namespace {

// The one local file a drag carries, or empty text.
QString droppedLog(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

} // namespace

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedLog(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    const QString path = droppedLog(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Decoded once the drop has finished, so that the source is not kept waiting and a
    // message box does not open inside the drag.
    QMetaObject::invokeMethod(
        this, [this, path] { openLog(path); }, Qt::QueuedConnection);
}

// ---- Keys, status bar fields, recent files, screen fit and accessibility ----

void Form1::wireKeysAndAccess()
{
    accessibility::install();
    QWidget *client = centralWidget();

    // The client area scrolls when the screen is too small for the window.
    takeCentralWidget();
    m_clientScroll = new QScrollArea(this);
    m_clientScroll->setObjectName(QStringLiteral("ClientScroll"));
    m_clientScroll->setFrameShape(QFrame::NoFrame);
    // Not a Tab stop of its own: it has nothing to say, and Tab brings each control into
    // view anyway when the window is smaller than its contents.
    m_clientScroll->setFocusPolicy(Qt::NoFocus);
    m_clientScroll->setWidgetResizable(false);
    m_clientScroll->setWidget(client);
    layoutstyle::setBackground(m_clientScroll->viewport());
    m_clientScroll->setFixedSize(client->size());
    setCentralWidget(m_clientScroll);

    m_panel->prepareForUse();

    // The "Record" menu and the keys that go through the records.
    m_navigator = new RecordNavigator(this, m_panel->recordBar(), m_state.store);
    m_navigator->watchTextBoxes(client);

    // "Recent Files".
    m_recent = new RecentFiles(this);
    m_recent->attach(m_menus->recentFiles);
    connect(m_recent, &RecentFiles::chosen, this, &Form1::openLog);

    // Reception time, log name and load report in the status bar.
    m_recordStatus = new RecordStatus(statusBar());
    statusBar()->addPermanentWidget(m_recordStatus, 1);
    m_sourceStatus->setRecordStatus(m_recordStatus);
    // A message ("... records exported to ...") is read whole: the record's fields step aside
    // while it is shown.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString &message) {
        m_recordStatus->setVisible(message.isEmpty() && !m_sourceStatus->isProgressShown());
    });
    connect(m_panel->recordBar(), &QScrollBar::valueChanged, this, &Form1::showRecordTime);
}

void Form1::noteDecodedRun(const kesta::RunReport &report)
{
    m_lastLoad = report.load;
    const QString path = QFile::decodeName(QByteArray::fromStdString(m_state.InputPath));
    m_recordStatus->showLog(path, report.totals, report.load);
    showRecordTime();
    m_recent->add(path);
    m_menus->reload->setEnabled(true);
    m_navigator->updateEnabled();
}

void Form1::showRecordTime()
{
    // The bar counts a session's records by their session numbers, a log's from 1.
    const kesta::RecordStore &store = m_state.store;
    const qint64 index = m_panel->recordBar()->value() - (liveSession() ? store.FirstNumber - 1 : 0);
    if (store.RecordCount <= 0 || index < 1 || index > store.RecordCount) {
        m_recordStatus->timeLabel()->clear();
        return;
    }
    m_recordStatus->showTime(store[static_cast<std::int16_t>(index)].ReceptionTime);
}

void Form1::reloadLog()
{
    if (m_state.InputPath.empty() || isLive())
        return;
    const int parameter = m_panel->chosenParameter();
    m_placeOnReload = {m_panel->recordBar()->value(), parameter >= 0 ? parameter : ChartedParameterOnOpen};
    openLog(QFile::decodeName(QByteArray::fromStdString(m_state.InputPath)));
}

void Form1::fitToScreen(const QRect &available)
{
    const QWidget *client = m_clientScroll->widget();
    // Before the window is first on screen its frame is not known: a title bar is assumed.
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        frame = QMargins(0, 32, 0, 0);
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom() +
                                                        menuBar()->sizeHint().height() +
                                                        statusBar()->sizeHint().height());
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_clientScroll);
    m_clientScroll->setFixedSize(
        screenfit::viewportSize(client->size(), extra, available.size(), bar));
    adjustSize();
    // A window shorter than the record view shows its navigation row (scroll bar and
    // position), and as much as fits above it; Tab brings the rest into view.
    // With the client area's own margin below the row, which the status bar's final
    // height may still take a few pixels of.
    m_clientScroll->ensureWidgetVisible(m_panel->positionBox(), 8, 8);
    // And once more when the scroll bars that the new size brings have taken their room.
    QTimer::singleShot(0, this, [this] { m_clientScroll->ensureWidgetVisible(m_panel->positionBox(), 8, 8); });
}

RecordNavigator *Form1::navigator() const
{
    return m_navigator;
}

RecordStatus *Form1::recordStatus() const
{
    return m_recordStatus;
}

RecentFiles *Form1::recentFiles() const
{
    return m_recent;
}

QScrollArea *Form1::clientScroll() const
{
    return m_clientScroll;
}

const std::optional<kesta::LoadReport> &Form1::lastLoadReport() const
{
    return m_lastLoad;
}

// ---- Views of all records and the export of the whole log ----

void Form1::buildRecordViews()
{
    connect(m_menus->exportRecords, &QAction::triggered, this, &Form1::exportRecords);
    m_passes = new PassView(m_menus->views, m_state.store, this);
    connect(m_passes, &PassView::chosenChanged, this, &Form1::showChosenPass);
    connect(m_passes, &PassView::overlayRequested, this, &Form1::showPassOverlay);

    m_export = new ExportCommand(this);
    m_export->setErrorHandler([this](const QString &text) {
        m_notifier->notify(this, RunNotifier::Severity::Error, windowTitle(), text);
    });
    connect(m_export, &ExportCommand::finished, this,
            [this](const kesta::LogExportResult &result, const QString &path) {
                using Outcome = kesta::LogExportResult::Outcome;
                m_menus->exportRecords->setEnabled(!m_state.InputPath.empty());
                if (result.outcome == Outcome::Written)
                    statusBar()->showMessage(
                        tr("%1 records exported to %2")
                            .arg(QLocale().toString(static_cast<qulonglong>(result.records)),
                                 QFileInfo(path).fileName()),
                        5000);
                else if (result.outcome == Outcome::Cancelled)
                    statusBar()->showMessage(
                        QStringLiteral("Export cancelled; %1 is unchanged.").arg(path), 5000);
                emit exportEnded();
            });

    connect(this, &Form1::recordsChanged, this, [this] {
        m_menus->exportRecords->setEnabled(!m_state.InputPath.empty() && !m_export->isRunning());
    });
    connect(this, &Form1::closing, this, [this] { m_export->cancelAndWait(); });
}

void Form1::buildSideWindows()
{
    kesta::SideWindows::Parts parts;
    parts.window = this;
    parts.store = &m_state.store;
    parts.panel = m_panel;
    parts.passes = m_passes;
    parts.health = m_health;
    parts.source = m_source;
    m_side = new kesta::SideWindows(parts);
    connect(m_side, &kesta::SideWindows::recordChosen, this, &Form1::goToRecord);
    connect(m_menus->lightElementMap, &QAction::triggered, m_side,
            &kesta::SideWindows::showLightElementMap);
    connect(m_menus->recordTable, &QAction::triggered, m_side,
            &kesta::SideWindows::showRecordTable);
    connect(this, &Form1::recordsChanged, m_side, &kesta::SideWindows::followRecords);
    connect(this, &Form1::closing, m_side, &kesta::SideWindows::closeAll);
}

void Form1::showLightElementMap()
{
    m_side->showLightElementMap();
}

void Form1::showRecordTable()
{
    m_side->showRecordTable();
}

void Form1::showPassOverlay()
{
    m_side->showPassOverlay();
}

LightElementMap *Form1::lightElementMap() const
{
    return m_side->lightElementMap();
}

RecordTable *Form1::recordTable() const
{
    return m_side->recordTable();
}

PassOverlay *Form1::passOverlay() const
{
    return m_side->passOverlay();
}

void Form1::showChosenPass()
{
    m_side->followSpan();
    const int parameter = m_panel->chosenParameter();
    if (parameter >= 0)
        DrawParameterChart(static_cast<std::int16_t>(parameter));
    // A pass chosen: its first record is shown.
    const auto span = m_passes->span();
    if (m_passes->chosen() > 0 && span.first <= span.second)
        goToRecord(static_cast<int>(m_state.store.numberAt(static_cast<std::int16_t>(span.first))));
}

void Form1::goToRecord(int record)
{
    QScrollBar *bar = m_panel->recordBar();
    if (!bar->isEnabled() || record < bar->minimum() || record > bar->maximum())
        return;
    bar->setValue(record); // the scroll bar's handler shows it
}

void Form1::exportRecords()
{
    if (m_state.InputPath.empty() || m_export->isRunning())
        return;
    kesta::LogExportRequest request;
    request.logPath = m_state.InputPath;
    request.keptFiles = kesta::KeptFilesOf(m_state.InputPath);
    if (!m_state.TlmPath.empty())
        request.keptFiles.push_back({"TLM file", m_state.TlmPath});
    m_export->run(std::move(request));
    if (m_export->isRunning())
        m_menus->exportRecords->setEnabled(false);
}

bool Form1::isExporting() const
{
    return m_export->isRunning();
}

void Form1::cancelExport()
{
    m_export->cancel();
}

void Form1::setSaveChooser(SaveFileChooser *chooser)
{
    m_export->setChooser(chooser);
    chart()->setSaveChooser(chooser);
    m_health->setSaveChooser(chooser);
    m_side->setSaveChooser(chooser);
}
void Form1::wireChart()
{
    connect(chart(), &ParameterChart::recordClicked, this, &Form1::goToRecord);
}

// ---- Live reception: File -> "Connect...", "Disconnect" and "Reconnect Now" ----

void Form1::buildLive()
{
    m_live = new kesta::LiveControl(*m_source, this);
    connect(m_live, &kesta::LiveControl::failed, this, [this](bool error, const QString &text) {
        m_notifier->notify(this, error ? RunNotifier::Severity::Error : RunNotifier::Severity::Warning,
                           windowTitle(), text);
    });
    connect(m_live->connectAction(), &QAction::triggered, this, &Form1::menuFileConnect);
    connect(m_menus->file, &QMenu::aboutToShow, m_live, &kesta::LiveControl::updateActions);

    // While frames arrive the chart is redrawn a few times a second, not at every frame.
    m_liveChartTimer = new QTimer(this);
    m_liveChartTimer->setSingleShot(true);
    m_liveChartTimer->setInterval(LiveChartIntervalMs);
    // So are the map and the table.
    connect(m_liveChartTimer, &QTimer::timeout, this, [this] {
        const int chosen = m_panel->chosenParameter();
        DrawParameterChart(
            static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
        m_side->followRecords();
    });

    connect(m_source, &kesta::RecordSource::recordsAppended, this, &Form1::liveRecordsArrived);
    connect(m_source, &kesta::RecordSource::liveStateChanged, this, &Form1::liveStateChanged);
    connect(m_source, &kesta::RecordSource::liveEnded, this, &Form1::liveFinished);
}

void Form1::setConnectChooser(ConnectChooser *chooser)
{
    m_live->setConnectChooser(chooser);
}

void Form1::setQuestioner(Questioner *questioner)
{
    m_live->setQuestioner(questioner);
}

LiveSession *Form1::liveSession() const
{
    return m_source->liveSession();
}

bool Form1::isLive() const
{
    return m_source->isLive();
}

void Form1::menuFileConnect()
{
    m_live->chooseAndConnect(writeTlmFile());
}

void Form1::menuFileDisconnect()
{
    m_source->stopLive();
}

bool Form1::connectTo(const ConnectRequest &request)
{
    return m_live->connectTo(request);
}

void Form1::clearViewForLive()
{
    // The status bar speaks of the session: its state, its recording, its frames.
    LiveSession *session = liveSession();
    m_recordStatus->showSession(QFile::decodeName(QByteArray::fromStdString(session->options().recordingPath)));
    m_health->watchLive();
    m_passes->setPasses({});
    // The store was emptied for the session: a blank record until the first frame.
    QScrollBar *bar = m_panel->recordBar();
    bar->setEnabled(false);
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(1, 1);
        bar->setValue(1);
    }
    InitParameterCatalogue();
    ShowRecord(1);
    m_source->showRecord(0); // none yet
    const int chosen = m_panel->chosenParameter();
    DrawParameterChart(static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
    m_side->followRecords();
    showLiveCounts();
}

void Form1::liveRecordsArrived()
{
    const kesta::RecordStore &store = m_state.store;
    if (!liveSession() || store.RecordCount == 0)
        return;
    // The bar follows the newest record while it stands on it; moved back by the user it
    // stays on the record chosen as long as that record is held.
    QScrollBar *bar = m_panel->recordBar();
    const bool follow = !bar->isEnabled() || bar->value() == bar->maximum();
    const int before = bar->value();
    bar->setEnabled(true);
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(scrollValue(store.FirstNumber), scrollValue(store.lastNumber()));
        if (follow)
            bar->setValue(bar->maximum());
    }
    if (follow || bar->value() != before)
        scrollBarChanged(bar->value()); // shows the record and Text2
    else
        m_panel->showPosition(before, m_source->recordTotal());

    showRecordTime();
    if (m_panel->chosenParameter() < 0)
        optionClicked(ChartedParameterOnOpen); // the first frame: as on opening a log
    if (!m_liveChartTimer->isActive())
        m_liveChartTimer->start();
    showLiveCounts();
}

void Form1::showLiveCounts()
{
    const LiveSession *live = liveSession();
    if (!live)
        return;
    const kesta::SessionTotals &totals = live->totals();
    m_panel->showCounts(static_cast<std::int64_t>(totals.htrx),
                        static_cast<std::int64_t>(totals.fss),
                        static_cast<std::int64_t>(totals.fssHi));
    m_recordStatus->showSessionFrames(totals.frames);
}

void Form1::liveStateChanged()
{
    // A session on view has no log to read again.
    m_menus->reload->setEnabled(!isLive() && !m_state.InputPath.empty());
    showLiveCounts();
}

void Form1::liveFinished()
{
    liveStateChanged();
    // The chart of the last frames, now rather than at the timer.
    if (m_liveChartTimer->isActive()) {
        m_liveChartTimer->stop();
        const int chosen = m_panel->chosenParameter();
        if (chosen >= 0)
            DrawParameterChart(static_cast<std::int16_t>(chosen));
        m_side->followRecords();
    }
}

} // namespace kesta
