#include "filechooser.h"

#include <QFileDialog>

FileChooser::~FileChooser() = default;

QStringList QtFileChooser::filters()
{
    return {QStringLiteral("Log Files (*.kss)"), QStringLiteral("Text Files (*.txt)"),
            QStringLiteral("All Files (*.*)")};
}

QString QtFileChooser::chooseLogFile(QWidget *parent)
{
    const QStringList list = filters();
    QString selected = list.first();
    // Qt takes "*.*" literally (names that contain a dot); a name without one can still be typed.
    return QFileDialog::getOpenFileName(parent, QString(), QString(),
                                        list.join(QStringLiteral(";;")), &selected);
}
