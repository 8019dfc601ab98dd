#include "form1.h"

#include "cleanup.h"
#include "connectdialog.h"
#include "decoding_run.h"
#include "filechooser.h"
#include "form2.h"
#include "info.h"
#include "layoutstyle.h"
#include "lightelementrow.h"
#include "livesession.h"
#include "mainlayout.h"
#include "parameter_catalogue.h"
#include "parameterchart.h"
#include "program_state.h"
#include "recordview.h"
#include "runcontroller.h"
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
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QTimer>
#include <QUrl>
#include <charconv>
#include <string>

using layoutstyle::Geometry;
using namespace mainlayout;

namespace {

QString indexedName(const char *name, int index)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

QString fromView(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A picture drawn from an SVG resource at the widget's size, crisp at any screen scale.
// With a click handler it acts as a button.
class SvgPicture : public QWidget
{
public:
    SvgPicture(const QString &resource, QWidget *parent) : QWidget(parent), m_renderer(resource)
    {
        m_renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        setAttribute(Qt::WA_TranslucentBackground);
    }

    void setClickHandler(std::function<void()> onClick)
    {
        m_onClick = std::move(onClick);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setAccessibleDescription(QStringLiteral("button"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_renderer.render(&painter, QRectF(rect()));
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (m_onClick && event->button() == Qt::LeftButton && rect().contains(event->pos()))
            m_onClick();
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_onClick && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return)) {
            m_onClick();
            return;
        }
        QWidget::keyPressEvent(event);
    }

private:
    QSvgRenderer m_renderer;
    std::function<void()> m_onClick;
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
    layoutstyle::setBackground(this);
    setAcceptDrops(true);

    buildMenus();
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    layoutstyle::setBackground(client);
    buildControls(client);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    buildStatusBar();
    m_runs = new RunController(this);
    connect(m_runs, &RunController::progress, this, &Form1::runProgress);
    connect(m_runs, &RunController::finished, this, &Form1::runFinished);
    buildLive();

    // The load handler's work.
    InitParameterCatalogue();
}

Form1::~Form1()
{
    // A run still going is cancelled; its files are discarded and the records dropped.
    delete m_runs;
    delete m_form2.data();
    delete m_info.data();
}

void Form1::buildMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    file->menuAction()->setObjectName(QStringLiteral("MnuFileAction"));
    m_menuFileOpen = file->addAction(QStringLiteral("Open"));
    m_menuFileOpen->setObjectName(QStringLiteral("MenuFileOpen"));
    m_menuFileExit = file->addAction(QStringLiteral("Exit"));
    m_menuFileExit->setObjectName(QStringLiteral("MenuFileExit"));

    QMenu *settings = bar->addMenu(QStringLiteral("Settings"));
    settings->setObjectName(QStringLiteral("MnuSettings"));
    m_writeTlmFile = settings->addAction(QStringLiteral("Write TLM File"));
    m_writeTlmFile->setObjectName(QStringLiteral("WriteTLMFile"));
    // The check mark is inverted by the handler itself, not by Qt, so that the menu and
    // toggleWriteTlmFile() are one and the same command.
    m_writeTlmFile->setCheckable(true);
    m_writeTlmFile->setChecked(true);

    m_mnuInfo = bar->addAction(QStringLiteral("Info"));
    m_mnuInfo->setObjectName(QStringLiteral("MnuInfo"));

    connect(m_menuFileOpen, &QAction::triggered, this, &Form1::menuFileOpen);
    connect(m_menuFileExit, &QAction::triggered, this, &Form1::menuFileExit);
    connect(m_mnuInfo, &QAction::triggered, this, &Form1::showInfoWindow);

    // The usual shortcuts, kept off the menu captions.
    auto *open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(open, &QShortcut::activated, this, &Form1::menuFileOpen);
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &Form1::menuFileExit);
}

void Form1::buildControls(QWidget *client)
{
    const QFont font = layoutstyle::defaultFont();
    const QFont frameFont = layoutstyle::boldFont();

    auto makeFrame = [&](const char *name, const QString &caption, Geometry geometry) {
        auto *frame = new QGroupBox(caption, client);
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
    for (const kesta::ParameterEntry &entry : kesta::ParameterCatalogue) {
        const int i = entry.index;
        const ParameterRow &row = ParameterRows[static_cast<std::size_t>(i)];
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
    for (std::size_t k = 0; k < kesta::HiModeValues.size(); ++k) {
        const int i = kesta::HiModeValues[k].index;
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

    auto *image4 = new SvgPicture(QStringLiteral(":/images/info-button.svg"), m_frame2);
    image4->setObjectName(QStringLiteral("Image4"));
    image4->setAccessibleName(QStringLiteral("Movement flag bits"));
    image4->setToolTip(QStringLiteral("HTRX Movement Flag"));
    image4->setClickHandler([this] { showMovementFlagWindow(); });
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
    m_label4->setAccessibleName(QStringLiteral("Frame kind"));

    m_label5 = makeLabel(QStringLiteral("Label5"), {Box::Window, {296, 640, 177, 17}});
    m_label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The three counts of a long log need the narrower face to fit the label's 177 pixels.
    QFont counterFont = font;
    counterFont.setStretch(QFont::Condensed);
    m_label5->setFont(counterFont);
    m_label5->setAccessibleName(QStringLiteral("Frames per type"));

    m_text2 = layoutstyle::makeDisplayLine(client, QStringLiteral("Text2"));
    m_text2->setAccessibleName(QStringLiteral("Record position"));
    layoutstyle::setTextBoxColor(m_text2, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(m_text2, QApplication::palette("QMenu").color(QPalette::WindowText));
    layoutstyle::place(m_text2, {496, 640, 57, 19});

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
    for (const kesta::ParameterEntry &entry : kesta::ParameterCatalogue) {
        const auto i = static_cast<std::size_t>(entry.index);
        const QString name = fromView(entry.name);
        const QString unit = fromView(entry.unit);
        m_label1[i]->setText(name);
        m_label2[i]->setText(unit);
        QString spoken = name.trimmed();
        if (!unit.isEmpty())
            spoken += QLatin1Char(' ') + unit;
        m_text1[i]->setAccessibleName(spoken);
        m_option1[i]->setAccessibleName(spoken);
    }
    for (const kesta::HiModeEntry &hi : kesta::HiModeValues) {
        const auto i = static_cast<std::size_t>(hi.index);
        m_label1[i]->setText(fromView(hi.label));
        m_text1[i]->setAccessibleName(fromView(hi.label).simplified());
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
}

void Form1::DrawParameterChart(std::int16_t parameter)
{
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= kesta::ParameterCount)
        return;
    const kesta::ParameterEntry &entry =
        kesta::ParameterCatalogue[static_cast<std::size_t>(parameter)];

    QString caption = fromView(entry.name);
    if (!entry.unit.empty())
        caption += QStringLiteral(" [ ") + fromView(entry.unit) + QStringLiteral(" ] ");
    m_frame1->setTitle(caption);

    const int rows = std::max<int>(m_state.store.RecordCount, 0);
    m_chart->setRowCount(rows, m_state.store.FirstNumber);
    if (!entry.field || !entry.chartable)
        return; // no numbers to plot: the earlier points stay

    // Each point is the value as its value text gives it, i.e. at that text's precision.
    // Only records whose frame carried the field are plotted, at their record number (in a
    // live session: the session number): a frame of another kind has no value there, not a
    // zero.
    QList<QPointF> points;
    points.reserve(rows);
    std::string text;
    for (int r = 1; r <= m_chart->rowCount(); ++r) {
        const kesta::TelemetryRecord &record = m_state.store[static_cast<std::int16_t>(r)];
        if (!record.Written.test(*entry.field))
            continue;
        text.clear();
        kesta::AppendFieldValueText(text, record, *entry.field);
        double y = 0;
        std::from_chars(text.data(), text.data() + text.size(), y);
        points.append(QPointF(static_cast<double>(m_state.store.numberAt(r)), y));
    }
    m_chart->setPoints(points);
}

void Form1::optionClicked(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= kesta::ParameterCount)
        return;
    for (std::size_t a = 0; a < kesta::ParameterCount; ++a)
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
    if (!endLiveSessionFirst())
        return;
    openLog(m_chooser->chooseLogFile(this));
}

void Form1::openLog(const QString &path)
{
    if (m_runs->isRunning())
        return; // one run at a time; the menu is disabled meanwhile
    if (!endLiveSessionFirst())
        return;
    // The labels are refreshed and the first value boxes emptied whether or not a log was
    // chosen; a run that does not decode the log puts the boxes back as they were.
    for (std::size_t i = 0; i < m_shownBeforeRun.size(); ++i)
        m_shownBeforeRun[i] = valueText(static_cast<int>(i));
    InitParameterCatalogue();
    if (path.isEmpty())
        return;
    kesta::RunRequest request;
    request.inputPath = QFile::encodeName(path).toStdString();
    request.writeTlm = m_writeTlmFile->isChecked();
    request.keptTlmPath = m_state.TlmPath;
    m_runs->start(request);
    m_menuFileOpen->setEnabled(false);
    m_runClock.start();
    m_progress->setRange(0, 0);
    // A short run shows no progress at all; a long one after a moment.
    QTimer::singleShot(ProgressDelayMs, this, [this] {
        if (m_runs->isRunning() && m_runClock.elapsed() >= ProgressDelayMs - 10)
            showProgress(true);
    });
}

bool Form1::isRunning() const
{
    return m_runs->isRunning();
}

void Form1::cancelRun()
{
    m_runs->cancel();
}

void Form1::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("RunProgress"));
    m_progress->setAccessibleName(QStringLiteral("Decoding progress"));
    m_progress->setTextVisible(true);
    m_progress->setMaximumHeight(16);
    m_cancelRun = new QPushButton(QStringLiteral("Cancel"), bar);
    m_cancelRun->setObjectName(QStringLiteral("CancelRun"));
    m_cancelRun->setMaximumHeight(20);
    connect(m_cancelRun, &QPushButton::clicked, this, &Form1::cancelRun);
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_cancelRun);
    showProgress(false);
}

void Form1::showProgress(bool shown)
{
    m_progress->setVisible(shown);
    m_cancelRun->setVisible(shown);
    if (shown)
        statusBar()->clearMessage();
}

void Form1::runProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (totalBytes > 0) {
        // Permille of the log, so that logs beyond 2 GB fit the bar's int range.
        m_progress->setRange(0, 1000);
        m_progress->setValue(
            static_cast<int>(std::min<qint64>(bytesRead * 1000 / totalBytes, 1000)));
        m_progress->setFormat(QStringLiteral("%1 of %2 MB")
                                  .arg(static_cast<double>(bytesRead) / 1e6, 0, 'f', 1)
                                  .arg(static_cast<double>(totalBytes) / 1e6, 0, 'f', 1));
    } else {
        m_progress->setRange(0, 0); // a pipe or FIFO: no end to measure against
        m_progress->setFormat(
            QStringLiteral("%1 MB").arg(static_cast<double>(bytesRead) / 1e6, 0, 'f', 1));
    }
}

void Form1::runFinished(std::shared_ptr<kesta::RunResult> result)
{
    showProgress(false);
    m_menuFileOpen->setEnabled(true);
    const kesta::RunReport report = result->report;
    const std::string dmpPath = result->dmpPath;
    if (report.outcome == kesta::RunReport::Outcome::Decoded) {
        releaseLiveSession();
        kesta::ApplyRun(m_state, *result);
        showDecodedLog();
    } else {
        // Nothing of this run is kept: the store and the view stay as they were.
        for (std::size_t i = 0; i < m_shownBeforeRun.size(); ++i)
            setValueText(static_cast<int>(i), m_shownBeforeRun[i]);
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

    const std::int16_t count = m_state.store.RecordCount;
    m_hscroll1->setEnabled(true);
    {
        // Back to record 1 without a second ShowRecord through the change handler.
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(1, std::max<int>(count, 1)); // a log without frames: 1 to 1
        m_hscroll1->setValue(1);
    }
    m_text2->setText(QStringLiteral("#%1 / %2").arg(m_hscroll1->value()).arg(count));
    ShowRecord(1);
    if (!m_option1[ChartedParameterOnOpen]->isChecked())
        optionClicked(ChartedParameterOnOpen); // as the user's click: highlight and chart
    else
        DrawParameterChart(ChartedParameterOnOpen);
}

void Form1::scrollBarChanged(int position)
{
    m_text2->setText(QStringLiteral("#%1 / %2").arg(position).arg(recordTotal()));
    // The position is a record number; the store holds numbers FirstNumber onwards.
    const qint64 index = position - m_state.store.FirstNumber + 1;
    if (index > 0)
        ShowRecord(static_cast<std::int16_t>(index));
}

void Form1::menuFileExit()
{
    close();
}

void Form1::showMovementFlagWindow()
{
    if (!m_form2) {
        m_form2 = new Form2([this] { return movementFlagText(); });
        m_form2->setAttribute(Qt::WA_QuitOnClose, false);
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
        if (QScreen *screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A run still going stops now: its files are discarded, the earlier ones kept.
    m_runs->cancelAndWait();
    if (m_live)
        m_live->stop(); // every file of the session written out and closed
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
