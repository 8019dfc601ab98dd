#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;

namespace kesta {

class RecordSource;

// The movement-flag window "HTRX": explains, one line per bit, the eight bits of the HTRX
// movement flag of the record the main window shows. It follows the record source's record
// shown as it changes, reading the flag's byte from the record itself.
//
// Closing the window deletes it (Qt::WA_DeleteOnClose); the opener keeps a QPointer and creates
// a fresh one, from the layout, the next time it is asked for.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BitCount = 8;

    // `source` must outlive this window (the main window closes this one when it goes).
    explicit Form2(const kesta::RecordSource &source, QWidget *parent = nullptr);

    QLineEdit *text1() const { return m_text1; }
    // Label2(i) explains bit 7 - i.
    QLabel *label2(int index) const { return m_label2.at(index); }

protected:
    // Esc closes the window.
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Shows the flag of the record shown: eight "0"/"1" characters, most significant bit first,
    // and the meaning of each bit. A flag the frame did not carry empties Text1 and the lines
    // say only that; with no record held the window shows its layout again.
    void showFlag();

    const kesta::RecordSource &m_source;
    QLabel *m_label1 = nullptr;
    QLineEdit *m_text1 = nullptr;
    std::array<QLabel *, BitCount> m_label2{};
    QLabel *m_image1 = nullptr;
};

} // namespace kesta
