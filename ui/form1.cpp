#include "form1.h"

#include "cleanup.h"
#include "decoding_run.h"
#include "filechooser.h"
#include "form2.h"
#include "info.h"
#include "layoutstyle.h"
#include "lightelementrow.h"
#include "parameter_catalogue.h"
#include "parameterchart.h"
#include "program_state.h"
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
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSvgRenderer>
#include <QUrl>
#include <charconv>
#include <string>

using layoutstyle::Geometry;

namespace {

// The containers a control of the main window can stand in.
enum class Box : std::uint8_t
{
    Window,
    Frame2,
    Frame5
};

struct Place
{
    Box box;
    Geometry geometry;
};

constexpr int LabelHeight = 17;
constexpr int ValueHeight = 19;
constexpr int ValueWidth = 57;
constexpr int OptionSize = 17;
constexpr int UnitWidth = 25;
constexpr int NameWidth = 89;

constexpr Place option(Box box, int x, int y)
{
    return {box, {x, y, OptionSize, OptionSize}};
}
constexpr Place label(Box box, int x, int y, int width)
{
    return {box, {x, y, width, LabelHeight}};
}
constexpr Place value(Box box, int x, int y, int width = ValueWidth, int height = ValueHeight)
{
    return {box, {x, y, width, height}};
}

// One parameter of the catalogue on the window: option button, name label, value box and
// unit label. Parameters 5, 12 and 14 and most unit labels stand right of the visible area.
struct ParameterRow
{
    Place option;
    Place name;
    Place value;
    Place unit;
};

constexpr std::array<ParameterRow, kesta::ParameterCount> ParameterRows{{
    // "HTRX telemetry", left column
    {option(Box::Frame2, 16, 24), label(Box::Frame2, 40, 24, NameWidth),
     value(Box::Frame2, 128, 24), label(Box::Frame2, 192, 24, UnitWidth)},
    {option(Box::Frame2, 16, 40), label(Box::Frame2, 40, 40, NameWidth),
     value(Box::Frame2, 128, 40), label(Box::Window, 704, 248, UnitWidth)},
    {option(Box::Frame2, 16, 56), label(Box::Frame2, 40, 56, NameWidth),
     value(Box::Frame2, 128, 56), label(Box::Frame2, 192, 56, 33)},
    {option(Box::Frame2, 16, 72), label(Box::Frame2, 40, 72, NameWidth),
     value(Box::Frame2, 128, 72), label(Box::Frame2, 192, 72, UnitWidth)},
    {option(Box::Frame2, 16, 88), label(Box::Frame2, 40, 88, NameWidth),
     value(Box::Frame2, 128, 88), label(Box::Frame2, 192, 88, UnitWidth)},
    // 5 has no field
    {option(Box::Window, 688, 352), label(Box::Window, 712, 352, NameWidth),
     value(Box::Window, 808, 352, 49), label(Box::Window, 864, 352, UnitWidth)},
    // "HTRX telemetry", right column
    {option(Box::Frame2, 224, 24), label(Box::Frame2, 248, 24, NameWidth),
     value(Box::Frame2, 336, 24), label(Box::Frame2, 400, 24, UnitWidth)},
    {option(Box::Frame2, 224, 40), label(Box::Frame2, 248, 40, NameWidth),
     value(Box::Frame2, 336, 40), label(Box::Frame2, 400, 40, UnitWidth)},
    {option(Box::Frame2, 224, 56), label(Box::Frame2, 248, 56, NameWidth),
     value(Box::Frame2, 336, 56), label(Box::Frame2, 400, 56, UnitWidth)},
    {option(Box::Frame2, 224, 72), label(Box::Frame2, 248, 72, NameWidth),
     value(Box::Frame2, 336, 72), label(Box::Frame2, 400, 72, UnitWidth)},
    {option(Box::Frame2, 224, 88), label(Box::Frame2, 248, 88, NameWidth),
     value(Box::Frame2, 336, 88), label(Box::Frame2, 400, 88, UnitWidth)},
    {option(Box::Frame2, 224, 104), label(Box::Frame2, 248, 104, NameWidth),
     value(Box::Frame2, 336, 104), label(Box::Frame2, 400, 104, UnitWidth)},
    // 12: the CCU telemetry text, one wide box across the foot of "HTRX telemetry"
    {option(Box::Window, 704, 424), label(Box::Window, 712, 392, NameWidth),
     value(Box::Frame2, 8, 128, 513), label(Box::Window, 816, 384, UnitWidth)},
    // "FSS telemetry"
    {option(Box::Frame5, 16, 24), label(Box::Frame5, 40, 24, NameWidth),
     value(Box::Frame5, 128, 24), label(Box::Window, 816, 408, UnitWidth)},
    // 14: the light-element hex text, a multi-line box
    {option(Box::Window, 704, 448), label(Box::Window, 800, 632, NameWidth),
     value(Box::Frame5, 16, 88, 513, 35), label(Box::Window, 816, 432, UnitWidth)},
    {option(Box::Frame5, 384, 24), label(Box::Frame5, 408, 24, 65), value(Box::Frame5, 472, 24),
     label(Box::Window, 816, 456, UnitWidth)},
    {option(Box::Frame5, 16, 40), label(Box::Frame5, 40, 40, NameWidth),
     value(Box::Frame5, 128, 40), label(Box::Window, 824, 256, UnitWidth)},
    {option(Box::Frame5, 224, 24), label(Box::Frame5, 240, 24, 49), value(Box::Frame5, 288, 24),
     label(Box::Window, 824, 280, UnitWidth)},
    {option(Box::Frame5, 384, 40), label(Box::Frame5, 408, 40, 65), value(Box::Frame5, 472, 40),
     label(Box::Window, 824, 312, UnitWidth)},
}};

constexpr int MultiLineValueBox = 14;

// The Hi-mode values 19 to 21: name label and value box, no option button and no unit.
struct HiModeRow
{
    Place name;
    Place value;
};

constexpr std::array<HiModeRow, kesta::HiModeValues.size()> HiModeRows{{
    {label(Box::Frame5, 16, 64, 113), value(Box::Frame5, 128, 64)},
    {label(Box::Frame5, 208, 64, 73), value(Box::Frame5, 288, 64)},
    {label(Box::Frame5, 408, 64, 57), value(Box::Frame5, 472, 64)},
}};

// Blank unit labels that are never written.
struct SpareLabel
{
    int index;
    Place place;
};

constexpr std::array<SpareLabel, 3> SpareUnitLabels{{
    {35, label(Box::Frame5, 192, 16, UnitWidth)},
    {36, label(Box::Frame5, 440, 16, UnitWidth)},
    {37, label(Box::Frame5, 680, 16, UnitWidth)},
}};

constexpr QColor PlainValueColor{255, 255, 255};
constexpr QColor ChosenValueColor{255, 255, 192};
constexpr QColor MessageColor{0, 0, 192};
constexpr QColor FrameKindColor{0, 0, 128};

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

// The busy pointer for as long as it lives, restored whatever happens in between.
class BusyPointer
{
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};

// The text a value box shows for field `f`: status bytes as bits, everything else as its
// value text with the user's decimal separator.
std::string boxText(const kesta::TelemetryRecord &r, kesta::Field f, std::string_view separator)
{
    if (kesta::InfoOf(f).statusBits)
        return kesta::ByteToBits(static_cast<std::uint8_t>(kesta::FieldNumber(r, f).value_or(0)));
    return kesta::FieldValueText(r, f, separator);
}

QColor lightColor(QStringView pair)
{
    const QByteArray digits = pair.toLatin1();
    const std::int32_t reading = kesta::HexToLong(
        std::string_view(digits.constData(), static_cast<std::size_t>(digits.size())));
    const int level = std::min(8 * reading, 255);
    return {level, level, 0};
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

    m_state.counterTextChanged = [this](std::string_view text) {
        m_label5->setText(fromView(text));
    };

    // The load handler's work.
    InitParameterCatalogue();
}

Form1::~Form1()
{
    m_state.counterTextChanged = nullptr;
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
    if (index < 0 || index >= ValueBoxCount)
        return {};
    QWidget *box = m_text1[static_cast<std::size_t>(index)];
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    return static_cast<QPlainTextEdit *>(box)->toPlainText();
}

QString Form1::movementFlagText() const
{
    return valueText(1);
}

void Form1::setValueText(int index, const QString &text)
{
    QWidget *box = m_text1[static_cast<std::size_t>(index)];
    if (auto *line = qobject_cast<QLineEdit *>(box)) {
        if (line->text() != text) {
            line->setText(text);
            line->setCursorPosition(0);
        }
        return;
    }
    auto *multi = static_cast<QPlainTextEdit *>(box);
    if (multi->toPlainText() != text)
        multi->setPlainText(text);
}

void Form1::ShowRecord(std::int16_t index)
{
    const kesta::TelemetryRecord &r = m_state.store[index];

    m_label4->setText(QString::fromLatin1(r.FrameKind));
    auto *rawFrame = static_cast<QPlainTextEdit *>(m_text3[3]);
    const QString raw = QString::fromLatin1(r.RawHex);
    if (rawFrame->toPlainText() != raw)
        rawFrame->setPlainText(raw);
    // The message bytes stand for themselves: byte n becomes code point n.
    auto *message = static_cast<QLineEdit *>(m_text3[0]);
    message->setText(QString::fromLatin1(r.MessageText));
    message->setCursorPosition(0);

    const std::string separator = QLocale().decimalPoint().toStdString();
    for (const kesta::ParameterEntry &entry : kesta::ParameterCatalogue) {
        if (entry.field) // box 5 has no field and keeps its text
            setValueText(entry.index, QString::fromStdString(boxText(r, *entry.field, separator)));
    }
    for (const kesta::HiModeEntry &hi : kesta::HiModeValues)
        setValueText(hi.index, QString::fromStdString(boxText(r, hi.field, separator)));

    // The light-element row follows the text now in its value box, two hex digits a bar;
    // a text that ends early leaves one digit or none for the bars beyond it.
    const QString lights = valueText(MultiLineValueBox);
    std::array<QColor, LightElementRow::BarCount> colors;
    for (int k = 0; k < LightElementRow::BarCount; ++k)
        colors[static_cast<std::size_t>(k)] = lightColor(QStringView(lights).mid(2 * k, 2));
    m_shape1->setFillColors(colors);
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
    m_chart->setRowCount(rows);
    if (!entry.field || !entry.chartable)
        return; // no numbers to plot: the earlier points stay

    // Each point is the value as its value text gives it, i.e. at that text's precision.
    QList<QPointF> points;
    points.reserve(rows);
    std::string text;
    for (int r = 1; r <= m_chart->rowCount(); ++r) {
        text.clear();
        kesta::AppendFieldValueText(text, m_state.store[static_cast<std::int16_t>(r)],
                                    *entry.field);
        double y = 0;
        std::from_chars(text.data(), text.data() + text.size(), y);
        points.append(QPointF(r, y));
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
    openLog(m_chooser->chooseLogFile(this));
}

void Form1::openLog(const QString &path)
{
    // The labels are refreshed and the first value boxes emptied whether or not a log was
    // chosen; a run that cannot start puts the boxes back as they were.
    std::array<QString, 4> shownBefore;
    for (std::size_t i = 0; i < shownBefore.size(); ++i)
        shownBefore[i] = valueText(static_cast<int>(i));
    InitParameterCatalogue();
    if (path.isEmpty())
        return;
    if (!runDecoding(path)) {
        for (std::size_t i = 0; i < shownBefore.size(); ++i)
            setValueText(static_cast<int>(i), shownBefore[i]);
    }
}

bool Form1::runDecoding(const QString &path)
{
    const std::string inputPath = QFile::encodeName(path).toStdString();
    kesta::RunReport report;
    {
        const BusyPointer busy;
        report = kesta::RunDecoding(m_state, inputPath, m_writeTlmFile->isChecked());
    }
    const QString title = windowTitle();
    if (report.outcome != kesta::RunReport::Outcome::Decoded) {
        // Nothing was created, emptied or read: the store and the view stay as they were.
        m_notifier->notify(this, RunNotifier::Severity::Error, title,
                           QStringLiteral("The log was not decoded.\n\n") +
                               QString::fromLocal8Bit(report.error));
        return false;
    }

    // The counts follow every decoded frame; a log without frames still replaces the
    // counts of the log before it.
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

    if (!report.warnings.empty()) {
        QStringList lines;
        for (const std::string &warning : report.warnings)
            lines << QString::fromLocal8Bit(warning);
        m_notifier->notify(this, RunNotifier::Severity::Warning, title,
                           QStringLiteral("The log was decoded, but:\n\n") +
                               lines.join(QLatin1Char('\n')));
    }

    const kesta::LogReadSummary &summary = report.summary;
    if (summary.reader.oversizedFrames > 0 || summary.framesBeyondLimit > 0) {
        QStringList lines;
        if (summary.reader.oversizedFrames > 0)
            lines << QStringLiteral("%1 frame(s) longer than %2 bytes were dropped.")
                         .arg(summary.reader.oversizedFrames)
                         .arg(kesta::KissReader::FrameCapacity);
        if (summary.framesBeyondLimit > 0)
            lines << QStringLiteral("%1 frame(s) beyond record %2 were not decoded.")
                         .arg(summary.framesBeyondLimit)
                         .arg(kesta::RecordStore::MaxRecords);
        lines << QStringLiteral("Every accepted frame is in the dump file %1.")
                     .arg(QString::fromLocal8Bit(m_state.DmpPath));
        m_notifier->notify(this, RunNotifier::Severity::Information, title,
                           lines.join(QLatin1Char('\n')));
    }
    return true;
}

void Form1::scrollBarChanged(int position)
{
    m_text2->setText(QStringLiteral("#%1 / %2").arg(position).arg(m_state.store.RecordCount));
    if (position > 0)
        ShowRecord(static_cast<std::int16_t>(position));
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
