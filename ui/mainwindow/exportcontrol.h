#pragma once

#include <QObject>

namespace kesta {

class ExportCommand;
class Form1;
class RecordSource;
class SaveFileChooser;

// "Export Records..." in the main window: enabled while a log is on view and no export is
// going, it exports the whole log of the last run and tells in the status bar how it went.
class ExportControl : public QObject
{
    Q_OBJECT

public:
    ExportControl(Form1 &window, const RecordSource &source);

    void exportRecords();
    bool isRunning() const;
    void cancel();
    void setChooser(SaveFileChooser *chooser);

signals:
    // An export has ended, whatever its outcome, and its message has been given.
    void ended();

private:
    void updateAction();

    Form1 &m_window;
    const RecordSource &m_source;
    ExportCommand *m_command = nullptr;
};

} // namespace kesta
