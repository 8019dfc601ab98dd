#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QTimer;

namespace kesta {

// The movement-flag window "HTRX": explains, one line per bit, the eight bits of the HTRX
// movement flag of the record the main window shows. It follows the main window by reading its
// movement-flag box once a second while the window is open.
//
// Closing the window deletes it (Qt::WA_DeleteOnClose); the opener keeps a QPointer and creates
// a fresh one, from the layout, the next time it is asked for.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    // Reads the main window's movement-flag box: eight "0"/"1" characters, most significant bit
    // first, or empty text; nothing when the record's frame did not carry the flag. Called on
    // every tick; it must stay callable while this window lives (the main window closes this
    // one when it goes).
    using FlagSource = std::function<std::optional<QString>()>;

    static constexpr int BitCount = 8;
    static constexpr int TickInterval = 1000; // ms

    explicit Form2(FlagSource source, QWidget *parent = nullptr);

    QLineEdit *text1() const { return m_text1; }
    // Label2(i) explains bit 7 - i.
    QLabel *label2(int index) const { return m_label2.at(index); }
    QTimer *timer1() const { return m_timer1; }

public slots:
    // One refresh: copies the main window's box into Text1 and, when it holds eight "0"/"1"
    // characters, rewrites the eight bit lines. Any other text leaves the lines as they are.
    // A flag the frame did not carry empties Text1 and the lines say only that.
    void tick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // Esc closes the window.
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    FlagSource m_source;
    QLabel *m_label1 = nullptr;
    QLineEdit *m_text1 = nullptr;
    std::array<QLabel *, BitCount> m_label2{};
    QLabel *m_image1 = nullptr;
    QTimer *m_timer1 = nullptr;
};

} // namespace kesta
