#include "recordpanel.h"

#include "layoutstyle.h"
#include "lightelementrow.h"
#include "parameter_catalogue.h"
#include "parameterchart.h"
#include "recordrowfit.h"
#include "recordview.h"
#include "screenfit.h"
#include "svgbutton.h"
#include "value_text.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSvgRenderer>
#include <algorithm>

namespace kesta {

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

QLabel *makeLabel(QWidget *parent, const QString &name, const Geometry &geometry)
{
    auto *text = new QLabel(parent);
    text->setObjectName(name);
    text->setFont(layoutstyle::defaultFont());
    layoutstyle::place(text, geometry);
    return text;
}

} // namespace

RecordPanel::RecordPanel(QWidget *parent) : accessibility::ClientPane(parent)
{
    setObjectName(QStringLiteral("ClientArea"));
    setFixedSize(Width, Height);
    layoutstyle::setBackground(this);
    buildFrames();
    buildParameterRows();
    buildPictures();
    buildNavigationRow();

    RecordView::Controls controls;
    controls.valueBoxes = m_text1;
    controls.frameKind = m_label4;
    controls.rawFrame = qobject_cast<QPlainTextEdit *>(m_text3[3]);
    controls.message = qobject_cast<QLineEdit *>(m_text3[0]);
    controls.lightElements = m_shape1;
    m_view = std::make_unique<RecordView>(controls);

    // Kept for its place in the layout; files to clean up are tracked in the program state.
    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(layoutstyle::defaultFont());
    m_list1->setFocusPolicy(Qt::NoFocus);
    layoutstyle::place(m_list1, {616, 16, 353, 173});

    initParameterCatalogue();
}

RecordPanel::~RecordPanel() = default;

QWidget *RecordPanel::container(Box box)
{
    switch (box) {
    case Box::Frame2:
        return m_frame2;
    case Box::Frame5:
        return m_frame5;
    case Box::Window:
        break;
    }
    return this;
}

void RecordPanel::buildFrames()
{
    auto makeFrame = [this](const char *name, const QString &caption, Geometry geometry) {
        auto *frame = new accessibility::CaptionFrame(caption, this);
        frame->setObjectName(QLatin1String(name));
        frame->setFont(layoutstyle::boldFont());
        frame->setFlat(false);
        layoutstyle::place(frame, geometry);
        return frame;
    };
    m_frame2 = makeFrame("Frame2", tr("HTRX telemetry"), {8, 8, 545, 153});
    m_frame5 = makeFrame("Frame5", tr("FSS telemetry"), {8, 168, 545, 201});
    m_frame1 = makeFrame("Frame1", tr("Graph"), {8, 376, 545, 209});
}

void RecordPanel::buildParameterRows()
{
    auto makeValueBox = [this](int index, Place place, bool multiLine) -> QWidget * {
        QWidget *parent = container(place.box);
        const QString name = indexedName("Text1", index);
        QWidget *box = multiLine ? static_cast<QWidget *>(layoutstyle::makeDisplayText(parent, name))
                                 : layoutstyle::makeDisplayLine(parent, name);
        layoutstyle::place(box, place.geometry);
        return box;
    };
    auto label = [this](const char *name, int index, Place place) {
        return makeLabel(container(place.box), indexedName(name, index), place.geometry);
    };

    m_optionGroup = new QButtonGroup(this);
    m_optionGroup->setExclusive(true);
    for (std::size_t p = 0; p < ParameterRows.size(); ++p) {
        const int i = static_cast<int>(p);
        const ParameterRow &row = ParameterRows[p];
        auto *button = new QRadioButton(container(row.option.box));
        button->setObjectName(indexedName("Option1", i));
        button->setFont(layoutstyle::defaultFont());
        layoutstyle::place(button, row.option.geometry);
        m_optionGroup->addButton(button, i);
        m_option1[p] = button;
        m_label1[p] = label("Label1", i, row.name);
        m_text1[p] = makeValueBox(i, row.value, i == MultiLineValueBox);
        m_label2[p] = label("Label2", i, row.unit);
    }
    for (std::size_t k = 0; k < HiModeRows.size(); ++k) {
        const int i = FirstHiModeBox + static_cast<int>(k);
        m_label1[static_cast<std::size_t>(i)] = label("Label1", i, HiModeRows[k].name);
        m_text1[static_cast<std::size_t>(i)] = makeValueBox(i, HiModeRows[k].value, false);
    }
    for (const SpareLabel &spare : SpareUnitLabels)
        m_label2[static_cast<std::size_t>(spare.index)] = label("Label2", spare.index, spare.place);
    connect(m_optionGroup, &QButtonGroup::idClicked, this, &RecordPanel::parameterClicked);
}

void RecordPanel::buildPictures()
{
    auto *image1 = new SvgPicture(QStringLiteral(":/images/satellite.svg"), m_frame2);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setAccessibleName(tr("KESTA-1 satellite"));
    layoutstyle::place(image1, {416, 24, 123, 97});
    m_image1 = image1;

    auto *image4 = new SvgButton(QStringLiteral(":/images/info-button.svg"), m_frame2);
    image4->setObjectName(QStringLiteral("Image4"));
    image4->setAccessibleName(tr("Movement flag bits"));
    image4->setToolTip(tr("HTRX Movement Flag"));
    connect(image4, &QAbstractButton::clicked, this, &RecordPanel::movementFlagRequested);
    layoutstyle::place(image4, {192, 40, 16, 16});
    m_image4 = image4;

    m_shape1 = new LightElementRow(m_frame5);
    m_shape1->setAccessibleName(tr("Light elements"));
    layoutstyle::place(m_shape1, {16, 128, LightElementRow::RowWidth, LightElementRow::BarHeight});

    auto *message = layoutstyle::makeDisplayLine(m_frame5, indexedName("Text3", 0));
    message->setFont(layoutstyle::boldFont());
    message->setAccessibleName(tr("FSS message"));
    layoutstyle::setTextBoxColor(message, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(message, MessageColor);
    layoutstyle::place(message, {16, 168, 513, 19});
    m_text3[0] = message;

    m_chart = new ParameterChart(m_frame1);
    m_chart->setFont(layoutstyle::defaultFont());
    layoutstyle::place(m_chart, {8, 16, 529, 185});
}

void RecordPanel::buildNavigationRow()
{
    auto *rawFrame = layoutstyle::makeDisplayText(this, indexedName("Text3", 3));
    rawFrame->setFont(layoutstyle::fixedFont(9));
    rawFrame->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    rawFrame->setAccessibleName(tr("Raw frame"));
    layoutstyle::setTextBoxColor(rawFrame, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(rawFrame, MessageColor);
    layoutstyle::place(rawFrame, {8, 592, 465, 43});
    m_text3[3] = rawFrame;

    m_hscroll1 = new QScrollBar(Qt::Horizontal, this);
    m_hscroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hscroll1->setAccessibleName(tr("Record"));
    m_hscroll1->setRange(1, 1);
    m_hscroll1->setValue(1);
    m_hscroll1->setEnabled(false);
    layoutstyle::place(m_hscroll1, {488, 608, 65, 25});

    m_label4 = makeLabel(this, QStringLiteral("Label4"), {8, 640, 281, 25});
    m_label4->setFont(layoutstyle::boldFont(12));
    layoutstyle::setTextColor(m_label4, FrameKindColor);
    m_label4->setAccessibleDescription(tr("Frame kind"));

    m_label5 = makeLabel(this, QStringLiteral("Label5"), {296, 640, 177, 17});
    m_label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The three counts of a long log need the narrower face to fit the label's 177 pixels.
    QFont counterFont = layoutstyle::defaultFont();
    counterFont.setStretch(QFont::Condensed);
    m_label5->setFont(counterFont);
    m_label5->setAccessibleDescription(tr("Frames per type"));

    m_text2 = layoutstyle::makeDisplayLine(this, QStringLiteral("Text2"));
    m_text2->setAccessibleName(tr("Record position"));
    // A display, not a field to type in: flat, so that it does not look editable, and
    // saying where the typing goes instead.
    m_text2->setFrame(false);
    m_text2->setToolTip(tr("Record shown / records in the log (Go to Record: Ctrl+G)"));
    m_text2->setAccessibleDescription(tr("Read only. Go to Record: Ctrl+G"));
    layoutstyle::setTextBoxColor(m_text2, layoutstyle::BackgroundColor);
    layoutstyle::setTextColor(m_text2, layoutstyle::TextColor);
    layoutstyle::place(m_text2, {496, 640, 57, 19});
    m_recordRowFit = new RecordRowFit(m_label4, m_label5, m_text2, this);

    m_line1 = new QFrame(this);
    m_line1->setObjectName(QStringLiteral("Line1"));
    m_line1->setFrameShape(QFrame::NoFrame);
    m_line1->setAutoFillBackground(true);
    QPalette linePalette = m_line1->palette();
    linePalette.setColor(QPalette::Window, Qt::black);
    m_line1->setPalette(linePalette);
    layoutstyle::place(m_line1, {0, 0, 760, 1});
}

void RecordPanel::initParameterCatalogue()
{
    for (std::size_t i = 0; i < ParameterRows.size(); ++i) {
        const ParameterRow &row = ParameterRows[i];
        const QString unit = fromView(parameterUnit(row));
        m_label1[i]->setText(fromView(parameterLabel(row)));
        m_label2[i]->setText(unit);
        // A screen reader says the field's own name, which tells the two "Counter"s apart.
        QString spoken = row.field ? fromView(InfoOf(*row.field).spoken)
                                   : fromView(parameterLabel(row)).trimmed();
        if (!unit.isEmpty())
            spoken += QLatin1Char(' ') + unit;
        m_text1[i]->setAccessibleName(spoken);
        m_option1[i]->setAccessibleName(spoken);
    }
    for (std::size_t k = 0; k < HiModeRows.size(); ++k) {
        const FieldInfo &info = InfoOf(HiModeRows[k].field);
        const auto i = static_cast<std::size_t>(FirstHiModeBox) + k;
        m_label1[i]->setText(fromView(info.label));
        m_text1[i]->setAccessibleName(fromView(info.spoken));
    }
    for (int i = 0; i <= 3; ++i)
        setValueText(i, QString());
}

void RecordPanel::showRecord(const TelemetryRecord &record)
{
    m_view->show(record, QLocale().decimalPoint().toStdString());
}

QString RecordPanel::valueText(int index) const
{
    return m_view->valueText(index);
}

void RecordPanel::setValueText(int index, const QString &text)
{
    m_view->setValueText(index, text);
}

bool RecordPanel::isCarried(int index) const
{
    return m_view->isCarried(index);
}

QWidget *RecordPanel::valueBox(int index) const
{
    if (index < 0 || index >= ValueBoxCount)
        return nullptr;
    return m_text1[static_cast<std::size_t>(index)];
}

void RecordPanel::chooseParameter(int parameter)
{
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= ParameterRows.size())
        return;
    for (std::size_t a = 0; a < ParameterRows.size(); ++a)
        layoutstyle::setTextBoxColor(m_text1[a], PlainValueColor);
    const auto chosen = static_cast<std::size_t>(parameter);
    m_option1[chosen]->setChecked(true); // the group clears the others
    layoutstyle::setTextBoxColor(m_text1[chosen], ChosenValueColor);
}

int RecordPanel::chosenParameter() const
{
    return m_optionGroup->checkedId();
}

void RecordPanel::showChartCaption(int parameter)
{
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= ParameterRows.size())
        return;
    const ParameterRow &entry = ParameterRows[static_cast<std::size_t>(parameter)];
    QString caption = fromView(parameterLabel(entry));
    const QString unit = fromView(parameterUnit(entry));
    if (!unit.isEmpty())
        caption += QStringLiteral(" [ ") + unit + QStringLiteral(" ] ");
    m_frame1->setTitle(caption);
}

void RecordPanel::showCounts(std::int64_t htrx, std::int64_t fss, std::int64_t fssHi)
{
    m_label5->setText(QString::fromStdString(CounterText(htrx, fss, fssHi)));
    m_recordRowFit->schedule();
}

void RecordPanel::showPosition(qint64 shown, qint64 total)
{
    m_text2->setText(QStringLiteral("#%1 / %2").arg(shown).arg(total));
}

void RecordPanel::prepareForUse()
{
    // The value boxes whose text must fit and show whole lines.
    screenfit::fitLineFont(m_text2, QStringLiteral("#1000 / 1000"));
    if (auto *rawFrame = qobject_cast<QPlainTextEdit *>(m_text3[3]))
        screenfit::fitWholeLines(rawFrame);

    // Controls outside the visible area, blank unit labels and the rule along the top edge
    // are for no one to reach.
    const QRect visible = rect();
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (!visible.intersects(QRect(widget->mapTo(this, QPoint(0, 0)), widget->size())))
            accessibility::hide(widget);
    }
    for (QLabel *unit : m_label2) {
        if (unit && unit->text().isEmpty())
            accessibility::hide(unit);
    }
    accessibility::hide(m_line1);
    m_shape1->setAccessibleDescription(tr("64 light-element readings; none shown"));

    // Tab runs through what can be seen, top to bottom, left to right (the option buttons
    // are one group, a single stop; the Up and Down keys go through them).
    QList<QWidget *> chain;
    for (QWidget *widget : findChildren<QWidget *>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && !accessibility::isHidden(widget) &&
            !widget->focusProxy())
            chain.append(widget);
    }
    std::stable_sort(chain.begin(), chain.end(), [this](QWidget *a, QWidget *b) {
        const QPoint pa = a->mapTo(this, QPoint(0, 0));
        const QPoint pb = b->mapTo(this, QPoint(0, 0));
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
}

} // namespace kesta
