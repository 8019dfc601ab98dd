#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kesta {

// Asks the user for the log to open. The main window talks to this interface only, so tests can
// answer it without a person at the screen.
class FileChooser
{
public:
    virtual ~FileChooser();

    // The full path of the chosen log, or empty text when the user cancels.
    virtual QString chooseLogFile(QWidget *parent) = 0;
};

// The real thing: the platform's modal open-file dialog.
class QtFileChooser : public FileChooser
{
public:
    QString chooseLogFile(QWidget *parent) override;

    // The dialog's filter list, the first entry in force when it opens.
    static QStringList filters();
    // Where the dialog opens: the folder of the log opened last (see RecentFiles), or the
    // working folder when there is none.
    static QString startFolder();
};

} // namespace kesta
