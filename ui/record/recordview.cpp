#include "recordview.h"

#include "layoutstyle.h"
#include "lightelementrow.h"
#include "mainlayout.h"
#include "value_text.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>

namespace kesta {

namespace {

// The text a value box shows for field `f`: status bytes as bits, everything else as its
// value text with the user's decimal separator.
std::string boxText(const kesta::TelemetryRecord &r, kesta::Field f, std::string_view separator)
{
    if (kesta::InfoOf(f).format == kesta::DisplayFormat::Bits)
        return kesta::ByteToBits(static_cast<std::uint8_t>(kesta::FieldNumber(r, f).value_or(0)));
    return kesta::FieldValueText(r, f, separator);
}

} // namespace

RecordView::RecordView(const Controls &controls) : m_controls(controls)
{
    m_carried.fill(true);
    if (QWidget *box = m_controls.valueBoxes[0])
        m_textColor = box->palette().color(QPalette::Text);
}

QString RecordView::valueText(int index) const
{
    if (index < 0 || index >= ValueBoxCount)
        return {};
    QWidget *box = m_controls.valueBoxes[static_cast<std::size_t>(index)];
    if (auto *line = qobject_cast<QLineEdit *>(box))
        return line->text();
    return static_cast<QPlainTextEdit *>(box)->toPlainText();
}

void RecordView::setValueText(int index, const QString &text)
{
    if (index < 0 || index >= ValueBoxCount)
        return;
    QWidget *box = m_controls.valueBoxes[static_cast<std::size_t>(index)];
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

bool RecordView::isCarried(int index) const
{
    return index >= 0 && index < ValueBoxCount && m_carried[static_cast<std::size_t>(index)];
}

void RecordView::setCarried(int index, bool carried)
{
    auto &was = m_carried[static_cast<std::size_t>(index)];
    if (was == carried)
        return;
    was = carried;
    QWidget *box = m_controls.valueBoxes[static_cast<std::size_t>(index)];
    layoutstyle::setTextColor(box, carried ? m_textColor : NotCarriedColor);
    box->setAccessibleDescription(carried ? QString()
                                          : QObject::tr("Not in this frame; the value shown is "
                                                        "not a received one"));
}

void RecordView::show(const kesta::TelemetryRecord &r, const std::string &separator)
{
    const std::string_view kind = kesta::KindText(r.FrameKind);
    m_controls.frameKind->setText(
        QString::fromLatin1(kind.data(), static_cast<qsizetype>(kind.size())));
    const QString raw = QString::fromLatin1(r.RawHex);
    if (m_controls.rawFrame->toPlainText() != raw)
        m_controls.rawFrame->setPlainText(raw);
    // The message bytes stand for themselves: byte n becomes code point n.
    m_controls.message->setText(QString::fromLatin1(r.MessageText));
    m_controls.message->setCursorPosition(0);

    auto showField = [&](int box, kesta::Field field) {
        setValueText(box, QString::fromStdString(boxText(r, field, separator)));
        setCarried(box, r.Written.test(field));
    };
    for (std::size_t p = 0; p < mainlayout::ParameterRows.size(); ++p) {
        if (const auto field = mainlayout::ParameterRows[p].field) // box 5 keeps its text
            showField(static_cast<int>(p), *field);
    }
    for (std::size_t k = 0; k < mainlayout::HiModeRows.size(); ++k)
        showField(mainlayout::FirstHiModeBox + static_cast<int>(k), mainlayout::HiModeRows[k].field);

    // The light-element row shows the record's readings, all 0 when the frame carried none.
    const auto readings = LightElementRow::readings(r);
    std::array<QColor, LightElementRow::BarCount> colors;
    QString spoken = QCoreApplication::translate("kesta::RecordView", "64 light-element readings:");
    for (std::size_t k = 0; k < colors.size(); ++k) {
        colors[k] = LightElementRow::readingColor(readings[k]);
        spoken +=
            (k == 0 ? QStringLiteral(" ") : QStringLiteral(", ")) + QString::number(readings[k]);
    }
    m_controls.lightElements->setFillColors(colors);
    // What the bars show, for a screen reader.
    if (m_controls.lightElements->accessibleDescription() != spoken)
        m_controls.lightElements->setAccessibleDescription(spoken);
}

} // namespace kesta
