#pragma once

#include "decoding_session.h"
#include "recordpanel.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QRadioButton;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QScrollBar;
class QTimer;

namespace kesta {

class ConnectChooser;
class FileChooser;
class Form2;
class HealthWatch;
class PassView;
class PassOverlay;
class ExportCommand;
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
class RecordView;
class RecordRowFit;
class SaveFileChooser;
struct ConnectRequest;

class MainMenus;
class RecordPanel;
class SideWindows;
struct ProgramState;
struct RunReport;
struct RunResult;
class LiveControl;
class RecordSource;
class SourceStatus;

// How the main window tells the user about a decoding run that failed or went wrong.
// The window asks this interface only, so tests can answer without a person.
class RunNotifier
{
public:
    enum class Severity
    {
        Error,
        Warning,
        Information
    };
    virtual ~RunNotifier();
    virtual void notify(QWidget *parent, Severity severity, const QString &title,
                        const QString &text) = 0;
};

// The real thing: a modal message box.
class MessageBoxNotifier : public RunNotifier
{
public:
    void notify(QWidget *parent, Severity severity, const QString &title,
                const QString &text) override;
};

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
    static constexpr int ChartedParameterOnOpen = 13;

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
    void setFileChooser(FileChooser *chooser);
    void setNotifier(RunNotifier *notifier);

    // "Open" without the dialog: decodes the log at `path` as if the user had chosen it
    // (used for a dropped file and for a log named on the command line). The log is read
    // on a thread of its own; runEnded() follows when the run is over.
    void openLog(const QString &path);
    bool isRunning() const;
    // Stops the run going on; the view and every earlier file stay as they were.
    void cancelRun();
    // The menu commands, as the menu and the shortcuts run them.
    void menuFileOpen();
    void menuFileExit();
    void toggleWriteTlmFile();
    bool writeTlmFile() const;
    // The secondary windows: created when first asked for, brought to the front after.
    void showMovementFlagWindow();
    void showInfoWindow();
    Form2 *movementFlagWindow() const;
    Info *infoWindow() const;

    // ---- Keys, status bar fields, recent files, screen fit and accessibility ----
    // Sizes the window for a screen whose free area is `available`: when the whole window
    // does not fit, its client area scrolls. Done when the window is first shown.
    void fitToScreen(const QRect &available);
    // "Reload" (F5): opens the log on view again.
    void reloadLog();
    RecordNavigator *navigator() const;
    RecordStatus *recordStatus() const;
    RecentFiles *recentFiles() const;
    QScrollArea *clientScroll() const;
    // The load report of the last decoded log; empty before the first.
    const std::optional<kesta::LoadReport> &lastLoadReport() const;
    // The views of all records and the export of the whole log ("View" -> "Light-Element
    // Map", "Record Table"; "File" -> "Export Records..."). The views are created when first
    // asked for and follow the records after every run.
    void showLightElementMap();
    void showRecordTable();
    LightElementMap *lightElementMap() const;
    RecordTable *recordTable() const;
    // Shows record `record` (1 to RecordCount) as the scroll bar does.
    void goToRecord(int record);
    // "Export Records...": asks for the file and format, then exports every frame of the
    // log of the last run on a thread of its own; exportEnded() follows.
    void exportRecords();
    bool isExporting() const;
    void cancelExport();
    // Where "Export Records...", "Save Chart..." and the map's "Save Image..." ask for the
    // file; not owned. Null: a Qt file dialog.
    void setSaveChooser(SaveFileChooser *chooser);
    // Live reception: records of a pass as it is received from a KISS TCP server.
    // Starts a session recording into request.recordingPath, as "Connect..." does with
    // the dialog's answer; false when it could not start (the message has been given).
    bool connectTo(const ConnectRequest &request);
    void menuFileConnect();
    void menuFileDisconnect();
    // A session is connecting, connected or waiting to reconnect.
    bool isLive() const;
    // The session on view, going on or ended; null while a log is on view.
    LiveSession *liveSession() const;
    // Where the records on view come from: the log's run or the live session.
    kesta::RecordSource *recordSource() const { return m_source; }
    // Where "Connect..." asks for the server and where the window asks whether to end a
    // session; not owned, null for the real dialogs.
    void setConnectChooser(ConnectChooser *chooser);
    void setQuestioner(Questioner *questioner);
    // The limits in force and what the window shows of them.
    HealthWatch *health() const { return m_health; }
    // View -> Pass: the pass the chart, map and table show.
    PassView *passView() const { return m_passes; }
    // "Overlay Passes": the chosen parameter over every pass, in a window of its own.
    void showPassOverlay();
    PassOverlay *passOverlay() const;

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
    void scrollBarChanged(int position);
    // The source's record shown: its number and position, its values.
    void showShownRecord(qint64 number);
    // The source holds other records: a decoded log's or a new session's.
    void recordsReset();
    void runFinished(const std::shared_ptr<const kesta::RunResult> &result);
    void showDecodedLog();
    void cleanUpOnce();
    void buildRecordViews();
    // The map and the table show the records held now.

    // ---- Keys, status bar fields, recent files, screen fit and accessibility ----
    void wireKeysAndAccess();
    void noteDecodedRun(const kesta::RunReport &report);
    void showRecordTime();

    // The explorable chart: its commands in the File and Settings menus, a click on a
    // point shows that record.
    void wireChart();

    kesta::ProgramState &m_state;

    kesta::RecordPanel *m_panel = nullptr;
    kesta::MainMenus *m_menus = nullptr;
    kesta::SideWindows *m_side = nullptr;

    std::unique_ptr<FileChooser> m_defaultChooser;
    std::unique_ptr<RunNotifier> m_defaultNotifier;
    FileChooser *m_chooser = nullptr;
    RunNotifier *m_notifier = nullptr;

    kesta::RecordSource *m_source = nullptr;
    kesta::SourceStatus *m_sourceStatus = nullptr;

    // Light-element map, record table and export.
    ExportCommand *m_export = nullptr;
    // Live reception.
    void buildLive();
    void liveRecordsArrived();
    void liveStateChanged();
    void liveFinished();
    void showLiveCounts();
    void clearViewForLive();
    static constexpr int LiveChartIntervalMs = 250;
    kesta::LiveControl *m_live = nullptr;
    QTimer *m_liveChartTimer = nullptr;

    HealthWatch *m_health = nullptr;
    PassView *m_passes = nullptr;
    void showChosenPass();
    bool m_centred = false;
    bool m_cleanedUp = false;

    // ---- Keys, status bar fields, recent files, screen fit and accessibility ----
    QScrollArea *m_clientScroll = nullptr;
    RecordNavigator *m_navigator = nullptr;
    RecordStatus *m_recordStatus = nullptr;
    RecentFiles *m_recent = nullptr;
    std::optional<kesta::LoadReport> m_lastLoad;
    // Where the view stands after the next decoded log: record 1 and the mode status,
    // unless a reload keeps the place it had.
    struct ShownPlace
    {
        int record = 1;
        int parameter = ChartedParameterOnOpen;
    };
    ShownPlace m_placeOnReload;
    QString m_runPath; // the log of the run going on or last run
};

} // namespace kesta
