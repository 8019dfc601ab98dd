#include "sidewindows.h"

#include "form2.h"
#include "healthwatch.h"
#include "info.h"
#include "lightelementmap.h"
#include "mainlayout.h"
#include "parameterchart.h"
#include "passoverlay.h"
#include "passview.h"
#include "recordpanel.h"
#include "recordtable.h"
#include "screenfit.h"

#include <QAction>
#include <QScreen>
#include <QWindow>

namespace kesta {

namespace {

void bringToFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

SideWindows::SideWindows(const Parts &parts) : QObject(parts.window), m_parts(parts) {}

SideWindows::~SideWindows()
{
    // Top-level windows of their own, not children of the main window.
    delete m_form2.data();
    delete m_info.data();
}

void SideWindows::showMovementFlag()
{
    if (!m_form2) {
        m_form2 = new Form2(*m_parts.source);
        m_form2->setAttribute(Qt::WA_QuitOnClose, false);
        placeBeside(m_form2);
    }
    bringToFront(m_form2);
}

void SideWindows::showInfo()
{
    if (!m_info) {
        m_info = new Info;
        m_info->setAttribute(Qt::WA_QuitOnClose, false);
    }
    bringToFront(m_info);
}

void SideWindows::showLightElementMap()
{
    if (!m_lightMap) {
        // A window of its own that goes with the main window.
        m_lightMap = new LightElementMap(*m_parts.store, m_parts.window);
        m_lightMap->setWindowFlag(Qt::Window);
        m_lightMap->setSaveChooser(m_saveChooser);
        connect(m_lightMap, &LightElementMap::recordClicked, this, &SideWindows::recordChosen);
        // One column per reception time while the chart shows reception time.
        ParameterChart *chart = m_parts.panel->chart();
        m_lightMap->setTimeAxis(chart->isTimeAxis());
        m_lightMap->setRecordSpan(m_parts.passes->span());
        connect(chart->timeAxisAction(), &QAction::toggled, m_lightMap,
                [this, chart] { m_lightMap->setTimeAxis(chart->isTimeAxis()); });
    }
    bringToFront(m_lightMap);
}

void SideWindows::showRecordTable()
{
    if (!m_recordTable) {
        m_recordTable = new RecordTable(*m_parts.store, m_parts.window);
        m_recordTable->setWindowFlag(Qt::Window);
        connect(m_recordTable, &RecordTable::recordSelected, this, &SideWindows::recordChosen);
        HealthWatch *health = m_parts.health;
        m_recordTable->setLimits(health->limits());
        m_recordTable->setRecordSpan(m_parts.passes->span());
        connect(health, &HealthWatch::limitsChanged, m_recordTable,
                [this, health] { m_recordTable->setLimits(health->limits()); });
    }
    bringToFront(m_recordTable);
}

void SideWindows::showPassOverlay()
{
    using mainlayout::ParameterRows;
    const int parameter = m_parts.panel->chosenParameter();
    if (parameter < 0 || !isChartable(ParameterRows[static_cast<std::size_t>(parameter)]))
        return;
    if (!m_passOverlay) {
        m_passOverlay = new PassOverlay(m_parts.window);
        m_passOverlay->setWindowFlag(Qt::Window);
    }
    m_overlayField = *ParameterRows[static_cast<std::size_t>(parameter)].field;
    drawPassOverlay();
    bringToFront(m_passOverlay);
}

void SideWindows::drawPassOverlay()
{
    if (m_passOverlay && m_overlayField)
        m_passOverlay->draw(*m_parts.store, m_parts.passes->passes(), *m_overlayField,
                            m_parts.health->limits().get());
}

void SideWindows::followRecords()
{
    if (m_lightMap)
        m_lightMap->refresh();
    if (m_recordTable)
        m_recordTable->refresh();
    // The overlay drawn for the log before would show passes that are no longer on view.
    drawPassOverlay();
    // The new log's passes: all shown.
    followSpan();
}

void SideWindows::followSpan()
{
    const auto span = m_parts.passes->span();
    if (m_lightMap)
        m_lightMap->setRecordSpan(span);
    if (m_recordTable)
        m_recordTable->setRecordSpan(span);
}

void SideWindows::setSaveChooser(SaveFileChooser *chooser)
{
    m_saveChooser = chooser;
    if (m_lightMap)
        m_lightMap->setSaveChooser(chooser);
}

void SideWindows::closeAll()
{
    for (QWidget *window : std::initializer_list<QWidget *>{
             m_lightMap, m_recordTable, m_passOverlay, m_form2, m_info}) {
        if (window)
            window->close();
    }
}

void SideWindows::placeBeside(QWidget *window)
{
    QWidget *main = m_parts.window;
    const QScreen *screen = main->screen();
    if (!screen || !main->isVisible())
        return;
    const QMargins frame = main->windowHandle() ? main->windowHandle()->frameMargins() : QMargins();
    const QSize size = window->size().grownBy(frame);
    window->move(screenfit::besidePosition(main->frameGeometry(), size, screen->availableGeometry()));
}

Form2 *SideWindows::movementFlag() const
{
    return m_form2;
}

Info *SideWindows::info() const
{
    return m_info;
}

LightElementMap *SideWindows::lightElementMap() const
{
    return m_lightMap;
}

RecordTable *SideWindows::recordTable() const
{
    return m_recordTable;
}

PassOverlay *SideWindows::passOverlay() const
{
    return m_passOverlay;
}

} // namespace kesta
