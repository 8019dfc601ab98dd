#include "form1.h"

#include "accessibility.h"
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

using layoutstyle::Geometry;
using namespace mainlayout;

namespace {

QString indexedName(const char *name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

int scrollValue(qint64 number)
{
    return static_cast<int>(std::clamp<qint64>(number, 1, INT_MAX));
}

QString fromView(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A picture drawn from an SVG resource at the widget's size, crisp at any screen scale.
class SvgPicture : public QWidget
{
public:
    SvgPicture(const QString &resource, QWidget *parent) : QWidget(parent), m_renderer(resource)
    {
        m_renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_renderer.render(&painter, QRectF(rect()));
    }

private:
    QSvgRenderer m_renderer;
};

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
    auto *client = new accessibility::ClientPane(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    layoutstyle::setBackground(client);
    buildControls(client);
    setCentralWidget(client);
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

    // The load handler's work.
    InitParameterCatalogue();

    wireKeysAndAccess();
    m_health = new HealthWatch(this, m_state);
}

Form1::~Form1()
{
    // A run still going is cancelled, its files discarded and the records dropped; a
    // session still going ends with every file written out.
    delete m_source;
    delete m_form2.data();
    delete m_info.data();
}

void Form1::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    file->menuAction()->setObjectName(QStringLiteral("MnuFileAction"));
    m_menuFileOpen = file->addAction(QStringLiteral("&Open"));
    m_menuFileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_menuFileOpen->setObjectName(QStringLiteral("MenuFileOpen"));
    m_menuFileExit = file->addAction(QStringLiteral("E&xit"));
    m_menuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_menuFileExit->setObjectName(QStringLiteral("MenuFileExit"));

    QMenu *settings = bar->addMenu(QStringLiteral("&Settings"));
    settings->setObjectName(QStringLiteral("MnuSettings"));
    m_writeTlmFile = settings->addAction(QStringLiteral("&Write TLM File"));
    m_writeTlmFile->setObjectName(QStringLiteral("WriteTLMFile"));
    // The check mark is inverted by the handler itself, not by Qt, so that the menu and
    // toggleWriteTlmFile() are one and the same command.
    m_writeTlmFile->setCheckable(true);
    m_writeTlmFile->setChecked(true);

    QAction *station = settings->addAction(QStringLiteral("&Station..."));
    station->setObjectName(QStringLiteral("MenuStation"));
    connect(station, &QAction::triggered, this, [this] { StationDialog::edit(this); });
    QAction *influx = settings->addAction(tr("&InfluxDB..."));
    influx->setObjectName(QStringLiteral("MenuInfluxDB"));
    connect(influx, &QAction::triggered, this, [this] { InfluxDialog::edit(this); });

    m_mnuInfo = bar->addAction(QStringLiteral("&Info"));
    m_mnuInfo->setObjectName(QStringLiteral("MnuInfo"));

    connect(m_menuFileOpen, &QAction::triggered, this, &Form1::menuFileOpen);
    connect(m_menuFileExit, &QAction::triggered, this, &Form1::menuFileExit);
    connect(m_mnuInfo, &QAction::triggered, this, &Form1::showInfoWindow);
}

void Form1::buildControls(QWidget *client)
{
    const QFont font = layoutstyle::defaultFont();
    const QFont frameFont = layoutstyle::boldFont();

    auto makeFrame = [&](const char *name, const QString &caption, Geometry geometry) {
        auto *frame = new accessibility::CaptionFrame(caption, client);
        frame->setObjectName(QLatin1String(name));
        frame->setFont(frameFont);
        frame->setFlat(false);
        layoutstyle::place(frame, geometry);
        return frame;
    };
    m_frame2 = makeFrame("Frame2", QStringLiteral("HTRX telemetry"), {8, 8, 545, 153});
    m_frame5 = makeFrame("Frame5", QStringLiteral("FSS telemetry"), {8, 168, 545, 201});
    m_frame1 = makeFrame("Frame1", QStringLiteral("Graph"), {8, 376, 545, 209});

    auto container = [&](Box box) -> QWidget * {
        switch (box) {
        case Box::Frame2:
            return m_frame2;
        case Box::Frame5:
            return m_frame5;
        case Box::Window:
            break;
        }
        return client;
    };
    auto makeLabel = [&](const QString &name, Place place) {
        auto *text = new QLabel(container(place.box));
        text->setObjectName(name);
        text->setFont(font);
        layoutstyle::place(text, place.geometry);
        return text;
    };
    auto makeValueBox = [&](int index, Place place, bool multiLine) -> QWidget * {
        QWidget *box = nullptr;
        if (multiLine)
            box = layoutstyle::makeDisplayText(container(place.box), indexedName("Text1", index));
        else
            box = layoutstyle::makeDisplayLine(container(place.box), indexedName("Text1", index));
        layoutstyle::place(box, place.geometry);
        return box;
    };

    m_optionGroup = new QButtonGroup(this);
    m_optionGroup->setExclusive(true);
    for (std::size_t p = 0; p < ParameterRows.size(); ++p) {
        const int i = static_cast<int>(p);
        const ParameterRow &row = ParameterRows[p];
        auto *button = new QRadioButton(container(row.option.box));
        button->setObjectName(indexedName("Option1", i));
        button->setFont(font);
        layoutstyle::place(button, row.option.geometry);
        m_optionGroup->addButton(button, i);
        m_option1[static_cast<std::size_t>(i)] = button;

        m_label1[static_cast<std::size_t>(i)] = makeLabel(indexedName("Label1", i), row.name);
        m_text1[static_cast<std::size_t>(i)] = makeValueBox(i, row.value, i == MultiLineValueBox);
        m_label2[static_cast<std::size_t>(i)] = makeLabel(indexedName("Label2", i), row.unit);
    }
    for (std::size_t k = 0; k < HiModeRows.size(); ++k) {
        const int i = FirstHiModeBox + static_cast<int>(k);
        m_label1[static_cast<std::size_t>(i)] =
            makeLabel(indexedName("Label1", i), HiModeRows[k].name);
        m_text1[static_cast<std::size_t>(i)] = makeValueBox(i, HiModeRows[k].value, false);
    }
    for (const SpareLabel &spare : SpareUnitLabels)
        m_label2[static_cast<std::size_t>(spare.index)] =
            makeLabel(indexedName("Label2", spare.index), spare.place);
    connect(m_optionGroup, &QButtonGroup::idClicked, this, &Form1::optionClicked);

    auto *image1 = new SvgPicture(QStringLiteral(":/images/satellite.svg"), m_frame2);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setAccessibleName(QStringLiteral("KESTA-1 satellite"));
    layoutstyle::place(image1, {416, 24, 123, 97});
    m_image1 = image1;

    auto *image4 = new SvgButton(QStringLiteral(":/images/info-button.svg"), m_frame2);
    image4->setObjectName(QStringLiteral("Image4"));
    image4->setAccessibleName(QStringLiteral("Movement flag bits"));
    image4->setToolTip(QStringLiteral("HTRX Movement Flag"));
    connect(image4, &QAbstractButton::clicked, this, &Form1::showMovementFlagWindow);
    layoutstyle::place(image4, {192, 40, 16, 16});
    m_image4 = image4;

    m_shape1 = new LightElementRow(m_frame5);
    m_shape1->setAccessibleName(QStringLiteral("Light elements"));
    layoutstyle::place(m_shape1, {16, 128, LightElementRow::RowWidth, LightElementRow::BarHeight});

    auto *message = layoutstyle::makeDisplayLine(m_frame5, indexedName("Text3", 0));
    message->setFont(layoutstyle::boldFont());
    message->setAccessibleName(QStringLiteral("FSS message"));
    layoutstyle::setTextBoxColor(message, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(message, MessageColor);
    layoutstyle::place(message, {16, 168, 513, 19});
    m_text3[0] = message;

    m_chart = new ParameterChart(m_frame1);
    m_chart->setFont(font);
    layoutstyle::place(m_chart, {8, 16, 529, 185});

    auto *rawFrame = layoutstyle::makeDisplayText(client, indexedName("Text3", 3));
    rawFrame->setFont(layoutstyle::fixedFont(9));
    rawFrame->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    rawFrame->setAccessibleName(QStringLiteral("Raw frame"));
    layoutstyle::setTextBoxColor(rawFrame, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(rawFrame, MessageColor);
    layoutstyle::place(rawFrame, {8, 592, 465, 43});
    m_text3[3] = rawFrame;

    m_hscroll1 = new QScrollBar(Qt::Horizontal, client);
    m_hscroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hscroll1->setAccessibleName(QStringLiteral("Record"));
    m_hscroll1->setRange(1, 1);
    m_hscroll1->setValue(1);
    m_hscroll1->setEnabled(false);
    layoutstyle::place(m_hscroll1, {488, 608, 65, 25});
    connect(m_hscroll1, &QScrollBar::valueChanged, this, &Form1::scrollBarChanged);

    m_label4 = makeLabel(QStringLiteral("Label4"), {Box::Window, {8, 640, 281, 25}});
    m_label4->setFont(layoutstyle::boldFont(12));
    layoutstyle::setTextColor(m_label4, FrameKindColor);
    m_label4->setAccessibleDescription(QStringLiteral("Frame kind"));

    m_label5 = makeLabel(QStringLiteral("Label5"), {Box::Window, {296, 640, 177, 17}});
    m_label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The three counts of a long log need the narrower face to fit the label's 177 pixels.
    QFont counterFont = font;
    counterFont.setStretch(QFont::Condensed);
    m_label5->setFont(counterFont);
    m_label5->setAccessibleDescription(QStringLiteral("Frames per type"));

    m_text2 = layoutstyle::makeDisplayLine(client, QStringLiteral("Text2"));
    m_text2->setAccessibleName(QStringLiteral("Record position"));
    // A display, not a field to type in: flat, so that it does not look editable, and
    // saying where the typing goes instead.
    m_text2->setFrame(false);
    m_text2->setToolTip(tr("Record shown / records in the log (Go to Record: Ctrl+G)"));
    m_text2->setAccessibleDescription(tr("Read only. Go to Record: Ctrl+G"));
    layoutstyle::setTextBoxColor(m_text2, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(m_text2, layoutstyle::TextColor);
    layoutstyle::place(m_text2, {496, 640, 57, 19});
    m_recordRowFit = new RecordRowFit(m_label4, m_label5, m_text2, this);

    m_line1 = new QFrame(client);
    m_line1->setObjectName(QStringLiteral("Line1"));
    m_line1->setFrameShape(QFrame::NoFrame);
    m_line1->setAutoFillBackground(true);
    QPalette linePalette = m_line1->palette();
    linePalette.setColor(QPalette::Window, Qt::black);
    m_line1->setPalette(linePalette);
    layoutstyle::place(m_line1, {0, 0, 760, 1});

    RecordView::Controls controls;
    controls.valueBoxes = m_text1;
    controls.frameKind = m_label4;
    controls.rawFrame = rawFrame;
    controls.message = message;
    controls.lightElements = m_shape1;
    m_view = std::make_unique<RecordView>(controls);

    // Kept for its place in the layout; files to clean up are tracked in the program state.
    m_list1 = new QListWidget(client);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(font);
    m_list1->setFocusPolicy(Qt::NoFocus);
    layoutstyle::place(m_list1, {616, 16, 353, 173});
}

void Form1::InitParameterCatalogue()
{
    for (std::size_t i = 0; i < ParameterRows.size(); ++i) {
        const ParameterRow &row = ParameterRows[i];
        const QString unit = fromView(parameterUnit(row));
        m_label1[i]->setText(fromView(parameterLabel(row)));
        m_label2[i]->setText(unit);
        // A screen reader says the field's own name, which tells the two "Counter"s apart.
        QString spoken = row.field ? fromView(kesta::InfoOf(*row.field).spoken)
                                   : fromView(parameterLabel(row)).trimmed();
        if (!unit.isEmpty())
            spoken += QLatin1Char(' ') + unit;
        m_text1[i]->setAccessibleName(spoken);
        m_option1[i]->setAccessibleName(spoken);
    }
    for (std::size_t k = 0; k < HiModeRows.size(); ++k) {
        const kesta::FieldInfo &info = kesta::InfoOf(HiModeRows[k].field);
        const auto i = static_cast<std::size_t>(FirstHiModeBox) + k;
        m_label1[i]->setText(fromView(info.label));
        m_text1[i]->setAccessibleName(fromView(info.spoken));
    }
    for (int i = 0; i <= 3; ++i)
        setValueText(i, QString());
}

QString Form1::valueText(int index) const
{
    return m_view->valueText(index);
}

QString Form1::movementFlagText() const
{
    return valueText(1);
}

void Form1::setValueText(int index, const QString &text)
{
    m_view->setValueText(index, text);
}

void Form1::ShowRecord(std::int16_t index)
{
    m_view->show(m_state.store[index], QLocale().decimalPoint().toStdString());
    m_chart->setShownRecord(index, m_state.store[index].ReceptionTime);
}

void Form1::DrawParameterChart(std::int16_t parameter)
{
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= ParameterRows.size())
        return;
    const ParameterRow &entry = ParameterRows[static_cast<std::size_t>(parameter)];
    const QString name = fromView(parameterLabel(entry));
    const QString unit = fromView(parameterUnit(entry));

    QString caption = name;
    if (!unit.isEmpty())
        caption += QStringLiteral(" [ ") + unit + QStringLiteral(" ] ");
    m_frame1->setTitle(caption);

    // The records of the pass chosen in View -> Pass, or all.
    const auto [from, to] = m_passes->span();
    const int rows = std::max(to - from + 1, 0);
    m_chart->setRowCount(rows, m_state.store.numberAt(static_cast<std::int16_t>(from)));
    if (!isChartable(entry))
        return; // no numbers to plot: the earlier points stay

    // Only records whose frame carried the field are plotted, at their record number (in a
    // live session: the session number): a frame of another kind has no value there, not a
    // zero.
    QList<QPointF> points;
    QList<std::optional<qint64>> times;
    points.reserve(rows);
    times.reserve(rows);
    for (int r = from; r <= to; ++r) {
        const kesta::TelemetryRecord &record = m_state.store[static_cast<std::int16_t>(r)];
        if (!record.Written.test(*entry.field))
            continue;
        const double y = kesta::FieldNumber(record, *entry.field).value_or(0.0);
        points.append(QPointF(static_cast<double>(m_state.store.numberAt(r)), y));
        times.append(record.ReceptionTime);
    }
    m_chart->setParameter(name, unit);
    m_chart->setField(entry.field);
    m_chart->setPoints(points, times);
}

void Form1::optionClicked(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= ParameterRows.size())
        return;
    for (std::size_t a = 0; a < ParameterRows.size(); ++a)
        layoutstyle::setTextBoxColor(m_text1[a], PlainValueColor);
    m_option1[static_cast<std::size_t>(index)]->setChecked(true); // the group clears the others
    layoutstyle::setTextBoxColor(m_text1[static_cast<std::size_t>(index)], ChosenValueColor);
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
    return m_writeTlmFile->isChecked();
}

void Form1::toggleWriteTlmFile()
{
    m_writeTlmFile->setChecked(!m_writeTlmFile->isChecked());
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
    request.writeTlm = m_writeTlmFile->isChecked();
    request.keptTlmPath = m_state.TlmPath;
    request.limits = m_health->limits();
    m_runPath = path;
    if (m_source->startRun(request))
        m_menuFileOpen->setEnabled(false);
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
    m_menuFileOpen->setEnabled(true);
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
    m_label5->setText(QString::fromStdString(
        kesta::CounterText(counters.HtrxCount, counters.FssCount, counters.FssHiCount)));
    m_recordRowFit->schedule();

    const std::int16_t count = m_state.store.RecordCount;
    // A log opened shows record 1 and the mode status; a reload keeps the record on view
    // (as far as the log still reaches) and the parameter chosen.
    const ShownPlace place = std::exchange(m_placeOnReload, {});
    const int record = std::clamp(place.record, 1, std::max<int>(count, 1));
    m_hscroll1->setEnabled(true);
    {
        // To the record without a second ShowRecord through the change handler.
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(1, std::max<int>(count, 1)); // a log without frames: 1 to 1
        m_hscroll1->setValue(record);
    }
    m_source->showRecord(m_hscroll1->value());
    if (!m_option1[static_cast<std::size_t>(place.parameter)]->isChecked())
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
    m_text2->setText(QStringLiteral("#%1 / %2").arg(number).arg(m_source->recordTotal()));
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
    if (!m_form2) {
        m_form2 = new Form2(*m_source);
        m_form2->setAttribute(Qt::WA_QuitOnClose, false);
        placeBeside(m_form2);
    }
    m_form2->show();
    m_form2->raise();
    m_form2->activateWindow();
}

void Form1::showInfoWindow()
{
    if (!m_info) {
        m_info = new Info;
        m_info->setAttribute(Qt::WA_QuitOnClose, false);
    }
    m_info->show();
    m_info->raise();
    m_info->activateWindow();
}

Form2 *Form1::movementFlagWindow() const
{
    return m_form2;
}

Info *Form1::infoWindow() const
{
    return m_info;
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
    if (m_form2)
        m_form2->close();
    if (m_info)
        m_info->close();
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

    // The value boxes whose text must fit and show whole lines.
    screenfit::fitLineFont(m_text2, QStringLiteral("#1000 / 1000"));
    if (auto *rawFrame = qobject_cast<QPlainTextEdit *>(m_text3[3]))
        screenfit::fitWholeLines(rawFrame);

    // Controls outside the visible area, blank unit labels and the rule along the top edge
    // are for no one to reach.
    const QRect visible = client->rect();
    for (QWidget *widget : client->findChildren<QWidget *>()) {
        if (!visible.intersects(QRect(widget->mapTo(client, QPoint(0, 0)), widget->size())))
            accessibility::hide(widget);
    }
    for (QLabel *unit : m_label2) {
        if (unit && unit->text().isEmpty())
            accessibility::hide(unit);
    }
    accessibility::hide(m_line1);
    m_shape1->setAccessibleDescription(QStringLiteral("64 light-element readings; none shown"));

    // Tab runs through what can be seen, top to bottom, left to right (the option buttons
    // are one group, a single stop; the Up and Down keys go through them).
    QList<QWidget *> chain;
    for (QWidget *widget : client->findChildren<QWidget *>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && !accessibility::isHidden(widget) &&
            !widget->focusProxy())
            chain.append(widget);
    }
    std::stable_sort(chain.begin(), chain.end(), [client](QWidget *a, QWidget *b) {
        const QPoint pa = a->mapTo(client, QPoint(0, 0));
        const QPoint pb = b->mapTo(client, QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));

    // The "Record" menu and the keys that go through the records.
    m_navigator = new RecordNavigator(this, m_hscroll1, m_state.store);
    auto *records = new QMenu(QStringLiteral("&Record"), this);
    records->setObjectName(QStringLiteral("MnuRecord"));
    menuBar()->insertMenu(m_mnuInfo, records);
    m_navigator->fillMenu(records);
    m_navigator->watchTextBoxes(client);

    // "Reload" and "Recent Files".
    QMenu *file = findChild<QMenu *>(QStringLiteral("MnuFile"));
    m_reload = new QAction(QStringLiteral("&Reload"), this);
    m_reload->setObjectName(QStringLiteral("MenuFileReload"));
    m_reload->setShortcut(QKeySequence(Qt::Key_F5));
    m_reload->setEnabled(false);
    connect(m_reload, &QAction::triggered, this, &Form1::reloadLog);
    // Right after "Open", with a line between them and what follows.
    QAction *afterOpen = file->actions().value(file->actions().indexOf(m_menuFileOpen) + 1);
    file->insertAction(afterOpen, m_reload);
    m_recentMenu = new QMenu(QStringLiteral("Recent &Files"), file);
    m_recentMenu->setObjectName(QStringLiteral("MnuRecentFiles"));
    file->insertMenu(afterOpen, m_recentMenu);
    file->insertSeparator(afterOpen);
    m_recent = new RecentFiles(this);
    m_recent->attach(m_recentMenu);
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
    connect(m_hscroll1, &QScrollBar::valueChanged, this, &Form1::showRecordTime);
}

void Form1::noteDecodedRun(const kesta::RunReport &report)
{
    m_lastLoad = report.load;
    const QString path = QFile::decodeName(QByteArray::fromStdString(m_state.InputPath));
    m_recordStatus->showLog(path, report.totals, report.load);
    showRecordTime();
    m_recent->add(path);
    m_reload->setEnabled(true);
    m_navigator->updateEnabled();
}

void Form1::showRecordTime()
{
    // The bar counts a session's records by their session numbers, a log's from 1.
    const kesta::RecordStore &store = m_state.store;
    const qint64 index = m_hscroll1->value() - (liveSession() ? store.FirstNumber - 1 : 0);
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
    const int parameter = m_optionGroup->checkedId();
    m_placeOnReload = {m_hscroll1->value(), parameter >= 0 ? parameter : ChartedParameterOnOpen};
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
    m_clientScroll->ensureWidgetVisible(m_text2, 8, 8);
    // And once more when the scroll bars that the new size brings have taken their room.
    QTimer::singleShot(0, this, [this] { m_clientScroll->ensureWidgetVisible(m_text2, 8, 8); });
}

void Form1::placeBeside(QWidget *window)
{
    const QScreen *screen = this->screen();
    if (!screen || !isVisible())
        return;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QSize size = window->size().grownBy(frame);
    window->move(screenfit::besidePosition(frameGeometry(), size, screen->availableGeometry()));
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
    QMenu *file = menuBar()->findChild<QMenu *>(QStringLiteral("MnuFile"));
    m_menuExportRecords = new QAction(QStringLiteral("&Export Records..."), file);
    m_menuExportRecords->setObjectName(QStringLiteral("MenuFileExportRecords"));
    m_menuExportRecords->setEnabled(false); // until a log has been decoded
    // Beside the chart's own "Save Chart..." and "Copy Chart": the commands that write
    // what the window holds.
    file->insertAction(m_chart->saveChartAction(), m_menuExportRecords);
    file->insertSeparator(m_menuFileExit);
    connect(m_menuExportRecords, &QAction::triggered, this, &Form1::exportRecords);

    QMenu *views = new QMenu(QStringLiteral("&View"), menuBar());
    views->setObjectName(QStringLiteral("MnuView"));
    QMenu *settings = menuBar()->findChild<QMenu *>(QStringLiteral("MnuSettings"));
    menuBar()->insertMenu(settings->menuAction(), views);
    QAction *map = views->addAction(QStringLiteral("Light-Element &Map"));
    map->setObjectName(QStringLiteral("MenuViewLightMap"));
    QAction *table = views->addAction(QStringLiteral("Record &Table"));
    table->setObjectName(QStringLiteral("MenuViewRecordTable"));
    connect(map, &QAction::triggered, this, &Form1::showLightElementMap);
    connect(table, &QAction::triggered, this, &Form1::showRecordTable);
    views->addSeparator();
    m_passes = new PassView(views, m_state.store, this);
    connect(m_passes, &PassView::chosenChanged, this, &Form1::showChosenPass);
    connect(m_passes, &PassView::overlayRequested, this, &Form1::showPassOverlay);

    m_export = new ExportCommand(this);
    m_export->setErrorHandler([this](const QString &text) {
        m_notifier->notify(this, RunNotifier::Severity::Error, windowTitle(), text);
    });
    connect(m_export, &ExportCommand::finished, this,
            [this](const kesta::LogExportResult &result, const QString &path) {
                using Outcome = kesta::LogExportResult::Outcome;
                m_menuExportRecords->setEnabled(!m_state.InputPath.empty());
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
        m_menuExportRecords->setEnabled(!m_state.InputPath.empty() && !m_export->isRunning());
        refreshRecordViews();
    });
    connect(this, &Form1::closing, this, [this] {
        m_export->cancelAndWait();
        if (m_lightMap)
            m_lightMap->close();
        if (m_recordTable)
            m_recordTable->close();
        if (m_passOverlay)
            m_passOverlay->close();
    });
}

void Form1::refreshRecordViews()
{
    // The records held now, and their passes: all shown (the chart is drawn already).
    if (m_lightMap) {
        m_lightMap->refresh();
        m_lightMap->setRecordSpan(m_passes->span());
    }
    if (m_recordTable) {
        m_recordTable->refresh();
        m_recordTable->setRecordSpan(m_passes->span());
    }
}

void Form1::showLightElementMap()
{
    if (!m_lightMap) {
        // A window of its own that goes with the main window.
        m_lightMap = new LightElementMap(m_state.store, this);
        m_lightMap->setWindowFlag(Qt::Window);
        m_lightMap->setSaveChooser(m_saveChooser);
        connect(m_lightMap, &LightElementMap::recordClicked, this, &Form1::goToRecord);
        // One column per reception time while the chart shows reception time.
        m_lightMap->setTimeAxis(m_chart->isTimeAxis());
        m_lightMap->setRecordSpan(m_passes->span());
        connect(m_chart->timeAxisAction(), &QAction::toggled, m_lightMap,
                [this] { m_lightMap->setTimeAxis(m_chart->isTimeAxis()); });
    }
    m_lightMap->show();
    m_lightMap->raise();
    m_lightMap->activateWindow();
}

void Form1::showRecordTable()
{
    if (!m_recordTable) {
        m_recordTable = new RecordTable(m_state.store, this);
        m_recordTable->setWindowFlag(Qt::Window);
        connect(m_recordTable, &RecordTable::recordSelected, this, &Form1::goToRecord);
        m_recordTable->setLimits(m_health->limits());
        m_recordTable->setRecordSpan(m_passes->span());
        connect(m_health, &HealthWatch::limitsChanged, m_recordTable,
                [this] { m_recordTable->setLimits(m_health->limits()); });
    }
    m_recordTable->show();
    m_recordTable->raise();
    m_recordTable->activateWindow();
}

void Form1::showChosenPass()
{
    const auto span = m_passes->span();
    if (m_lightMap)
        m_lightMap->setRecordSpan(span);
    if (m_recordTable)
        m_recordTable->setRecordSpan(span);
    const int parameter = m_optionGroup->checkedId();
    if (parameter >= 0)
        DrawParameterChart(static_cast<std::int16_t>(parameter));
    // A pass chosen: its first record is shown.
    if (m_passes->chosen() > 0 && span.first <= span.second)
        goToRecord(static_cast<int>(m_state.store.numberAt(static_cast<std::int16_t>(span.first))));
}

PassOverlay *Form1::passOverlay() const
{
    return m_passOverlay;
}

void Form1::showPassOverlay()
{
    const int parameter = m_optionGroup->checkedId();
    if (parameter < 0 || !isChartable(ParameterRows[static_cast<std::size_t>(parameter)]))
        return;
    if (!m_passOverlay) {
        m_passOverlay = new PassOverlay(this);
        m_passOverlay->setWindowFlag(Qt::Window);
    }
    m_passOverlay->draw(m_state.store, m_passes->passes(),
                        *ParameterRows[static_cast<std::size_t>(parameter)].field,
                        m_health->limits().get());
    m_passOverlay->show();
    m_passOverlay->raise();
    m_passOverlay->activateWindow();
}

LightElementMap *Form1::lightElementMap() const
{
    return m_lightMap;
}

RecordTable *Form1::recordTable() const
{
    return m_recordTable;
}

void Form1::goToRecord(int record)
{
    if (!m_hscroll1->isEnabled() || record < m_hscroll1->minimum() ||
        record > m_hscroll1->maximum())
        return;
    m_hscroll1->setValue(record); // the scroll bar's handler shows it
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
        m_menuExportRecords->setEnabled(false);
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
    m_chart->setSaveChooser(chooser);
    m_saveChooser = chooser;
    m_health->setSaveChooser(chooser);
    if (m_lightMap)
        m_lightMap->setSaveChooser(chooser);
}
void Form1::wireChart()
{
    auto *file = findChild<QMenu *>(QStringLiteral("MnuFile"));
    file->insertAction(m_menuFileExit, m_chart->saveChartAction());
    file->insertAction(m_menuFileExit, m_chart->copyChartAction());
    auto *settings = findChild<QMenu *>(QStringLiteral("MnuSettings"));
    settings->addAction(m_chart->timeAxisAction());
    connect(m_chart, &ParameterChart::recordClicked, this, [this](int record) {
        if (m_hscroll1->isEnabled() && record >= m_hscroll1->minimum() &&
            record <= m_hscroll1->maximum())
            m_hscroll1->setValue(record);
    });
}

// ---- Live reception: File -> "Connect...", "Disconnect" and "Reconnect Now" ----

void Form1::buildLive()
{
    m_live = new kesta::LiveControl(*m_source, this);
    connect(m_live, &kesta::LiveControl::failed, this, [this](bool error, const QString &text) {
        m_notifier->notify(this, error ? RunNotifier::Severity::Error : RunNotifier::Severity::Warning,
                           windowTitle(), text);
    });
    // "Connect..." and "Disconnect" go between the commands that open and those that
    // write out.
    QMenu *file = menuBar()->findChild<QMenu *>(QStringLiteral("MnuFile"));
    file->insertAction(m_menuExportRecords, m_live->connectAction());
    file->insertAction(m_menuExportRecords, m_live->disconnectAction());
    file->insertAction(m_menuExportRecords, m_live->reconnectNowAction());
    file->insertSeparator(m_menuExportRecords);
    connect(m_live->connectAction(), &QAction::triggered, this, &Form1::menuFileConnect);
    connect(file, &QMenu::aboutToShow, m_live, &kesta::LiveControl::updateActions);

    // While frames arrive the chart is redrawn a few times a second, not at every frame.
    m_liveChartTimer = new QTimer(this);
    m_liveChartTimer->setSingleShot(true);
    m_liveChartTimer->setInterval(LiveChartIntervalMs);
    // So are the map and the table.
    connect(m_liveChartTimer, &QTimer::timeout, this, [this] {
        const int chosen = m_optionGroup->checkedId();
        DrawParameterChart(
            static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
        refreshRecordViews();
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
    m_hscroll1->setEnabled(false);
    {
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(1, 1);
        m_hscroll1->setValue(1);
    }
    InitParameterCatalogue();
    ShowRecord(1);
    m_source->showRecord(0); // none yet
    const int chosen = m_optionGroup->checkedId();
    DrawParameterChart(static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
    refreshRecordViews();
    showLiveCounts();
}

void Form1::liveRecordsArrived()
{
    const kesta::RecordStore &store = m_state.store;
    if (!liveSession() || store.RecordCount == 0)
        return;
    // The bar follows the newest record while it stands on it; moved back by the user it
    // stays on the record chosen as long as that record is held.
    const bool follow = !m_hscroll1->isEnabled() || m_hscroll1->value() == m_hscroll1->maximum();
    const int before = m_hscroll1->value();
    m_hscroll1->setEnabled(true);
    {
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(scrollValue(store.FirstNumber), scrollValue(store.lastNumber()));
        if (follow)
            m_hscroll1->setValue(m_hscroll1->maximum());
    }
    if (follow || m_hscroll1->value() != before)
        scrollBarChanged(m_hscroll1->value()); // shows the record and Text2
    else
        m_text2->setText(QStringLiteral("#%1 / %2").arg(before).arg(m_source->recordTotal()));

    showRecordTime();
    if (m_optionGroup->checkedId() < 0)
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
    m_label5->setText(QString::fromStdString(kesta::CounterText(
        static_cast<std::int64_t>(totals.htrx), static_cast<std::int64_t>(totals.fss),
        static_cast<std::int64_t>(totals.fssHi))));
    m_recordRowFit->schedule();
    m_recordStatus->showSessionFrames(totals.frames);
}

void Form1::liveStateChanged()
{
    // A session on view has no log to read again.
    if (m_reload)
        m_reload->setEnabled(!isLive() && !m_state.InputPath.empty());
    showLiveCounts();
}

void Form1::liveFinished()
{
    liveStateChanged();
    // The chart of the last frames, now rather than at the timer.
    if (m_liveChartTimer->isActive()) {
        m_liveChartTimer->stop();
        const int chosen = m_optionGroup->checkedId();
        if (chosen >= 0)
            DrawParameterChart(static_cast<std::int16_t>(chosen));
        refreshRecordViews();
    }
}
