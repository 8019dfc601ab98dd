#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QScrollBar;
class QWidget;

namespace kesta {

class RecordStore;

// The keyboard's way through the records of the main window: the "Record" menu's commands
// and their keys (Left/Right one record, PageUp/PageDown ten, Home/End first and last,
// Ctrl+Left/Ctrl+Right the previous or next record of the same frame kind, Ctrl+G "Go to
// Record..."). Every command moves the record scroll bar, which shows the record.
//
// The keys are window shortcuts of the main window. The read-only value boxes would take
// the arrow keys for their text cursor; they are told to leave those keys to the window
// (Shift with an arrow still selects text).
class RecordNavigator : public QObject
{
    Q_OBJECT

public:
    // Asks for a record number from 1 to `last`, starting at `current`; nothing when the
    // user cancels.
    using NumberAsker = std::function<std::optional<int>(QWidget *parent, int current, int last)>;

    RecordNavigator(QWidget *window, QScrollBar *records, const kesta::RecordStore &store);

    // The commands as the "Record" menu lists them, lines as separator actions. Their keys
    // are the window's from the start.
    QList<QAction *> menuCommands() const { return m_menuCommands; }
    // Makes the read-only text boxes among `window`'s children leave the navigation keys
    // to the window.
    void watchTextBoxes(QWidget *window);
    // Enables the commands while there are records to go through.
    void updateEnabled();

    // The commands.
    void step(int records);
    void first();
    void last();
    // To the nearest record before (`direction` < 0) or after the one shown whose frame kind
    // is the same; stays when there is none.
    void sameKind(int direction);
    void goToRecord();

    // How "Go to Record..." asks; an input dialog unless told otherwise.
    void setNumberAsker(NumberAsker asker);

    QAction *goToAction() const { return m_goTo; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *addCommand(const QString &text, const QKeySequence &key, std::function<void()> run);
    void moveTo(int record);

    QWidget *m_window;
    QScrollBar *m_records;
    const kesta::RecordStore &m_store;
    void makeCommands();
    QAction *separator();
    QList<QAction *> m_actions;
    QList<QAction *> m_menuCommands;
    QAction *m_goTo = nullptr;
    NumberAsker m_ask;
};

} // namespace kesta
