#include "form1.h"

#include "accessibility.h"
#include "chartfeed.h"
#include "cleanup.h"
#include "exportcontrol.h"
#include "healthwatch.h"
#include "influxdialog.h"
#include "layoutstyle.h"
#include "livecontrol.h"
#include "liveview.h"
#include "mainlayout.h"
#include "mainmenus.h"
#include "parameterchart.h"
#include "passview.h"
#include "program_state.h"
#include "recentfiles.h"
#include "recordnavigator.h"
#include "recordsource.h"
#include "recordstatus.h"
#include "screenfit.h"
#include "sidewindows.h"
#include "sourcestatus.h"
#include "stationdialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QUrl>

namespace kesta {

using namespace mainlayout;

Form1::Form1(kesta::ProgramState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_defaultNotifier(std::make_unique<MessageBoxNotifier>()),
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
    connect(m_panel->recordBar(), &QScrollBar::valueChanged, m_source,
            &kesta::RecordSource::showRecord);
    setCentralWidget(m_panel);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(false);
    m_sourceStatus = new kesta::SourceStatus(*m_source, statusBar());
    connect(chart(), &ParameterChart::recordClicked, this, &Form1::goToRecord);
    // A session started or a log decoded: first what the session view drops, then the log.
    m_liveView = new kesta::LiveView(*this, *m_source);
    m_opener = new kesta::LogOpener(*this, *m_source);
    connect(m_opener, &kesta::LogOpener::recordsChanged, this, &Form1::recordsChanged);
    connect(m_opener, &kesta::LogOpener::runEnded, this, &Form1::runEnded);
    connect(m_source, &kesta::RecordSource::shownRecordChanged, this, &Form1::showShownRecord);

    m_passes = new PassView(m_menus->views, m_state.store, this);
    connect(m_passes, &PassView::chosenChanged, this, &Form1::showChosenPass);
    connect(m_passes, &PassView::overlayRequested, this, &Form1::showPassOverlay);
    m_export = new kesta::ExportControl(*this, *m_source);
    connect(m_export, &kesta::ExportControl::ended, this, &Form1::exportEnded);
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

void Form1::buildLive()
{
    m_live = new kesta::LiveControl(*m_source, this);
    connect(m_live, &kesta::LiveControl::failed, this, [this](bool error, const QString &text) {
        m_notifier->notify(this, error ? RunNotifier::Severity::Error : RunNotifier::Severity::Warning,
                           windowTitle(), text);
    });
    connect(m_live->connectAction(), &QAction::triggered, this, &Form1::menuFileConnect);
    connect(m_menus->file, &QMenu::aboutToShow, m_live, &kesta::LiveControl::updateActions);
}

void Form1::wireKeysAndAccess()
{
    accessibility::install();
    QWidget *client = centralWidget();
    // The client area scrolls when the screen is too small for the window.
    m_clientScroll = screenfit::scrollClientArea(this);
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
    connect(m_panel->recordBar(), &QScrollBar::valueChanged, m_sourceStatus,
            &kesta::SourceStatus::showRecordTime);
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
    // The chart counts records by their numbers, as the scroll bar does.
    chart()->setShownRecord(static_cast<int>(m_state.store.numberAt(index)),
                            m_state.store[index].ReceptionTime);
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

void Form1::showShownRecord(qint64 number)
{
    m_panel->showPosition(number, m_source->recordTotal());
    // The store holds numbers FirstNumber onwards.
    const qint64 index = number - m_state.store.FirstNumber + 1;
    if (index > 0)
        ShowRecord(static_cast<std::int16_t>(index));
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

void Form1::menuFileExit()
{
    // As "Open" does, Exit asks before it ends a live session.
    if (!m_live->endSessionFirst(kesta::LiveControl::EndReason::Exit))
        return;
    close();
}

void Form1::setSaveChooser(SaveFileChooser *chooser)
{
    m_export->setChooser(chooser);
    chart()->setSaveChooser(chooser);
    m_health->setSaveChooser(chooser);
    m_side->setSaveChooser(chooser);
}

// ---- Window events ----

void Form1::cleanUpOnce()
{
    if (m_cleanedUp)
        return;
    m_cleanedUp = true;
    kesta::DeleteEmptyFiles(m_state.createdFiles);
}

void Form1::fitToScreen(const QRect &available)
{
    screenfit::fitClientArea(this, m_clientScroll, m_panel->positionBox(), available);
}

void Form1::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        m_centred = true;
        screenfit::fitAndCentre(this, [this](const QRect &available) { fitToScreen(available); });
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

} // namespace kesta
