#pragma once

#include "decoding_session.h"
#include "exportcontrol.h"
#include "livecontrol.h"
#include "logopener.h"
#include "recordpanel.h"
#include "recordsource.h"
#include "runnotifier.h"
#include "sidewindows.h"

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QScrollArea;

namespace kesta {

class ConnectChooser;
class FileChooser;
class Form2;
class HealthWatch;
class PassView;
class PassOverlay;
class Info;
class LightElementMap;
class LightElementRow;
class LiveSession;
class ParameterChart;
class Questioner;
class RecentFiles;
class RecordNavigator;
class RecordStatus;
class RecordTable;
class SaveFileChooser;
struct ConnectRequest;

class MainMenus;
class RecordPanel;
class SideWindows;
struct ProgramState;
class LiveControl;
class LiveView;
class ExportControl;
class RecordSource;
class SourceStatus;

// The main window "KESTA-1Telemetry Decoder": the record view, the parameter chart, the
// record scroll bar and the menus that drive a decoding run. It keeps nothing but its
// controls; records, counters and file names live in the program state it is given.
//
// Controls carry their layout names as object names, array elements as name_index
// ("Text1_12", "Option1_13"), so that tests and accessibility tools can find them.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ValueBoxCount = mainlayout::ValueBoxCount; // Text1(0) to Text1(21)
    static constexpr int ChartedParameterOnOpen = LogOpener::ChartedParameterOnOpen;

    explicit Form1(kesta::ProgramState &state, QWidget *parent = nullptr);
    ~Form1() override;

    // Writes the catalogue's names and units onto Label1 and Label2 and empties
    // Text1(0) to Text1(3).
    void InitParameterCatalogue();
    // Shows record `index` of the store: frame kind, raw frame, message, every value box
    // and the light-element row; the chart's marker moves to it.
    void ShowRecord(std::int16_t index);
    // Draws parameter `parameter` (0 to 18) over records 1 to RecordCount and writes the
    // chart's caption onto Frame1.
    void DrawParameterChart(std::int16_t parameter);
    // The Option1 click: makes `index` the one chosen button, highlights its value box and
    // draws its chart.
    void optionClicked(int index);

    // The text of value box Text1(index), 0 to 21; empty for any other index.
    QString valueText(int index) const;
    // Text1(1): the movement flag of the record shown, as eight "0"/"1" characters.
    QString movementFlagText() const;
    ParameterChart *chart() const;
    LightElementRow *lightElements() const;
    // The client area: the record view, the chart and the navigation row.
    kesta::RecordPanel *recordPanel() const { return m_panel; }

    // Where "Open" asks for a log and where run messages go. The window uses a Qt file
    // dialog and message boxes unless told otherwise; it does not own what it is given.
    void setFileChooser(FileChooser *chooser) { m_opener->setFileChooser(chooser); }
    void setNotifier(RunNotifier *notifier);

    // "Open" without the dialog: decodes the log at `path` as if the user had chosen it
    // (used for a dropped file and for a log named on the command line). The log is read
    // on a thread of its own; runEnded() follows when the run is over.
    void openLog(const QString &path) { m_opener->open(path); }
    bool isRunning() const { return m_source->isRunning(); }
    // Stops the run going on; the view and every earlier file stay as they were.
    void cancelRun() { m_source->cancelRun(); }
    // The menu commands, as the menu and the shortcuts run them.
    void menuFileOpen() { m_opener->chooseAndOpen(); }
    void menuFileExit();
    void toggleWriteTlmFile();
    bool writeTlmFile() const;
    // The secondary windows: created when first asked for, brought to the front after.
    void showMovementFlagWindow() { m_side->showMovementFlag(); }
    void showInfoWindow() { m_side->showInfo(); }
    Form2 *movementFlagWindow() const { return m_side->movementFlag(); }
    Info *infoWindow() const { return m_side->info(); }

    // ---- Keys, status bar fields, recent files, screen fit and accessibility ----
    // Sizes the window for a screen whose free area is `available`: when the whole window
    // does not fit, its client area scrolls. Done when the window is first shown.
    void fitToScreen(const QRect &available);
    // "Reload" (F5): opens the log on view again.
    void reloadLog() { m_opener->reload(); }
    RecordNavigator *navigator() const { return m_navigator; }
    RecordStatus *recordStatus() const { return m_recordStatus; }
    RecentFiles *recentFiles() const { return m_recent; }
    QScrollArea *clientScroll() const { return m_clientScroll; }
    // The load report of the last decoded log; empty before the first.
    const std::optional<kesta::LoadReport> &lastLoadReport() const
    {
        return m_opener->lastLoadReport();
    }
    // The views of all records and the export of the whole log ("View" -> "Light-Element
    // Map", "Record Table"; "File" -> "Export Records..."). The views are created when first
    // asked for and follow the records after every run.
    void showLightElementMap() { m_side->showLightElementMap(); }
    void showRecordTable() { m_side->showRecordTable(); }
    LightElementMap *lightElementMap() const { return m_side->lightElementMap(); }
    RecordTable *recordTable() const { return m_side->recordTable(); }
    // Shows record `record` (1 to RecordCount) as the scroll bar does.
    void goToRecord(int record);
    // "Export Records...": asks for the file and format, then exports every frame of the
    // log of the last run on a thread of its own; exportEnded() follows.
    void exportRecords() { m_export->exportRecords(); }
    bool isExporting() const { return m_export->isRunning(); }
    void cancelExport() { m_export->cancel(); }
    // Where "Export Records...", "Save Chart..." and the map's "Save Image..." ask for the
    // file; not owned. Null: a Qt file dialog.
    void setSaveChooser(SaveFileChooser *chooser);
    // Live reception: records of a pass as it is received from a KISS TCP server.
    // Starts a session recording into request.recordingPath, as "Connect..." does with
    // the dialog's answer; false when it could not start (the message has been given).
    bool connectTo(const ConnectRequest &request) { return m_live->connectTo(request); }
    void menuFileConnect() { m_live->chooseAndConnect(writeTlmFile()); }
    void menuFileDisconnect() { m_source->stopLive(); }
    // A session is connecting, connected or waiting to reconnect.
    bool isLive() const { return m_source->isLive(); }
    // The session on view, going on or ended; null while a log is on view.
    LiveSession *liveSession() const { return m_source->liveSession(); }
    // Where the records on view come from: the log's run or the live session.
    kesta::RecordSource *recordSource() const { return m_source; }
    // Where "Connect..." asks for the server and where the window asks whether to end a
    // session; not owned, null for the real dialogs.
    void setConnectChooser(ConnectChooser *chooser) { m_live->setConnectChooser(chooser); }
    void setQuestioner(Questioner *questioner) { m_live->setQuestioner(questioner); }
    // The limits in force and what the window shows of them.
    HealthWatch *health() const { return m_health; }
    // View -> Pass: the pass the chart, map and table show.
    PassView *passView() const { return m_passes; }
    // "Overlay Passes": the chosen parameter over every pass, in a window of its own.
    void showPassOverlay() { m_side->showPassOverlay(); }
    PassOverlay *passOverlay() const { return m_side->passOverlay(); }

    // The parts of the window, for the classes that carry out its commands.
    kesta::MainMenus *menus() const { return m_menus; }
    kesta::SideWindows *sideWindows() const { return m_side; }
    kesta::SourceStatus *sourceStatus() const { return m_sourceStatus; }
    kesta::LiveControl *liveControl() const { return m_live; }
    RunNotifier *notifier() const { return m_notifier; }

signals:
    // The window is closing: the clean-up has run and the secondary windows are closed.
    void closing();
    // A decoding run has ended, whatever its outcome, and its message has been given.
    void runEnded();
    // The store holds the records of another log; the views of all records follow it.
    void recordsChanged();
    // An export has ended, whatever its outcome, and its message has been given.
    void exportEnded();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The window's own commands; placeMenus() lists every command in the menu bar once
    // the parts that own the others are made.
    void buildMenus();
    void placeMenus();
    void buildSideWindows();
    void buildLive();
    // The source's record shown: its number and position, its values.
    void showShownRecord(qint64 number);
    void cleanUpOnce();
    // The status bar, the keys that go through the records and the recent files.
    void wireKeysAndAccess();
    void showChosenPass();

    kesta::ProgramState &m_state;

    kesta::RecordPanel *m_panel = nullptr;
    kesta::MainMenus *m_menus = nullptr;
    kesta::SideWindows *m_side = nullptr;

    std::unique_ptr<RunNotifier> m_defaultNotifier;
    RunNotifier *m_notifier = nullptr;

    kesta::RecordSource *m_source = nullptr;
    kesta::SourceStatus *m_sourceStatus = nullptr;
    kesta::LogOpener *m_opener = nullptr;
    kesta::ExportControl *m_export = nullptr;
    kesta::LiveControl *m_live = nullptr;
    kesta::LiveView *m_liveView = nullptr;

    HealthWatch *m_health = nullptr;
    PassView *m_passes = nullptr;
    bool m_centred = false;
    bool m_cleanedUp = false;

    QScrollArea *m_clientScroll = nullptr;
    RecordNavigator *m_navigator = nullptr;
    RecordStatus *m_recordStatus = nullptr;
    RecentFiles *m_recent = nullptr;
};

} // namespace kesta
