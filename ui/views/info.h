#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;

namespace kesta {

// The about window "Info": the program's title, maker, version and where to find it.
//
// Closing the window deletes it (Qt::WA_DeleteOnClose); the opener keeps a QPointer and creates
// a fresh one the next time it is asked for.
class Info : public QWidget
{
    Q_OBJECT

public:
    explicit Info(QWidget *parent = nullptr);

    // The program's version number ("1.2") and its release date ("13 July 2009").
    static QString versionNumber();
    static QString releaseDate();
    // The version line: "Version 1.2    (13 July 2009)", four spaces before the date.
    static QString versionText();

    QLabel *label1() const { return m_label1; }
    QLabel *label2() const { return m_label2; }

protected:
    // Esc closes the window.
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
};

} // namespace kesta
