#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kesta {

// Asks the user where to save a file. The windows talk to this interface only, so tests can
// answer it without a person at the screen.
class SaveFileChooser
{
public:
    struct Choice
    {
        QString path;   // empty when the user cancels
        QString filter; // the filter in force when the user chose, one of those offered
    };
    virtual ~SaveFileChooser();

    // `filters` as in a file dialog ("CSV (*.csv)"); the first is in force when it opens.
    // `suggestedName`, when not empty, is the name the dialog offers.
    virtual Choice chooseSaveFile(QWidget *parent, const QString &caption,
                                  const QStringList &filters, const QString &suggestedName) = 0;
};

// The real thing: the platform's modal save-file dialog. A name typed without an extension
// gets the one of the chosen filter.
class QtSaveFileChooser : public SaveFileChooser
{
public:
    Choice chooseSaveFile(QWidget *parent, const QString &caption, const QStringList &filters,
                          const QString &suggestedName) override;
};

// The extension of a filter's first pattern, "csv" for "CSV (*.csv)"; empty when it has none.
QString FilterExtension(const QString &filter);

} // namespace kesta
