#include "form2.h"

#include "layoutstyle.h"
#include "recordsource.h"
#include "telemetry_record.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <string_view>

namespace kesta {

using layoutstyle::Geometry;

namespace {

constexpr int ClientWidth = 382;
constexpr int ClientHeight = 203;

// What each bit means, most significant first: the line for a "0" and the line for a "1".
struct BitMeaning
{
    std::string_view cleared;
    std::string_view set;
};

constexpr std::array<BitMeaning, Form2::BitCount> BitMeanings{{
    {"bit 7 [0]: there is no stored command", "bit 7 [1]: there is a stored command"},
    {"bit 6 [0]: reset command 1 is not accepted", "bit 6 [1]: reset command 1 is accepted"},
    {"bit 5 [0]: no current flows in FSS", "bit 5 [1]: current flows in FSS"},
    {"bit 4 [0]: no current flows in TNC", "bit 4 [1]: current flows in TNC"},
    {"bit 3 [0]: unused", "bit 3 [1]: unused"},
    {"bit 2 [0]: no current flows in HTX", "bit 2 [1]: current flows in HTX"},
    {"bit 1 [0]: no current flows in HTRX", "bit 1 [1]: current flows in HTRX"},
    {"bit 0 [0]: receiver detects no power", "bit 0 [1]: receiver detects a power"},
}};

QString toQString(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Form2::Form2(const kesta::RecordSource &source, QWidget *parent)
    : QWidget(parent), m_source(source)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(tr("HTRX"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A small window of fixed content: it can be minimised, not maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(layoutstyle::defaultFont());
    layoutstyle::setBackground(this);
    resize(ClientWidth, ClientHeight);

    m_label1 = new QLabel(tr("HTRX Movement Flag"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setFont(layoutstyle::boldFont(12));
    layoutstyle::setTextColor(m_label1, QColor(0, 0, 192));
    layoutstyle::place(m_label1, Geometry{8, 8, 225, 25});

    m_text1 = layoutstyle::makeDisplayLine(this, QStringLiteral("Text1"));
    m_text1->setFont(layoutstyle::fixedFont(15.75, true));
    m_text1->setAccessibleName(m_label1->text());
    layoutstyle::setTextBoxColor(m_text1, layoutstyle::BackgroundColor);
    layoutstyle::place(m_text1, Geometry{8, 32, 185, 27});

    for (int k = 0; k < BitCount; ++k) {
        auto *label = new QLabel(this); // its text: showFlag() below
        label->setObjectName(QStringLiteral("Label2_%1").arg(k));
        layoutstyle::place(label, Geometry{8, 72 + 16 * k, 369, 17});
        m_label2.at(static_cast<std::size_t>(k)) = label;
    }

    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    layoutstyle::place(m_image1, Geometry{312, 0, 64, 64});
    layoutstyle::showPicture(m_image1, QStringLiteral(":/images/info-icon.svg"));

    // The bits of the record shown now, and of every record shown after it.
    showFlag();
    connect(&source, &kesta::RecordSource::shownRecordChanged, this, &Form2::showFlag);
}

void Form2::showFlag()
{
    const kesta::TelemetryRecord *record = m_source.shownRecord();
    if (!record) {
        // No record held (a session that has not received a frame yet): the layout, not the
        // bits of a record that is no longer on view.
        m_text1->clear();
        for (int k = 0; k < BitCount; ++k)
            m_label2.at(static_cast<std::size_t>(k))->setText(tr("bit %1").arg(BitCount - 1 - k));
        return;
    }
    if (!record->Written.test(kesta::Field::MovementFlag)) {
        // Nothing to explain: the bits of another frame's byte would only mislead.
        m_text1->clear();
        for (int k = 0; k < BitCount; ++k)
            m_label2.at(static_cast<std::size_t>(k))
                ->setText(k == 0 ? tr("The frame of this record did not carry the movement flag.")
                                 : QString());
        return;
    }
    QString bits;
    for (int k = 0; k < BitCount; ++k) {
        const bool set = (record->MovementFlag >> (BitCount - 1 - k)) & 1U;
        bits += set ? u'1' : u'0';
        const BitMeaning &meaning = BitMeanings.at(static_cast<std::size_t>(k));
        m_label2.at(static_cast<std::size_t>(k))
            ->setText(toQString(set ? meaning.set : meaning.cleared));
    }
    m_text1->setText(bits);
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kesta
